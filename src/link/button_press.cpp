#include "link/button_press.h"

#include <cassert>
#include <utility>

#include "link/link_protocol.h"

namespace phonelink {

ButtonConfirmations::ButtonConfirmations(Random random) : random_(std::move(random)) {}

std::optional<std::uint32_t> ButtonConfirmations::issue(int button, std::uint64_t now) {
    assert(owner_.isCurrent());
    issued_.reset();
    const std::optional<std::uint32_t> value = random_();
    if (!value) {
        return std::nullopt;
    }
    const std::uint32_t token = *value % kTokenLimit;
    issued_ = Issued{button, token, now};
    return token;
}

bool ButtonConfirmations::confirm(int button, std::uint32_t token, std::uint64_t now) {
    assert(owner_.isCurrent());
    // Spent whatever the outcome, so that a sender gets one try at each token.
    const std::optional<Issued> issued = std::exchange(issued_, std::nullopt);
    // A clock that went back is no proof that the confirmation came in time.
    return issued && issued->button == button && issued->token == token && now >= issued->at &&
           now - issued->at <= kConfirmMs;
}

void ButtonConfirmations::forget() {
    assert(owner_.isCurrent());
    issued_.reset();
}

}  // namespace phonelink
