#include "desktop/key_input.h"

#include <windows.h>

#include <vector>

namespace app {
namespace {

// A real key going down or up, as a keyboard layout would give it.
void appendKey(std::vector<INPUT>& inputs, unsigned vk, bool extended, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = static_cast<WORD>(vk);
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = (extended ? KEYEVENTF_EXTENDEDKEY : 0) | (up ? KEYEVENTF_KEYUP : 0);
    inputs.push_back(input);
}

void appendKeyPress(std::vector<INPUT>& inputs, unsigned vk, bool extended) {
    appendKey(inputs, vk, extended, false);
    appendKey(inputs, vk, extended, true);
}

bool insertAll(std::vector<INPUT>& inputs) {
    if (inputs.empty()) {
        return true;
    }
    const auto count = static_cast<UINT>(inputs.size());
    return SendInput(count, inputs.data(), sizeof(INPUT)) == count;
}

}  // namespace

bool pressKey(unsigned vk, bool extended) {
    std::vector<INPUT> inputs;
    appendKeyPress(inputs, vk, extended);
    return insertAll(inputs);
}

bool pressCombination(std::span<const HeldKey> held, unsigned vk, bool extended) {
    std::vector<INPUT> inputs;
    for (const HeldKey& key : held) {
        appendKey(inputs, key.vk, key.extended, false);
    }
    appendKeyPress(inputs, vk, extended);
    for (auto key = held.rbegin(); key != held.rend(); ++key) {
        appendKey(inputs, key->vk, key->extended, true);
    }
    return insertAll(inputs);
}

bool pressLinkKey(phonelink::LinkKey key) {
    const phonelink::KeyEntry& entry = phonelink::keyEntry(key);
    return pressKey(entry.virtualKey, entry.extended);
}

bool typeText(std::u16string_view text) {
    const std::u16string typed = phonelink::typedText(text);
    std::vector<INPUT> inputs;
    inputs.reserve(typed.size() * 2);
    for (char16_t unit : typed) {
        // A Unicode CR or tab would reach the window as a character only, without the key that
        // edit controls and dialogs act on.
        if (unit == u'\r') {
            appendKeyPress(inputs, VK_RETURN, false);
            continue;
        }
        if (unit == u'\t') {
            appendKeyPress(inputs, VK_TAB, false);
            continue;
        }
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wScan = static_cast<WORD>(unit);
        input.ki.dwFlags = KEYEVENTF_UNICODE;
        inputs.push_back(input);
        input.ki.dwFlags |= KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    return insertAll(inputs);
}

}  // namespace app
