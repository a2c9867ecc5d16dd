// Feeds arbitrary bytes to the catalogue reader as a mapped catalogue, to the embedded-index walk
// as an executable file, and to the UTF-8 codec and line-end rules as a translation.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <string_view>

#include "i18n/catalogue_reader.h"
#include "i18n/embedded_index.h"
#include "i18n/text_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    i18n::CatalogueReader reader;
    reader.open(data, size);
    // Reads every string: must stay inside the bytes whatever the tables say.
    reader.intact();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    static const char* const fixedKeys[] = {"", "Cancel", "a", "\xFF\xFF", "Line one\nLine two"};
    for (const char* key : fixedKeys) {
        if (auto found = reader.find(key)) {
            if (found->data() < bytes.data() ||
                found->data() + found->size() > bytes.data() + size) {
                __builtin_trap();
            }
        }
    }
    // Keys taken from the input itself reach the deeper comparisons.
    for (std::size_t at = 0; at + 1 < size && at < 256; at += 37) {
        reader.find(bytes.substr(at, std::min<std::size_t>(size - at, data[at] % 24)));
    }

    std::set<std::string> names;
    i18n::walkEmbeddedIndex(
        size >= 8 ? data[0] % 64 : 0,
        [&](std::uint64_t position, void* buffer, std::size_t count) {
            if (position > size || size - position < count) {
                return false;
            }
            std::memcpy(buffer, data + position, count);
            return true;
        },
        [&](const i18n::EmbeddedEntry& entry) { return names.insert(entry.name).second; });

    if (auto text = i18n::decodeUtf8<char16_t>(bytes)) {
        // Whatever decodes has one UTF-8 form: the bytes it was read from.
        auto again = i18n::encodeUtf8(std::u16string_view(*text));
        if (!again || *again != bytes) {
            __builtin_trap();
        }
    }
    std::string key(bytes);
    i18n::stripCarriageReturns(key);
    i18n::expandLineFeeds(key);
    return 0;
}
