// The icon's hooks into its owner and the application window: minimising to the tray, hiding
// the main window and the taskbar button, the question whether the main window is shown at
// start, the restore command, and putting the icon back when the taskbar is created again.
#include <windows.h>

#include <commctrl.h>

#include "framework/application.h"
#include "tray/tray_callback_window.h"
#include "tray/tray_icon.h"

namespace tray {
namespace {

bool isMdiFrame(HWND window) {
    return FindWindowExW(window, nullptr, L"MDICLIENT", nullptr);
}

}  // namespace

void TrayIcon::installOwnerHooks() {
    // The application walks a copy of its hooks, so this one may still be called once after the
    // icon has gone: the identifier tells.
    appHookId_ = framework::application().addMessageHook(
        [this, id = trayId_](UINT msg, WPARAM wParam, LPARAM, LRESULT&) {
            return trayIconById(id) == this && appWindowHook(msg, wParam);
        });
    if (owner_ && IsWindow(owner_)) {
        ownerSubclassed_ = SetWindowSubclass(owner_, &TrayIcon::ownerWindowProc, trayId_,
                                             reinterpret_cast<DWORD_PTR>(this)) != FALSE;
    }
}

void TrayIcon::removeOwnerHooks() {
    framework::application().removeMessageHook(appHookId_);
    if (ownerSubclassed_) {
        RemoveWindowSubclass(owner_, &TrayIcon::ownerWindowProc, trayId_);
    }
}

bool TrayIcon::queryShowMainWindow() {
    bool showMainWindow = true;
    if (onQueryShowMainWindow) {
        onQueryShowMainWindow(*this, showMainWindow);
    }
    return showMainWindow;
}

void TrayIcon::applyStartupChoice() {
    if (owner_ && !queryShowMainWindow()) {
        framework::application().setShowMainWindowOnRun(false);
        hideMainWindow();
    }
}

bool TrayIcon::appWindowHook(UINT msg, WPARAM wParam) {
    framework::Application& app = framework::application();
    if (msg == WM_SIZE && wParam == SIZE_MINIMIZED && minimizeToTray_) {
        hideToTray();
    } else if (msg == WM_WINDOWPOSCHANGED && mdiFrameQueryPending_ && app.mainWindow()) {
        if (isMdiFrame(app.mainWindow()) && !queryShowMainWindow()) {
            hideTaskbarButton();
        }
        mdiFrameQueryPending_ = false;
    } else if (msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_RESTORE) {
        if (app.mainWindow()) {
            ShowWindow(app.mainWindow(), SW_SHOW);
        }
    }
    if (isTaskbarCreated(msg) && iconVisible_) {
        addTrayIcon();
    }
    return false;
}

LRESULT CALLBACK TrayIcon::ownerWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR subclassId, DWORD_PTR refData) {
    // The subclass carries its icon as reference data: the pointer given at installation.
    auto* self = reinterpret_cast<TrayIcon*>(refData);  // NOLINT(performance-no-int-to-ptr)
    framework::Application& app = framework::application();
    // Nothing may leave a window procedure: errors go to the application's display.
    auto minimizeToTray = [&] {
        bool acted = false;
        app.guard([&] { acted = self->tryMinimizeToTray(); });
        return acted;
    };
    switch (msg) {
        case WM_SHOWWINDOW:
            if (wParam == TRUE && lParam == 0) {
                if (app.handle()) {
                    SetForegroundWindow(app.handle());
                }
                SetForegroundWindow(hwnd);
            } else if (wParam == FALSE && lParam == SW_PARENTCLOSING && !app.terminated()) {
                if (minimizeToTray()) {
                    return 1;
                }
            }
            break;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_MINIMIZE) {
                if (minimizeToTray()) {
                    return 1;
                }
            }
            break;
        case WM_NCDESTROY:
            // The owner goes first: take the subclass away while the window still exists.
            RemoveWindowSubclass(hwnd, &TrayIcon::ownerWindowProc, subclassId);
            self->ownerSubclassed_ = false;
            break;
        default:
            break;
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

bool TrayIcon::tryMinimizeToTray() {
    if (!minimizeToTray_ || !onMinimizeToTray) {
        return false;
    }
    onMinimizeToTray(*this);
    hideToTray();
    return true;
}

void TrayIcon::hideToTray() {
    hideMainWindow();
    setIconVisible(true);
}

void TrayIcon::hideMainWindow() {
    HWND mainWindow = framework::application().mainWindow();
    if (!owner_ || !mainWindow) {
        return;
    }
    ShowWindow(mainWindow, SW_HIDE);
    hideTaskbarButton();
}

void TrayIcon::hideTaskbarButton() {
    HWND appWindow = framework::application().handle();
    if (appWindow && IsWindowVisible(appWindow)) {
        ShowWindow(appWindow, SW_HIDE);
    }
}

}  // namespace tray
