#include "link/phone_contact.h"

namespace phonelink {

void PhoneContact::heard(std::uint64_t nowMs, bool pinged) {
    assert(owner_.isCurrent());
    lastHeard_ = nowMs;
    pinging_ = pinging_ || pinged;
}

void PhoneContact::forget() {
    assert(owner_.isCurrent());
    lastHeard_.reset();
    pinging_ = false;
}

bool PhoneContact::present(std::uint64_t nowMs) const {
    if (!lastHeard()) {
        return false;
    }
    const std::uint64_t window = pinging_ ? kPingingSilenceMs : kQuietSilenceMs;
    return nowMs < *lastHeard_ || nowMs - *lastHeard_ < window;
}

}  // namespace phonelink
