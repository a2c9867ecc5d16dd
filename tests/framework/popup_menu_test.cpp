#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/exception.h"
#include "framework/image_list.h"
#include "framework/popup_menu.h"
#include "wine_test_support.h"

using framework::ImageList;
using framework::PopupMenu;

namespace {

TEST(PopupMenuTest, NativeMenuShowsCaptionsDefaultCheckedDisabledAndSeparators) {
    PopupMenu menu;
    EXPECT_EQ(menu.addItem(
                  L"Настройки", [] {}, true),
              0);
    EXPECT_EQ(menu.addItem(L"Autostart", [] {}), 1);
    EXPECT_EQ(menu.addSeparator(), 2);
    EXPECT_EQ(menu.addItem(L"Exit", [] {}), 3);
    menu.setChecked(1, true);
    menu.setEnabled(3, false);
    EXPECT_TRUE(menu.checked(1));
    EXPECT_TRUE(menu.item(2).separator());
    EXPECT_THROW(menu.item(4), std::out_of_range);
    EXPECT_THROW(menu.setChecked(-1, true), std::out_of_range);

    framework::Menu built = menu.buildMenu();
    ASSERT_TRUE(built);
    HMENU h = built.get();
    ASSERT_EQ(GetMenuItemCount(h), 4);
    EXPECT_EQ(GetMenuDefaultItem(h, TRUE, 0), 0u);
    wchar_t caption[64]{};
    GetMenuStringW(h, 0, caption, 64, MF_BYPOSITION);
    EXPECT_STREQ(caption, L"Настройки");
    EXPECT_TRUE(GetMenuState(h, 1, MF_BYPOSITION) & MF_CHECKED);
    EXPECT_FALSE(GetMenuState(h, 0, MF_BYPOSITION) & MF_CHECKED);
    EXPECT_TRUE(GetMenuState(h, 2, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_TRUE(GetMenuState(h, 3, MF_BYPOSITION) & MF_GRAYED);
    EXPECT_EQ(GetMenuItemID(h, 3), 4u);
}

TEST(PopupMenuTest, ClickRunsOnlyEnabledItemsAndDefaultIsTheLowestMarked) {
    PopupMenu menu;
    int clicks[3] = {};
    menu.addItem(L"A", [&] { ++clicks[0]; });
    menu.addItem(
        L"B", [&] { ++clicks[1]; }, true);
    menu.addItem(
        L"C", [&] { ++clicks[2]; }, true);
    EXPECT_EQ(menu.defaultItemIndex(), 1);
    EXPECT_TRUE(menu.clickItem(2));
    menu.setEnabled(0, false);
    EXPECT_FALSE(menu.clickItem(0));
    EXPECT_FALSE(menu.clickItem(7));
    EXPECT_FALSE(menu.clickItem(-1));
    EXPECT_EQ(clicks[0], 0);
    EXPECT_EQ(clicks[2], 1);

    PopupMenu plain;
    plain.addItem(L"A", nullptr);
    EXPECT_EQ(plain.defaultItemIndex(), -1);
    EXPECT_FALSE(plain.clickItem(0));

    // A failing action is shown, and the click still counts as run.
    std::vector<std::wstring> shown;
    auto old = framework::application().setExceptionHandler(
        [&](const std::exception& e) { shown.push_back(framework::messageOf(e)); });
    plain.addItem(L"B", [] { throw std::runtime_error("action failed"); });
    EXPECT_TRUE(plain.clickItem(1));
    framework::application().setExceptionHandler(old);
    EXPECT_EQ(shown, (std::vector<std::wstring>{L"action failed"}));
}

// The real menu loop: a thread timer that fires inside it chooses an item with the keyboard.
TEST(PopupMenuTest, RealMenuRunsTheItemChosenWithTheKeyboard) {
    framework::application().initialize();
    PopupMenu menu;
    int first = 0, second = 0, popups = 0;
    menu.addItem(L"First", [&] { ++first; });
    menu.addItem(L"Second", [&] { ++second; });
    menu.onPopup = [&] {
        ++popups;
        SetTimer(nullptr, 0, 30, [](HWND, UINT, UINT_PTR id, DWORD) {
            HWND menuWindow = FindWindowW(L"#32768", nullptr);
            if (!menuWindow) {
                return;  // not shown yet: the next tick looks again
            }
            KillTimer(nullptr, id);
            PostMessageW(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
            PostMessageW(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
            PostMessageW(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
        });
    };
    SetForegroundWindow(framework::application().handle());
    EXPECT_EQ(menu.popup(100, 100), 1);
    EXPECT_EQ(popups, 1);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
}

TEST(PopupMenuTest, RealMenuClosedWithoutAChoiceRunsNothing) {
    framework::application().initialize();
    PopupMenu menu;
    int clicks = 0;
    menu.addItem(
        L"Only", [&] { ++clicks; }, true);
    menu.onPopup = [] { testing_support::endMenuSoon(); };
    EXPECT_EQ(menu.popup(50, 50), -1);
    EXPECT_EQ(clicks, 0);
}

TEST(ImageListTest, PicturesComeOutAtTheSmallIconSize) {
    ImageList list;
    EXPECT_EQ(list.count(), 0);
    framework::Icon red = testing_support::solidIcon(RGB(255, 0, 0));
    EXPECT_EQ(list.addIcon(red.get()), 0);
    EXPECT_EQ(list.addResourceIcon(nullptr, 32512 /* IDI_APPLICATION */), 1);
    EXPECT_EQ(list.addIcon(nullptr), -1);
    EXPECT_EQ(list.count(), 2);
    red.reset();  // the list keeps its own copy

    SIZE small = ImageList::smallIconSize();
    EXPECT_EQ(small.cx, GetSystemMetrics(SM_CXSMICON));
    for (int i = 0; i < list.count(); ++i) {
        framework::Icon icon = list.icon(i);
        ASSERT_TRUE(icon) << i;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon.get(), &info));
        framework::GdiObject colour{info.hbmColor};
        framework::GdiObject mask{info.hbmMask};
        BITMAP bm{};
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
        EXPECT_EQ(bm.bmWidth, small.cx) << i;
    }
    EXPECT_EQ(testing_support::iconColour(list.icon(0).get()), RGB(255, 0, 0));
    EXPECT_FALSE(list.icon(2));
    EXPECT_FALSE(list.icon(-1));
    ImageList missing;
    missing.addResourceIcon(GetModuleHandleW(nullptr), 4242);
    EXPECT_FALSE(missing.icon(0));
}

}  // namespace
