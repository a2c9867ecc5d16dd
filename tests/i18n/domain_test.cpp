#include "i18n/domain.h"

#include <gtest/gtest.h>

#include "catalogue_files.h"
#include "framework/exception.h"
#include "mo_builder.h"
#include "wine_test_support.h"

namespace i18n {
namespace {

using testing::installCatalogue;
using testing::localeRoot;
using testing::msgfmtCatalogue;
using testing_support::TempDir;

std::wstring messageOfLookup(Domain& domain, const std::string& key) {
    try {
        domain.lookup(key);
    } catch (const framework::Exception& e) {
        return e.message();
    }
    return L"(nothing raised)";
}

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

TEST_F(DomainTest, CatalogueThatCannotBeOpenedRaisesOnEveryLookup) {
    std::wstring path =
        installCatalogue(localeRoot(dir), L"de", L"default", msgfmtCatalogue(L"de_default.mo"));
    {
        // Held without sharing, as another program might.
        framework::KernelHandle locked(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr,
                                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(locked);
        EXPECT_EQ(messageOfLookup(domain, "Cancel"), L"Cannot open file " + path);
        EXPECT_EQ(messageOfLookup(domain, "Cancel"), L"Cannot open file " + path);
        EXPECT_FALSE(domain.isOpen());
    }
    EXPECT_EQ(domain.lookup("Cancel"), "Abbrechen");
}

TEST_F(DomainTest, ForeignFileRaisesOnceThenGivesKeysBack) {
    std::wstring path = installCatalogue(localeRoot(dir), L"de", L"default",
                                         "This is a text file, not a catalogue.\n");
    EXPECT_EQ(messageOfLookup(domain, "Cancel"),
              L"This file is not a valid GNU gettext mo file: " + path);
    EXPECT_TRUE(domain.isOpen());
    EXPECT_EQ(domain.lookup("Cancel"), "Cancel");
    EXPECT_EQ(domain.lookup(""), "");

    installCatalogue(localeRoot(dir), L"de", L"default", "");
    domain.assignLanguage(L"de");
    EXPECT_NE(messageOfLookup(domain, "Cancel"), L"(nothing raised)") << "an empty file";
}

TEST_F(DomainTest, DamagedCataloguesGiveKeysOrTheirOwnTranslationsBack) {
    const std::string good = msgfmtCatalogue(L"de_default.mo");
    ASSERT_GT(good.size(), 100u);
    for (std::size_t length = 28; length < good.size(); length += 9) {
        installCatalogue(localeRoot(dir), L"de", L"default", good.substr(0, length));
        domain.assignLanguage(L"de");
        std::string found = domain.lookup("Cancel");
        EXPECT_TRUE(found == "Cancel" || found == "Abbrechen") << length;
        EXPECT_EQ(domain.lookup("Zzz"), "Zzz");
    }
    // Descriptors pointing far outside the file.
    std::string outside = testing::buildCatalogue({{"Cancel", "Abbrechen"}, {"Exit", "Beenden"}});
    testing::putWord(outside, 28 + 4, 0x7FFFFF00, testing::ByteOrder::little);
    testing::putWord(outside, 28 + 16 + 8, 0x10000, testing::ByteOrder::little);
    installCatalogue(localeRoot(dir), L"de", L"default", outside);
    domain.assignLanguage(L"de");
    EXPECT_EQ(domain.lookup("Cancel"), "Cancel");
    EXPECT_EQ(domain.lookup("Exit"), "Exit");
}

}  // namespace
}  // namespace i18n
