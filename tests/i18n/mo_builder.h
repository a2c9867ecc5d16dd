// Builds catalogues in memory for tests: the layout msgfmt writes (header, key table, translation
// table, NUL-terminated strings), in either byte order, and with room to damage it afterwards.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace i18n::testing {

struct MoEntry {
    std::string key;
    std::string translation;
};

enum class ByteOrder { little, big };

inline void putWord(std::string& out, std::size_t at, std::uint32_t v, ByteOrder order) {
    for (int i = 0; i < 4; ++i) {
        int shift = order == ByteOrder::little ? 8 * i : 8 * (3 - i);
        out[at + i] = static_cast<char>((v >> shift) & 0xFF);
    }
}

// Entries are sorted by key (unsigned bytes) unless the test wants them as given.
inline std::string buildCatalogue(std::vector<MoEntry> entries, ByteOrder order = ByteOrder::little,
                                  bool sort = true) {
    if (sort) {
        std::sort(entries.begin(), entries.end(), [](const MoEntry& a, const MoEntry& b) {
            return std::lexicographical_compare(
                a.key.begin(), a.key.end(), b.key.begin(), b.key.end(), [](char x, char y) {
                    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
                });
        });
    }
    const auto n = static_cast<std::uint32_t>(entries.size());
    const std::uint32_t keys = 28;
    const std::uint32_t translations = keys + 8 * n;
    std::string out(translations + 8 * n, '\0');
    putWord(out, 0, 0x950412DE, order);
    putWord(out, 4, 0, order);
    putWord(out, 8, n, order);
    putWord(out, 12, keys, order);
    putWord(out, 16, translations, order);
    auto addString = [&](std::uint32_t descriptor, const std::string& s) {
        putWord(out, descriptor, static_cast<std::uint32_t>(s.size()), order);
        putWord(out, descriptor + 4, static_cast<std::uint32_t>(out.size()), order);
        out += s;
        out += '\0';
    };
    for (std::uint32_t i = 0; i < n; ++i)
        addString(keys + 8 * i, entries[i].key);
    for (std::uint32_t i = 0; i < n; ++i)
        addString(translations + 8 * i, entries[i].translation);
    return out;
}

}  // namespace i18n::testing
