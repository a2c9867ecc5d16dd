#include <gtest/gtest.h>

#include <vector>

#include "framework/handle.h"
#include "framework/hidden_window.h"
#include "framework/owned_window.h"

namespace {

// Records the messages that reach it.
struct Recorder {
    explicit Recorder(HWND parent) {
        framework::registerWindowClass(L"KeypilotOwnedWindowTest",
                                       &framework::ownedWindowProcedure<Recorder>);
        CreateWindowExW(0, L"KeypilotOwnedWindowTest", L"", WS_CHILD, 0, 0, 10, 10, parent, nullptr,
                        GetModuleHandleW(nullptr), this);
    }

    framework::OwnedWindow& ownedWindow() { return window_; }
    LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
        messages.push_back(msg);
        return DefWindowProcW(window_.get(), msg, wParam, lParam);
    }

    framework::OwnedWindow window_;
    std::vector<UINT> messages;
};

bool received(const Recorder& r, UINT msg) {
    for (UINT m : r.messages) {
        if (m == msg) {
            return true;
        }
    }
    return false;
}

HWND makeParent() {
    framework::registerWindowClass(L"KeypilotOwnedWindowTestParent", DefWindowProcW);
    return CreateWindowExW(0, L"KeypilotOwnedWindowTestParent", L"", WS_POPUP, 0, 0, 10, 10,
                           nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

TEST(OwnedWindowTest, MessagesReachTheOwnerUntilItLetsGoOfTheWindow) {
    framework::Window parent{makeParent()};
    Recorder owner{parent.get()};
    HWND child = owner.window_.get();
    ASSERT_NE(child, nullptr);
    SendMessageW(child, WM_USER + 5, 0, 0);
    EXPECT_TRUE(received(owner, WM_USER + 5));

    // The window's last messages would find an owner whose members are gone: the owner's
    // handle is declared first so that it goes last.
    owner.messages.clear();
    owner.window_.destroy();
    EXPECT_FALSE(IsWindow(child));
    EXPECT_FALSE(received(owner, WM_DESTROY));
    EXPECT_EQ(owner.window_.get(), nullptr);
}

TEST(OwnedWindowTest, AWindowDestroyedWithItsParentIsForgotten) {
    framework::Window parent{makeParent()};
    Recorder owner{parent.get()};
    HWND child = owner.window_.get();
    ASSERT_NE(child, nullptr);
    parent.reset();
    EXPECT_FALSE(IsWindow(child));
    // The owner would otherwise destroy, with itself, whatever window gets the handle next.
    EXPECT_EQ(owner.window_.get(), nullptr);
}

}  // namespace
