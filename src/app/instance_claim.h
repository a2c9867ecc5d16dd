// One Keypilot per logon session: the first to start holds a named kernel object, and the ones
// started after it see that name taken. Needs nothing else of the program, so it can be decided
// before any window exists.
#pragma once

#include <optional>
#include <utility>

#include "framework/handle.h"

namespace app {

class InstanceClaim {
  public:
    // The claim, or nothing when another Keypilot of this session holds it. The claim lasts as
    // long as the object.
    static std::optional<InstanceClaim> take();

  private:
    explicit InstanceClaim(framework::KernelHandle name) : name_(std::move(name)) {}

    // Empty when the system could not make the name for a reason other than another Keypilot:
    // this one then runs unclaimed rather than end unseen.
    framework::KernelHandle name_;
};

}  // namespace app
