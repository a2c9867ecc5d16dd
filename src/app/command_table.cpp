#include "app/command_table.h"

#include <array>
#include <utility>

namespace app {
namespace {

// In the order the chunk is compared with the codes.
constexpr std::array<std::pair<std::string_view, Command>, 12> kCodes{{
    {"02", Command::CursorUp},
    {"04", Command::CursorLeft},
    {"06", Command::CursorRight},
    {"08", Command::CursorDown},
    {"01", Command::Escape},
    {"03", Command::StartMenu},
    {"05", Command::ClickEnter},
    {"07", Command::VolumeUp},
    {"09", Command::PageDown},
    {"10", Command::VolumeDown},
    {"00", Command::Launch},
    {"11", Command::PageUp},
}};

constexpr unsigned kVkEscape = 0x1B;
constexpr unsigned kVkReturn = 0x0D;
constexpr unsigned kVkNext = 0x22;
constexpr unsigned kVkPrior = 0x21;

}  // namespace

std::optional<Command> parseCommand(std::string_view chunk) {
    for (const auto& [code, command] : kCodes) {
        if (chunk == code) {
            return command;
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
    for (const auto& [code, c] : kCodes) {
        if (c == command) {
            return code;
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

}  // namespace app
