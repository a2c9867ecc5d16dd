// The reader of the link's chunks (app/link_protocol.h). It judges the joined text character by
// character, so that a frame cut anywhere, even inside a unit, is kept only while what has come
// can still be the start of a valid frame.
#include <cstdlib>

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

bool isUpperLetter(char c) {
    return c >= 'A' && c <= 'Z';
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

// Reads from text[pos] on; each read* moves pos past what it took when it returns Complete.
class FrameScanner {
  public:
    FrameScanner(std::string_view text, std::size_t pos) : text_(text), pos_(pos) {}

    std::size_t position() const { return pos_; }

    // One frame; text[pos] is an upper-case letter.
    Scan readFrame(Message& out) {
        if (pos_ + 1 >= text_.size()) {
            for (const auto& frame : frameTable()) {
                if (frame.opcode[0] == text_[pos_]) {
                    return Scan::Unfinished;
                }
            }
            return Scan::Invalid;
        }
        const FrameEntry* entry = nullptr;
        for (const auto& frame : frameTable()) {
            if (text_.substr(pos_, 2) == frame.opcode) {
                entry = &frame;
            }
        }
        if (entry == nullptr) {
            return Scan::Invalid;
        }
        pos_ += 2;
        out = Message::ofKind(entry->kind);
        switch (entry->kind) {
            case MessageKind::Move:
            case MessageKind::Scroll:
                if (Scan s = readOffset(out.dx); s != Scan::Complete) {
                    return s;
                }
                return readOffset(out.dy);
            case MessageKind::Key:
                return readKey(out.key);
            case MessageKind::Text:
                return readText(out.text);
            default:
                return Scan::Complete;
        }
    }

  private:
    bool atEnd(std::size_t offset = 0) const { return pos_ + offset >= text_.size(); }

    // A sign and three digits.
    Scan readOffset(int& value) {
        if (atEnd()) {
            return Scan::Unfinished;
        }
        char sign = text_[pos_];
        if (sign != '+' && sign != '-') {
            return Scan::Invalid;
        }
        int magnitude = 0;
        for (std::size_t i = 1; i <= 3; ++i) {
            if (atEnd(i)) {
                return Scan::Unfinished;
            }
            if (!isDigit(text_[pos_ + i])) {
                return Scan::Invalid;
            }
            magnitude = magnitude * 10 + (text_[pos_ + i] - '0');
        }
        pos_ += 4;
        value = sign == '-' ? -magnitude : magnitude;
        return Scan::Complete;
    }

    Scan readKey(LinkKey& key) {
        if (atEnd()) {
            return Scan::Unfinished;
        }
        bool begun = false;
        for (const auto& entry : keyTable()) {
            if (entry.id[0] != text_[pos_]) {
                continue;
            }
            begun = true;
            if (!atEnd(1) && entry.id[1] == text_[pos_ + 1]) {
                key = entry.key;
                pos_ += 2;
                return Scan::Complete;
            }
        }
        return begun && atEnd(1) ? Scan::Unfinished : Scan::Invalid;
    }

    // Four digits of length (1 to kMaxTextBytes), then that many bytes as hex pairs.
    Scan readText(std::u16string& text) {
        std::size_t length = 0;
        std::size_t scale = 1000;
        for (std::size_t i = 0; i < 4; ++i, scale /= 10) {
            if (atEnd(i)) {
                return Scan::Unfinished;
            }
            if (!isDigit(text_[pos_ + i])) {
                return Scan::Invalid;
            }
            length = length * 10 + static_cast<std::size_t>(text_[pos_ + i] - '0');
            // Even the smallest length these digits can still become is too long.
            if (length * scale > kMaxTextBytes) {
                return Scan::Invalid;
            }
        }
        if (length == 0) {
            return Scan::Invalid;
        }
        pos_ += 4;
        Utf8Checker utf8;
        for (std::size_t i = 0; i < length; ++i) {
            if (atEnd()) {
                return Scan::Unfinished;
            }
            int high = hexValue(text_[pos_]);
            if (high < 0) {
                return Scan::Invalid;
            }
            if (atEnd(1)) {
                return Scan::Unfinished;
            }
            int low = hexValue(text_[pos_ + 1]);
            if (low < 0 ||
                !utf8.take(static_cast<unsigned char>(high * 16 + low), length - i - 1)) {
                return Scan::Invalid;
            }
            pos_ += 2;
        }
        text = std::move(utf8.text());
        return Scan::Complete;
    }

    std::string_view text_;
    std::size_t pos_;
};

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

// The messages of a whole text; on Unfinished, `unfinishedAt` is where the last frame begins.
Scan scanText(std::string_view text, std::vector<Message>& messages, std::size_t& unfinishedAt) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        char c = text[pos];
        if (isDigit(c)) {
            auto command = pos + 1 < text.size() ? parseCommand(text.substr(pos, 2)) : std::nullopt;
            if (!command) {
                return Scan::Invalid;
            }
            append(messages, Message::ofCommand(*command));
            pos += 2;
        } else if (isUpperLetter(c)) {
            FrameScanner scanner(text, pos);
            Message message;
            Scan s = scanner.readFrame(message);
            if (s == Scan::Invalid) {
                return s;
            }
            if (s == Scan::Unfinished) {
                unfinishedAt = pos;
                return s;
            }
            append(messages, std::move(message));
            pos = scanner.position();
        } else {
            return Scan::Invalid;
        }
    }
    return Scan::Complete;
}

}  // namespace

LinkReader::Result LinkReader::feed(std::string_view chunk, std::uint64_t arrivalMs) {
    Result result;
    if (chunk.empty()) {
        return result;
    }
    // A clock that went back is no sign that the parts belong together either.
    if (!kept_.empty() && (arrivalMs < keptAt_ || arrivalMs - keptAt_ > kKeptFrameLifetimeMs)) {
        kept_.clear();
    }
    std::string joined;
    std::string_view text = chunk;
    if (!kept_.empty()) {
        joined = std::move(kept_);
        joined.append(chunk);
        text = joined;
    }
    kept_.clear();
    std::size_t unfinishedAt = 0;
    Scan scan = scanText(text, result.messages, unfinishedAt);
    if (scan == Scan::Invalid) {
        result.messages.clear();
        return result;
    }
    if (scan == Scan::Unfinished) {
        kept_.assign(text.substr(unfinishedAt));
        keptAt_ = arrivalMs;
    }
    result.heard = true;
    return result;
}

void LinkReader::reset() {
    kept_.clear();
}

}  // namespace phonelink
