// What the phone simulator is asked to do: the reading of its command line into a list of writes,
// with the words for the link's messages taken from the link's one table (app/link_protocol.h).
// No Windows calls here, so it builds and is tested natively as well.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace phone {

// The code for a word: one of the twelve codes itself ("06") or its name, in any case ("right",
// "Right"). Empty when the word means nothing of the kind.
std::optional<std::string_view> codeFor(std::string_view word);

// The bytes of one write for the word at words[i] and the parameters that follow it ("move 10 -5",
// "type Привет", "scroll -3", "playpause", "06", "right"); i moves past what was taken. Nothing,
// with the reason in error, when the word means nothing or its parameters are wrong.
std::optional<std::string> payloadFor(std::span<const std::string> words, size_t& i,
                                      std::string& error);

// Turns the escapes \r \n \t \0 \\ and \xHH of a raw text into bytes. On a malformed escape
// returns nothing and says why in error.
std::optional<std::string> decodeEscapes(std::string_view text, std::string& error);

// The bytes of one write shown for people: "06 (right)" for a code, "MV+010-005 (move 10 -5)"
// for a frame, otherwise the text with its control bytes escaped, in quotes.
std::string describePayload(std::string_view payload);

inline constexpr int defaultPauseMs = 100;
inline constexpr int maximumPauseMs = 600000;

struct Invocation {
    bool help = false;
    bool table = false;  // print the link's table as JSON
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
