// The session's claim for a Keypilot a test makes, as the program's entry takes it.
#pragma once

#include <stdexcept>
#include <utility>

#include "app/instance_claim.h"

namespace testing_support {

inline app::InstanceClaim sessionClaim() {
    auto claim = app::InstanceClaim::take();
    if (!claim) {
        throw std::runtime_error("another Keypilot holds the session's claim");
    }
    return std::move(*claim);
}

}  // namespace testing_support
