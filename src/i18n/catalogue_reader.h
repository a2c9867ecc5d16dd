// Read-only access to a compiled message catalogue (.mo) lying in memory, usually a mapped file.
// Nothing is copied: every key is compared in place. Every read is checked against the byte
// range the reader was given, so a damaged or hostile file can never make it read past the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace i18n {

inline constexpr std::uint32_t kCatalogueMagic = 0x950412DE;
inline constexpr std::uint32_t kSwappedCatalogueMagic = 0xDE120495;

class CatalogueReader {
  public:
    // An empty reader: finds nothing.
    CatalogueReader() = default;

    // bytes/size: from the catalogue's first byte to the end of the readable range. Returns
    // false (and finds nothing afterwards) unless the magic number names a catalogue in either
    // byte order. Tables that do not fit into the range also make the reader find nothing, but
    // that is not reported: such a file is damaged rather than foreign.
    bool open(const unsigned char* bytes, std::size_t size);

    // Whether the whole catalogue can be used as it stands: its tables and every string lie
    // inside the range, every string is UTF-8 and no text has an empty translation. Reads every
    // string once.
    bool intact() const;

    bool swapBytes() const { return swapBytes_; }
    std::uint32_t entryCount() const { return entryCount_; }
    std::uint32_t keysOffset() const { return keysOffset_; }
    std::uint32_t translationsOffset() const { return translationsOffset_; }

    // The translation stored for key, pointing into the catalogue; nothing when the catalogue
    // does not hold the key or the entry's strings lie outside the range.
    std::optional<std::string_view> find(std::string_view key) const;

  private:
    std::uint32_t word(std::uint64_t offset) const;  // caller has checked the bounds
    std::optional<std::string_view> string(std::uint32_t table, std::uint32_t index) const;

    const unsigned char* bytes_ = nullptr;
    std::size_t size_ = 0;
    bool swapBytes_ = false;
    bool usable_ = false;
    std::uint32_t entryCount_ = 0;
    std::uint32_t keysOffset_ = 0;
    std::uint32_t translationsOffset_ = 0;
};

// Unsigned byte-wise order; a string sorts before every longer string that begins with it.
int compareKeys(std::string_view a, std::string_view b);

}  // namespace i18n
