// One icon in the taskbar notification area: keeps its picture and tip in step with the
// properties, turns the shell's callback messages into mouse events, shows a popup menu at the
// cursor, runs the menu's default item on a double click, animates through an image list, puts
// the icon back when the taskbar is recreated, and can hide the main window to the tray.
// All icons of the process share one hidden callback window. Main thread only.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>

#include "framework/handle.h"
#include "tray/light_timer.h"

namespace framework {
class ImageList;
class PopupMenu;
}  // namespace framework

namespace tray {

// The message the shell sends to the callback window.
inline constexpr UINT WM_TRAYICON_CALLBACK = WM_USER + 1024;

enum class MouseButton { mbLeft, mbRight, mbMiddle };
enum class ShiftKey : unsigned { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };

class ShiftState {
  public:
    ShiftState() = default;
    ShiftState& operator+=(ShiftKey key) {
        bits_ |= 1u << static_cast<unsigned>(key);
        return *this;
    }
    bool contains(ShiftKey key) const { return (bits_ & (1u << static_cast<unsigned>(key))) != 0; }
    bool operator==(const ShiftState&) const = default;

  private:
    unsigned bits_ = 0;
};

// The number of the shell's "TaskbarCreated" message, registered when the program starts (0 when
// it could not be registered).
UINT taskbarCreatedMessage();

class TrayIcon {
  public:
    using NotifyEvent = std::function<void(TrayIcon& sender)>;
    using MouseEvent =
        std::function<void(TrayIcon& sender, MouseButton button, ShiftState shift, int x, int y)>;
    using MouseMoveEvent = std::function<void(TrayIcon& sender, ShiftState shift, int x, int y)>;
    using CycleEvent = std::function<void(TrayIcon& sender, int nextIndex)>;
    // Asks whether the main window is shown when the program starts; true unless answered.
    using ShowMainWindowQuery = std::function<void(TrayIcon& sender, bool& showMainWindow)>;

    // owner: the window that holds the icon (may be null); it is subclassed while the icon lives.
    explicit TrayIcon(HWND owner = nullptr);
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;
    // Removes the icon from the notification area.
    virtual ~TrayIcon();

    // Applies the properties once the owner has set them: the main window query, the picture and
    // tip, the visibility, cycling, the hover check and the message mode.
    void applyProperties();

    framework::ImageList* iconList() const { return iconList_; }
    void setIconList(framework::ImageList* list);
    bool cycleIcons() const { return cycleIcons_; }
    void setCycleIcons(bool cycle);
    unsigned cycleInterval() const { return cycleInterval_; }
    void setCycleInterval(unsigned interval);
    // When false, mouse messages are ignored; balloon notifications still pass.
    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    const std::wstring& hint() const { return hint_; }
    void setHint(std::wstring hint);
    bool showHint() const { return showHint_; }
    void setShowHint(bool show);
    // The picture shown; the icon keeps its own copy.
    HICON icon() const { return icon_.get(); }
    void setIcon(HICON icon);
    bool iconVisible() const { return iconVisible_; }
    // Every true asks the shell to add the icon again.
    void setIconVisible(bool visible);
    int iconIndex() const { return iconIndex_; }
    // Clamped to the list's last picture; 0 without a list.
    void setIconIndex(int index);
    framework::PopupMenu* popupMenu() const { return popupMenu_; }
    void setPopupMenu(framework::PopupMenu* menu) { popupMenu_ = menu; }
    bool leftPopup() const { return leftPopup_; }
    void setLeftPopup(bool leftPopup) { leftPopup_ = leftPopup; }
    bool wantEnterExitEvents() const { return wantEnterExitEvents_; }
    void setWantEnterExitEvents(bool want);
    bool minimizeToTray() const { return minimizeToTray_; }
    void setMinimizeToTray(bool minimize) { minimizeToTray_ = minimize; }
    // 0: classic mouse messages; 1: the shell's version-3 messages.
    int trayMessageMode() const { return trayMessageMode_; }
    void setTrayMessageMode(int mode);

    // The image list or menu is going away: forgotten when it is the one referenced.
    void forgetIconList(const framework::ImageList* list);
    void forgetPopupMenu(const framework::PopupMenu* menu);

    // Each reports whether the shell accepted the call.
    virtual bool addTrayIcon();
    virtual bool removeTrayIcon();
    virtual bool updateTrayIcon();

    // The record given to the shell, as of the last shell call.
    const NOTIFYICONDATAW& notifyData() const { return notifyData_; }
    // The icon identifier in the shell's records: a small number that leads back to this icon
    // through the callback window's table.
    UINT trayId() const { return trayId_; }
    // The shared callback window; null while no tray icon exists.
    static HWND callbackWindow();

    NotifyEvent onClick, onDblClick;
    MouseEvent onMouseDown, onMouseUp;
    MouseMoveEvent onMouseMove;
    NotifyEvent onMouseEnter, onMouseExit;
    CycleEvent onCycle;
    NotifyEvent onBalloonHintShow, onBalloonHintHide, onBalloonHintTimeout, onBalloonHintClick;
    NotifyEvent onMinimizeToTray;
    ShowMainWindowQuery onQueryShowMainWindow;

  protected:
    virtual void click();
    virtual void dblClick();
    virtual void doCycle();
    virtual void mouseDown(MouseButton button, ShiftState shift, int x, int y);
    virtual void mouseUp(MouseButton button, ShiftState shift, int x, int y);
    virtual void mouseMove(ShiftState shift, int x, int y);
    virtual void mouseEnter();
    virtual void mouseExit();
    virtual void hideToTray();

  private:
    friend struct TrayIconAccess;

    // Icon and shell (tray_icon.cpp).
    void fillNotifyData();
    bool shell(DWORD message);
    void animationTick();

    // Mouse (tray_icon_mouse.cpp).
    void handleCallback(UINT shellMessage);
    void dblClickWaitElapsed();
    void hoverCheck();
    void popupMenuAtCursor();

    // Owner and application windows (tray_icon_owner_hooks.cpp).
    void installOwnerHooks();
    void removeOwnerHooks();
    void applyStartupChoice();
    bool queryShowMainWindow();
    bool appWindowHook(UINT msg, WPARAM wParam);
    static LRESULT CALLBACK ownerWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR subclassId, DWORD_PTR refData);
    bool tryMinimizeToTray();
    void hideMainWindow();
    void hideTaskbarButton();

    HWND owner_ = nullptr;
    UINT trayId_ = 0;
    NOTIFYICONDATAW notifyData_{};
    framework::Icon icon_;
    framework::ImageList* iconList_ = nullptr;
    framework::PopupMenu* popupMenu_ = nullptr;
    std::wstring hint_;
    bool cycleIcons_ = false;
    unsigned cycleInterval_ = 0;
    bool enabled_ = true;
    bool showHint_ = true;
    bool iconVisible_ = false;
    int iconIndex_ = 0;
    bool leftPopup_ = false;
    bool wantEnterExitEvents_ = false;
    bool minimizeToTray_ = false;
    int trayMessageMode_ = 0;

    bool leftDown_ = false;
    bool clickPending_ = false;
    bool dblClickSeen_ = false;
    bool cursorOutside_ = true;
    // Until the application window's first move after a main window exists: an MDI frame is
    // asked then whether to show its main window.
    bool mdiFrameQueryPending_ = true;
    POINT lastCursorPos_{};

    LightTimer animationTimer_;
    LightTimer dblClickTimer_;
    LightTimer hoverTimer_;
    int appHookId_ = 0;
    bool ownerSubclassed_ = false;
};

}  // namespace tray
