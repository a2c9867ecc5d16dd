// The reader of the link's chunks (link/link_protocol.h). It judges each character as it comes
// and keeps the state of an unfinished frame rather than its text, so that a frame cut anywhere,
// even inside a unit, is kept only while what has come can still be the start of a valid frame,
// and a frame that comes a byte at a time is read once, not again with every byte.
#include <cassert>
#include <cstdlib>
#include <memory>

#include "i18n/text_codec.h"
#include "link/link_protocol.h"

namespace phonelink {
namespace {

enum class Scan { Complete, Unfinished, Invalid };

// Summed moves stop growing here and start a new message, far beyond any screen and far from
// the int's limits, so that the net displacement stays exact for chunks of any length.
constexpr int kMaxSummedOffset = 1 << 20;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Upper-case hex only: one spelling for each byte.
int hexValue(char c) {
    if (isDigit(c)) {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// A kept text frame is dropped at the first byte that no continuation can mend.
using Utf8Checker = i18n::Utf8Decoder<char16_t>;

}  // namespace

// One frame read a character at a time. Its state is all it keeps of what came before, so a
// frame that arrives over many chunks costs each chunk only its own characters.
class LinkReader::FrameParser {
  public:
    // A new frame, whose first character comes next.
    void begin() {
        part_ = Part::Opcode;
        index_ = 0;
        message_ = Message{};
    }

    // The frame's next character: Complete once it ends the frame (message() then holds it),
    // Unfinished while the frame can still become valid, Invalid as soon as it cannot.
    Scan take(char c) {
        switch (part_) {
            case Part::Opcode:
                return takeOpcode(c);
            case Part::Offset:
                return takeOffset(c);
            case Part::Key:
                return takeKey(c);
            case Part::Length:
                return takeLength(c);
            case Part::Bytes:
                return takeByte(c);
            case Part::Number:
                return takeNumber(c);
            case Part::Token:
                return takeToken(c);
        }
        return Scan::Invalid;
    }

    Message& message() { return message_; }

  private:
    enum class Part { Opcode, Offset, Key, Length, Bytes, Number, Token };

    // The first character of a two-character name from a table: kept for the second, and
    // Unfinished while some entry's name begins with it.
    template <class Entries, class Name>
    Scan takeFirst(char c, const Entries& entries, Name name) {
        first_ = c;
        index_ = 1;
        for (const auto& entry : entries) {
            if (name(entry)[0] == c) {
                return Scan::Unfinished;
            }
        }
        return Scan::Invalid;
    }

    Scan takeOpcode(char c) {
        if (index_ == 0) {
            return takeFirst(c, frameTable(), [](const FrameEntry& e) { return e.opcode; });
        }
        const FrameEntry* entry = nullptr;
        for (const auto& frame : frameTable()) {
            if (frame.opcode[0] == first_ && frame.opcode[1] == c) {
                entry = &frame;
            }
        }
        if (entry == nullptr) {
            return Scan::Invalid;
        }
        message_ = Message::ofKind(entry->kind);
        index_ = 0;
        switch (entry->kind) {
            case MessageKind::Move:
            case MessageKind::Scroll:
                part_ = Part::Offset;
                secondOffset_ = false;
                return Scan::Unfinished;
            case MessageKind::Key:
                part_ = Part::Key;
                return Scan::Unfinished;
            case MessageKind::Text:
                part_ = Part::Length;
                length_ = 0;
                return Scan::Unfinished;
            case MessageKind::Hello:
                startNumber(2, 99);
                return Scan::Unfinished;
            case MessageKind::SetVolume:
                startNumber(4, kMaxLevel);
                return Scan::Unfinished;
            case MessageKind::PressButton:
            case MessageKind::ConfirmButton:
                startNumber(4, kMaxButtonId);
                return Scan::Unfinished;
            default:
                return Scan::Complete;
        }
    }

    // A sign and three digits, dx and then dy.
    Scan takeOffset(char c) {
        if (index_ == 0) {
            if (c != '+' && c != '-') {
                return Scan::Invalid;
            }
            negative_ = c == '-';
            magnitude_ = 0;
            index_ = 1;
            return Scan::Unfinished;
        }
        if (!isDigit(c)) {
            return Scan::Invalid;
        }
        magnitude_ = magnitude_ * 10 + (c - '0');
        if (++index_ < 4) {
            return Scan::Unfinished;
        }
        const int value = negative_ ? -magnitude_ : magnitude_;
        index_ = 0;
        if (!secondOffset_) {
            message_.dx = value;
            secondOffset_ = true;
            return Scan::Unfinished;
        }
        message_.dy = value;
        return Scan::Complete;
    }

    Scan takeKey(char c) {
        if (index_ == 0) {
            return takeFirst(c, keyTable(), [](const KeyEntry& e) { return e.id; });
        }
        for (const auto& entry : keyTable()) {
            if (entry.id[0] == first_ && entry.id[1] == c) {
                message_.key = entry.key;
                return Scan::Complete;
            }
        }
        return Scan::Invalid;
    }

    // Whether value, the first `taken` of `digits` digits, can still become a number up to
    // limit: even the smallest number these digits can become may be too big already.
    static bool withinLimit(std::size_t value, std::size_t taken, std::size_t digits,
                            std::size_t limit) {
        for (std::size_t i = taken; i < digits; ++i) {
            value *= 10;
        }
        return value <= limit;
    }

    // Four digits of length, 1 to kMaxTextBytes.
    Scan takeLength(char c) {
        if (!isDigit(c)) {
            return Scan::Invalid;
        }
        length_ = length_ * 10 + static_cast<std::size_t>(c - '0');
        ++index_;
        if (!withinLimit(length_, index_, 4, kMaxTextBytes)) {
            return Scan::Invalid;
        }
        if (index_ < 4) {
            return Scan::Unfinished;
        }
        if (length_ == 0) {
            return Scan::Invalid;
        }
        part_ = Part::Bytes;
        bytesRead_ = 0;
        high_ = -1;
        utf8_ = Utf8Checker{};
        return Scan::Unfinished;
    }

    // Two hex digits a byte, checked as UTF-8 the moment the byte is whole.
    Scan takeByte(char c) {
        const int value = hexValue(c);
        if (value < 0) {
            return Scan::Invalid;
        }
        if (high_ < 0) {
            high_ = value;
            return Scan::Unfinished;
        }
        const auto byte = static_cast<unsigned char>(high_ * 16 + value);
        high_ = -1;
        if (!utf8_.take(byte, length_ - bytesRead_ - 1)) {
            return Scan::Invalid;
        }
        if (++bytesRead_ < length_) {
            return Scan::Unfinished;
        }
        message_.text = std::move(utf8_.text());
        return Scan::Complete;
    }

    void startNumber(std::size_t digits, int limit) {
        part_ = Part::Number;
        numberDigits_ = digits;
        numberLimit_ = static_cast<std::size_t>(limit);
        length_ = 0;
    }

    // A fixed count of digits up to a limit: a hello's version, a level, a button's id.
    Scan takeNumber(char c) {
        if (!isDigit(c)) {
            return Scan::Invalid;
        }
        length_ = length_ * 10 + static_cast<std::size_t>(c - '0');
        ++index_;
        if (!withinLimit(length_, index_, numberDigits_, numberLimit_)) {
            return Scan::Invalid;
        }
        if (index_ < numberDigits_) {
            return Scan::Unfinished;
        }
        const int value = static_cast<int>(length_);
        switch (message_.kind) {
            case MessageKind::Hello:
                message_.version = value;
                return Scan::Complete;
            case MessageKind::SetVolume:
                message_.level = value;
                return Scan::Complete;
            default:
                break;
        }
        // A button's id: 0000 is no button.
        if (value == 0) {
            return Scan::Invalid;
        }
        message_.button = value;
        if (message_.kind == MessageKind::PressButton) {
            return Scan::Complete;
        }
        part_ = Part::Token;
        index_ = 0;
        message_.token = 0;
        return Scan::Unfinished;
    }

    // A confirmation's six upper-case hex digits.
    Scan takeToken(char c) {
        const int value = hexValue(c);
        if (value < 0) {
            return Scan::Invalid;
        }
        message_.token = message_.token * 16 + static_cast<std::uint32_t>(value);
        return ++index_ < 6 ? Scan::Unfinished : Scan::Complete;
    }

    Part part_ = Part::Opcode;
    std::size_t index_ = 0;  // characters taken of the current part
    char first_ = 0;         // the opcode's or the key's first character
    bool secondOffset_ = false;
    bool negative_ = false;
    int magnitude_ = 0;
    std::size_t length_ = 0;  // a text's length, or the number read so far
    std::size_t numberDigits_ = 0;
    std::size_t numberLimit_ = 0;
    std::size_t bytesRead_ = 0;
    int high_ = -1;  // the first hex digit of a byte, until its second comes
    Utf8Checker utf8_;
    Message message_;
};

namespace {

void append(std::vector<Message>& messages, Message message) {
    if (message.kind == MessageKind::Move && !messages.empty() &&
        messages.back().kind == MessageKind::Move) {
        Message& last = messages.back();
        if (std::abs(last.dx) < kMaxSummedOffset && std::abs(last.dy) < kMaxSummedOffset) {
            last.dx += message.dx;
            last.dy += message.dy;
            return;
        }
    }
    messages.push_back(std::move(message));
}

}  // namespace

LinkReader::LinkReader() : frame_(std::make_unique<FrameParser>()) {}
LinkReader::~LinkReader() = default;

LinkReader::Result LinkReader::feed(std::string_view chunk, std::uint64_t arrivalMs) {
    assert(owner_.isCurrent());
    Result result;
    if (chunk.empty()) {
        return result;
    }
    // A clock that went back is no sign that the parts belong together either.
    if (inFrame_ && (arrivalMs < keptAt_ || arrivalMs - keptAt_ > kKeptFrameLifetimeMs)) {
        inFrame_ = false;
    }
    std::size_t pos = 0;
    while (pos < chunk.size()) {
        if (!inFrame_) {
            if (isDigit(chunk[pos])) {
                auto command =
                    pos + 1 < chunk.size() ? parseCommand(chunk.substr(pos, 2)) : std::nullopt;
                if (!command) {
                    dropChunk(result);
                    return result;
                }
                append(result.messages, Message::ofCommand(*command));
                pos += 2;
                continue;
            }
            frame_->begin();
            inFrame_ = true;
        }
        const Scan scan = frame_->take(chunk[pos++]);
        if (scan == Scan::Invalid) {
            dropChunk(result);
            return result;
        }
        if (scan == Scan::Complete) {
            append(result.messages, std::move(frame_->message()));
            inFrame_ = false;
        }
    }
    if (inFrame_) {
        keptAt_ = arrivalMs;
    }
    result.heard = !result.messages.empty();
    return result;
}

void LinkReader::dropChunk(Result& result) {
    result.messages.clear();
    inFrame_ = false;
}

void LinkReader::reset() {
    assert(owner_.isCurrent());
    inFrame_ = false;
}

}  // namespace phonelink
