// The byte-level text handling between the program's UTF-16 texts and the catalogues' UTF-8:
// a standard UTF-8 codec (characters outside the Basic Multilingual Plane travel as four-byte
// sequences) and the line-end rules of lookups. Templates over the 16-bit code unit type, so the
// same code serves wchar_t on Windows and char16_t in the portable tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace i18n {

// UTF-16 to UTF-8. A surrogate without its partner is encoded on its own as a three-byte
// sequence, so every text gets a key and decodes back to itself.
template <class Unit>
std::string encodeUtf8(std::basic_string_view<Unit> text) {
    static_assert(sizeof(Unit) == 2, "UTF-16 code units expected");
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = static_cast<std::uint16_t>(text[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            std::uint32_t low = static_cast<std::uint16_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
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

// UTF-8 to UTF-16; nothing when the bytes are not UTF-8 (a sequence cut short, a stray or
// missing continuation byte, an overlong form, a value above U+10FFFF).
template <class Unit>
std::optional<std::basic_string<Unit>> decodeUtf8(std::string_view bytes) {
    static_assert(sizeof(Unit) == 2, "UTF-16 code units expected");
    std::basic_string<Unit> out;
    out.reserve(bytes.size());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        std::uint32_t lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            out += static_cast<Unit>(lead);
            ++i;
            continue;
        }
        std::size_t length;
        std::uint32_t c;
        std::uint32_t minimum;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, c = lead & 0x1F, minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, c = lead & 0x0F, minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, c = lead & 0x07, minimum = 0x10000;
        } else {
            return std::nullopt;
        }
        if (n - i < length) {
            return std::nullopt;
        }
        for (std::size_t k = 1; k < length; ++k) {
            std::uint32_t b = static_cast<unsigned char>(bytes[i + k]);
            if ((b & 0xC0) != 0x80) {
                return std::nullopt;
            }
            c = (c << 6) | (b & 0x3F);
        }
        if (c < minimum || c > 0x10FFFF) {
            return std::nullopt;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<Unit>(0xD800 + (c >> 10));
            out += static_cast<Unit>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<Unit>(c);
        }
        i += length;
    }
    return out;
}

// Whether decodeUtf8 accepts the bytes.
bool isUtf8(std::string_view bytes);

// Catalogue keys hold bare LF line ends.
void stripCarriageReturns(std::string& bytes);

// A CR before every LF that does not already follow one, so texts leave with CR LF line ends.
std::string expandLineFeeds(std::string_view bytes);

}  // namespace i18n
