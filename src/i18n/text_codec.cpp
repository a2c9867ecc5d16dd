#include "i18n/text_codec.h"

#include <algorithm>

namespace i18n {

bool isUtf8(std::string_view bytes) {
    return decodeUtf8<char16_t>(bytes).has_value();
}

void stripCarriageReturns(std::string& bytes) {
    std::erase(bytes, '\r');
}

std::string expandLineFeeds(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + 8);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) {
            out += '\r';
        }
        out += bytes[i];
    }
    return out;
}

}  // namespace i18n
