// How the "Phone buttons" window and its editor name a button's action, in the user's language.
#pragma once

#include <string>

#include "buttons/phone_buttons.h"

namespace app {

std::wstring kindName(ButtonKind kind);
std::wstring powerName(PowerAction power);
// A key of the list as the window shows it: "F11", "Стрелка влево".
std::wstring shownKey(const ComboKey& key);
// "Ctrl+Shift+Esc", "Win+Стрелка влево": the modifiers as every keyboard prints them, the key
// in the user's language.
std::wstring shownCombination(const KeyCombination& keys);
// One line of the window's list: the name and what the button does, or that its stored value is
// broken.
std::wstring buttonLine(const ButtonEntry& entry);

}  // namespace app
