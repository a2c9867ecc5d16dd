#include "tray/tray_icon.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <vector>

#include "framework/application.h"
#include "framework/hidden_window.h"
#include "framework/image_list.h"
#include "framework/popup_menu.h"

namespace tray {

struct TrayIconAccess {
    static void callback(TrayIcon& icon, UINT shellMessage) { icon.handleCallback(shellMessage); }
};

namespace {

// The version of the common controls from which the shell announces a recreated taskbar.
constexpr DWORD kTaskbarCreatedVersion = 0x00040047;  // 4.71

DWORD commonControlsVersion() {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(L"comctl32.dll", &ignored);
    if (size == 0) {
        return 0;
    }
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(L"comctl32.dll", 0, size, block.data())) {
        return 0;
    }
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof *info) {
        return 0;
    }
    // The high word is the major version, the low word the minor one.
    return info->dwFileVersionMS;
}

UINT registerTaskbarCreated() {
    if (commonControlsVersion() < kTaskbarCreatedVersion) {
        return 0;
    }
    return RegisterWindowMessageW(L"TaskbarCreated");
}

// Registered while the program starts, before any window exists.
const UINT registeredAtStart = taskbarCreatedMessage();

// The hidden window shared by all tray icons. The shell hands back a 32-bit icon identifier,
// too narrow for a 64-bit pointer, so each icon gets a small number and the table maps it back;
// an identifier whose icon has gone finds nothing.
struct TrayHandler {
    framework::Window window;
    int userCount = 0;
    UINT nextId = 1;
    std::unordered_map<UINT, TrayIcon*> icons;
};

std::unique_ptr<TrayHandler>& trayHandler() {
    static std::unique_ptr<TrayHandler> handler;
    return handler;
}

TrayIcon* trayIconById(UINT id) {
    const auto& handler = trayHandler();
    if (!handler) {
        return nullptr;
    }
    auto found = handler->icons.find(id);
    return found == handler->icons.end() ? nullptr : found->second;
}

LRESULT CALLBACK callbackWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_TRAYICON_CALLBACK:
            if (TrayIcon* icon = trayIconById(static_cast<UINT>(wParam))) {
                framework::application().guard(
                    [&] { TrayIconAccess::callback(*icon, static_cast<UINT>(lParam)); });
            }
            return 0;
        case WM_DESTROY:
        case WM_CLOSE:
        case WM_QUERYENDSESSION:
        case WM_QUIT:
        case WM_ENDSESSION:
        case WM_NCDESTROY:
            // The window lives exactly as long as the last tray icon, whatever else happens.
            return 1;
        default:
            return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

HWND createCallbackWindow() {
    // Top-level, so that the shell's "TaskbarCreated" broadcast reaches it.
    return framework::createHiddenWindow(L"KeypilotTrayIconHandler", callbackWindowProc);
}

UINT acquireTrayHandler(TrayIcon* icon) {
    auto& handler = trayHandler();
    if (!handler) {
        handler = std::make_unique<TrayHandler>();
        handler->window.reset(createCallbackWindow());
    }
    ++handler->userCount;
    UINT id = handler->nextId++;
    handler->icons.emplace(id, icon);
    return id;
}

void releaseTrayHandler(UINT id) {
    auto& handler = trayHandler();
    if (!handler) {
        return;
    }
    handler->icons.erase(id);
    if (handler->userCount > 0) {
        --handler->userCount;
    }
    if (handler->userCount == 0) {
        handler.reset();
    }
}

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

bool isMdiFrame(HWND window) {
    return FindWindowExW(window, nullptr, L"MDICLIENT", nullptr);
}

}  // namespace

UINT taskbarCreatedMessage() {
    static const UINT message = registerTaskbarCreated();
    return message;
}

