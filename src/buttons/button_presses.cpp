#include "buttons/button_presses.h"

#include <windows.h>

#include <bcrypt.h>

#include <random>
#include <utility>
#include <vector>

#include "link/answer.h"

namespace app {

std::uint32_t systemRandom() {
    std::uint32_t value = 0;
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&value), sizeof value,
                                        BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
        // The C++ library's source, which asks the system too in its own way.
        return std::random_device{}();
    }
    return value;
}

ButtonPresses::ButtonPresses(ShellRunner& shell, ButtonStore store,
                             std::function<std::uint32_t()> random)
    : store_(std::move(store)), confirmations_(std::move(random)) {
    seams.shell = &shell;
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

void ButtonPresses::press(int id, std::uint64_t now,
                          const std::function<void(std::string)>& answer) {
    const ButtonDefinition* button = working(id);
    if (!button) {
        ++unknownPresses_;
        return;
    }
    if (!needsConfirmation(button->action)) {
        runButtonAction(button->action, seams);
        return;
    }
    const std::uint32_t token = confirmations_.issue(id, now);
    answer(phonelink::encodeConfirmRequest(id, token,
                                           phonelink::ButtonConfirmations::kConfirmSeconds));
}

void ButtonPresses::confirm(int id, std::uint32_t token, std::uint64_t now) {
    const ButtonDefinition* button = working(id);
    if (button && needsConfirmation(button->action) && confirmations_.confirm(id, token, now)) {
        runButtonAction(button->action, seams);
    }
}

}  // namespace app
