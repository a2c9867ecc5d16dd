// How a batch file's arguments text is split and quoted for cmd.exe, beside what the Wine test
// sees cmd make of it: quotes group as for any program, an empty quoted argument stays, and a
// "%" anywhere refuses the whole text.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "desktop/batch_arguments.h"

namespace {

TEST(BatchArgumentsTest, QuotedWhereCmdWouldReadThemAndAPercentRefused) {
    EXPECT_EQ(app::batchArgumentsOf(L"  plain  --x=1 a\"b c\"d \"\"  e^f "),
              L"plain \"--x=1\" \"ab cd\" \"\" \"e^f\"");
    EXPECT_EQ(app::batchArgumentsOf(L"\"C:\\My Folder\\\" \"unclosed end"),
              L"\"C:\\My Folder\\\" \"unclosed end\"");
    EXPECT_EQ(app::batchArgumentsOf(L""), L"");
    EXPECT_EQ(app::batchArgumentsOf(L"100%"), std::nullopt);
    EXPECT_TRUE(app::takesLiterally(L"C:\\run.bat", L"a & b"));
    EXPECT_FALSE(app::takesLiterally(L"C:\\100%\\run.bat", L""));
    EXPECT_TRUE(app::isBatchFile(L"C:\\Tools\\run me.BAT"));
    EXPECT_TRUE(app::isBatchFile(L"run.Cmd"));
    EXPECT_FALSE(app::isBatchFile(L"C:\\Tools\\run.exe"));
    EXPECT_FALSE(app::isBatchFile(L"bat"));
}

}  // namespace
