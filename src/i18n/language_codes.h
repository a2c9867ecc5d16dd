// Language codes as the catalogue directories name them ("de_DE", "de", "C").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace i18n {

// The code for a LANG value: everything before the first "." ("de_DE.UTF-8" gives "de_DE").
std::wstring languageFromLangVariable(std::wstring_view value);

// The code for a locale identifier from the fixed table, "C" for any identifier it lacks.
// The codes are directory names and stay exactly as listed ("gr_GR", "en_UK", ...).
std::wstring languageForLocaleId(std::uint32_t localeId);

// "de_DE" from the system's ISO 639 and ISO 3166 names, when both have exactly two letters;
// empty otherwise.
std::wstring languageFromIsoNames(std::wstring_view iso639, std::wstring_view iso3166);

// The shorter code tried when no catalogue exists for the full one: its first two characters.
std::wstring fallbackLanguage(std::wstring_view language);

// The languages whose catalogues a domain tries, in order: the full code, its first two
// characters, then English, the interface's second language. Russian, the language the texts are
// written in, gets no English: without a catalogue it shows the texts themselves.
std::vector<std::wstring> catalogueLanguages(std::wstring_view language);

// Directory + language + "\LC_MESSAGES\" + domain + ".mo".
std::wstring cataloguePath(std::wstring_view directory, std::wstring_view language,
                           std::wstring_view domain);

}  // namespace i18n
