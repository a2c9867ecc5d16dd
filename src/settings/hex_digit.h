// One hexadecimal digit read, as the stored settings write them.
#pragma once

namespace app {

// The digit's value, 0 to 15 (upper or lower case); -1 for any other character.
constexpr int hexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') {
        return c - L'0';
    }
    if (c >= L'A' && c <= L'F') {
        return c - L'A' + 10;
    }
    if (c >= L'a' && c <= L'f') {
        return c - L'a' + 10;
    }
    return -1;
}

}  // namespace app
