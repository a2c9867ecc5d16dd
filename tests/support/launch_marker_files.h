// Where the tests' marker program lies, and the files it leaves: "<its path>.ran" with its command
// line, "<its path>.dir" with the folder it was started in.
#pragma once

#include <windows.h>

#include <string>

#include "framework/handle.h"

namespace testing_support {

// The folder of the running test program, with its trailing backslash: the marker lies there.
inline std::wstring testDirectory() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring program(path, length);
    return program.substr(0, program.rfind(L'\\') + 1);
}

// A text file's whole content as UTF-16; empty while it is missing or held by its writer (the
// marker holds its file unshared while it writes, so a text read here is complete).
inline std::wstring fileText(const std::wstring& path) {
    framework::KernelHandle file{
        CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)};
    std::wstring text(2048, L'\0');
    DWORD read = 0;
    if (!file || !ReadFile(file.get(), text.data(), 2047 * sizeof(wchar_t), &read, nullptr)) {
        return {};
    }
    text.resize(read / sizeof(wchar_t));
    return text;
}

}  // namespace testing_support
