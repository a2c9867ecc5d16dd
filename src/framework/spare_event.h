// A place for one event that is not in use, so that an operation done again and again (a
// hand-over, a read) can take the event of the last one instead of creating and closing its own.
#pragma once

#include <windows.h>

#include <atomic>

#include "framework/handle.h"

namespace framework {

// Any thread may take or give at any time: a thread that finds the place empty creates an event
// of its own, and an event given while the place is taken is closed. Not a thread-local
// variable: MinGW's thread-local objects free their storage before their destructors run.
class SpareEvent {
  public:
    SpareEvent() = default;
    ~SpareEvent() { KernelHandle left(event_.exchange(nullptr)); }
    SpareEvent(const SpareEvent&) = delete;
    SpareEvent& operator=(const SpareEvent&) = delete;

    // The spare event, or an empty handle.
    KernelHandle take() { return KernelHandle(event_.exchange(nullptr)); }
    // Only an event that nothing will signal any more, in the state the next user expects.
    void give(KernelHandle event) { KernelHandle displaced(event_.exchange(event.release())); }

  private:
    std::atomic<HANDLE> event_{nullptr};
};

}  // namespace framework
