#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/image_list.h"
#include "framework/popup_menu.h"
#include "tray/tray_icon.h"
#include "wine_test_support.h"

using testing_support::pumpUntil;
using tray::MouseButton;
using tray::ShiftKey;
using tray::TrayIcon;

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);

class TrayIconTest : public ::testing::Test {
  protected:
    void SetUp() override {
        framework::application().initialize();
        red_ = testing_support::solidIcon(kRed);
        green_ = testing_support::solidIcon(kGreen);
        list_.addIcon(red_.get());
        list_.addIcon(green_.get());
    }

    // What the shell hands the callback window for a mouse action on the icon.
    static void shellSends(TrayIcon& icon, UINT message) {
        SendMessageW(TrayIcon::callbackWindow(), tray::WM_TRAYICON_CALLBACK, icon.trayId(),
                     message);
    }
    // Whether the shell holds an icon with this window and identifier (and drops it).
    static bool shellHeld(HWND window, UINT id) {
        NOTIFYICONDATAW data{};
        data.cbSize = sizeof data;
        data.hWnd = window;
        data.uID = id;
        return Shell_NotifyIconW(NIM_DELETE, &data) != FALSE;
    }

    framework::Icon red_, green_;
    framework::ImageList list_;
};

TEST_F(TrayIconTest, IconIsAddedModifiedAndRemoved) {
    TrayIcon icon;
    icon.setIconList(&list_);
    icon.setHint(L"Keypilot");
    EXPECT_EQ(icon.notifyData().hWnd, TrayIcon::callbackWindow());
    EXPECT_EQ(icon.notifyData().uCallbackMessage, tray::WM_TRAYICON_CALLBACK);
    EXPECT_EQ(icon.notifyData().uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_FALSE(icon.iconVisible());
    EXPECT_TRUE(icon.addTrayIcon());
    EXPECT_TRUE(icon.iconVisible());
    icon.setIconIndex(1);
    EXPECT_TRUE(icon.updateTrayIcon());
    EXPECT_EQ(icon.notifyData().hIcon, icon.icon());
    EXPECT_TRUE(icon.removeTrayIcon());
    EXPECT_FALSE(icon.iconVisible());
    EXPECT_FALSE(icon.updateTrayIcon());

    icon.setIconVisible(true);
    EXPECT_TRUE(icon.iconVisible());
    EXPECT_TRUE(icon.updateTrayIcon());
}

TEST_F(TrayIconTest, IconIndexIsClampedToTheList) {
    TrayIcon icon;
    icon.setIconList(&list_);
    EXPECT_EQ(testing_support::iconColour(icon.icon()), kRed);
    icon.setIconIndex(5);
    EXPECT_EQ(icon.iconIndex(), 1);
    EXPECT_EQ(testing_support::iconColour(icon.icon()), kGreen);
    icon.setIconIndex(-3);
    EXPECT_EQ(icon.iconIndex(), -3);
    EXPECT_EQ(icon.icon(), nullptr);

    framework::ImageList empty;
    icon.setIconList(&empty);
    EXPECT_EQ(icon.iconIndex(), -1);
    EXPECT_EQ(icon.icon(), nullptr);

    icon.setIconList(&list_);
    icon.setIconIndex(1);
    icon.forgetIconList(&list_);
    EXPECT_EQ(icon.iconList(), nullptr);
    EXPECT_EQ(icon.iconIndex(), 0);
    icon.setIconIndex(4);
    EXPECT_EQ(icon.iconIndex(), 0);
}

TEST_F(TrayIconTest, TipIsEmptyWhenHiddenAndCutTo127Characters) {
    TrayIcon icon;
    icon.setHint(L"");
    EXPECT_STREQ(icon.notifyData().szTip, L"");
    icon.setHint(L"Keypilot - подключен");
    EXPECT_STREQ(icon.notifyData().szTip, L"Keypilot - подключен");
    icon.setShowHint(false);
    EXPECT_STREQ(icon.notifyData().szTip, L"");
    icon.setShowHint(true);
    std::wstring longHint;
    for (int i = 0; i < 200; ++i) {
        longHint += static_cast<wchar_t>(L'a' + i % 26);
    }
    icon.setHint(longHint);
    EXPECT_EQ(std::wstring(icon.notifyData().szTip), longHint.substr(0, 127));
    EXPECT_EQ(icon.hint(), longHint);

    // A character made of two halves is not cut in two.
    std::wstring pairAtEnd(126, L'x');
    pairAtEnd += L"\U0001F600";
    icon.setHint(pairAtEnd);
    EXPECT_EQ(std::wstring(icon.notifyData().szTip), std::wstring(126, L'x'));
}

struct Recorded {
    std::vector<std::string> events;
    void attach(TrayIcon& icon) {
        icon.onMouseDown = [this](TrayIcon&, MouseButton b, tray::ShiftState s, int, int) {
            events.push_back(std::string("down") + name(b, s));
        };
        icon.onMouseUp = [this](TrayIcon&, MouseButton b, tray::ShiftState s, int, int) {
            events.push_back(std::string("up") + name(b, s));
        };
        icon.onMouseMove = [this](TrayIcon&, tray::ShiftState, int, int) {
            events.push_back("move");
        };
        icon.onClick = [this](TrayIcon&) { events.push_back("click"); };
    }
    static std::string name(MouseButton b, tray::ShiftState s) {
        switch (b) {
            case MouseButton::mbLeft:
                return s.contains(ShiftKey::ssLeft) ? "L" : "L?";
            case MouseButton::mbRight:
                return s.contains(ShiftKey::ssRight) ? "R" : "R?";
            case MouseButton::mbMiddle:
                return s.contains(ShiftKey::ssMiddle) ? "M" : "M?";
        }
        return "?";
    }
};

TEST_F(TrayIconTest, MouseMessagesBecomeEventsAndAClickComesOnRelease) {
    TrayIcon icon;
    Recorded r;
    r.attach(icon);
    shellSends(icon, WM_MOUSEMOVE);
    shellSends(icon, WM_LBUTTONDOWN);
    shellSends(icon, WM_LBUTTONUP);
    shellSends(icon, WM_MBUTTONDOWN);
    shellSends(icon, WM_MBUTTONUP);
    shellSends(icon, WM_RBUTTONDOWN);
    shellSends(icon, WM_RBUTTONUP);
    shellSends(icon, WM_CONTEXTMENU);  // classic mode: ignored
    EXPECT_EQ(r.events, (std::vector<std::string>{"move", "downL", "click", "upL", "downM", "upM",
                                                  "downR", "upR"}));

    // A release without a press is no click.
    r.events.clear();
    shellSends(icon, WM_LBUTTONUP);
    EXPECT_EQ(r.events, (std::vector<std::string>{"upL"}));

    // Version-3 messages: the context menu message is the right release.
    r.events.clear();
    icon.setTrayMessageMode(1);
    EXPECT_EQ(icon.notifyData().uVersion, static_cast<UINT>(NOTIFYICON_VERSION));
    shellSends(icon, WM_RBUTTONUP);
    shellSends(icon, WM_CONTEXTMENU);
    shellSends(icon, NIN_KEYSELECT);
    EXPECT_EQ(r.events, (std::vector<std::string>{"upR", "upR"}));

    // A message for an icon that no longer exists reaches nobody.
    r.events.clear();
    UINT id = icon.trayId();
    {
        TrayIcon other;
        id = other.trayId();
    }
    SendMessageW(TrayIcon::callbackWindow(), tray::WM_TRAYICON_CALLBACK, id, WM_LBUTTONDOWN);
    EXPECT_TRUE(r.events.empty());
}

TEST_F(TrayIconTest, WithDoubleClickHandlerASingleClickWaitsAndADoubleClickReplacesIt) {
    TrayIcon icon;
    Recorded r;
    r.attach(icon);
    int doubles = 0;
    icon.onDblClick = [&](TrayIcon&) { ++doubles; };

    shellSends(icon, WM_LBUTTONDOWN);
    shellSends(icon, WM_LBUTTONUP);
    EXPECT_EQ(r.events, (std::vector<std::string>{"downL", "upL"}));
    ASSERT_TRUE(pumpUntil([&] { return r.events.size() == 3; }));
    EXPECT_EQ(r.events.back(), "click");
    EXPECT_EQ(tray::LightTimer::runningCount(), 0);

    r.events.clear();
    shellSends(icon, WM_LBUTTONDOWN);
    shellSends(icon, WM_LBUTTONUP);
    shellSends(icon, WM_LBUTTONDBLCLK);
    shellSends(icon, WM_LBUTTONUP);
    EXPECT_EQ(doubles, 1);
    // The wait's tick stops its timer and would report a click: once the pump has seen the timer
    // stopped, that tick is over, and no single click followed.
    ASSERT_TRUE(pumpUntil([] { return tray::LightTimer::runningCount() == 0; }));
    EXPECT_EQ(r.events, (std::vector<std::string>{"downL", "upL", "upL"}));

    // The next single click is reported again.
    r.events.clear();
    shellSends(icon, WM_LBUTTONDOWN);
    shellSends(icon, WM_LBUTTONUP);
    ASSERT_TRUE(pumpUntil([&] { return r.events.size() == 3; }));
    EXPECT_EQ(r.events.back(), "click");
}

TEST_F(TrayIconTest, RightButtonOpensTheMenuOnlyWithAutoPopup) {
    framework::PopupMenu menu;
    menu.addItem(
        L"Settings", [] {}, true);
    int shown = 0;
    menu.onPopup = [&] {
        ++shown;
        testing_support::endMenuSoon();
    };
    TrayIcon icon;
    icon.setPopupMenu(&menu);
    shellSends(icon, WM_RBUTTONDOWN);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(menu.popupComponent(), &icon);

    menu.setAutoPopup(false);
    shellSends(icon, WM_RBUTTONDOWN);
    EXPECT_EQ(shown, 1);

    // The left button opens it too with LeftPopup.
    menu.setAutoPopup(true);
    shellSends(icon, WM_LBUTTONDOWN);
    EXPECT_EQ(shown, 1);
    icon.setLeftPopup(true);
    shellSends(icon, WM_LBUTTONDOWN);
    EXPECT_EQ(shown, 2);

    icon.forgetPopupMenu(&menu);
    EXPECT_EQ(icon.popupMenu(), nullptr);
    shellSends(icon, WM_RBUTTONDOWN);
    EXPECT_EQ(shown, 2);
}

TEST_F(TrayIconTest, DoubleClickRunsTheDefaultItemOnce) {
    framework::PopupMenu menu;
    int settings = 0, other = 0;
    menu.addItem(L"Other", [&] { ++other; });
    menu.addItem(
        L"Settings", [&] { ++settings; }, true);
    TrayIcon icon;
    icon.setPopupMenu(&menu);
    shellSends(icon, WM_LBUTTONDBLCLK);
    EXPECT_EQ(settings, 1);
    EXPECT_EQ(other, 0);

    icon.setLeftPopup(true);
    shellSends(icon, WM_LBUTTONDBLCLK);
    icon.setLeftPopup(false);
    menu.setAutoPopup(false);
    shellSends(icon, WM_LBUTTONDBLCLK);
    menu.setAutoPopup(true);
    menu.item(1).isDefault = false;
    shellSends(icon, WM_LBUTTONDBLCLK);
    EXPECT_EQ(settings, 1);
    EXPECT_EQ(other, 0);
}

TEST_F(TrayIconTest, ADefaultItemThatDestroysTheIconIsSafe) {
    framework::PopupMenu menu;
    auto icon = std::make_unique<TrayIcon>();
    menu.addItem(
        L"Exit", [&] { icon.reset(); }, true);
    icon->setPopupMenu(&menu);
    icon->onDblClick = [](TrayIcon&) {};
    shellSends(*icon, WM_LBUTTONDBLCLK);
    EXPECT_EQ(icon, nullptr);
    EXPECT_EQ(TrayIcon::callbackWindow(), nullptr);
}

TEST_F(TrayIconTest, DisabledIconIgnoresMouseButPassesBalloons) {
    framework::PopupMenu menu;
    int shown = 0, settings = 0;
    menu.addItem(
        L"Settings", [&] { ++settings; }, true);
    menu.onPopup = [&] {
        ++shown;
        testing_support::endMenuSoon();
    };
    TrayIcon icon;
    icon.setPopupMenu(&menu);
    Recorded r;
    r.attach(icon);
    int doubles = 0;
    icon.onDblClick = [&](TrayIcon&) { ++doubles; };
    std::vector<std::string> balloons;
    icon.onBalloonHintShow = [&](TrayIcon&) { balloons.push_back("show"); };
    icon.onBalloonHintHide = [&](TrayIcon&) { balloons.push_back("hide"); };
    icon.onBalloonHintTimeout = [&](TrayIcon&) { balloons.push_back("timeout"); };
    icon.onBalloonHintClick = [&](TrayIcon&) { balloons.push_back("click"); };
    icon.setEnabled(false);
    for (UINT m : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN,
                   WM_RBUTTONUP, WM_MBUTTONDOWN, WM_MBUTTONUP}) {
        shellSends(icon, m);
    }
    for (UINT m : {NIN_BALLOONSHOW, NIN_BALLOONHIDE, NIN_BALLOONTIMEOUT, NIN_BALLOONUSERCLICK}) {
        shellSends(icon, m);
    }
    EXPECT_TRUE(r.events.empty());
    EXPECT_EQ(doubles, 0);
    EXPECT_EQ(shown, 0);
    EXPECT_EQ(settings, 0);
    EXPECT_EQ(tray::LightTimer::runningCount(), 0);
    EXPECT_EQ(balloons, (std::vector<std::string>{"show", "hide", "timeout", "click"}));
}

