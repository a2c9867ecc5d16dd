// The icon's mouse: the shell's callback messages turned into down, up, move, click and
// double-click events, the wait that tells a click from a double click, the hover check behind
// enter and exit, and the popup menu at the cursor.
#include <windows.h>

#include "framework/application.h"
#include "framework/popup_menu.h"
#include "tray/tray_callback_window.h"
#include "tray/tray_icon.h"

namespace tray {
namespace {

ShiftState keyShiftState() {
    ShiftState shift;
    if (GetAsyncKeyState(VK_SHIFT) & 0x8000) {
        shift += ShiftKey::ssShift;
    }
    if (GetAsyncKeyState(VK_MENU) & 0x8000) {
        shift += ShiftKey::ssAlt;
    }
    if (GetAsyncKeyState(VK_CONTROL) & 0x8000) {
        shift += ShiftKey::ssCtrl;
    }
    return shift;
}

ShiftState shiftState(ShiftKey button) {
    ShiftState shift = keyShiftState();
    shift += button;
    return shift;
}

}  // namespace

// --- Events -----------------------------------------------------------------------------------

void TrayIcon::click() {
    if (onClick) {
        onClick(*this);
    }
}

void TrayIcon::dblClick() {
    if (onDblClick) {
        onDblClick(*this);
    }
}

void TrayIcon::mouseDown(MouseButton button, ShiftState shift, int x, int y) {
    if (onMouseDown) {
        onMouseDown(*this, button, shift, x, y);
    }
}

void TrayIcon::mouseUp(MouseButton button, ShiftState shift, int x, int y) {
    if (onMouseUp) {
        onMouseUp(*this, button, shift, x, y);
    }
}

void TrayIcon::mouseMove(ShiftState shift, int x, int y) {
    if (onMouseMove) {
        onMouseMove(*this, shift, x, y);
    }
}

void TrayIcon::mouseEnter() {
    if (onMouseEnter) {
        onMouseEnter(*this);
    }
}

void TrayIcon::mouseExit() {
    if (onMouseExit) {
        onMouseExit(*this);
    }
}

// --- Callback messages ------------------------------------------------------------------------

void TrayIcon::handleCallback(UINT shellMessage) {
    // An event handler may destroy this icon; the identifier tells whether it still lives.
    const UINT id = trayId_;
    auto gone = [id] { return trayIconById(id) == nullptr; };
    POINT cursor{};
    auto readCursor = [&cursor] { GetCursorPos(&cursor); };

    switch (shellMessage) {
        case NIN_BALLOONSHOW:
            if (onBalloonHintShow) {
                onBalloonHintShow(*this);
            }
            return;
        case NIN_BALLOONHIDE:
            if (onBalloonHintHide) {
                onBalloonHintHide(*this);
            }
            return;
        case NIN_BALLOONTIMEOUT:
            if (onBalloonHintTimeout) {
                onBalloonHintTimeout(*this);
            }
            return;
        case NIN_BALLOONUSERCLICK:
            if (onBalloonHintClick) {
                onBalloonHintClick(*this);
            }
            return;
        default:
            break;
    }
    if (!enabled_) {
        return;
    }

    switch (shellMessage) {
        case WM_MOUSEMOVE: {
            readCursor();
            if (wantEnterExitEvents_ && cursorOutside_) {
                cursorOutside_ = false;
                mouseEnter();
                if (gone()) {
                    return;
                }
            }
            mouseMove(keyShiftState(), cursor.x, cursor.y);
            if (gone()) {
                return;
            }
            lastCursorPos_ = cursor;
            break;
        }
        case WM_LBUTTONDOWN:
            readCursor();
            if (onDblClick) {
                dblClickTimer_.setInterval(GetDoubleClickTime());
                dblClickTimer_.setEnabled(true);
            }
            mouseDown(MouseButton::mbLeft, shiftState(ShiftKey::ssLeft), cursor.x, cursor.y);
            if (gone()) {
                return;
            }
            leftDown_ = true;
            if (leftPopup_) {
                popupMenuAtCursor();
            }
            break;
        case WM_LBUTTONUP:
            readCursor();
            if (leftDown_) {
                clickPending_ = true;
                if (!dblClickTimer_.enabled()) {
                    leftDown_ = false;
                    clickPending_ = false;
                    click();
                    if (gone()) {
                        return;
                    }
                }
            }
            leftDown_ = false;
            mouseUp(MouseButton::mbLeft, shiftState(ShiftKey::ssLeft), cursor.x, cursor.y);
            break;
        case WM_LBUTTONDBLCLK:
            clickPending_ = false;
            dblClickSeen_ = true;
            dblClick();
            if (gone()) {
                return;
            }
            if (popupMenu_ && popupMenu_->autoPopup() && !leftPopup_) {
                popupMenu_->clickItem(popupMenu_->defaultItemIndex());
            }
            break;
        case WM_RBUTTONDOWN:
            readCursor();
            mouseDown(MouseButton::mbRight, shiftState(ShiftKey::ssRight), cursor.x, cursor.y);
            if (gone()) {
                return;
            }
            popupMenuAtCursor();
            break;
        case WM_RBUTTONUP:
            if (trayMessageMode_ != 0) {
                break;
            }
            readCursor();
            mouseUp(MouseButton::mbRight, shiftState(ShiftKey::ssRight), cursor.x, cursor.y);
            break;
        case WM_MBUTTONDOWN:
            readCursor();
            mouseDown(MouseButton::mbMiddle, shiftState(ShiftKey::ssMiddle), cursor.x, cursor.y);
            break;
        case WM_MBUTTONUP:
            readCursor();
            mouseUp(MouseButton::mbMiddle, shiftState(ShiftKey::ssMiddle), cursor.x, cursor.y);
            break;
        case WM_CONTEXTMENU:
        case NIN_SELECT:
        case NIN_KEYSELECT:
            if (trayMessageMode_ != 1) {
                break;
            }
            readCursor();
            mouseUp(MouseButton::mbRight, shiftState(ShiftKey::ssRight), cursor.x, cursor.y);
            break;
        default:
            break;
    }
}

void TrayIcon::dblClickWaitElapsed() {
    dblClickTimer_.setEnabled(false);
    if (!dblClickSeen_ && clickPending_) {
        clickPending_ = false;
        const UINT id = trayId_;
        click();
        if (!trayIconById(id)) {
            return;
        }
    }
    dblClickSeen_ = false;
}

void TrayIcon::hoverCheck() {
    if (cursorOutside_) {
        return;
    }
    POINT cursor{};
    if (!GetCursorPos(&cursor)) {
        return;
    }
    if (cursor.x != lastCursorPos_.x || cursor.y != lastCursorPos_.y) {
        cursorOutside_ = true;
        mouseExit();
    }
}

void TrayIcon::popupMenuAtCursor() {
    if (!popupMenu_ || !popupMenu_->autoPopup()) {
        return;
    }
    POINT cursor{};
    if (!GetCursorPos(&cursor)) {
        return;
    }
    framework::Application& app = framework::application();
    // A menu closes when the user clicks elsewhere only if its owner is in the foreground.
    if (app.handle()) {
        SetForegroundWindow(app.handle());
    }
    const UINT id = trayId_;
    app.processMessages();
    if (!trayIconById(id) || !popupMenu_) {
        return;
    }
    popupMenu_->setPopupComponent(this);
    popupMenu_->popup(cursor.x, cursor.y);
    if (!trayIconById(id)) {
        return;
    }
    // Lets the owner's thread notice that the menu has gone before the next click on the icon.
    if (owner_) {
        PostMessageW(owner_, WM_NULL, 0, 0);
    }
}

}  // namespace tray
