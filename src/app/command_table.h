// The phone's command codes. One receive chunk carries exactly one code, or it is no command.
#pragma once

#include <optional>
#include <string_view>

namespace app {

enum class Command {
    Launch,       // "00"
    Escape,       // "01"
    CursorUp,     // "02"
    StartMenu,    // "03"
    CursorLeft,   // "04"
    ClickEnter,   // "05"
    CursorRight,  // "06"
    VolumeUp,     // "07"
    CursorDown,   // "08"
    PageDown,     // "09"
    VolumeDown,   // "10"
    PageUp,       // "11"
};

// The command whose code equals the whole chunk, byte for byte; nothing for any other text
// (a split code, two codes together, a code with a line end or any further byte).
std::optional<Command> parseCommand(std::string_view chunk);

// The two-character code of a command.
std::string_view commandCode(Command command);

// Virtual-key code sent to the foreground window by the key commands (0 for the others).
unsigned keyOf(Command command);

// Cursor offset per step for the movement commands: {dx, dy} in units of the step.
struct CursorDirection {
    int dx;
    int dy;
};
std::optional<CursorDirection> cursorDirectionOf(Command command);

}  // namespace app
