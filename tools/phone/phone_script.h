// What the phone simulator is asked to do: the command codes with their names, and the reading
// of its command line into a list of writes. No Windows calls here, so it builds and is tested
// natively as well.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace phone {

struct CommandCode {
    std::string_view code;         // the two bytes on the link
    std::string_view name;         // the word a user may type instead
    std::string_view description;  // what the desktop program does with it
};

// The twelve codes, "00" to "11".
std::span<const CommandCode> commandCodes();

// The code for a word: a code itself ("06") or a name, in any case ("right", "Right"). Empty
// when the word means nothing.
std::optional<std::string_view> codeFor(std::string_view word);

// Turns the escapes \r \n \t \0 \\ and \xHH of a raw text into bytes. On a malformed escape
// returns nothing and says why in error.
std::optional<std::string> decodeEscapes(std::string_view text, std::string& error);

// The bytes of one write shown for people: "06 (right)" for a code, otherwise the text with its
// control bytes escaped, in quotes.
std::string describePayload(std::string_view payload);

inline constexpr int defaultPauseMs = 100;
inline constexpr int maximumPauseMs = 600000;

struct Invocation {
    bool help = false;
    bool interactive = false;
    std::string port;                   // as given: "COM6" or "\\.\COM6"
    std::vector<std::string> payloads;  // one write each, in order
    int pauseMs = defaultPauseMs;       // least time between two writes
};

struct ParseResult {
    Invocation invocation;
    std::string error;  // empty when the arguments were good
    bool ok() const { return error.empty(); }
};

// Reads the arguments that follow the program's name (UTF-8).
ParseResult parseArguments(std::span<const std::string> args);

// "COM1".."COM256" in any case, or a device path that starts with "\\.\".
bool isPortName(std::string_view text);

// The device path CreateFile wants: "\\.\COM6" for "COM6" (needed for COM10 and above).
std::string devicePath(std::string_view port);

std::string usageText();

}  // namespace phone
