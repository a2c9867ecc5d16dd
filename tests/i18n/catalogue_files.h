// Catalogue files for the translation layer's tests: the ones msgfmt made at build time, and
// their places in a locale tree.
#pragma once

#include <string>

#include "wine_test_support.h"

namespace i18n::testing {

// The locale tree inside a scratch directory.
inline std::wstring localeRoot(const testing_support::TempDir& dir) {
    return dir.path() + L"\\locale";
}

// A catalogue made by msgfmt at build time.
inline std::string msgfmtCatalogue(const std::wstring& name) {
    std::wstring dir = L"" KEYPILOT_TEST_MO_DIR;
    return testing_support::readBytes(dir + L"/" + name);
}

// Puts a catalogue where a domain rooted at root looks for language's catalogue of domain.
inline std::wstring installCatalogue(const std::wstring& root, const std::wstring& language,
                                     const std::wstring& domain, const std::string& bytes) {
    std::wstring path = root + L"\\" + language + L"\\LC_MESSAGES\\" + domain + L".mo";
    testing_support::writeBytes(path, bytes);
    return path;
}

}  // namespace i18n::testing
