#include "i18n/language_codes.h"

#include <gtest/gtest.h>

namespace i18n {
namespace {

TEST(LanguageCodes, LangVariableLosesItsCodeset) {
    EXPECT_EQ(languageFromLangVariable(L"de_DE.UTF-8"), L"de_DE");
    EXPECT_EQ(languageFromLangVariable(L"de_DE.UTF-8.x"), L"de_DE");
    EXPECT_EQ(languageFromLangVariable(L"ru_RU"), L"ru_RU");
    EXPECT_EQ(languageFromLangVariable(L".UTF-8"), L"");
    EXPECT_EQ(languageFromLangVariable(L""), L"");
}

TEST(LanguageCodes, LocaleTableIsUsedExactlyAsListed) {
    const std::pair<std::uint32_t, const wchar_t*> table[] = {
        {1030, L"da_DK"}, {1031, L"de_DE"}, {1032, L"gr_GR"}, {1033, L"en_US"}, {1034, L"es_ES"},
        {1035, L"fi_FI"}, {1036, L"fr_FR"}, {1039, L"is_IS"}, {1040, L"it_IT"}, {1042, L"ko_KO"},
        {1043, L"nl_NL"}, {1044, L"no_NO"}, {1045, L"pl_PL"}, {1046, L"pt_BR"}, {1049, L"ru_RU"},
        {1053, L"sv_SE"}, {2057, L"en_UK"}, {2060, L"fr_BE"}, {2067, L"nl_BE"}, {2068, L"nn_NO"},
        {2070, L"pt_PT"}, {2077, L"fi_SE"}, {3082, L"es_ES"}, {3084, L"fr_CA"}, {4103, L"de_LU"},
    };
    for (const auto& [id, code] : table) {
        EXPECT_EQ(languageForLocaleId(id), code) << id;
    }
    for (std::uint32_t other : {0u, 1u, 1029u, 1041u, 1050u, 2052u, 0x0C07u, 0xFFFFFFFFu}) {
        EXPECT_EQ(languageForLocaleId(other), L"C") << other;
    }
}

TEST(LanguageCodes, IsoNamesCombineOnlyWhenBothHaveTwoLetters) {
    EXPECT_EQ(languageFromIsoNames(L"de", L"DE"), L"de_DE");
    EXPECT_EQ(languageFromIsoNames(L"fil", L"PH"), L"");
    EXPECT_EQ(languageFromIsoNames(L"de", L"029"), L"");
    EXPECT_EQ(languageFromIsoNames(L"", L""), L"");
}

TEST(LanguageCodes, FallbackAndCataloguePaths) {
    EXPECT_EQ(fallbackLanguage(L"de_DE"), L"de");
    EXPECT_EQ(fallbackLanguage(L"C"), L"C");
    EXPECT_EQ(fallbackLanguage(L""), L"");
    EXPECT_EQ(cataloguePath(L"C:\\app\\locale\\", L"de", L"default"),
              L"C:\\app\\locale\\de\\LC_MESSAGES\\default.mo");
}

}  // namespace
}  // namespace i18n
