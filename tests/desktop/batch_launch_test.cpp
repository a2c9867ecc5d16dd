// A batch file started with arguments, under Wine's real cmd.exe: each argument reaches the batch
// as the user wrote it, and none of cmd's syntax in them runs anything; a "%", which cmd would
// expand inside quotes too, is refused before anything starts.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "desktop/launch_program.h"
#include "wine_test_support.h"

namespace {

using testing_support::pumpUntil;
using testing_support::readBytes;
using testing_support::writeBytes;

TEST(BatchLaunchTest, EachArgumentReachesTheBatchAsWrittenAndAPercentIsRefused) {
    const std::wstring folder = L"C:\\kp batch";
    const std::wstring batch = folder + L"\\args.bat";
    const std::wstring out = folder + L"\\args.txt";
    const std::wstring injected = L"C:\\injected.txt";
    DeleteFileW(out.c_str());
    DeleteFileW(injected.c_str());
    // Each parameter on a line of its own as cmd hands it over (quotes kept), then a last line.
    writeBytes(batch,
               "@echo off\r\n:next\r\nif [%1]==[] goto end\r\n"
               "echo.[%1] >>\"C:\\kp batch\\args.txt\"\r\nshift\r\ngoto next\r\n"
               ":end\r\necho.[end] >>\"C:\\kp batch\\args.txt\"\r\n");

    ASSERT_EQ(app::startProgram(batch,
                                L"x & echo X> C:\\injected.txt \"a b\" e^f a|b (c) d<e>f !PATH! "
                                L"a,b;c=d \"\" last",
                                folder),
              static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(pumpUntil([&] { return readBytes(out).find("[end]") != std::string::npos; }, 10000))
        << readBytes(out);
    EXPECT_EQ(readBytes(out),
              "[x] \r\n[\"&\"] \r\n[echo] \r\n[\"X>\"] \r\n[C:\\injected.txt] \r\n[\"a b\"] \r\n"
              "[\"e^f\"] \r\n[\"a|b\"] \r\n[\"(c)\"] \r\n[\"d<e>f\"] \r\n[\"!PATH!\"] \r\n"
              "[\"a,b;c=d\"] \r\n[\"\"] \r\n[last] \r\n[end] \r\n");
    EXPECT_EQ(GetFileAttributesW(injected.c_str()), INVALID_FILE_ATTRIBUTES);

    // Code 00's text takes the same way.
    DeleteFileW(out.c_str());
    ASSERT_EQ(app::startProgram(L"\"" + batch + L"\" a&b"), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(
        pumpUntil([&] { return readBytes(out).find("[end]") != std::string::npos; }, 10000));
    EXPECT_EQ(readBytes(out), "[\"a&b\"] \r\n[end] \r\n");

    EXPECT_EQ(app::startProgram(batch, L"%PATH%", folder), static_cast<DWORD>(ERROR_BAD_ARGUMENTS));
    EXPECT_EQ(app::startProgram(batch + L" 100%"), static_cast<DWORD>(ERROR_BAD_ARGUMENTS));
}

}  // namespace
