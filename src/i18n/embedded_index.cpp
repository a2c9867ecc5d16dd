#include "i18n/embedded_index.h"

#include <set>

namespace i18n {
namespace {

constexpr std::uint64_t kEntryHeaderSize = 24;
// Names are short relative paths; anything longer means the chain is damaged.
constexpr std::uint32_t kLongestName = 32 * 1024;
constexpr int kMostEntries = 1 << 16;

std::uint64_t readUint64(const unsigned char* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return v;
}

void putUint64(std::string& out, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

void appendUint64(std::string& out, std::uint64_t v) {
    out.append(8, '\0');
    putUint64(out, out.size() - 8, v);
}

}  // namespace

std::string embeddedIndexGuid() {
    // Kept in two pieces on purpose; see the header.
    static const char first[] = "DC7FF10F-31BA-4FCB";
    static const char second[] = "-B499-D7839E7AA3B7";
    std::string guid(first);
    guid += second;
    return guid;
}

std::string_view trimEntryName(std::string_view name) {
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    while (!name.empty() && blank(name.front())) {
        name.remove_prefix(1);
    }
    while (!name.empty() && blank(name.back())) {
        name.remove_suffix(1);
    }
    return name;
}

void walkEmbeddedIndex(std::uint64_t first, const ReadAt& readAt, const AddEntry& add) {
    // File positions count through their low 32 bits.
    std::uint32_t position = static_cast<std::uint32_t>(first);
    for (int entries = 0; entries < kMostEntries; ++entries) {
        unsigned char header[kEntryHeaderSize];
        if (!readAt(position, header, 8)) {
            return;
        }
        std::uint32_t next = static_cast<std::uint32_t>(readUint64(header));
        if (readUint64(header) == 0) {
            return;
        }
        if (!readAt(std::uint64_t{position} + 8, header + 8, 16)) {
            return;
        }
        std::uint64_t nameStart = std::uint64_t{position} + kEntryHeaderSize;
        if (next < nameStart || next - nameStart > kLongestName) {
            return;
        }
        std::string name(static_cast<std::size_t>(next - nameStart), '\0');
        if (!name.empty() && !readAt(nameStart, name.data(), name.size())) {
            return;
        }
        EmbeddedEntry entry;
        entry.name = std::string(trimEntryName(name));
        entry.offset = static_cast<std::int64_t>(readUint64(header + 8));
        entry.size = static_cast<std::int64_t>(readUint64(header + 16));
        if (!add(std::move(entry))) {
            return;
        }
        position = next;
    }
}

std::vector<std::size_t> findMarkerGuid(std::string_view bytes) {
    std::vector<std::size_t> found;
    const std::string guid = embeddedIndexGuid();
    for (std::size_t at = bytes.find(guid); at != std::string_view::npos;
         at = bytes.find(guid, at + 1)) {
        found.push_back(at);
    }
    return found;
}

std::string embedCatalogues(std::string& executable, const std::vector<CatalogueToEmbed>& items) {
    auto markers = findMarkerGuid(executable);
    if (markers.empty()) {
        return "the executable holds no catalogue index marker";
    }
    if (markers.size() > 1) {
        return "the catalogue index marker occurs more than once";
    }
    const std::size_t slot = markers.front() + kMarkerGuidLength;
    if (slot + 8 > executable.size()) {
        return "the catalogue index marker is cut short";
    }
    if (readUint64(reinterpret_cast<const unsigned char*>(executable.data()) + slot) != 0) {
        return "catalogues are already embedded in this executable";
    }
    std::set<std::string> names;
    for (const auto& item : items) {
        std::string trimmed(trimEntryName(item.name));
        if (trimmed.empty() || trimmed != item.name) {
            return "bad catalogue name: " + item.name;
        }
        if (!names.insert(trimmed).second) {
            return "catalogue named twice: " + item.name;
        }
    }

    std::vector<std::uint64_t> offsets;
    for (const auto& item : items) {
        offsets.push_back(executable.size());
        executable += item.bytes;
    }
    // Entries start on an 8-byte boundary only for the sake of people reading hex dumps.
    executable.append((8 - executable.size() % 8) % 8, '\0');
    const std::uint64_t chain = executable.size();
    if (chain > 0xFFFFFFFFu) {
        return "the executable would grow beyond 4 GiB";
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        std::size_t start = executable.size();
        std::uint64_t next = start + kEntryHeaderSize + items[i].name.size();
        appendUint64(executable, next);
        appendUint64(executable, offsets[i]);
        appendUint64(executable, items[i].bytes.size());
        executable += items[i].name;
    }
    appendUint64(executable, 0);
    if (executable.size() > 0xFFFFFFFFu) {
        return "the executable would grow beyond 4 GiB";
    }
    putUint64(executable, slot, chain);
    return {};
}

}  // namespace i18n
