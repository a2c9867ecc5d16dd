#include "phone_script.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>

#include "link/link_protocol.h"

namespace phone {
namespace {

// Other spellings people reach for first, for names of the link's table.
struct Alias {
    std::string_view word;
    std::string_view name;
};
constexpr std::array<Alias, 10> aliases{{
    {"run", "launch"},
    {"escape", "esc"},
    {"menu", "start"},
    {"enter", "click"},
    {"vol+", "volup"},
    {"pagedown", "pgdn"},
    {"vol-", "voldown"},
    {"pageup", "pgup"},
    {"louder", "volup"},
    {"quieter", "voldown"},
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

// The most notches one scroll frame carries: 8 * 120 wheel units stays within its three digits.
constexpr int maximumNotches = phonelink::kMaxOffset / 120;
constexpr int wheelDelta = 120;

const phonelink::FrameEntry* frameNamed(std::string_view word) {
    for (const auto& frame : phonelink::frameTable()) {
        if (equalsIgnoringCase(word, frame.name)) {
            return &frame;
        }
    }
    return nullptr;
}

const phonelink::KeyEntry* keyNamed(std::string_view word) {
    for (const auto& key : phonelink::keyTable()) {
        if (equalsIgnoringCase(word, key.name) || word == key.id) {
            return &key;
        }
    }
    return nullptr;
}

// How the simulator's words name a message: "right", "move 10 -5", "scroll -3", "playpause".
std::string messageName(const phonelink::Message& m) {
    switch (m.kind) {
        case phonelink::MessageKind::Command:
            return std::string(phonelink::commandTable()[static_cast<size_t>(m.command)].name);
        case phonelink::MessageKind::Move:
            return "move " + std::to_string(m.dx) + " " + std::to_string(m.dy);
        case phonelink::MessageKind::Scroll:
            if (m.dx == 0 && m.dy % wheelDelta == 0) {
                return "scroll " + std::to_string(m.dy / wheelDelta);
            }
            if (m.dy == 0 && m.dx % wheelDelta == 0) {
                return "hscroll " + std::to_string(m.dx / wheelDelta);
            }
            return "scroll by " + std::to_string(m.dx) + ", " + std::to_string(m.dy) +
                   " wheel units";
        case phonelink::MessageKind::Key:
            return std::string(phonelink::keyEntry(m.key).name);
        case phonelink::MessageKind::Text:
            return "type, " + std::to_string(m.text.size()) + " UTF-16 units";
        case phonelink::MessageKind::Hello:
            return "hello " + std::to_string(m.version);
        case phonelink::MessageKind::SetVolume:
            return "volume " + std::to_string(m.level);
        case phonelink::MessageKind::PressButton:
            return "button " + std::to_string(m.button);
        case phonelink::MessageKind::ConfirmButton:
            return "confirm " + std::to_string(m.button) + " " + phonelink::tokenText(m.token);
        default:
            for (const auto& frame : phonelink::frameTable()) {
                if (frame.kind == m.kind) {
                    return std::string(frame.name);
                }
            }
            return {};
    }
}

// "confirm ID TOKEN": the token as Keypilot's confirmation line gave it, six hex digits.
std::optional<phonelink::Message> confirmation(int id, std::optional<std::string_view> token,
                                               std::string& error) {
    if (!token) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    bool good = token->size() == 6;
    for (char c : *token) {
        const int digit = hexDigit(c);
        good = good && digit >= 0;
        value = value * 16 + static_cast<std::uint32_t>(std::max(digit, 0));
    }
    if (!good) {
        error = "confirm needs a token of six hex digits, not " + quoted(*token);
        return std::nullopt;
    }
    return phonelink::Message::confirmButton(id, value);
}

}  // namespace

std::optional<std::string_view> codeFor(std::string_view word) {
    for (const auto& a : aliases) {
        if (equalsIgnoringCase(word, a.word)) {
            word = a.name;
        }
    }
    for (const auto& c : phonelink::commandTable()) {
        if (word == c.code || equalsIgnoringCase(word, c.name)) {
            return c.code;
        }
    }
    return std::nullopt;
}

std::optional<std::string> payloadFor(std::span<const std::string> words, size_t& i,
                                      std::string& error) {
    const std::string& word = words[i];
    if (auto code = codeFor(word)) {
        ++i;
        return std::string(*code);
    }
    if (const auto* key = keyNamed(word)) {
        ++i;
        return phonelink::encodeMessage(phonelink::Message::ofKey(key->key));
    }
    bool sideways = equalsIgnoringCase(word, "hscroll");
    const phonelink::FrameEntry* frame = sideways ? frameNamed("scroll") : frameNamed(word);
    if (frame == nullptr) {
        error = "unknown code " + quoted(word) + " (codes are 00 to 11 or the names; see --help)";
        return std::nullopt;
    }
    // The parameters that follow the word, each checked for what it must be.
    size_t next = i + 1;
    auto parameter = [&](std::string_view what) -> std::optional<std::string_view> {
        if (next >= words.size()) {
            error = std::string(word) + " needs " + std::string(what);
            return std::nullopt;
        }
        return std::string_view(words[next++]);
    };
    auto number = [&](std::string_view what, int limit) -> std::optional<int> {
        auto text = parameter(what);
        if (!text) {
            return std::nullopt;
        }
        std::string_view digits = *text;
        if (digits.starts_with('+')) {
            digits.remove_prefix(1);
        }
        auto value = parseNumber(digits);
        if (!value || *value < -limit || *value > limit) {
            error = std::string(word) + " needs " + std::string(what) + " from " +
                    std::to_string(-limit) + " to " + std::to_string(limit) + ", not " +
                    quoted(*text);
            return std::nullopt;
        }
        return value;
    };
    std::optional<phonelink::Message> message;
    switch (frame->kind) {
        case phonelink::MessageKind::Move: {
            auto dx = number("DX", phonelink::kMaxOffset);
            auto dy = dx ? number("DY", phonelink::kMaxOffset) : std::nullopt;
            if (dy) {
                message = phonelink::Message::move(*dx, *dy);
            }
            break;
        }
        case phonelink::MessageKind::Scroll:
            if (auto notches = number("a number of notches", maximumNotches)) {
                message = sideways ? phonelink::Message::scroll(*notches * wheelDelta, 0)
                                   : phonelink::Message::scroll(0, *notches * wheelDelta);
            }
            break;
        case phonelink::MessageKind::Key:
            if (auto name = parameter("a key name")) {
                if (const auto* key = keyNamed(*name)) {
                    message = phonelink::Message::ofKey(key->key);
                } else {
                    error = "unknown key " + quoted(*name) + " (keys: see --help)";
                }
            }
            break;
        case phonelink::MessageKind::Text:
            if (auto text = parameter("a text")) {
                auto utf16 = phonelink::utf16FromUtf8(*text);
                if (!utf16 || text->empty() || text->size() > phonelink::kMaxTextBytes) {
                    error = "type needs a text of 1 to " +
                            std::to_string(phonelink::kMaxTextBytes) + " bytes of UTF-8, not " +
                            quoted(*text);
                } else {
                    message = phonelink::Message::typing(std::move(*utf16));
                }
            }
            break;
        case phonelink::MessageKind::Hello: {
            // The version is optional: "hello" alone speaks for this build's link. A word that is
            // one of the codes stays a code ("hello 06" says hello, then moves right).
            auto version = next < words.size() && !codeFor(words[next]) ? parseNumber(words[next])
                                                                        : std::nullopt;
            if (version && *version >= 0 && *version <= 99) {
                ++next;
                message = phonelink::Message::hello(*version);
            } else {
                message = phonelink::Message::hello(phonelink::kProtocolVersion);
            }
            break;
        }
        case phonelink::MessageKind::SetVolume:
            if (auto level = number("a level in per cent", phonelink::kMaxLevel)) {
                if (*level < 0) {
                    error = std::string(word) + " needs a level in per cent from 0 to " +
                            std::to_string(phonelink::kMaxLevel) + ", not " +
                            std::to_string(*level);
                } else {
                    message = phonelink::Message::setVolume(*level);
                }
            }
            break;
        case phonelink::MessageKind::PressButton:
        case phonelink::MessageKind::ConfirmButton: {
            auto id = number("a button id", phonelink::kMaxButtonId);
            if (id && *id < 1) {
                error = std::string(word) + " needs a button id from 1 to " +
                        std::to_string(phonelink::kMaxButtonId) + ", not " + std::to_string(*id);
                break;
            }
            if (id && frame->kind == phonelink::MessageKind::PressButton) {
                message = phonelink::Message::pressButton(*id);
            } else if (id) {
                message = confirmation(*id, parameter("a token of six hex digits"), error);
            }
            break;
        }
        default:
            message = phonelink::Message::ofKind(frame->kind);
            break;
    }
    if (!message) {
        return std::nullopt;
    }
    i = next;
    return phonelink::encodeMessage(*message);
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
    phonelink::LinkReader reader;
    auto read = reader.feed(payload, 0);
    if (read.messages.size() == 1 && !reader.holdsFrame()) {
        return std::string(payload.substr(0, 24)) + (payload.size() > 24 ? "..." : "") + " (" +
               messageName(read.messages[0]) + ")";
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
    if (args.size() == 1 && args[0] == "--table") {
        inv.table = true;
        return result;
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
        } else {
            size_t next = i;
            std::string why;
            auto payload = payloadFor(args, next, why);
            if (!payload) {
                return fail(why);
            }
            inv.payloads.push_back(std::move(*payload));
            i = next - 1;
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
        "Sends Keypilot's link codes to a COM port the way the phone does: one write per code\n"
        "or frame, 9600 baud, 8 data bits, no parity, 1 stop bit, no flow control.\n"
        "\n"
        "usage: phone <port> [options] <code>...\n"
        "       phone <port> --interactive\n"
        "       phone --table\n"
        "\n"
        "  <port>             COM1 .. COM256 (or a device path \\\\.\\<name>)\n"
        "  <code>             00 .. 11, or a name from the tables below, in any case, with its\n"
        "                     parameters after it (move 10 -5, type \"Привет\", scroll -3)\n"
        "  --pause <ms>       least time between two writes (default 100)\n"
        "  --raw <text>       send the bytes of <text> in one write, escapes \\r \\n \\t \\0\n"
        "                     \\\\ \\xHH allowed. Whole codes written together each count\n"
        "                     (--raw 060802: right, down, up); any other byte makes the whole\n"
        "                     write count for nothing (--raw \"02\\r\", --raw 0612)\n"
        "  -i, --interactive  after the codes given, send codes for keys pressed:\n"
        "                     arrows move the cursor, Enter clicks, Esc, PgUp, PgDn, + and -\n"
        "                     step the volume, Home, Win or S open the Start menu, L launches,\n"
        "                     Q quits. Without a console, reads words from standard input\n"
        "                     (the words that take no parameters).\n"
        "  --table            print the link's table (codes, frames, keys) as JSON\n"
        "  -h, --help         this text\n"
        "\n"
        "codes:\n";
    auto row = [&text](std::string_view wire, std::string_view words, std::string_view what) {
        std::string left(wire);
        left.resize(4, ' ');
        std::string middle(words);
        middle.resize(std::max<size_t>(middle.size(), 14), ' ');
        text += "  " + left + "  " + middle + "  " + std::string(what) + "\n";
    };
    for (const auto& c : phonelink::commandTable()) {
        row(c.code, c.name, c.description);
    }
    text += "\nframes (Keypilot 2 and later):\n";
    for (const auto& f : phonelink::frameTable()) {
        std::string words(f.name);
        if (!f.parameters.empty()) {
            words += " " + std::string(f.parameters);
        }
        row(f.opcode, words, f.description);
    }
    text += "\nkeys, pressed as real keys (each word alone, or key <word>):\n";
    for (const auto& k : phonelink::keyTable()) {
        row("KY" + std::string(k.id), k.name, k.description);
    }
    text +=
        "\n"
        "exit status: 0 sent, 1 bad arguments (nothing sent), 2 the port cannot be opened,\n"
        "3 a write failed\n"
        "example: phone COM6 right right click    phone COM6 --pause 500 06 06 05\n"
        "         phone COM6 move 10 -5 rightclick scroll -3 type \"Привет\" playpause\n"
        "         phone COM6 hello button 6 confirm 6 A1B2C3   (the token Keypilot answered)\n";
    return text;
}

}  // namespace phone
