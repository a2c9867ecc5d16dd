// The phone's command codes. A receive chunk carries one or more whole codes back to back, or it
// is no command.
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace phonelink {

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

// One of the twelve codes with the phone simulator's word for it and what the desktop gets.
struct CommandEntry {
    std::string_view code;
    Command command;
    std::string_view name;
    std::string_view description;
};

// The twelve, "00" to "11" in order; the link's other messages are in app/link_protocol.h.
std::span<const CommandEntry> commandTable();

// The command whose code equals the whole chunk, byte for byte; nothing for any other text
// (a split code, two codes together, a code with a line end or any further byte).
std::optional<Command> parseCommand(std::string_view chunk);

// The commands of a chunk made only of whole codes, in order ("060802": right, down, up). Any
// other chunk gives none at all: an odd length, a line end or an unknown pair anywhere, so that a
// stray byte can never shift the pairing and turn the rest into other commands.
std::vector<Command> parseChunk(std::string_view chunk);

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

}  // namespace phonelink
