#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/exception.h"

using framework::application;
using framework::Application;

namespace {

TEST(ApplicationTest, WindowIsHiddenUnownedAndCaptionedWithTheTitle) {
    application().initialize();
    application().setTitle(L"Keypilot");
    HWND hwnd = application().handle();
    ASSERT_NE(hwnd, nullptr);
    wchar_t caption[128];
    GetWindowTextW(hwnd, caption, 128);
    EXPECT_STREQ(caption, L"Keypilot");
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_EQ(GetWindow(hwnd, GW_OWNER), nullptr);
}

TEST(ApplicationTest, DisplayTextAddsAFullStopOnlyAfterCharactersThatSortAfterIt) {
    EXPECT_EQ(Application::displayText(L"Invalid data type for 'mouse'"),
              L"Invalid data type for 'mouse'.");
    EXPECT_EQ(Application::displayText(L"Failed to create key Keypilot"),
              L"Failed to create key Keypilot.");
    EXPECT_EQ(Application::displayText(L"code: 2"), L"code: 2.");
    EXPECT_EQ(Application::displayText(L"Done."), L"Done.");
    EXPECT_EQ(Application::displayText(L"abc"), L"abc.");
    EXPECT_EQ(Application::displayText(L"x!"), L"x!");
    EXPECT_EQ(Application::displayText(L""), L"");
}

TEST(ApplicationTest, QuitSeenWhileProcessingMessagesIsNotedAndRunEndsAfterwards) {
    application().initialize();
    bool ran = false;
    PostMessageW(application().handle(), WM_NULL, 0, 0);
    PostQuitMessage(7);
    application().processMessages();
    EXPECT_TRUE(application().terminated());
    ran = true;
    EXPECT_EQ(application().run(), 7);
    EXPECT_TRUE(ran);
}

TEST(ApplicationTest, GuardHandsEveryErrorToTheHandler) {
    std::vector<std::wstring> seen;
    auto old = application().setExceptionHandler(
        [&](const std::exception& e) { seen.push_back(framework::messageOf(e)); });
    application().guard([] { throw framework::Exception(L"boom"); });
    // Not a standard exception: no text of its own, still shown.
    application().guard([] { throw 42; });
    application().setExceptionHandler(old);
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"boom", L"An unknown error occurred"}));
}

}  // namespace
