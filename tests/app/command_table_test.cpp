#include <gtest/gtest.h>

#include "app/command_table.h"
#include "app/settings_values.h"

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

TEST(SettingsValuesTest, OnlyPathsWithBlanksAreQuoted) {
    EXPECT_EQ(app::quotedIfBlank(L"C:\\Tools\\app.exe"), L"C:\\Tools\\app.exe");
    EXPECT_EQ(app::quotedIfBlank(L"C:\\Program Files\\App\\app.exe"),
              L"\"C:\\Program Files\\App\\app.exe\"");
    EXPECT_EQ(app::quotedIfBlank(L"\"C:\\Program Files\\a.exe\""), L"\"C:\\Program Files\\a.exe\"");
}

}  // namespace
