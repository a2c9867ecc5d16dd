// The thread that owns an object used without locks: the one that made it. The link's reader and
// the phone-contact clock live on the main thread, which reads the chunks and shows the status;
// a use from any other thread is a race, caught in debug builds by assert(owner_.isCurrent()).
#pragma once

#include <thread>

namespace phonelink {

class OwningThread {
  public:
    bool isCurrent() const { return owner_ == std::this_thread::get_id(); }

  private:
    std::thread::id owner_ = std::this_thread::get_id();
};

}  // namespace phonelink
