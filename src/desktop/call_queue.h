// Calls that may take seconds (a program started from a share that does not answer, a shell
// extension that takes its time), made one after another on one thread of their own, so that the
// main thread never waits for them; each call's result comes back on the main thread. One thread
// at most serves a queue: it starts with the first call and ends when none waits. Let go of, the
// queue's thread makes the call it is in, drops everything else and ends by itself; nothing ever
// waits for it, and no result comes back after the owner is gone.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "framework/owned_window.h"

namespace app {

class CallQueue {
  public:
    // Made on the queue's thread: ERROR_SUCCESS, or the system's error for a call that failed.
    using Call = std::function<DWORD()>;
    // Called on the main thread with the call's result, once for each call.
    using Done = std::function<void(DWORD error)>;

    // What a call gets that never ran: dropped for a newer one, or no thread could start.
    static constexpr DWORD kNotRun = ERROR_BUSY;

    // waitingLimit: the most calls that wait while one is made; a newer call drops the oldest
    // waiting one (0: no limit). comApartment: the thread initialises COM as a single-threaded
    // apartment (without OLE1 DDE), as the shell needs. Raises framework::OSError when the window
    // that takes the results cannot be made.
    CallQueue(std::size_t waitingLimit, bool comApartment);
    ~CallQueue();
    CallQueue(const CallQueue&) = delete;
    CallQueue& operator=(const CallQueue&) = delete;

    // Queues call and returns at once; done (may be empty) gets its result later, on this thread,
    // never from within post.
    void post(Call call, Done done);

  private:
    friend LRESULT CALLBACK framework::ownedWindowProcedure<CallQueue>(HWND, UINT, WPARAM, LPARAM);
    framework::OwnedWindow& ownedWindow() { return window_; }
    LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void deliver();

    struct Waiting {
        std::uint64_t id;
        Call call;
    };
    // What the queue's thread and the owner share; the last of the two to let go frees it.
    struct Shared {
        std::mutex lock;
        std::deque<Waiting> waiting;
        std::vector<std::pair<std::uint64_t, DWORD>> finished;
        bool serving = false;  // a thread takes the waiting calls
        bool abandoned = false;
        HWND window = nullptr;
    };
    static void serve(const std::shared_ptr<Shared>& shared, bool comApartment);
    static void finish(Shared& shared, std::uint64_t id, DWORD result);

    framework::OwnedWindow window_;
    std::size_t waitingLimit_;
    bool comApartment_;
    std::shared_ptr<Shared> shared_;
    std::uint64_t nextId_ = 0;
    std::map<std::uint64_t, Done> done_;
};

}  // namespace app
