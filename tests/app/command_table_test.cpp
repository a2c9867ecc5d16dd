#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_table.h"
#include "app/settings_values.h"
#include "app/status_hint.h"

using app::Command;
using app::parseCommand;

namespace {

TEST(CommandTableTest, EachCodeIsOneCommandAndKeysMatchTheirCodes) {
    const std::pair<const char*, Command> codes[] = {
        {"00", Command::Launch},      {"01", Command::Escape},     {"02", Command::CursorUp},
        {"03", Command::StartMenu},   {"04", Command::CursorLeft}, {"05", Command::ClickEnter},
        {"06", Command::CursorRight}, {"07", Command::VolumeUp},   {"08", Command::CursorDown},
        {"09", Command::PageDown},    {"10", Command::VolumeDown}, {"11", Command::PageUp}};
    for (const auto& [code, command] : codes) {
        ASSERT_EQ(parseCommand(code), command) << code;
        EXPECT_EQ(app::commandCode(command), code);
    }
    EXPECT_EQ(app::keyOf(Command::Escape), 0x1Bu);
    EXPECT_EQ(app::keyOf(Command::PageDown), 0x22u);
    EXPECT_EQ(app::keyOf(Command::PageUp), 0x21u);
    EXPECT_EQ(app::keyOf(Command::ClickEnter), 0x0Du);
}

TEST(CommandTableTest, AnythingButExactlyOneCodeIsDropped) {
    for (const char* chunk :
         {"", "0", "2", "0606", "02\r", "02\n", " 02", "02 ", "12", "99", "1", "000"}) {
        EXPECT_FALSE(parseCommand(chunk).has_value()) << '"' << chunk << '"';
    }
    EXPECT_FALSE(parseCommand(std::string_view("02\0", 3)).has_value());
}

TEST(CommandTableTest, AChunkOfWholeCodesRunsEachInOrderAndAnyFlawRunsNone) {
    using V = std::vector<Command>;
    EXPECT_EQ(app::parseChunk("060802"),
              (V{Command::CursorRight, Command::CursorDown, Command::CursorUp}));
    EXPECT_EQ(app::parseChunk("05"), V{Command::ClickEnter});
    std::string sixty;
    for (int i = 0; i < 60; ++i) {
        sixty += "06";
    }
    EXPECT_EQ(app::parseChunk(sixty), V(60, Command::CursorRight));
    // "0" then "60" would pair as "06": an odd length runs nothing; so does a line end, a NUL
    // or an unknown pair at either end or in the middle.
    using namespace std::string_view_literals;
    for (std::string_view chunk :
         {""sv, "0"sv, "060"sv, "0606\r\n"sv, "\r\n0606"sv, "0612"sv, "1206"sv, "06 08"sv,
          "06\n08"sv, "99"sv, "06\0\x30\x38"sv, "06\0\0"sv}) {
        EXPECT_TRUE(app::parseChunk(chunk).empty()) << '"' << chunk << '"';
    }
}

TEST(SettingsValuesTest, CursorStepIsHeldToTheSlider) {
    EXPECT_EQ(app::cursorStepFrom(std::nullopt), 10);
    EXPECT_EQ(app::cursorStepFrom(L"45"), 30);
    EXPECT_EQ(app::cursorStepFrom(L"abc"), 10);
    EXPECT_EQ(app::cursorStepFrom(L"-5"), 3);
    EXPECT_EQ(app::cursorStepFrom(L"17"), 17);
    EXPECT_EQ(app::cursorStepFrom(L""), 10);
    EXPECT_EQ(app::cursorStepFrom(L"99999999999"), 10);
}

TEST(SettingsValuesTest, PortIndexOutsideTheListMeansNoPort) {
    EXPECT_EQ(app::portIndexFrom(std::nullopt), 0);
    EXPECT_EQ(app::portIndexFrom(L"29"), 29);
    EXPECT_EQ(app::portIndexFrom(L"30"), -1);
    EXPECT_EQ(app::portIndexFrom(L"-1"), -1);
    EXPECT_EQ(app::portIndexFrom(L"x"), 0);
    EXPECT_EQ(app::portNameFor(0), L"COM1");
    EXPECT_EQ(app::portNameFor(29), L"COM30");
    EXPECT_EQ(app::portNameFor(-1), L"COM0");
}

TEST(SettingsValuesTest, OnlyTheExactTextInputMakesKeysRealPresses) {
    EXPECT_EQ(app::keyDeliveryFrom(L"input"), app::KeyDelivery::Input);
    for (const wchar_t* other : {L"", L"Input", L" input", L"messages", L"1"}) {
        EXPECT_EQ(app::keyDeliveryFrom(other), app::KeyDelivery::Messages) << other;
    }
    EXPECT_EQ(app::keyDeliveryFrom(std::nullopt), app::KeyDelivery::Messages);
}

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

TEST(SettingsValuesTest, OnlyPathsWithBlanksAreQuoted) {
    EXPECT_EQ(app::quotedIfBlank(L"C:\\Tools\\app.exe"), L"C:\\Tools\\app.exe");
    EXPECT_EQ(app::quotedIfBlank(L"C:\\Program Files\\App\\app.exe"),
              L"\"C:\\Program Files\\App\\app.exe\"");
    EXPECT_EQ(app::quotedIfBlank(L"\"C:\\Program Files\\a.exe\""), L"\"C:\\Program Files\\a.exe\"");
}

}  // namespace
