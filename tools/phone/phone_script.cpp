#include "phone_script.h"

#include <array>
#include <charconv>

namespace phone {
namespace {

constexpr std::array<CommandCode, 12> codes{{
    {"00", "launch", "start the chosen program"},
    {"01", "esc", "Escape"},
    {"02", "up", "cursor up"},
    {"03", "start", "open the Start menu"},
    {"04", "left", "cursor left"},
    {"05", "click", "click, then Enter"},
    {"06", "right", "cursor right"},
    {"07", "volup", "volume up"},
    {"08", "down", "cursor down"},
    {"09", "pgdn", "Page Down"},
    {"10", "voldown", "volume down"},
    {"11", "pgup", "Page Up"},
}};

// Other spellings people reach for first.
struct Alias {
    std::string_view word;
    std::string_view code;
};
constexpr std::array<Alias, 10> aliases{{
    {"run", "00"},
    {"escape", "01"},
    {"menu", "03"},
    {"enter", "05"},
    {"vol+", "07"},
    {"pagedown", "09"},
    {"vol-", "10"},
    {"pageup", "11"},
    {"louder", "07"},
    {"quieter", "10"},
}};

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = lower(c);
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::optional<int> parseNumber(std::string_view text) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

}  // namespace

std::span<const CommandCode> commandCodes() {
    return codes;
}

std::optional<std::string_view> codeFor(std::string_view word) {
    for (const auto& c : codes) {
        if (word == c.code || equalsIgnoringCase(word, c.name)) {
            return c.code;
        }
    }
    for (const auto& a : aliases) {
        if (equalsIgnoringCase(word, a.word)) {
            return a.code;
        }
    }
    return std::nullopt;
}

std::optional<std::string> decodeEscapes(std::string_view text, std::string& error) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (i + 1 >= text.size()) {
            error = "a lone \\ at the end of " + quoted(text);
            return std::nullopt;
        }
        char k = text[++i];
        switch (k) {
            case 'r':
                out += '\r';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case '0':
                out += '\0';
                break;
            case '\\':
                out += '\\';
                break;
            case 'x': {
                int high = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
                int low = i + 2 < text.size() ? hexDigit(text[i + 2]) : -1;
                if (high < 0 || low < 0) {
                    error = "\\x needs two hexadecimal digits in " + quoted(text);
                    return std::nullopt;
                }
                out += static_cast<char>(high * 16 + low);
                i += 2;
                break;
            }
            default:
                error = std::string("unknown escape \\") + k + " in " + quoted(text) +
                        " (known: \\r \\n \\t \\0 \\\\ \\xHH)";
                return std::nullopt;
        }
    }
    return out;
}

std::string describePayload(std::string_view payload) {
    for (const auto& c : codes) {
        if (payload == c.code) {
            return std::string(c.code) + " (" + std::string(c.name) + ")";
        }
    }
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string shown = "\"";
    for (char c : payload) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '\r') {
            shown += "\\r";
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (c == '\\') {
            shown += "\\\\";
        } else if (c == '"') {
            shown += "\\\"";
        } else if (byte < 0x20 || byte >= 0x7F) {
            shown += "\\x";
            shown += digits[byte >> 4];
            shown += digits[byte & 15];
        } else {
            shown += c;
        }
    }
    return shown + "\" (" + std::to_string(payload.size()) + " bytes)";
}

bool isPortName(std::string_view text) {
    if (startsWithIgnoringCase(text, "\\\\.\\")) {
        return text.size() > 4;
    }
    if (!startsWithIgnoringCase(text, "COM")) {
        return false;
    }
    std::string_view digits = text.substr(3);
    if (digits.empty() || digits.size() > 3 || digits[0] == '0') {
        return false;
    }
    auto number = parseNumber(digits);
    return number && *number >= 1 && *number <= 256;
}

std::string devicePath(std::string_view port) {
    if (startsWithIgnoringCase(port, "\\\\.\\")) {
        return std::string(port);
    }
    return "\\\\.\\" + std::string(port);
}

