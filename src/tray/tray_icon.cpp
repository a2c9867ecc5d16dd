// The icon's properties, its calls to the shell and its animation. The shared callback window,
// the mouse and the hooks into the owner and application windows have files of their own.
#include "tray/tray_icon.h"

#include <algorithm>

#include "framework/image_list.h"
#include "tray/tray_callback_window.h"

namespace tray {

TrayIcon::TrayIcon(HWND owner)
    : owner_(owner),
      animationTimer_(1000, [this](LightTimer&) { animationTick(); }),
      dblClickTimer_(1000, [this](LightTimer&) { dblClickWaitElapsed(); }),
      hoverTimer_(20, [this](LightTimer&) { hoverCheck(); }) {
    trayId_ = acquireTrayHandler(this);
    notifyData_.cbSize = sizeof notifyData_;
    notifyData_.hWnd = callbackWindow();
    notifyData_.uID = trayId_;
    notifyData_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    notifyData_.uCallbackMessage = WM_TRAYICON_CALLBACK;
    installOwnerHooks();
}

TrayIcon::~TrayIcon() {
    setIconVisible(false);
    animationTimer_.setEnabled(false);
    dblClickTimer_.setEnabled(false);
    hoverTimer_.setEnabled(false);
    removeOwnerHooks();
    releaseTrayHandler(trayId_);
}

void TrayIcon::applyProperties() {
    applyStartupChoice();
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

void TrayIcon::forgetIconList(const framework::ImageList* list) {
    if (list && list == iconList_) {
        setIconList(nullptr);
    }
}

void TrayIcon::forgetPopupMenu(const framework::PopupMenu* menu) {
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

// --- Animation --------------------------------------------------------------------------------

void TrayIcon::doCycle() {
    int next = 0;
    if (iconList_ && iconIndex_ < iconList_->count() - 1) {
        next = iconIndex_ + 1;
    }
    if (onCycle) {
        onCycle(*this, next);
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

}  // namespace tray