TEST_F(TrayIconTest, TaskbarCreatedBringsBackAVisibleIconOnly) {
    ASSERT_NE(tray::taskbarCreatedMessage(), 0u);
    TrayIcon shown, hidden;
    shown.setIconList(&list_);
    shown.setIconIndex(1);
    shown.setHint(L"Keypilot - подключен");
    shown.setIconVisible(true);
    hidden.setIconVisible(false);
    // The shell restarts: it has forgotten every icon.
    ASSERT_TRUE(shellHeld(TrayIcon::callbackWindow(), shown.trayId()));

    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(HWND_BROADCAST, tray::taskbarCreatedMessage(), 0, 0, SMTO_ABORTIFHUNG, 2000,
                        &ignored);
    EXPECT_TRUE(shown.iconVisible());
    EXPECT_STREQ(shown.notifyData().szTip, L"Keypilot - подключен");
    EXPECT_EQ(shown.notifyData().hIcon, shown.icon());
    EXPECT_EQ(testing_support::iconColour(shown.icon()), kGreen);
    EXPECT_TRUE(shellHeld(TrayIcon::callbackWindow(), shown.trayId()));
    EXPECT_FALSE(shellHeld(TrayIcon::callbackWindow(), hidden.trayId()));
    EXPECT_FALSE(hidden.iconVisible());
}

