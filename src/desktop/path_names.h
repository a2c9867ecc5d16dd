// How a program's path or name reads as text, before anything on disk is asked: what the program
// to start and the user's own buttons both check. Portable, so the buttons' stored format is
// checked natively too.
#pragma once

#include <string_view>

namespace app {

inline bool isPathSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// Whether a path starts at a drive's root ("C:\") or a share ("\\server\share").
inline bool isFullyQualified(std::wstring_view path) {
    if (path.size() >= 2 && isPathSeparator(path[0]) && isPathSeparator(path[1])) {
        return true;
    }
    const bool driveLetter = path.size() >= 3 && ((path[0] >= L'A' && path[0] <= L'Z') ||
                                                  (path[0] >= L'a' && path[0] <= L'z'));
    return driveLetter && path[1] == L':' && isPathSeparator(path[2]);
}

// No folder and no drive: a name the system's places are searched for.
inline bool isBareName(std::wstring_view name) {
    return !name.empty() && name.find_first_of(L"\\/:") == std::wstring_view::npos;
}

}  // namespace app
