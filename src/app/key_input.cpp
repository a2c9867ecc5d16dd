#include "app/key_input.h"

#include <windows.h>

#include <vector>

namespace app {

void pressKey(unsigned vk, bool extended) {
    INPUT inputs[2]{};
    for (INPUT& input : inputs) {
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = static_cast<WORD>(vk);
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
        input.ki.dwFlags = extended ? KEYEVENTF_EXTENDEDKEY : 0;
    }
    inputs[1].ki.dwFlags |= KEYEVENTF_KEYUP;
    // One call, so no other input can come between the key's down and up.
    SendInput(2, inputs, sizeof(INPUT));
}

void pressLinkKey(phonelink::LinkKey key) {
    const phonelink::KeyEntry& entry = phonelink::keyEntry(key);
    pressKey(entry.virtualKey, entry.extended);
}

void typeText(std::u16string_view text) {
    std::vector<INPUT> inputs;
    inputs.reserve(text.size() * 2);
    for (char16_t unit : text) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wScan = static_cast<WORD>(unit);
        input.ki.dwFlags = KEYEVENTF_UNICODE;
        inputs.push_back(input);
        input.ki.dwFlags |= KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    if (!inputs.empty()) {
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    }
}

}  // namespace app