TrayIcon::TrayIcon(HWND owner)
    : owner_(owner),
      animationTimer_(1000, [this](LightTimer&) { animationTick(); }),
      dblClickTimer_(1000, [this](LightTimer&) { dblClickWaitElapsed(); }),
      hoverTimer_(20, [this](LightTimer&) { hoverCheck(); }) {
    (void)registeredAtStart;
    trayId_ = acquireTrayHandler(this);
    notifyData_.cbSize = sizeof notifyData_;
    notifyData_.hWnd = callbackWindow();
    notifyData_.uID = trayId_;
    notifyData_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    notifyData_.uCallbackMessage = WM_TRAYICON_CALLBACK;
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

TrayIcon::~TrayIcon() {
    setIconVisible(false);
    animationTimer_.setEnabled(false);
    dblClickTimer_.setEnabled(false);
    hoverTimer_.setEnabled(false);
    framework::application().removeMessageHook(appHookId_);
    if (ownerSubclassed_) {
        RemoveWindowSubclass(owner_, &TrayIcon::ownerWindowProc, trayId_);
    }
    releaseTrayHandler(trayId_);
}

HWND TrayIcon::callbackWindow() {
    const auto& handler = trayHandler();
    return handler ? handler->window.get() : nullptr;
}

bool TrayIcon::runStartupEvent() {
    bool showMainForm = true;
    if (onStartup) {
        onStartup(*this, showMainForm);
    }
    return showMainForm;
}

void TrayIcon::loaded() {
    if (owner_) {
        if (!runStartupEvent()) {
            framework::application().setShowMainForm(false);
            hideMainWindow();
        }
    }
    updateTrayIcon();
    if (iconVisible_) {
        addTrayIcon();
    } else {
        removeTrayIcon();
    }
    setCycleIcons(cycleIcons_);
    setWantEnterExitEvents(wantEnterExitEvents_);
    setTrayMessageMode(trayMessageMode_);
}

// --- Properties -------------------------------------------------------------------------------

void TrayIcon::setIconList(framework::ImageList* list) {
    iconList_ = list;
    setIconIndex(0);
}

void TrayIcon::setIconIndex(int index) {
    if (iconList_) {
        int last = iconList_->count() - 1;
        iconIndex_ = std::min(index, last);
        // A negative index, or an empty list, gives an empty picture.
        icon_ = iconList_->icon(iconIndex_);
    } else {
        iconIndex_ = 0;
    }
    updateTrayIcon();
}

void TrayIcon::setCycleIcons(bool cycle) {
    cycleIcons_ = cycle;
    if (cycle) {
        setIconIndex(0);
        animationTimer_.setInterval(cycleInterval_);
        animationTimer_.setEnabled(true);
    } else {
        animationTimer_.setEnabled(false);
    }
}

void TrayIcon::setCycleInterval(unsigned interval) {
    cycleInterval_ = interval;
    setCycleIcons(cycleIcons_);
}

void TrayIcon::setHint(std::wstring hint) {
    hint_ = std::move(hint);
    updateTrayIcon();
}

void TrayIcon::setShowHint(bool show) {
    showHint_ = show;
    updateTrayIcon();
}

void TrayIcon::setIcon(HICON icon) {
    icon_.reset(icon ? CopyIcon(icon) : nullptr);
    updateTrayIcon();
}

void TrayIcon::setIconVisible(bool visible) {
    if (visible) {
        addTrayIcon();
    } else {
        removeTrayIcon();
    }
}

void TrayIcon::setWantEnterExitEvents(bool want) {
    wantEnterExitEvents_ = want;
    hoverTimer_.setEnabled(want);
}

void TrayIcon::setTrayMessageMode(int mode) {
    trayMessageMode_ = mode;
    notifyData_.uVersion = mode == 1 ? NOTIFYICON_VERSION : 0;
    Shell_NotifyIconW(NIM_SETVERSION, &notifyData_);
}

void TrayIcon::componentRemoved(const framework::ImageList* list) {
    if (list && list == iconList_) {
        setIconList(nullptr);
    }
}

void TrayIcon::componentRemoved(const framework::PopupMenu* menu) {
    if (menu && menu == popupMenu_) {
        popupMenu_ = nullptr;
    }
}

// --- Shell calls ------------------------------------------------------------------------------

void TrayIcon::fillNotifyData() {
    notifyData_.hIcon = icon_.get();
    constexpr size_t tipSize = sizeof notifyData_.szTip / sizeof notifyData_.szTip[0];
    std::fill(std::begin(notifyData_.szTip), std::end(notifyData_.szTip), L'\0');
    if (hint_.empty() || !showHint_) {
        return;
    }
    size_t length = std::min(hint_.size(), tipSize - 1);
    // Cutting between the halves of a surrogate pair would leave half a character behind.
    if (length < hint_.size() && length > 0 && IS_HIGH_SURROGATE(hint_[length - 1])) {
        --length;
    }
    std::copy_n(hint_.begin(), length, notifyData_.szTip);
}

bool TrayIcon::shell(DWORD message) {
    fillNotifyData();
    return Shell_NotifyIconW(message, &notifyData_) != FALSE;
}

bool TrayIcon::addTrayIcon() {
    iconVisible_ = true;
    return shell(NIM_ADD);
}

bool TrayIcon::removeTrayIcon() {
    iconVisible_ = false;
    return shell(NIM_DELETE);
}

bool TrayIcon::updateTrayIcon() {
    return shell(NIM_MODIFY);
}

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

void TrayIcon::doCycle() {
    int next = 0;
    if (iconList_ && iconIndex_ < iconList_->count() - 1) {
        next = iconIndex_ + 1;
    }
    if (onCycle) {
        onCycle(*this, next);
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

void TrayIcon::animationTick() {
    if (!iconList_) {
        return;
    }
    icon_ = iconList_->icon(iconIndex_);
    updateTrayIcon();
    const UINT id = trayId_;
    doCycle();
    if (!trayIconById(id) || !iconList_) {
        return;
    }
    setIconIndex(iconIndex_ < iconList_->count() - 1 ? iconIndex_ + 1 : 0);
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

// --- Application and owner windows ------------------------------------------------------------

bool TrayIcon::appWindowHook(UINT msg, WPARAM wParam) {
    framework::Application& app = framework::application();
    if (msg == WM_SIZE && wParam == SIZE_MINIMIZED && minimizeToTray_) {
        hideToTray();
    } else if (msg == WM_WINDOWPOSCHANGED && mdiStartupPending_ && app.mainWindow()) {
        if (isMdiFrame(app.mainWindow()) && !runStartupEvent()) {
            hideTaskbarButton();
        }
        mdiStartupPending_ = false;
    } else if (msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_RESTORE) {
        if (app.mainWindow()) {
            ShowWindow(app.mainWindow(), SW_SHOW);
        }
    }
    UINT taskbarCreated = taskbarCreatedMessage();
    if (taskbarCreated != 0 && msg == taskbarCreated && iconVisible_) {
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
