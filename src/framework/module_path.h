// Where a module's file lies.
#pragma once

#include <windows.h>

#include <string>

namespace framework {

// The full path of a module's file (the executable's for nullptr), however long; empty when the
// system cannot tell.
std::wstring modulePath(HMODULE module = nullptr);

}  // namespace framework
