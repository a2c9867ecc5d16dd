#include "i18n/language_codes.h"

#include <array>
#include <utility>

namespace i18n {

std::wstring languageFromLangVariable(std::wstring_view value) {
    return std::wstring(value.substr(0, value.find(L'.')));
}

std::wstring languageForLocaleId(std::uint32_t localeId) {
    static constexpr std::array<std::pair<std::uint32_t, const wchar_t*>, 25> table{{
        {0x0406, L"da_DK"}, {0x0407, L"de_DE"}, {0x0408, L"gr_GR"}, {0x0409, L"en_US"},
        {0x040A, L"es_ES"}, {0x040B, L"fi_FI"}, {0x040C, L"fr_FR"}, {0x040F, L"is_IS"},
        {0x0410, L"it_IT"}, {0x0412, L"ko_KO"}, {0x0413, L"nl_NL"}, {0x0414, L"no_NO"},
        {0x0415, L"pl_PL"}, {0x0416, L"pt_BR"}, {0x0419, L"ru_RU"}, {0x041D, L"sv_SE"},
        {0x0809, L"en_UK"}, {0x080C, L"fr_BE"}, {0x0813, L"nl_BE"}, {0x0814, L"nn_NO"},
        {0x0816, L"pt_PT"}, {0x081D, L"fi_SE"}, {0x0C0A, L"es_ES"}, {0x0C0C, L"fr_CA"},
        {0x1007, L"de_LU"},
    }};
    for (const auto& [id, code] : table) {
        if (id == localeId) {
            return code;
        }
    }
    return L"C";
}

std::wstring languageFromIsoNames(std::wstring_view iso639, std::wstring_view iso3166) {
    if (iso639.size() != 2 || iso3166.size() != 2) {
        return {};
    }
    std::wstring code(iso639);
    code += L'_';
    code += iso3166;
    return code;
}

std::wstring fallbackLanguage(std::wstring_view language) {
    return std::wstring(language.substr(0, 2));
}

std::vector<std::wstring> catalogueLanguages(std::wstring_view language) {
    std::vector<std::wstring> languages{std::wstring(language)};
    std::wstring shorter = fallbackLanguage(language);
    if (shorter != language) {
        languages.push_back(shorter);
    }
    if (shorter != L"ru" && shorter != L"en") {
        languages.emplace_back(L"en");
    }
    return languages;
}

std::wstring cataloguePath(std::wstring_view directory, std::wstring_view language,
                           std::wstring_view domain) {
    std::wstring path(directory);
    path += language;
    path += L"\\LC_MESSAGES\\";
    path += domain;
    path += L".mo";
    return path;
}

}  // namespace i18n
