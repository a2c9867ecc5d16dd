#include "windows/status_hint.h"

namespace app {

std::wstring portProblemHint(std::wstring_view port, std::wstring_view reason) {
    std::wstring hint = L"Keypilot - ";
    hint += port;
    hint += L": ";
    bool blank = false;
    for (wchar_t c : reason) {
        if (c == L'\r' || c == L'\n' || c == L'\t' || c == L' ') {
            blank = true;
            continue;
        }
        if (blank && hint.back() != L' ') {
            hint += L' ';
        }
        blank = false;
        hint += c;
    }
    if (hint.size() <= kHintCapacity) {
        return hint;
    }
    size_t length = kHintCapacity - 1;
    // Neither half a surrogate pair nor a blank before the ellipsis.
    if (hint[length - 1] >= 0xD800 && hint[length - 1] <= 0xDBFF) {
        --length;
    }
    while (length > 0 && hint[length - 1] == L' ') {
        --length;
    }
    hint.resize(length);
    hint += L'\u2026';
    return hint;
}

}  // namespace app
