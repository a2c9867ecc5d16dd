#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "framework/application.h"
#include "framework/exception.h"

using framework::application;
using framework::Application;

namespace {

constexpr wchar_t kBoxTitle[] = L"Keypilot one-box test";

// The error boxes of this process that are up now.
std::vector<HWND> errorBoxes() {
    std::vector<HWND> boxes;
    EnumWindows(
        [](HWND hwnd, LPARAM found) -> BOOL {
            DWORD process = 0;
            GetWindowThreadProcessId(hwnd, &process);
            wchar_t className[16] = {};
            wchar_t caption[64] = {};
            GetClassNameW(hwnd, className, 16);
            // Read without a message: the box's thread may be busy.
            InternalGetWindowText(hwnd, caption, 64);
            if (process == GetCurrentProcessId() && IsWindowVisible(hwnd) &&
                std::wstring(className) == L"#32770" && std::wstring(caption) == kBoxTitle) {
                reinterpret_cast<std::vector<HWND>*>(found)->push_back(hwnd);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&boxes));
    return boxes;
}

// A handler that fails on every tick, as a status timer's might.
std::atomic<int> failedTicks{0};
std::atomic<bool> stopFailing{false};

void CALLBACK failOnTick(HWND, UINT, UINT_PTR id, DWORD) {
    if (stopFailing) {
        KillTimer(nullptr, id);
        return;
    }
    ++failedTicks;
    application().guard([] { throw framework::Exception(L"tick failed"); });
}

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

// A box is up for one error while a timer's handler fails again and again behind it: no second
// box opens on top. Seen from another thread, since the box holds the main thread.
TEST(ApplicationTest, AtMostOneErrorBoxIsUpAndErrorsMeanwhileAreDropped) {
    application().initialize();
    application().setTitle(kBoxTitle);
    auto old = application().setExceptionHandler(nullptr);
    failedTicks = 0;
    stopFailing = false;
    size_t mostBoxes = 0;
    int failedWhileUp = 0;
    std::atomic<bool> firstBoxClosed{false};
    std::thread watcher([&] {
        const ULONGLONG deadline = GetTickCount64() + 20000;
        auto watch = [&](auto done) {
            while (!done() && !firstBoxClosed && GetTickCount64() < deadline) {
                mostBoxes = std::max(mostBoxes, errorBoxes().size());
                Sleep(10);
            }
            mostBoxes = std::max(mostBoxes, errorBoxes().size());
        };
        watch([] { return !errorBoxes().empty(); });
        const int before = failedTicks;
        watch([&] { return failedTicks >= before + 3; });
        failedWhileUp = failedTicks - before;
        stopFailing = true;
        // Closes every box there is until none is left.
        watch([] {
            std::vector<HWND> boxes = errorBoxes();
            for (HWND box : boxes) {
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
            return boxes.empty();
        });
    });
    UINT_PTR timer = SetTimer(nullptr, 0, 20, &failOnTick);
    application().guard([] { throw framework::Exception(L"first"); });
    firstBoxClosed = true;
    watcher.join();
    KillTimer(nullptr, timer);
    application().setExceptionHandler(old);
    application().setTitle(L"Keypilot");
    EXPECT_GE(failedWhileUp, 3) << "the timer's handler failed behind the box";
    EXPECT_EQ(mostBoxes, 1u);
    EXPECT_TRUE(errorBoxes().empty());
}

}  // namespace
