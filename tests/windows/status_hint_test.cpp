#include <gtest/gtest.h>

#include <string>

#include "windows/status_hint.h"

namespace {

TEST(StatusHintTest, TheReasonIsOneLineCutCleanlyToTheTip) {
    EXPECT_EQ(app::portProblemHint(L"COM5", L"Unable to open com port (win error code: 2)"),
              L"Keypilot - COM5: Unable to open com port (win error code: 2)");
    EXPECT_EQ(app::portProblemHint(L"COM12", L"System Error.  Code: 5.\r\nAccess denied.\r\n"),
              L"Keypilot - COM12: System Error. Code: 5. Access denied.");
    // Too long: cut to the tip, never inside a surrogate pair, with an ellipsis.
    std::wstring longReason(200, L'x');
    std::wstring hint = app::portProblemHint(L"COM5", longReason);
    EXPECT_EQ(hint.size(), app::kHintCapacity);
    EXPECT_EQ(hint.back(), L'\u2026');
    const std::wstring prefix = L"Keypilot - COM5: ";
    for (size_t pad = 0; pad < 4; ++pad) {
        std::wstring pairs = std::wstring(pad, L'a');
        for (int i = 0; i < 80; ++i) {
            pairs += L"\xD83D\xDCF1";  // a surrogate pair, as Windows holds it
        }
        hint = app::portProblemHint(L"COM5", pairs);
        ASSERT_LE(hint.size(), app::kHintCapacity);
        EXPECT_EQ(hint.back(), L'\u2026');
        wchar_t beforeEllipsis = hint[hint.size() - 2];
        EXPECT_FALSE(beforeEllipsis >= 0xD800 && beforeEllipsis <= 0xDBFF) << pad;
    }
}

}  // namespace
