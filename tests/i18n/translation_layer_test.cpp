#include "i18n/translation.h"

#include <gtest/gtest.h>

#include "framework/exception.h"
#include "framework/resource_strings.h"
#include "framework/text.h"
#include "framework/translation_hooks.h"
#include "test_string_ids.h"
#include "wine_test_support.h"

namespace i18n {
namespace {

using testing_support::ScopedEnvironment;

const std::wstring kLongText = [] {
    std::wstring text;
    for (int i = 0; i < 300; ++i) {
        text += L"0123456789";
    }
    return text;
}();

HINSTANCE self() {
    return GetModuleHandleW(nullptr);
}

// The catalogues for these tests lie beside the test program in locale\de (see CMakeLists.txt).
TEST(TranslationLayer, ResourceStringsComeBackTranslatedBetweenStartupAndShutdown) {
    ScopedEnvironment lang(L"LANG", L"de_DE.UTF-8");
    EXPECT_EQ(framework::loadResourceString(IDS_TEST_CANCEL), L"Cancel");

    startup();
    EXPECT_EQ(framework::loadResourceString(IDS_TEST_CANCEL), L"Abbrechen");
    EXPECT_EQ(framework::loadResourceString(IDS_TEST_SERIAL_ONLY), L"Serial only text");
    EXPECT_EQ(framework::loadResourceString(IDS_TEST_UNTRANSLATED), L"Nobody translates this");
    EXPECT_EQ(framework::loadResourceString(IDS_TEST_LONG), kLongText);
    EXPECT_EQ(framework::OSError(0).message(),
              L"Ein Aufruf einer Systemfunktion ist fehlgeschlagen")
        << "the framework's own texts pass through the same loader";
    EXPECT_EQ(framework::translateText(L"Exit"), L"Beenden");

    // What the serial component does at its start-up and for each error it builds.
    framework::addResourceStringDomain(L"serial");
    EXPECT_EQ(framework::loadResourceString(IDS_TEST_SERIAL_ONLY), L"Nur im seriellen Katalog");
    EXPECT_EQ(framework::loadResourceString(IDS_TEST_CANCEL), L"Abbrechen") << "default first";
    std::wstring error =
        framework::translateText(L"Unable to open com port") +
        framework::formatText(framework::translateText(L" (win error code: %d)"), {L"2"});
    EXPECT_EQ(error, L"COM-Port l\u00E4sst sich nicht \u00F6ffnen (Windows-Fehlercode: 2)");

    shutdown();
    EXPECT_EQ(framework::loadResourceString(IDS_TEST_CANCEL), L"Cancel");
    EXPECT_EQ(framework::loadResourceString(IDS_TEST_SERIAL_ONLY), L"Serial only text");
    EXPECT_EQ(framework::translateText(L"Exit"), L"Exit");
    EXPECT_EQ(translateText(L"Exit"), L"Exit");
    EXPECT_EQ(framework::OSError(0).message(), L"A call to an OS function failed");
    EXPECT_EQ(framework::setResourceStringLoader(nullptr),
              &framework::loadUntranslatedResourceString)
        << "the plain loader is back";
}

TEST(TranslationLayer, LoaderReadsLongStringsWholeAndMissingOnesEmpty) {
    // Not started: the loader loads but translates nothing.
    EXPECT_EQ(loadResourceStringWide(self(), IDS_TEST_LONG), kLongText);
    EXPECT_EQ(loadResourceStringWide(self(), IDS_TEST_CANCEL), L"Cancel");
    EXPECT_EQ(loadResourceStringWide(self(), 40999), L"");
    EXPECT_EQ(loadResourceStringWide(self(), 0x10000 + IDS_TEST_CANCEL), L"");
    EXPECT_EQ(translateResourceString(L"Cancel"), L"Cancel");
    addResourceStringDomain(L"ignored while the layer is down");
}

TEST(TranslationLayer, BareLineFeedEndsTheSearchWithCrLf) {
    ScopedEnvironment lang(L"LANG", L"de");
    startup();
    framework::addResourceStringDomain(L"serial");
    EXPECT_EQ(translateResourceString(L"a\nb"), L"a\r\nb");
    EXPECT_EQ(translateResourceString(L"Line one\r\nLine two"), L"Zeile eins\r\nZeile zwei");
    // The header is an ordinary entry under the empty key, as in GNU gettext.
    EXPECT_TRUE(
        translateResourceString(L"").starts_with(L"Project-Id-Version: Keypilot tests\r\n"));
    shutdown();
    shutdown();  // a second shut-down does nothing
}

}  // namespace
}  // namespace i18n
