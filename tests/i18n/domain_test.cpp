#include "i18n/domain.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "catalogue_files.h"
#include "framework/handle.h"
#include "mo_builder.h"
#include "wine_test_support.h"

namespace i18n {
namespace {

using testing::installCatalogue;
using testing::localeRoot;
using testing::msgfmtCatalogue;
using testing_support::TempDir;

struct DomainTest : ::testing::Test {
    TempDir dir;
    Domain domain;
    void SetUp() override {
        domain.setName(L"default");
        domain.assignDirectory(localeRoot(dir));
        domain.assignLanguage(L"de_DE");
    }
};

TEST_F(DomainTest, FallsBackFromRegionToLanguageAndPrefersTheRegion) {
    EXPECT_EQ(domain.directory(), localeRoot(dir) + L"\\");
    installCatalogue(localeRoot(dir), L"de", L"default", msgfmtCatalogue(L"de_default.mo"));
    EXPECT_EQ(domain.lookup("Cancel"), "Abbrechen");
    EXPECT_EQ(domain.lookup("Not in the catalogue"), "Not in the catalogue");
    EXPECT_TRUE(domain.isOpen());

    installCatalogue(localeRoot(dir), L"de_DE", L"default", msgfmtCatalogue(L"de_DE_default.mo"));
    EXPECT_EQ(domain.lookup("Cancel"), "Abbrechen") << "stays with the open catalogue";
    domain.assignLanguage(L"de_DE");
    EXPECT_EQ(domain.lookup("Cancel"), "Abbrechen (de_DE)");
}

TEST_F(DomainTest, MissingCatalogueIsNoErrorAndIsNotLookedForUntilTheLanguageChanges) {
    EXPECT_EQ(domain.lookup("Cancel"), "Cancel");
    EXPECT_FALSE(domain.isOpen());
    EXPECT_FALSE(domain.mayOpen());

    installCatalogue(localeRoot(dir), L"de", L"default", msgfmtCatalogue(L"de_default.mo"));
    EXPECT_EQ(domain.lookup("Cancel"), "Cancel");
    domain.assignLanguage(L"de_DE");
    EXPECT_TRUE(domain.mayOpen());
    EXPECT_EQ(domain.lookup("Cancel"), "Abbrechen");

    // A new directory counts too.
    TempDir other;
    domain.assignDirectory(localeRoot(other));
    EXPECT_EQ(domain.lookup("Cancel"), "Cancel");
    installCatalogue(localeRoot(other), L"de", L"default", msgfmtCatalogue(L"de_default.mo"));
    domain.assignDirectory(localeRoot(other) + L"\\");
    EXPECT_EQ(domain.lookup("Cancel"), "Abbrechen");
}

// A broken catalogue never raises: it counts as missing, so the next language in line (the
// shorter code, then English) answers, and Russian, the texts' own language, keeps the texts.
TEST_F(DomainTest, EveryKindOfBrokenCatalogueCountsAsMissing) {
    installCatalogue(localeRoot(dir), L"en", L"default",
                     testing::buildCatalogue({{"Cancel", "Cancel (en)"}}));
    const std::string good = msgfmtCatalogue(L"de_default.mo");
    ASSERT_GT(good.size(), 100u);
    std::string outside = testing::buildCatalogue({{"Cancel", "Abbrechen"}, {"Exit", "Beenden"}});
    testing::putWord(outside, 28 + 16 + 8, 0x10000, testing::ByteOrder::little);
    std::vector<std::pair<std::string, std::string>> broken = {
        {"foreign", "This is a text file, not a catalogue.\n"},
        {"empty", ""},
        {"header only", good.substr(0, 20)},
        {"string outside", outside},
        {"not UTF-8", testing::buildCatalogue({{"", ""}, {"Cancel", "\xE4rger"}})},
        {"cut sequence", testing::buildCatalogue({{"Cancel", "Schlu\xC3"}})},
        {"encoded surrogate", testing::buildCatalogue({{"Cancel", "Abbrechen \xED\xA0\xBD"}})},
        {"empty translation", testing::buildCatalogue({{"Cancel", ""}})},
    };
    for (std::size_t length = 28; length < good.size(); length += 23) {
        broken.emplace_back("cut at " + std::to_string(length), good.substr(0, length));
    }
    for (const auto& [kind, bytes] : broken) {
        installCatalogue(localeRoot(dir), L"de", L"default", bytes);
        domain.assignLanguage(L"de_DE");
        EXPECT_EQ(domain.lookup("Cancel"), "Cancel (en)") << kind;
        EXPECT_EQ(domain.lookup("Exit"), "Exit") << kind;
    }

    // A whole catalogue of the shorter code stands in for a broken one of the full code.
    installCatalogue(localeRoot(dir), L"de", L"default", good);
    installCatalogue(localeRoot(dir), L"de_DE", L"default", good.substr(0, 40));
    domain.assignLanguage(L"de_DE");
    EXPECT_EQ(domain.lookup("Cancel"), "Abbrechen");

    std::wstring path = installCatalogue(localeRoot(dir), L"ru", L"default", good);
    {
        // Held without sharing, as another program might: passed over until the next change.
        framework::KernelHandle locked(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr,
                                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(locked);
        domain.assignLanguage(L"ru_RU");
        EXPECT_EQ(domain.lookup("Cancel"), "Cancel") << "Russian gets no English";
        EXPECT_FALSE(domain.isOpen());
        EXPECT_FALSE(domain.mayOpen());
    }
    domain.assignLanguage(L"ru");
    EXPECT_EQ(domain.lookup("Cancel"), "Abbrechen");
    domain.assignLanguage(L"C");
    EXPECT_EQ(domain.lookup("Cancel"), "Cancel (en)") << "any other language gets English";
}

}  // namespace
}  // namespace i18n
