// Win32 calls that write a text into the caller's buffer and tell by their result whether it was
// big enough.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <string>

namespace framework {

// The text call(buffer, size) writes, however long: the call returns the text's length when it
// fits with `spare` characters left over; when it does not, it returns either the size it needs
// or the length of the text it cut, and the buffer grows until the text fits. Empty when the
// call fails (returns 0 or less). Embedded NULs (a NUL-separated list) are kept.
template <class Call>
std::wstring readGrowingBuffer(Call&& call, std::size_t initialSize = MAX_PATH,
                               std::size_t spare = 0) {
    std::wstring text(std::max<std::size_t>(initialSize, spare + 1), L'\0');
    for (;;) {
        const auto n = static_cast<long long>(call(text.data(), static_cast<DWORD>(text.size())));
        if (n <= 0) {
            return {};
        }
        const auto length = static_cast<std::size_t>(n);
        if (length + spare < text.size()) {
            text.resize(length);
            return text;
        }
        text.resize(std::max(text.size() * 2, length + spare + 1));
    }
}

}  // namespace framework
