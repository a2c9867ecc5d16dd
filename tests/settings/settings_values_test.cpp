#include <gtest/gtest.h>

#include <optional>

#include "settings/settings_values.h"

namespace {

TEST(SettingsValuesTest, CursorStepIsHeldToTheSlider) {
    EXPECT_EQ(app::cursorStepFrom(std::nullopt), 10);
    EXPECT_EQ(app::cursorStepFrom(L"45"), 30);
    EXPECT_EQ(app::cursorStepFrom(L"abc"), 10);
    EXPECT_EQ(app::cursorStepFrom(L"-5"), 3);
    EXPECT_EQ(app::cursorStepFrom(L"17"), 17);
    EXPECT_EQ(app::cursorStepFrom(L""), 10);
    EXPECT_EQ(app::cursorStepFrom(L"4abc"), 10);
    // An integer of any size is held to the slider as well.
    EXPECT_EQ(app::cursorStepFrom(L"2147483647"), 30);
    EXPECT_EQ(app::cursorStepFrom(L"2147483648"), 30);
    EXPECT_EQ(app::cursorStepFrom(L"9999999999999"), 30);
    EXPECT_EQ(app::cursorStepFrom(L"-2147483649"), 3);
    EXPECT_EQ(app::cursorStepFrom(L"-99999999999999999999999"), 3);
}

TEST(SettingsValuesTest, PortIndexOutsideTheListMeansNoPort) {
    EXPECT_EQ(app::portIndexFrom(std::nullopt), 0);
    EXPECT_EQ(app::portIndexFrom(L"29"), 29);
    EXPECT_EQ(app::portIndexFrom(L"30"), -1);
    EXPECT_EQ(app::portIndexFrom(L"-1"), -1);
    EXPECT_EQ(app::portIndexFrom(L"9999999999999"), -1);
    EXPECT_EQ(app::portIndexFrom(L"-2147483649"), -1);
    // Text that is no integer gives the default, COM1.
    for (const wchar_t* text : {L"x", L"4abc", L"", L"-", L"1 2"}) {
        EXPECT_EQ(app::portIndexFrom(text), 0) << text;
    }
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

TEST(SettingsValuesTest, OnlyPathsWithBlanksAreQuoted) {
    EXPECT_EQ(app::quotedIfBlank(L"C:\\Tools\\app.exe"), L"C:\\Tools\\app.exe");
    EXPECT_EQ(app::quotedIfBlank(L"C:\\Program Files\\App\\app.exe"),
              L"\"C:\\Program Files\\App\\app.exe\"");
    EXPECT_EQ(app::quotedIfBlank(L"\"C:\\Program Files\\a.exe\""), L"\"C:\\Program Files\\a.exe\"");
}

}  // namespace
