#include "link/button_press.h"

#include <cassert>
#include <utility>

#include "link/link_protocol.h"

namespace phonelink {

ButtonConfirmations::ButtonConfirmations(std::function<std::uint32_t()> random)
    : random_(std::move(random)) {}

std::uint32_t ButtonConfirmations::issue(int button, std::uint64_t now) {
    assert(owner_.isCurrent());
    const std::uint32_t token = random_() % kTokenLimit;
    issued_ = Issued{button, token, now};
    return token;
}

bool ButtonConfirmations::confirm(int button, std::uint32_t token, std::uint64_t now) {
    assert(owner_.isCurrent());
    // A clock that went back is no proof that the confirmation came in time.
    if (!issued_ || issued_->button != button || issued_->token != token || now < issued_->at ||
        now - issued_->at > kConfirmMs) {
        return false;
    }
    issued_.reset();
    return true;
}

void ButtonConfirmations::forget() {
    assert(owner_.isCurrent());
    issued_.reset();
}

}  // namespace phonelink
