#include "buttons/button_presses.h"

#include <windows.h>

#include <bcrypt.h>

#include <utility>
#include <vector>

#include "link/answer.h"

namespace app {

std::optional<std::uint32_t> systemRandom() {
    std::uint32_t value = 0;
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&value), sizeof value,
                                        BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
        // No other source: a token that could be guessed is worse than none, and the press is
        // answered as one that failed.
        return std::nullopt;
    }
    return value;
}

ButtonPresses::ButtonPresses(ShellRunner& shell, ButtonStore store,
                             phonelink::ButtonConfirmations::Random random)
    : store_(std::move(store)), confirmations_(std::move(random)) {
    seams.shell = &shell;
    seams.launcher = &launcher_;
}

void ButtonPresses::reload() {
    buttons_ = store_.read();
    confirmations_.forget();
}

std::string ButtonPresses::listLine() const {
    std::vector<phonelink::ButtonListing> listings;
    for (const auto& entry : buttons_.entries) {
        if (entry.definition) {
            const std::wstring& name = entry.definition->name;
            listings.push_back(
                {entry.id,
                 std::u16string_view(reinterpret_cast<const char16_t*>(name.data()), name.size()),
                 needsConfirmation(entry.definition->action)});
        }
    }
    return phonelink::encodeButtonList(listings);
}

const ButtonDefinition* ButtonPresses::working(int id) const {
    const ButtonEntry* entry = buttons_.find(id);
    return entry && entry->definition ? &*entry->definition : nullptr;
}

void ButtonPresses::press(int id, std::uint64_t now, const ButtonReplies& replies) {
    const ButtonDefinition* button = working(id);
    if (!button) {
        ++unknownPresses_;
        return;
    }
    if (!needsConfirmation(button->action)) {
        act(id, button->action, now, replies);
        return;
    }
    const auto token = confirmations_.issue(id, now);
    if (!token) {
        if (replies.failed) {
            replies.failed(phonelink::encodeButtonFailure(id, phonelink::FailureReason::NoToken));
        }
        return;
    }
    if (replies.confirm) {
        replies.confirm(phonelink::encodeConfirmRequest(
            id, *token, phonelink::ButtonConfirmations::kConfirmSeconds));
    }
}

void ButtonPresses::confirm(int id, std::uint32_t token, std::uint64_t now,
                            const ButtonReplies& replies) {
    // Asked first, whatever the button: a confirmation that does not act spends the token.
    const bool confirmed = confirmations_.confirm(id, token, now);
    const ButtonDefinition* button = working(id);
    if (confirmed && button && needsConfirmation(button->action)) {
        act(id, button->action, now, replies);
    }
}

void ButtonPresses::act(int id, const ButtonAction& action, std::uint64_t now,
                        const ButtonReplies& replies) {
    if (action.kind == ButtonKind::Program || action.kind == ButtonKind::Address) {
        const auto last = launchedAt_.find(id);
        // A clock that went back tells nothing of the press before: it acts.
        if (last != launchedAt_.end() && now >= last->second && now - last->second < kRepeatMs) {
            return;
        }
        launchedAt_[id] = now;
    }
    runButtonAction(action, seams,
                    [id, failed = replies.failed,
                     alive = std::weak_ptr<const bool>(alive_)](phonelink::FailureReason reason) {
                        if (failed && !alive.expired()) {
                            failed(phonelink::encodeButtonFailure(id, reason));
                        }
                    });
}

}  // namespace app
