#include "phone_keys.h"

namespace phone {
namespace {

KeyAction send(std::string_view code) {
    return {KeyAction::Kind::send, code};
}

}  // namespace

KeyAction actionForKey(WORD virtualKey, wchar_t character, DWORD controlKeyState) {
    // Ctrl+C comes as a key once processed input is off: treat it as a wish to leave.
    bool control = (controlKeyState & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED)) != 0;
    if (character == 3 || (control && (virtualKey == 'C' || virtualKey == 'D'))) {
        return {KeyAction::Kind::quit, {}};
    }
    switch (virtualKey) {
        case VK_UP:
            return send("02");
        case VK_LEFT:
            return send("04");
        case VK_RIGHT:
            return send("06");
        case VK_DOWN:
            return send("08");
        case VK_RETURN:
            return send("05");
        case VK_ESCAPE:
            return send("01");
        case VK_PRIOR:
            return send("11");
        case VK_NEXT:
            return send("09");
        case VK_HOME:
        case VK_LWIN:
        case VK_RWIN:
            return send("03");
        case VK_ADD:
            return send("07");
        case VK_SUBTRACT:
            return send("10");
        default:
            break;
    }
    // Typed characters, so that "+" works on every keyboard layout.
    switch (character) {
        case L'+':
        case L'=':
            return send("07");
        case L'-':
        case L'_':
            return send("10");
        case L's':
        case L'S':
            return send("03");
        case L'l':
        case L'L':
            return send("00");
        case L'q':
        case L'Q':
            return {KeyAction::Kind::quit, {}};
        default:
            break;
    }
    return {};
}

std::string_view keyHelpText() {
    return "keys: arrows = cursor (02 04 06 08), Enter = click (05), Esc = 01, PgUp = 11,\n"
           "      PgDn = 09, + / - = volume (07 / 10), Home, Win or S = Start menu (03),\n"
           "      L = launch (00), Q = quit\n";
}

}  // namespace phone