TEST_F(TrayIconTest, LastIconTakesTheSharedCallbackWindowWithIt) {
    ASSERT_EQ(TrayIcon::callbackWindow(), nullptr);
    auto first = std::make_unique<TrayIcon>();
    HWND window = TrayIcon::callbackWindow();
    ASSERT_TRUE(IsWindow(window));
    first->setIconVisible(true);
    UINT firstId = first->trayId();
    {
        TrayIcon second;
        EXPECT_EQ(TrayIcon::callbackWindow(), window);
        EXPECT_NE(second.trayId(), firstId);
    }
    EXPECT_TRUE(IsWindow(window));
    first.reset();
    EXPECT_EQ(TrayIcon::callbackWindow(), nullptr);
    EXPECT_FALSE(IsWindow(window));
    // Destroying it removed the icon from the shell.
    EXPECT_FALSE(shellHeld(window, firstId));
    TrayIcon again;
    EXPECT_TRUE(IsWindow(TrayIcon::callbackWindow()));
}

TEST_F(TrayIconTest, CyclingAlternatesPicturesAndReportsTheNextIndex) {
    TrayIcon icon;
    icon.setIconList(&list_);
    icon.setIconVisible(true);
    std::vector<int> next;
    std::vector<COLORREF> shownDuringTick;
    icon.onCycle = [&](TrayIcon& sender, int nextIndex) {
        next.push_back(nextIndex);
        shownDuringTick.push_back(testing_support::iconColour(sender.icon()));
    };
    std::vector<int> indexAfterTick;
    icon.setCycleInterval(20);
    icon.setCycleIcons(true);
    EXPECT_EQ(icon.iconIndex(), 0);
    ASSERT_TRUE(pumpUntil([&] {
        if (indexAfterTick.size() < next.size())
            indexAfterTick.push_back(icon.iconIndex());
        return next.size() >= 3;
    }));
    icon.setCycleIcons(false);
    EXPECT_EQ(tray::LightTimer::runningCount(), 0);
    EXPECT_EQ(std::vector<int>(next.begin(), next.begin() + 3), (std::vector<int>{1, 0, 1}));
    EXPECT_EQ(std::vector<COLORREF>(shownDuringTick.begin(), shownDuringTick.begin() + 3),
              (std::vector<COLORREF>{kRed, kGreen, kRed}));
    EXPECT_EQ(icon.iconIndex(), next.back());
}

