#include "link/json_text.h"

namespace phonelink {

void appendJsonEscaped(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
}

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    appendJsonEscaped(out, text);
    out += '"';
}

}  // namespace phonelink
