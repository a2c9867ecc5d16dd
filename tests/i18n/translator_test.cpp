#include "i18n/translator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "catalogue_files.h"
#include "mo_builder.h"
#include "wine_test_support.h"

namespace i18n {
namespace {

using testing::installCatalogue;
using testing::localeRoot;
using testing::msgfmtCatalogue;
using testing_support::ScopedEnvironment;
using testing_support::TempDir;

// A program "installed" in a scratch directory, with the German catalogues beside it.
struct TranslatorTest : ::testing::Test {
    TempDir dir;
    std::wstring program() const { return dir.path() + L"\\prog.exe"; }
    void SetUp() override {
        installCatalogue(localeRoot(dir), L"de", L"default", msgfmtCatalogue(L"de_default.mo"));
        installCatalogue(localeRoot(dir), L"de", L"serial", msgfmtCatalogue(L"de_serial.mo"));
    }
};

TEST_F(TranslatorTest, LangChoosesTheLanguageAndTheSystemSettingsStandIn) {
    {
        ScopedEnvironment lang(L"LANG", L"de_DE.UTF-8");
        Translator translator(program(), nullptr);
        EXPECT_EQ(translator.language(), L"de_DE");
        EXPECT_EQ(translator.localeRoot(), localeRoot(dir));
        EXPECT_EQ(translator.currentDomain(), L"default");
        EXPECT_EQ(translator.domainFor(L"default").directory(), localeRoot(dir) + L"\\");
        EXPECT_EQ(translator.translate(L"Cancel"), L"Abbrechen");

        // A code given by the caller is used unchanged and closes the open catalogues.
        translator.selectLanguage(L"fr.ISO-8859-1");
        EXPECT_EQ(translator.language(), L"fr.ISO-8859-1");
        EXPECT_FALSE(translator.domainFor(L"default").isOpen());
        EXPECT_EQ(translator.translate(L"Cancel"), L"Cancel");
        translator.selectLanguage(L"de");
        EXPECT_EQ(translator.translate(L"Cancel"), L"Abbrechen");
    }
    {
        ScopedEnvironment lang(L"LANG", nullptr);
        Translator translator(program(), nullptr);
        EXPECT_EQ(translator.language(), queryOsLanguage());
        EXPECT_FALSE(translator.language().empty());
    }
}

TEST_F(TranslatorTest, LineEndsAreLookedUpAsLfAndComeBackAsCrLf) {
    ScopedEnvironment lang(L"LANG", L"de");
    Translator translator(program(), nullptr);
    EXPECT_EQ(translator.translate(L"Line one\r\nLine two"), L"Zeile eins\r\nZeile zwei");
    EXPECT_EQ(translator.translate(L"Line one\nLine two"), L"Zeile eins\r\nZeile zwei");
    EXPECT_EQ(translator.translate(L"not\nthere"), L"not\r\nthere");
    EXPECT_EQ(translator.translate(L"\nfirst"), L"\r\nfirst");
}

TEST_F(TranslatorTest, CharactersOutsideTheBasicPlaneFindTheirTranslation) {
    ScopedEnvironment lang(L"LANG", L"de");
    Translator translator(program(), nullptr);
    EXPECT_EQ(translator.translate(L"Smile \U0001F600"), L"L\u00E4cheln \U0001F600");
    EXPECT_EQ(translator.translateInDomain(L"default", L"Unable to open com port"),
              L"COM-Port l\u00E4sst sich nicht \u00F6ffnen");
    // A lone surrogate has no UTF-8 form, so no catalogue holds the text: it stays as it is.
    EXPECT_EQ(translator.translate(L"Smile \xD83D"), L"Smile \xD83D");
}

TEST_F(TranslatorTest, DomainsAreSharedAcrossLetterCaseAndThreads) {
    ScopedEnvironment lang(L"LANG", L"de");
    Translator translator(program(), nullptr);
    EXPECT_EQ(&translator.domainFor(L"Default"), &translator.domainFor(L"default"));
    EXPECT_EQ(translator.translateInDomain(L"SERIAL", L"Serial only text"),
              L"Nur im seriellen Katalog");

    // Threads that translate in a new domain at once all get the one domain object.
    constexpr int kThreads = 8;
    std::vector<Domain*> seen(kThreads, nullptr);
    std::vector<std::wstring> results(kThreads);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            ++ready;
            while (ready < kThreads) {
                std::this_thread::yield();
            }
            try {
                seen[i] = &translator.domainFor(L"serial2");
                results[i] = translator.translateInDomain(L"serial2", L"Cancel");
            } catch (...) {
                results[i] = L"raised";
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(seen[i], seen[0]);
        EXPECT_EQ(results[i], L"Cancel");
    }
}

// Runs when ctest starts the program with a Unix locale that Wine takes as the user locale and
// names the code expected from it (see CMakeLists.txt).
TEST(OsLanguage, FollowsTheUserLocaleWithoutLang) {
    wchar_t expected[32];
    DWORD n = GetEnvironmentVariableW(L"KEYPILOT_I18N_EXPECT_OS_LANGUAGE", expected, 32);
    if (n == 0 || n >= 32) {
        GTEST_SKIP();
    }
    ScopedEnvironment lang(L"LANG", nullptr);
    EXPECT_EQ(queryOsLanguage(), std::wstring(expected, n));
    TempDir dir;
    Translator translator(dir.path() + L"\\prog.exe", nullptr);
    EXPECT_EQ(translator.language(), std::wstring(expected, n));
}

}  // namespace
}  // namespace i18n