ParseResult parseArguments(std::span<const std::string> args) {
    ParseResult result;
    Invocation& inv = result.invocation;
    bool havePort = false;
    // Help wins over any mistake elsewhere on the line.
    for (const auto& arg : args) {
        if (arg == "-h" || arg == "--help" || arg == "/?") {
            inv.help = true;
            return result;
        }
    }
    auto fail = [&](std::string message) {
        result.error = std::move(message);
        return result;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        // Takes the value of "--name value" or "--name=value".
        auto optionValue = [&](std::string_view name) -> std::optional<std::string_view> {
            if (arg.size() > name.size() && arg.substr(0, name.size()) == name &&
                arg[name.size()] == '=') {
                return arg.substr(name.size() + 1);
            }
            if (arg != name) {
                return std::nullopt;
            }
            if (i + 1 >= args.size()) {
                return std::string_view();
            }
            return std::string_view(args[++i]);
        };
        if (arg == "-i" || arg == "--interactive") {
            inv.interactive = true;
        } else if (arg == "--pause" || arg.starts_with("--pause=")) {
            bool last = arg == "--pause" && i + 1 >= args.size();
            std::string_view value = *optionValue("--pause");
            auto ms = parseNumber(value);
            if (last || !ms || *ms < 0 || *ms > maximumPauseMs) {
                return fail("--pause needs a number of milliseconds from 0 to " +
                            std::to_string(maximumPauseMs) + ", not " + quoted(value));
            }
            inv.pauseMs = *ms;
        } else if (arg == "--raw" || arg.starts_with("--raw=")) {
            if (arg == "--raw" && i + 1 >= args.size()) {
                return fail("--raw needs a text to send");
            }
            std::string_view value = *optionValue("--raw");
            std::string why;
            auto bytes = decodeEscapes(value, why);
            if (!bytes) {
                return fail("--raw: " + why);
            }
            if (bytes->empty()) {
                return fail("--raw needs at least one byte to send");
            }
            inv.payloads.push_back(std::move(*bytes));
        } else if (arg.starts_with("--")) {
            return fail("unknown option " + quoted(arg));
        } else if (!havePort) {
            if (!isPortName(arg)) {
                return fail(quoted(arg) +
                            " is not a port name (COM1 to COM256, or \\\\.\\<device>)");
            }
            inv.port = std::string(arg);
            havePort = true;
        } else if (auto code = codeFor(arg)) {
            inv.payloads.emplace_back(*code);
        } else {
            return fail("unknown code " + quoted(arg) +
                        " (codes are 00 to 11 or their names; see --help)");
        }
    }
    if (!havePort) {
        return fail("no port given (for example: phone COM6 06 06 05)");
    }
    if (inv.payloads.empty() && !inv.interactive) {
        return fail("nothing to send: give codes, --raw <text> or --interactive");
    }
    return result;
}

std::string usageText() {
    std::string text =
        "Sends Keypilot command codes to a COM port the way the phone does: one write per code,\n"
        "9600 baud, 8 data bits, no parity, 1 stop bit, no flow control.\n"
        "\n"
        "usage: phone <port> [options] <code>...\n"
        "       phone <port> --interactive\n"
        "\n"
        "  <port>             COM1 .. COM256 (or a device path \\\\.\\<name>)\n"
        "  <code>             00 .. 11, or a name from the table below, in any case\n"
        "  --pause <ms>       least time between two writes (default 100)\n"
        "  --raw <text>       send the bytes of <text> in one write, escapes \\r \\n \\t \\0\n"
        "                     \\\\ \\xHH allowed. Whole codes written together each count\n"
        "                     (--raw 060802: right, down, up); any other byte makes the whole\n"
        "                     write count for nothing (--raw \"02\\r\", --raw 0612)\n"
        "  -i, --interactive  after the codes given, send codes for keys pressed:\n"
        "                     arrows move the cursor, Enter clicks, Esc, PgUp, PgDn, + and -\n"
        "                     step the volume, Home, Win or S open the Start menu, L launches,\n"
        "                     Q quits. Without a console, reads words from standard input.\n"
        "  -h, --help         this text\n"
        "\n"
        "codes:\n";
    for (const auto& c : codes) {
        std::string name(c.name);
        name.resize(8, ' ');
        text += "  " + std::string(c.code) + "  " + name + "  " + std::string(c.description) + "\n";
    }
    text +=
        "\n"
        "exit status: 0 sent, 1 bad arguments (nothing sent), 2 the port cannot be opened,\n"
        "3 a write failed\n"
        "example: phone COM6 right right click    phone COM6 --pause 500 06 06 05\n";
    return text;
}

}  // namespace phone
