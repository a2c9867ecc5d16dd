// The translation layer's front: its start-up and shut-down steps and the functions through which
// the rest of the program translates texts. Between startup() and shutdown() every resource
// string fetched through framework::loadResourceString is looked up in the catalogues.
#pragma once

#include <windows.h>

#include <string>

namespace i18n {

// Chooses the language, indexes the embedded catalogues, creates the translation instance and
// puts the translated loader and the framework's translation hooks in place. Call once, before
// any other component starts up; a second call does nothing.
void startup();

// Gives the framework its plain loader back, removes the hooks, closes every catalogue. Waits
// for translations under way in other threads. From here on texts come back untranslated.
void shutdown();

// The translation of a fixed text in the current domain; the text itself when the layer is
// not started. A catalogue that cannot be read is passed over as if it were missing; a
// translation that is not UTF-8 raises framework::Exception.
std::wstring translateText(const std::wstring& text);

// Resource strings are looked up in "default", then in each added domain in the order of adding.
void addResourceStringDomain(const std::wstring& name);

// The first translation among the resource-string domains that differs from text.
std::wstring translateResourceString(const std::wstring& text);

// Loads string id from module's string table, whatever its length, and translates it. The loader
// the framework uses while the layer runs.
std::wstring loadResourceStringWide(HINSTANCE module, UINT id);

}  // namespace i18n
