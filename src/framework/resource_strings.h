// Every fixed text of the program's string tables is fetched here, through one replaceable
// loader, so that the translation layer can put its own loader in place at start-up and give
// the plain one back at shut-down.
#pragma once

#include <windows.h>

#include <string>

#include "framework/resource_ids.h"

namespace framework {

// module: the module whose string table holds the text; id: its identifier.
using ResourceStringLoader = std::wstring (*)(HINSTANCE module, UINT id);

// The text with this identifier from the executable's string table, through the current loader.
std::wstring loadResourceString(UINT id);
std::wstring loadResourceString(HINSTANCE module, UINT id);

// The plain loader: the string table's text as it stands, empty when there is none.
std::wstring loadUntranslatedResourceString(HINSTANCE module, UINT id);

// Installs a loader (nullptr puts the plain one back); returns the one it replaces.
ResourceStringLoader setResourceStringLoader(ResourceStringLoader loader);

}  // namespace framework