TEST_F(TrayIconTest, CycleIntervalZeroNeverTicks) {
    TrayIcon icon;
    icon.setIconList(&list_);
    icon.setIconIndex(1);
    int ticks = 0;
    icon.onCycle = [&](TrayIcon&, int) { ++ticks; };
    icon.setCycleIcons(true);
    EXPECT_EQ(icon.iconIndex(), 0);
    EXPECT_EQ(tray::LightTimer::runningCount(), 0);
    ASSERT_TRUE(testing_support::waitForTimerTicks(20, 2));
    EXPECT_EQ(ticks, 0);
    EXPECT_EQ(icon.iconIndex(), 0);
}

TEST_F(TrayIconTest, HoverCheckReportsEnterAndExit) {
    TrayIcon icon;
    int enters = 0, exits = 0;
    icon.onMouseEnter = [&](TrayIcon&) { ++enters; };
    icon.onMouseExit = [&](TrayIcon&) { ++exits; };
    icon.setWantEnterExitEvents(true);
    SetCursorPos(40, 40);
    shellSends(icon, WM_MOUSEMOVE);
    shellSends(icon, WM_MOUSEMOVE);
    EXPECT_EQ(enters, 1);
    SetCursorPos(300, 300);
    ASSERT_TRUE(pumpUntil([&] { return exits == 1; }));
    shellSends(icon, WM_MOUSEMOVE);
    EXPECT_EQ(enters, 2);
    icon.setWantEnterExitEvents(false);
    EXPECT_EQ(tray::LightTimer::runningCount(), 0);
}

