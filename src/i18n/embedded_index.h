// The chain of catalogues appended to an executable, as bytes: walking it (the program) and
// writing it (the embedding tool and the tests).
//
// The executable holds a 44-byte marker: a 36-character GUID text followed by an 8-byte slot
// with the file offset of the first chain entry (little-endian; 0 = nothing embedded). An
// entry is Next (8 bytes), Offset (8), Size (8), then the catalogue's name up to Next; an
// entry whose Next is 0 ends the chain.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace i18n {

inline constexpr std::size_t kMarkerGuidLength = 36;
inline constexpr std::size_t kMarkerSize = kMarkerGuidLength + 8;

// The marker's GUID text. Assembled at run time so that tools holding it do not carry a second
// copy of the text that the embedding tool could mistake for the marker.
std::string embeddedIndexGuid();

struct EmbeddedEntry {
    std::string name;  // relative to the executable's directory, e.g. locale\de\LC_MESSAGES\x.mo
    std::int64_t offset = 0;
    std::int64_t size = 0;
};

// Reads count bytes at position of the executable file; false when the read falls short.
using ReadAt = std::function<bool(std::uint64_t position, void* buffer, std::size_t count)>;
// Takes one entry; false (a name already known) ends the walk.
using AddEntry = std::function<bool(EmbeddedEntry entry)>;

// Walks the chain from the entry at first. Any short read, an entry whose name would end before
// it starts or be implausibly long, or a refused entry ends the walk quietly; entries taken
// before stay taken.
void walkEmbeddedIndex(std::uint64_t first, const ReadAt& readAt, const AddEntry& add);

// name with characters 0 to 32 removed from both ends.
std::string_view trimEntryName(std::string_view name);

// Positions at which the marker's GUID text occurs in bytes.
std::vector<std::size_t> findMarkerGuid(std::string_view bytes);

struct CatalogueToEmbed {
    std::string name;  // backslashes as directory separators
    std::string bytes;
};

// Appends the catalogues and their chain to the executable image and points the marker's slot at
// the chain. Returns an error text (empty on success): the marker must occur exactly once, and
// its slot must still be empty.
std::string embedCatalogues(std::string& executable, const std::vector<CatalogueToEmbed>& items);

}  // namespace i18n
