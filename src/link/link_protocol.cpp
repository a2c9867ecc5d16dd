#include "link/link_protocol.h"

#include <array>
#include <utility>

#include "i18n/text_codec.h"
#include "link/answer.h"
#include "link/button_press.h"
#include "link/json_text.h"
#include "link/phone_contact.h"

namespace phonelink {
namespace {

constexpr std::array<FrameEntry, 14> kFrames{{
    {"PI", MessageKind::Ping, 1, false, "ping", "",
     "sign of life: the phone is there, nothing is done"},
    {"MV", MessageKind::Move, 5, false, "move", "DX DY",
     "move the cursor by DX, DY pixels (-999 to 999, positive DY down)"},
    {"SC", MessageKind::Scroll, 5, false, "scroll", "NOTCHES",
     "turn the wheel (-8 to 8 notches, positive up; hscroll NOTCHES: sideways)"},
    {"CL", MessageKind::LeftClick, 1, false, "leftclick", "", "left click, no Enter"},
    {"CR", MessageKind::RightClick, 1, false, "rightclick", "", "right click"},
    {"DN", MessageKind::LeftDown, 1, false, "press", "", "hold the left button down (drag)"},
    {"UP", MessageKind::LeftUp, 1, false, "release", "", "release the left button"},
    {"KY", MessageKind::Key, 2, false, "key", "NAME", "press a key of the key table"},
    {"MU", MessageKind::Mute, 1, false, "mute", "", "mute or unmute the sound"},
    {"TX", MessageKind::Text, 3, true, "type", "TEXT",
     "type TEXT (1 to 1000 bytes of UTF-8; a line end as Enter, a tab as Tab)"},
    {"HI", MessageKind::Hello, 2, false, "hello", "[VERSION]",
     "say hello with link version VERSION (0 to 99, 3 if left out): Keypilot answers"},
    {"VL", MessageKind::SetVolume, 3, false, "volume", "PERCENT",
     "set the master volume to PERCENT (0 to 100), mute as it is"},
    {"BT", MessageKind::PressButton, 3, false, "button", "ID",
     "press the PC's button ID (1 to 9999) from the list Keypilot sent"},
    {"CF", MessageKind::ConfirmButton, 6, false, "confirm", "ID TOKEN",
     "confirm the press of button ID with the TOKEN (six hex digits) Keypilot sent for it"},
}};

// Media keys and the arrows sit on the extended part of the keyboard.
constexpr std::array<KeyEntry, 11> kKeys{{
    {"EN", LinkKey::Enter, 0x0D, false, "return", "Enter (no click)"},
    {"BS", LinkKey::Backspace, 0x08, false, "backspace", "Backspace"},
    {"TB", LinkKey::Tab, 0x09, false, "tab", "Tab"},
    {"ES", LinkKey::Escape, 0x1B, false, "endslideshow", "Escape (end the slideshow)"},
    {"PP", LinkKey::PlayPause, 0xB3, true, "playpause", "media play/pause"},
    {"NX", LinkKey::NextTrack, 0xB0, true, "nexttrack", "media next track"},
    {"PV", LinkKey::PreviousTrack, 0xB1, true, "prevtrack", "media previous track"},
    {"F5", LinkKey::F5, 0x74, false, "slideshow", "F5 (start the slideshow)"},
    {"RT", LinkKey::Right, 0x27, true, "nextslide", "Right arrow (next slide)"},
    {"LT", LinkKey::Left, 0x25, true, "prevslide", "Left arrow (previous slide)"},
    {"BK", LinkKey::B, 0x42, false, "black", "B (black screen)"},
}};

constexpr std::array<std::string_view, 15> kKindNames{
    "command", "ping", "move", "scroll", "leftClick", "rightClick",  "leftDown",     "leftUp",
    "key",     "mute", "text", "hello",  "setVolume", "pressButton", "confirmButton"};

std::string_view opcodeOf(MessageKind kind) {
    for (const auto& frame : kFrames) {
        if (frame.kind == kind) {
            return frame.opcode;
        }
    }
    return {};
}

// "+012", "-999": a sign and three digits.
bool appendOffset(std::string& out, int value) {
    if (value < -kMaxOffset || value > kMaxOffset) {
        return false;
    }
    out += value < 0 ? '-' : '+';
    int magnitude = value < 0 ? -value : value;
    out += static_cast<char>('0' + magnitude / 100);
    out += static_cast<char>('0' + magnitude / 10 % 10);
    out += static_cast<char>('0' + magnitude % 10);
    return true;
}

// value as `digits` decimal digits; false when it does not fit them or is below 0.
bool appendDigits(std::string& out, int value, int digits, int limit) {
    if (value < 0 || value > limit) {
        return false;
    }
    std::string text(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value /= 10) {
        text[static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
    }
    out += text;
    return true;
}

}  // namespace

std::string tokenText(std::uint32_t token) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text(6, '0');
    for (int i = 5; i >= 0; --i, token >>= 4) {
        text[static_cast<std::size_t>(i)] = kHex[token & 15];
    }
    return text;
}

std::string buttonIdText(int button) {
    std::string text;
    appendDigits(text, button, 4, kMaxButtonId);
    return text;
}

namespace {

// "[...]" of one object per entry, each written by fill.
template <class Entries, class Fill>
void appendArray(std::string& out, const Entries& entries, Fill fill) {
    out += '[';
    bool first = true;
    for (const auto& entry : entries) {
        if (!first) {
            out += ',';
        }
        first = false;
        JsonObject object(out);
        fill(object, entry);
    }
    out += ']';
}

}  // namespace

Message Message::ofCommand(Command c) {
    Message m;
    m.kind = MessageKind::Command;
    m.command = c;
    return m;
}

Message Message::ofKind(MessageKind k) {
    Message m;
    m.kind = k;
    return m;
}

Message Message::move(int dx, int dy) {
    Message m;
    m.kind = MessageKind::Move;
    m.dx = dx;
    m.dy = dy;
    return m;
}

Message Message::scroll(int dx, int dy) {
    Message m = move(dx, dy);
    m.kind = MessageKind::Scroll;
    return m;
}

Message Message::hello(int version) {
    Message m = ofKind(MessageKind::Hello);
    m.version = version;
    return m;
}

Message Message::setVolume(int level) {
    Message m = ofKind(MessageKind::SetVolume);
    m.level = level;
    return m;
}

Message Message::pressButton(int button) {
    Message m = ofKind(MessageKind::PressButton);
    m.button = button;
    return m;
}

Message Message::confirmButton(int button, std::uint32_t token) {
    Message m = ofKind(MessageKind::ConfirmButton);
    m.button = button;
    m.token = token;
    return m;
}

Message Message::ofKey(LinkKey k) {
    Message m;
    m.kind = MessageKind::Key;
    m.key = k;
    return m;
}

Message Message::typing(std::u16string text) {
    Message m;
    m.kind = MessageKind::Text;
    m.text = std::move(text);
    return m;
}

std::span<const FrameEntry> frameTable() {
    return kFrames;
}

std::span<const KeyEntry> keyTable() {
    return kKeys;
}

const KeyEntry& keyEntry(LinkKey key) {
    for (const auto& entry : kKeys) {
        if (entry.key == key) {
            return entry;
        }
    }
    return kKeys[0];
}

std::optional<std::string> encodeMessage(const Message& message) {
    if (message.kind == MessageKind::Command) {
        return std::string(commandCode(message.command));
    }
    std::string out(opcodeOf(message.kind));
    switch (message.kind) {
        case MessageKind::Move:
        case MessageKind::Scroll:
            if (!appendOffset(out, message.dx) || !appendOffset(out, message.dy)) {
                return std::nullopt;
            }
            break;
        case MessageKind::Key:
            out += keyEntry(message.key).id;
            break;
        case MessageKind::Text: {
            auto bytes = i18n::encodeUtf8(std::u16string_view(message.text));
            if (!bytes || bytes->empty() || bytes->size() > kMaxTextBytes) {
                return std::nullopt;
            }
            appendDigits(out, static_cast<int>(bytes->size()), 4, 9999);
            static constexpr char kHex[] = "0123456789ABCDEF";
            for (char c : *bytes) {
                auto byte = static_cast<unsigned char>(c);
                out += kHex[byte >> 4];
                out += kHex[byte & 15];
            }
            break;
        }
        case MessageKind::Hello:
            if (!appendDigits(out, message.version, 2, 99)) {
                return std::nullopt;
            }
            break;
        case MessageKind::SetVolume:
            if (!appendDigits(out, message.level, 4, kMaxLevel)) {
                return std::nullopt;
            }
            break;
        case MessageKind::PressButton:
        case MessageKind::ConfirmButton:
            if (message.button < 1 || !appendDigits(out, message.button, 4, kMaxButtonId)) {
                return std::nullopt;
            }
            if (message.kind == MessageKind::ConfirmButton) {
                if (message.token >= kTokenLimit) {
                    return std::nullopt;
                }
                out += tokenText(message.token);
            }
            break;
        default:
            break;
    }
    return out;
}

std::u16string typedText(std::u16string_view text) {
    std::u16string typed;
    typed.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\r' || c == u'\n') {
            typed += u'\r';
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
                ++i;
            }
        } else if (c == u'\t' || (c >= 0x20 && c < 0x7F) || c > 0x9F) {
            typed += c;
        }
    }
    return typed;
}