TEST_F(TrayIconTest, OwnerShownComesToTheFrontAndMinimisingHidesToTheTray) {
    HWND owner = CreateWindowExW(0, L"STATIC", L"Settings", WS_POPUP | WS_CAPTION, 10, 10, 200, 100,
                                 framework::application().handle(), nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    framework::Window ownerWindow{owner};
    framework::application().setMainWindow(owner);
    {
        TrayIcon icon(owner);
        HWND other = CreateWindowExW(0, L"STATIC", L"Other", WS_POPUP | WS_CAPTION | WS_VISIBLE,
                                     300, 10, 100, 100, nullptr, nullptr, nullptr, nullptr);
        framework::Window otherWindow{other};
        SetForegroundWindow(other);
        ASSERT_TRUE(pumpUntil([&] { return GetForegroundWindow() == other; }));
        // Shown without activation, the window still asks for the foreground itself.
        ShowWindow(owner, SW_SHOWNOACTIVATE);
        EXPECT_TRUE(pumpUntil([&] { return GetForegroundWindow() == owner; }));

        int minimised = 0;
        icon.onMinimizeToTray = [&](TrayIcon&) { ++minimised; };
        // Without MinimizeToTray the window takes its ordinary course.
        SendMessageW(owner, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        EXPECT_EQ(minimised, 0);
        ShowWindow(owner, SW_RESTORE);
        ShowWindow(owner, SW_SHOW);

        icon.setMinimizeToTray(true);
        EXPECT_EQ(SendMessageW(owner, WM_SYSCOMMAND, SC_MINIMIZE, 0), 1);
        EXPECT_EQ(minimised, 1);
        EXPECT_FALSE(IsWindowVisible(owner));
        EXPECT_TRUE(icon.iconVisible());

        // The application's restore command shows the main window again.
        SendMessageW(framework::application().handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
        EXPECT_TRUE(IsWindowVisible(owner));
    }
    // The owner's own procedure is back.
    framework::application().setMainWindow(nullptr);
    EXPECT_EQ(SendMessageW(owner, WM_SYSCOMMAND, SC_MINIMIZE, 0), 0);
}

TEST_F(TrayIconTest, AppliedPropertiesIncludeTheStartupChoice) {
    HWND owner = CreateWindowExW(0, L"STATIC", L"Settings", WS_POPUP | WS_CAPTION, 10, 10, 200, 100,
                                 framework::application().handle(), nullptr, nullptr, nullptr);
    framework::Window ownerWindow{owner};
    ShowWindow(owner, SW_SHOW);
    framework::application().setMainWindow(owner);
    bool wasShownOnRun = framework::application().showMainWindowOnRun();
    {
        TrayIcon icon(owner);
        icon.setIconList(&list_);
        icon.setHint(L"Keypilot");
        icon.setIconVisible(true);
        icon.onQueryShowMainWindow = [](TrayIcon&, bool& showMainWindow) {
            showMainWindow = false;
        };
        icon.applyProperties();
        EXPECT_FALSE(framework::application().showMainWindowOnRun());
        EXPECT_FALSE(IsWindowVisible(owner));
        EXPECT_TRUE(icon.iconVisible());
        EXPECT_TRUE(shellHeld(TrayIcon::callbackWindow(), icon.trayId()));
    }
    framework::application().setShowMainWindowOnRun(wasShownOnRun);
    framework::application().setMainWindow(nullptr);
}

}  // namespace
