// The byte-level text handling between the program's UTF-16 texts and UTF-8: the one UTF-8
// codec of the program (the catalogues and the phone's link use it) and the line-end rules of
// lookups. Templates over the 16-bit code unit type, so the same code serves wchar_t on Windows
// and char16_t in the portable tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace i18n {

// UTF-8 is strict here, as RFC 3629 defines it, for the catalogues and the phone's link alike: a
// surrogate (U+D800 to U+DFFF) is no character, so its three-byte form (ED A0 80 to ED BF BF, as
// CESU-8 and WTF-8 write one) is not UTF-8, and a UTF-16 text with a surrogate that lacks its
// partner has no UTF-8 form. A pair of surrogates is one character beyond U+FFFF: four bytes.
// Then every text that has a UTF-8 form has exactly one, and the bytes of every text read come
// back the same when written again.

// Reads UTF-8 a byte at a time into UTF-16, so that a reader of a stream stops at the first byte
// that no later byte can mend.
template <class Unit>
class Utf8Decoder {
    static_assert(sizeof(Unit) == 2, "UTF-16 code units expected");

  public:
    // False when the byte cannot stand here: not UTF-8 whatever follows (a stray or missing
    // continuation byte, an overlong form, a surrogate, a value above U+10FFFF), or the start of
    // a character that needs more than the `left` bytes that may still follow it.
    bool take(unsigned char byte, std::size_t left) {
        if (need_ > 0) {
            if (byte < low_ || byte > high_) {
                return false;
            }
            low_ = 0x80;
            high_ = 0xBF;
            code_ = (code_ << 6) | (byte & 0x3Fu);
            if (--need_ == 0) {
                emit(code_);
            }
            return true;
        }
        if (byte < 0x80) {
            emit(byte);
            return true;
        }
        // The second byte's range excludes what the lead byte alone cannot: overlong forms after
        // E0 and F0, surrogates after ED, values above U+10FFFF after F4.
        if (byte >= 0xC2 && byte <= 0xDF) {
            need_ = 1;
            code_ = byte & 0x1Fu;
        } else if (byte >= 0xE0 && byte <= 0xEF) {
            need_ = 2;
            code_ = byte & 0x0Fu;
            low_ = byte == 0xE0 ? 0xA0 : 0x80;
            high_ = byte == 0xED ? 0x9F : 0xBF;
        } else if (byte >= 0xF0 && byte <= 0xF4) {
            need_ = 3;
            code_ = byte & 0x07u;
            low_ = byte == 0xF0 ? 0x90 : 0x80;
            high_ = byte == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        return need_ <= left;
    }

    // The characters read so far, whole ones only.
    std::basic_string<Unit>& text() { return text_; }

  private:
    void emit(char32_t c) {
        if (c >= 0x10000) {
            c -= 0x10000;
            text_ += static_cast<Unit>(0xD800 + (c >> 10));
            text_ += static_cast<Unit>(0xDC00 + (c & 0x3FF));
        } else {
            text_ += static_cast<Unit>(c);
        }
    }

    std::size_t need_ = 0;
    unsigned char low_ = 0x80;
    unsigned char high_ = 0xBF;
    char32_t code_ = 0;
    std::basic_string<Unit> text_;
};

// UTF-16 to UTF-8; nothing for a text with a lone surrogate.
template <class Unit>
std::optional<std::string> encodeUtf8(std::basic_string_view<Unit> text) {
    static_assert(sizeof(Unit) == 2, "UTF-16 code units expected");
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = static_cast<std::uint16_t>(text[i]);
        if (c >= 0xD800 && c <= 0xDFFF) {
            std::uint32_t low = i + 1 < text.size() ? static_cast<std::uint16_t>(text[i + 1]) : 0;
            if (c > 0xDBFF || low < 0xDC00 || low > 0xDFFF) {
                return std::nullopt;
            }
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// UTF-8 to UTF-16; nothing when the bytes are not UTF-8 (Utf8Decoder::take), a sequence cut short
// at the end included.
template <class Unit>
std::optional<std::basic_string<Unit>> decodeUtf8(std::string_view bytes) {
    Utf8Decoder<Unit> decoder;
    decoder.text().reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (!decoder.take(static_cast<unsigned char>(bytes[i]), bytes.size() - i - 1)) {
            return std::nullopt;
        }
    }
    return std::move(decoder.text());
}

// Whether decodeUtf8 accepts the bytes.
bool isUtf8(std::string_view bytes);

// Catalogue keys hold bare LF line ends.
void stripCarriageReturns(std::string& bytes);

// A CR before every LF that does not already follow one, so texts leave with CR LF line ends.
std::string expandLineFeeds(std::string_view bytes);

}  // namespace i18n
