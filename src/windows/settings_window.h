// The settings window the user opens from the tray: port, cursor speed and the program to start,
// with OK, Cancel, a browse button and the way to the phone buttons. It owns only its window,
// controls and pictures, and reports what happens to the program that owns it. Being the
// program's main window, it also passes on what reaches the program through it: the program's
// timers, closing it, the session's end and work the program posted to itself.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "framework/handle.h"
#include "framework/owned_window.h"
#include "i18n/ui_text.h"
#include "ports/port_change_notice.h"
#include "ways/link_status.h"

namespace app {

class SettingsWindow {
  public:
    static constexpr const wchar_t* kCaption = uiText(L"Свойства: Keypilot");
    static constexpr const wchar_t* kTitle = uiText(L"Keypilot");

    class Listener {
      public:
        virtual void onOk() = 0;
        virtual void onCancel() = 0;
        virtual void onBrowse() = 0;
        // "Phone buttons…": the window of the user's buttons.
        virtual void onPhoneButtons() = 0;
        // True when the timer was the listener's.
        virtual bool onTimer(UINT_PTR id) = 0;
        // The window was asked to close (it has no close box: the system or another program).
        virtual void onClose() = 0;
        // The user's session ends: the process may be killed once the message has been answered.
        virtual void onEndSession() = 0;
        // The message of postDeferred() has come.
        virtual void onDeferred() = 0;
        // Windows reports that a COM port arrived or left.
        virtual void onPortsChanged() = 0;

      protected:
        ~Listener() = default;
    };

    // Creates the window, hidden, with its controls, and makes it the application's main and
    // dialog window. The application must have been initialised.
    explicit SettingsWindow(Listener& listener);
    ~SettingsWindow();
    SettingsWindow(const SettingsWindow&) = delete;
    SettingsWindow& operator=(const SettingsWindow&) = delete;

    HWND handle() const { return window_.get(); }
    HWND control(int id) const { return GetDlgItem(handle(), id); }
    UINT dpi() const { return dpi_; }

    // The first time centred on the monitor with the cursor, with the focus on OK; the
    // application window shows the taskbar button meanwhile.
    void show();
    void hide();
    bool visible() const { return IsWindowVisible(handle()) != FALSE; }
    // Lets the user pick a program file; its path, or nothing when the user cancels.
    std::optional<std::wstring> browseForProgram();
    // Posts a message to the window that comes back as Listener::onDeferred.
    void postDeferred();

    void setStatusPicture(LinkStatus status);
    // The port list's entries, in index order; the choice stays on its index. The dropped-down
    // list is as wide as its widest entry, within a limit; the closed box keeps its width.
    void setPortNames(const std::vector<std::wstring>& names);

    int cursorStep() const;
    void setCursorStep(int step);
    std::wstring programText() const;
    void setProgramText(const std::wstring& text);
    // -1: no port chosen.
    int portIndex() const;
    void setPortIndex(int index);

  private:
    friend LRESULT CALLBACK framework::ownedWindowProcedure<SettingsWindow>(HWND, UINT, WPARAM,
                                                                            LPARAM);
    framework::OwnedWindow& ownedWindow() { return window_; }
    LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT onCommand(WPARAM wParam, LPARAM lParam);
    LRESULT onControlColour(HDC dc, HWND control);
    void createControls();
    void createTooltip();
    void applyDpi(UINT dpi);
    void loadPictures(UINT dpi);
    void fitFrame(SIZE client, UINT dpi);
    void fitDroppedPortList();
    void paintBanner(HDC dc);

    Listener& listener_;
    framework::OwnedWindow window_;
    // Goes before the window it registered.
    std::optional<ports::PortChangeRegistration> portChanges_;
    UINT dpi_ = 96;
    // Read on every movement code; finding it by its id would ask the window system each time.
    HWND speedSlider_ = nullptr;
    bool shownBefore_ = false;
    LinkStatus statusShown_ = LinkStatus::Closed;

    framework::GdiObject dialogFont_;
    framework::GdiObject titleFont_;
    framework::GdiObject descriptionFont_;
    framework::GdiObject logo_;
    framework::Icon connectedPicture_;
    framework::Icon disconnectedPicture_;
    framework::Icon waitingPicture_;
    framework::Window tooltip_;
    framework::GdiObject whiteBrush_{CreateSolidBrush(RGB(255, 255, 255))};
};

}  // namespace app
