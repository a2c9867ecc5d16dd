#include "link/command_table.h"

#include <array>

namespace phonelink {
namespace {

constexpr std::array<CommandEntry, 12> kCodes{{
    {"00", Command::Launch, "launch", "start the chosen program"},
    {"01", Command::Escape, "esc", "Escape"},
    {"02", Command::CursorUp, "up", "cursor up"},
    {"03", Command::StartMenu, "start", "open the Start menu"},
    {"04", Command::CursorLeft, "left", "cursor left"},
    {"05", Command::ClickEnter, "click", "click, then Enter"},
    {"06", Command::CursorRight, "right", "cursor right"},
    {"07", Command::VolumeUp, "volup", "volume up"},
    {"08", Command::CursorDown, "down", "cursor down"},
    {"09", Command::PageDown, "pgdn", "Page Down"},
    {"10", Command::VolumeDown, "voldown", "volume down"},
    {"11", Command::PageUp, "pgup", "Page Up"},
}};

constexpr unsigned kVkEscape = 0x1B;
constexpr unsigned kVkReturn = 0x0D;
constexpr unsigned kVkNext = 0x22;
constexpr unsigned kVkPrior = 0x21;

}  // namespace

std::span<const CommandEntry> commandTable() {
    return kCodes;
}

std::optional<Command> parseCommand(std::string_view chunk) {
    for (const auto& entry : kCodes) {
        if (chunk == entry.code) {
            return entry.command;
        }
    }
    return std::nullopt;
}

std::vector<Command> parseChunk(std::string_view chunk) {
    std::vector<Command> commands;
    if (chunk.size() % 2 != 0) {
        return commands;
    }
    commands.reserve(chunk.size() / 2);
    for (size_t i = 0; i < chunk.size(); i += 2) {
        auto command = parseCommand(chunk.substr(i, 2));
        if (!command) {
            return {};
        }
        commands.push_back(*command);
    }
    return commands;
}

std::string_view commandCode(Command command) {
    for (const auto& entry : kCodes) {
        if (entry.command == command) {
            return entry.code;
        }
    }
    return {};
}

unsigned keyOf(Command command) {
    switch (command) {
        case Command::Escape:
            return kVkEscape;
        case Command::PageDown:
            return kVkNext;
        case Command::PageUp:
            return kVkPrior;
        case Command::ClickEnter:
            return kVkReturn;
        default:
            return 0;
    }
}

std::optional<CursorDirection> cursorDirectionOf(Command command) {
    switch (command) {
        case Command::CursorUp:
            return CursorDirection{0, -1};
        case Command::CursorLeft:
            return CursorDirection{-1, 0};
        case Command::CursorRight:
            return CursorDirection{1, 0};
        case Command::CursorDown:
            return CursorDirection{0, 1};
        default:
            return std::nullopt;
    }
}

}  // namespace phonelink
