#include "phone_keys.h"

#include "app/command_table.h"

namespace phone {
namespace {

KeyAction send(app::Command command) {
    return {KeyAction::Kind::send, app::commandCode(command)};
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
            return send(app::Command::CursorUp);
        case VK_LEFT:
            return send(app::Command::CursorLeft);
        case VK_RIGHT:
            return send(app::Command::CursorRight);
        case VK_DOWN:
            return send(app::Command::CursorDown);
        case VK_RETURN:
            return send(app::Command::ClickEnter);
        case VK_ESCAPE:
            return send(app::Command::Escape);
        case VK_PRIOR:
            return send(app::Command::PageUp);
        case VK_NEXT:
            return send(app::Command::PageDown);
        case VK_HOME:
        case VK_LWIN:
        case VK_RWIN:
            return send(app::Command::StartMenu);
        case VK_ADD:
            return send(app::Command::VolumeUp);
        case VK_SUBTRACT:
            return send(app::Command::VolumeDown);
        default:
            break;
    }
    // Typed characters, so that "+" works on every keyboard layout.
    switch (character) {
        case L'+':
        case L'=':
            return send(app::Command::VolumeUp);
        case L'-':
        case L'_':
            return send(app::Command::VolumeDown);
        case L's':
        case L'S':
            return send(app::Command::StartMenu);
        case L'l':
        case L'L':
            return send(app::Command::Launch);
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
