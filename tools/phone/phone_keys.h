// The interactive simulator's keyboard: which key press stands for which command code.
#pragma once

#include <windows.h>

#include <string_view>

namespace phone {

struct KeyAction {
    enum class Kind { ignore, send, quit };
    Kind kind = Kind::ignore;
    std::string_view code;  // for Kind::send
};

// For one key-down event of the console: the virtual key, the character it typed (0 if none) and
// the console's control-key state.
KeyAction actionForKey(WORD virtualKey, wchar_t character, DWORD controlKeyState);

// One line per key, for the interactive prompt.
std::string_view keyHelpText();

}  // namespace phone
