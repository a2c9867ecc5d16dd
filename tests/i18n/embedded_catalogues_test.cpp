#include "i18n/embedded_catalogues.h"

#include <gtest/gtest.h>

#include <cwctype>

#include "catalogue_files.h"
#include "framework/handle.h"
#include "framework/module_path.h"
#include "framework/resource_strings.h"
#include "i18n/embedded_index.h"
#include "i18n/translation.h"
#include "i18n/translator.h"
#include "test_string_ids.h"
#include "wine_test_support.h"

namespace i18n {
namespace {

using testing::localeRoot;
using testing::msgfmtCatalogue;
using testing_support::readBytes;
using testing_support::TempDir;
using testing_support::writeBytes;

constexpr wchar_t kChildVariable[] = L"KEYPILOT_I18N_EMBEDDED_CHILD";
constexpr char kDefaultName[] = "locale\\de\\LC_MESSAGES\\default.mo";

std::uint64_t slotIn(const std::string& image) {
    auto at = findMarkerGuid(image);
    if (at.size() != 1) {
        return 0;
    }
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(image[at[0] + kMarkerGuidLength + i]);
    }
    return v;
}

// An executable-like file in dir with two catalogues appended.
std::wstring writeFakeProgram(const TempDir& dir, std::uint64_t& firstEntry) {
    std::string image = "MZ not really a program ";
    image += embeddedIndexGuid();
    image.append(8, '\0');
    EXPECT_EQ(embedCatalogues(image, {{kDefaultName, "first"},
                                      {"locale\\de\\LC_MESSAGES\\serial.mo", "second!"}}),
              "");
    firstEntry = slotIn(image);
    std::wstring path = dir.path() + L"\\prog.exe";
    writeBytes(path, image);
    return path;
}

TEST(EmbeddedCatalogues, TheProgramCarriesOneMarkerWithAnEmptySlot) {
    std::string image = readBytes(framework::modulePath());
    ASSERT_FALSE(image.empty());
    EXPECT_EQ(findMarkerGuid(image).size(), 1u);
    EXPECT_EQ(slotIn(image), 0u);
    EXPECT_EQ(embeddedIndexSlot(), 0u);

    EmbeddedCatalogues index(framework::modulePath());
    index.scanExecutable();
    EXPECT_EQ(index.count(), 0u);
    EXPECT_EQ(index.baseDirectory(), L"") << "an empty slot never opens the executable";
    EXPECT_FALSE(index.contains(L"locale\\de\\LC_MESSAGES\\default.mo"));
}

TEST(EmbeddedCatalogues, ZeroSlotReadsNothingEvenWhenTheFileHoldsAChain) {
    TempDir dir;
    std::uint64_t first = 0;
    std::wstring program = writeFakeProgram(dir, first);
    ASSERT_NE(first, 0u);
    EmbeddedCatalogues unscanned(program);
    unscanned.scanExecutable(0);
    EXPECT_EQ(unscanned.count(), 0u);
    EXPECT_FALSE(unscanned.contains(dir.path() + L"\\" + L"locale\\de\\LC_MESSAGES\\default.mo"));

    EmbeddedCatalogues scanned(program);
    scanned.scanExecutable(first);
    EXPECT_EQ(scanned.count(), 2u);
}

TEST(EmbeddedCatalogues, NamesMatchWithoutCaseButTheDirectoryExactly) {
    TempDir dir;
    std::uint64_t first = 0;
    std::wstring program = writeFakeProgram(dir, first);
    EmbeddedCatalogues index(program);
    index.scanExecutable(first);
    const std::wstring base = dir.path() + L"\\";
    EXPECT_EQ(index.baseDirectory(), base);

    EXPECT_TRUE(index.contains(base + L"locale\\de\\LC_MESSAGES\\default.mo"));
    EXPECT_TRUE(index.contains(base + L"LOCALE\\De\\lc_messages\\DEFAULT.MO"));
    EXPECT_FALSE(index.contains(base + L"locale\\de_DE\\LC_MESSAGES\\default.mo"));
    std::wstring otherCase = base;
    for (auto& c : otherCase) {
        c = static_cast<wchar_t>(std::towupper(c));
    }
    ASSERT_NE(otherCase, base);
    EXPECT_FALSE(index.contains(otherCase + L"locale\\de\\LC_MESSAGES\\default.mo"));

    std::string image = readBytes(program);
    CatalogueLocation serial = index.locate(base + L"locale\\DE\\LC_MESSAGES\\serial.mo");
    EXPECT_EQ(serial.filePath, program);
    EXPECT_EQ(image.substr(serial.offset, serial.size), "second!");
    const std::wstring elsewhere = otherCase + L"locale\\de\\LC_MESSAGES\\serial.mo";
    CatalogueLocation notEmbedded = index.locate(elsewhere);
    EXPECT_EQ(notEmbedded.filePath, elsewhere);
    EXPECT_EQ(notEmbedded.offset, 0);
    EXPECT_EQ(notEmbedded.size, 0);
}

TEST(EmbeddedCatalogues, TheEmbeddedCatalogueWinsOverTheDisk) {
    // A copy of this very program with a catalogue appended runs the EmbeddedChild tests.
    TempDir dir;
    std::string image = readBytes(framework::modulePath());
    ASSERT_EQ(embedCatalogues(image, {{kDefaultName, msgfmtCatalogue(L"embedded_default.mo")}}),
              "");
    const std::wstring child = dir.path() + L"\\i18n_embedded_copy.exe";
    writeBytes(child, image);
    testing::installCatalogue(localeRoot(dir), L"de", L"default",
                              msgfmtCatalogue(L"de_default.mo"));
    const std::wstring done = dir.path() + L"\\child_done";

    std::wstring commandLine =
        L"\"" + child + L"\" --gtest_filter=EmbeddedChild.* --gtest_color=no";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    {
        testing_support::ScopedEnvironment enable(kChildVariable, L"1");
        ASSERT_TRUE(CreateProcessW(child.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                   nullptr, dir.path().c_str(), &startup, &process));
    }
    framework::KernelHandle processHandle(process.hProcess);
    framework::KernelHandle threadHandle(process.hThread);
    ASSERT_EQ(WaitForSingleObject(processHandle.get(), 120000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(processHandle.get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES, true)
        << "the child's checks did not run to their end";
}

// Runs only inside the copy made above.
TEST(EmbeddedChild, FindsItsOwnCatalogueBeforeTheOneBesideIt) {
    if (GetEnvironmentVariableW(kChildVariable, nullptr, 0) == 0) {
        GTEST_SKIP();
    }
    const std::wstring program = framework::modulePath();
    const std::wstring base = program.substr(0, program.find_last_of(L'\\') + 1);
    ASSERT_NE(embeddedIndexSlot(), 0u);
    EmbeddedCatalogues index(program);
    index.scanExecutable();
    ASSERT_EQ(index.count(), 1u);
    EXPECT_TRUE(index.contains(base + L"locale\\de\\LC_MESSAGES\\default.mo"));

    testing_support::ScopedEnvironment lang(L"LANG", L"de_DE.UTF-8");
    {
        Translator translator(program, &index);
        EXPECT_EQ(translator.translate(L"Cancel"), L"Abbrechen (eingebettet)");
        EXPECT_EQ(translator.translate(L"Exit"), L"Exit") << "the disk copy is not read";
    }
    startup();
    EXPECT_EQ(framework::loadResourceString(IDS_TEST_CANCEL), L"Abbrechen (eingebettet)");
    shutdown();
    EXPECT_EQ(framework::loadResourceString(IDS_TEST_CANCEL), L"Cancel");
    if (!HasFailure()) {
        writeBytes(base + L"child_done", "done");
    }
}

}  // namespace
}  // namespace i18n