std::string linkTableJson() {
    std::string out;
    {
        JsonObject root(out);
        root.number("version", kProtocolVersion);
        root.name("limits");
        {
            JsonObject limits(out);
            limits.number("maxOffset", kMaxOffset);
            limits.number("maxTextBytes", kMaxTextBytes);
            limits.number("longestFrameChars", kLongestFrameChars);
            limits.number("keptFrameLifetimeMs", kKeptFrameLifetimeMs);
            limits.number("pingingSilenceMs", PhoneContact::kPingingSilenceMs);
            limits.number("quietSilenceMs", PhoneContact::kQuietSilenceMs);
            limits.number("heldButtonSilenceMs", kHeldButtonSilenceMs);
            limits.number("maxLevel", kMaxLevel);
            limits.number("maxAnswerBytes", kMaxAnswerBytes);
            limits.number("maxButtonId", kMaxButtonId);
            limits.number("maxButtons", kMaxButtons);
            limits.number("confirmMs", ButtonConfirmations::kConfirmMs);
        }
        root.name("codes");
        appendArray(out, commandTable(), [](JsonObject& o, const CommandEntry& e) {
            o.text("code", e.code);
            o.text("name", e.name);
            o.text("description", e.description);
        });
        root.name("frames");
        appendArray(out, kFrames, [](JsonObject& o, const FrameEntry& e) {
            o.text("opcode", e.opcode);
            o.text("kind", kKindNames[static_cast<std::size_t>(e.kind)]);
            o.number("units", e.units);
            o.flag("lengthPrefixed", e.lengthPrefixed);
            o.text("name", e.name);
            o.text("parameters", e.parameters);
            o.text("description", e.description);
        });
        root.name("keys");
        appendArray(out, kKeys, [](JsonObject& o, const KeyEntry& e) {
            o.text("id", e.id);
            o.text("frame", "KY" + std::string(e.id));
            o.number("virtualKey", e.virtualKey);
            o.flag("extended", e.extended);
            o.text("name", e.name);
            o.text("description", e.description);
        });
    }
    return out;
}

std::optional<std::u16string> utf16FromUtf8(std::string_view utf8) {
    return i18n::decodeUtf8<char16_t>(utf8);
}

}  // namespace phonelink
