#include "phone_keys.h"

#include "link/command_table.h"

namespace phone {
namespace {

KeyAction send(phonelink::Command command) {
    return {KeyAction::Kind::send, phonelink::commandCode(command)};
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
            return send(phonelink::Command::CursorUp);
        case VK_LEFT:
            return send(phonelink::Command::CursorLeft);
        case VK_RIGHT:
            return send(phonelink::Command::CursorRight);
        case VK_DOWN:
            return send(phonelink::Command::CursorDown);
        case VK_RETURN:
            return send(phonelink::Command::ClickEnter);
        case VK_ESCAPE:
            return send(phonelink::Command::Escape);
        case VK_PRIOR:
            return send(phonelink::Command::PageUp);
        case VK_NEXT:
            return send(phonelink::Command::PageDown);
        case VK_HOME:
        case VK_LWIN:
        case VK_RWIN:
            return send(phonelink::Command::StartMenu);
        case VK_ADD:
            return send(phonelink::Command::VolumeUp);
        case VK_SUBTRACT:
            return send(phonelink::Command::VolumeDown);
        default:
            break;
    }
    // Typed characters, so that "+" works on every keyboard layout.
    switch (character) {
        case L'+':
        case L'=':
            return send(phonelink::Command::VolumeUp);
        case L'-':
        case L'_':
            return send(phonelink::Command::VolumeDown);
        case L's':
        case L'S':
            return send(phonelink::Command::StartMenu);
        case L'l':
        case L'L':
            return send(phonelink::Command::Launch);
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
