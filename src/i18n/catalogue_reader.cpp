#include "i18n/catalogue_reader.h"

#include <cstring>

#include "i18n/text_codec.h"

namespace i18n {
namespace {

constexpr std::uint64_t kHeaderSize = 28;
constexpr std::uint64_t kDescriptorSize = 8;

std::uint32_t byteSwap(std::uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}

std::uint32_t readLittleEndian(const unsigned char* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

}  // namespace

int compareKeys(std::string_view a, std::string_view b) {
    std::size_t common = a.size() < b.size() ? a.size() : b.size();
    if (common != 0) {
        // memcmp compares as unsigned char, which is the order the catalogue is sorted in.
        int c = std::memcmp(a.data(), b.data(), common);
        if (c != 0) {
            return c;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

std::uint32_t CatalogueReader::word(std::uint64_t offset) const {
    std::uint32_t v = readLittleEndian(bytes_ + offset);
    return swapBytes_ ? byteSwap(v) : v;
}

bool CatalogueReader::open(const unsigned char* bytes, std::size_t size) {
    *this = CatalogueReader();
    if (bytes == nullptr || size < 4) {
        return false;
    }
    bytes_ = bytes;
    size_ = size;
    std::uint32_t magic = readLittleEndian(bytes);
    if (magic != kCatalogueMagic && magic != kSwappedCatalogueMagic) {
        bytes_ = nullptr;
        size_ = 0;
        return false;
    }
    swapBytes_ = magic == kSwappedCatalogueMagic;
    if (size < kHeaderSize) {
        return true;  // a catalogue, but too short to hold anything
    }
    entryCount_ = word(8);
    keysOffset_ = word(12);
    translationsOffset_ = word(16);
    // Checking both tables once here keeps the search loop free of per-descriptor checks.
    std::uint64_t tableBytes = std::uint64_t{entryCount_} * kDescriptorSize;
    usable_ = std::uint64_t{keysOffset_} + tableBytes <= size_ &&
              std::uint64_t{translationsOffset_} + tableBytes <= size_;
    return true;
}

std::optional<std::string_view> CatalogueReader::string(std::uint32_t table,
                                                        std::uint32_t index) const {
    std::uint64_t descriptor = std::uint64_t{table} + std::uint64_t{index} * kDescriptorSize;
    std::uint32_t length = word(descriptor);
    std::uint32_t start = word(descriptor + 4);
    if (std::uint64_t{start} + length > size_) {
        return std::nullopt;
    }
    return std::string_view(reinterpret_cast<const char*>(bytes_ + start), length);
}

bool CatalogueReader::intact() const {
    if (!usable_) {
        return false;
    }
    for (std::uint32_t i = 0; i < entryCount_; ++i) {
        auto key = string(keysOffset_, i);
        auto translation = string(translationsOffset_, i);
        if (!key || !translation || !isUtf8(*key) || !isUtf8(*translation) ||
            (!key->empty() && translation->empty())) {
            return false;
        }
    }
    return true;
}

std::optional<std::string_view> CatalogueReader::find(std::string_view key) const {
    if (!usable_ || entryCount_ == 0) {
        return std::nullopt;
    }
    const std::uint32_t n = entryCount_;
    // Positions count from 1; position p is entry p - 1. The probe starts at the largest power
    // of two not above n and halves its step each round, clamped to the table's ends.
    std::uint32_t p = 1;
    while (p <= n / 2) {
        p <<= 1;
    }
    std::uint32_t step = p / 2;
    for (;;) {
        auto candidate = string(keysOffset_, p - 1);
        if (!candidate) {
            return std::nullopt;
        }
        int order = compareKeys(key, *candidate);
        if (order == 0) {
            return string(translationsOffset_, p - 1);
        }
        if (step == 0) {
            return std::nullopt;
        }
        if (order < 0) {
            p = p < step + 1 ? 1 : p - step;
        } else {
            p = (std::uint64_t{p} + step > n) ? n : p + step;
        }
        step /= 2;
    }
}

}  // namespace i18n
