// Conversions between the program's UTF-16 texts and other encodings, and small text helpers.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <string_view>

namespace framework {

std::wstring fromUtf8(std::string_view text);
std::string toUtf8(std::wstring_view text);

// Replaces each %s or %d in fmt, in order, by the next argument ("%%" gives "%").
std::wstring formatText(std::wstring_view fmt, std::initializer_list<std::wstring_view> args);

// The system's own wording for an error code, without a trailing line end; empty if unknown.
std::wstring systemMessage(DWORD code);

}  // namespace framework
