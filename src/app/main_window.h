// The main window: the settings window the user opens from the tray, and the owner of the
// program's components (serial port, mixer, tray icon with its menu, status timer).
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "app/autostart.h"
#include "app/command_handler.h"
#include "app/settings_store.h"
#include "app/ui_text.h"
#include "framework/handle.h"
#include "framework/image_list.h"
#include "framework/popup_menu.h"
#include "mixer/audio_mixer.h"
#include "serial/serial_port.h"
#include "tray/tray_icon.h"

namespace app {

class MainWindow {
  public:
    static constexpr const wchar_t* kCaption = uiText(L"Свойства: Keypilot");
    static constexpr const wchar_t* kTitle = uiText(L"Keypilot");
    static constexpr const wchar_t* kConnectedHint = uiText(L"Keypilot - подключен");
    // The maker's web site, opened by the tray menu.
    static constexpr const wchar_t* kWebsite = L"https://corvane.ru/keypilot/";
    static constexpr UINT_PTR kStatusTimerId = 1;
    static constexpr UINT kStatusInterval = 1000;
    // Status ticks between two tries to open a port that should be open and is not.
    static constexpr int kReconnectTicks = 2;

    // Creates the window (hidden), its controls and its components.
    MainWindow();
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    HWND handle() const { return window_.get(); }

    // The start-up steps. False when another Keypilot runs in this session and this one must end.
    bool start();

    void toggleConnection();
    void showSettings();
    void hideSettings();
    void onOk();
    void onCancel();
    void onBrowse();
    void onAutostart();
    void onWebsite();
    void onExit();
    // The user's session ends: the process may be killed once the message has been answered.
    void endSession();
    void onStatusTick();
    // Reads the chunk waiting at the port and performs its command.
    void onChunkReceived(serial::SerialPort& port, int32_t count);

    serial::SerialPort& comPort() { return comPort_; }
    mixer::AudioMixer& mixer() { return *mixer_; }
    tray::TrayIcon& trayIcon() { return *trayIcon_; }
    framework::PopupMenu& trayMenu() { return trayMenu_; }
    const Autostart& autostart() const { return autostart_; }
    bool inCommand() const { return commandDepth_ > 0; }
    KeyDelivery keyDelivery() const { return keys_; }

    int cursorStep() const;
    void setCursorStep(int step);
    std::wstring programText() const;
    void setProgramText(const std::wstring& text);
    int portIndex() const;
    void setPortIndex(int index);
    HWND control(int id) const { return GetDlgItem(handle(), id); }
    UINT dpi() const { return dpi_; }
    // Tray menu item positions.
    int settingsItem() const { return settingsItem_; }
    int autostartItem() const { return autostartItem_; }
    int websiteItem() const { return websiteItem_; }
    int exitItem() const { return exitItem_; }

  private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void createControls();
    void createComponents();
    void applyDpi(UINT dpi);
    void paintBanner(HDC dc);
    void setStatusPicture(bool connected);
    // Makes this the session's one Keypilot; false when another one already is.
    bool claimInstance();
    void storeAndApply();
    void runDeferred();
    CommandContext commandContext();
    void openNamedPort();
    void reconnectIfDue();
    std::wstring disconnectedHint() const;
    void readKeyDelivery();

    // Marks this Keypilot as the session's running one; goes last.
    framework::KernelHandle instanceName_;
    framework::Window window_;
    UINT dpi_ = 96;
    // Read on every movement code; finding it by its id would ask the window system each time.
    HWND speedSlider_ = nullptr;
    bool shownBefore_ = false;
    int commandDepth_ = 0;
    bool okPending_ = false;
    KeyDelivery keys_ = KeyDelivery::Messages;
    // The connection toggle's last intent: while true and the port is closed (a failed open, a
    // dropped link) the status timer tries to open it again.
    bool wantConnected_ = false;
    int ticksSinceTry_ = 0;
    // Why the last open failed; empty after a successful open.
    std::wstring openFailure_;

    framework::GdiObject dialogFont_;
    framework::GdiObject titleFont_;
    framework::GdiObject descriptionFont_;
    framework::GdiObject logo_;
    framework::Icon connectedPicture_;
    framework::Icon disconnectedPicture_;
    framework::Window tooltip_;
    framework::GdiObject whiteBrush_{CreateSolidBrush(RGB(255, 255, 255))};

    SettingsStore settings_;
    Autostart autostart_;

    // Components, in the order they come up; they go away in the reverse order.
    serial::SerialPort comPort_;
    std::unique_ptr<mixer::AudioMixer> mixer_;
    framework::ImageList trayImages_;
    framework::PopupMenu trayMenu_;
    std::unique_ptr<tray::TrayIcon> trayIcon_;
    int settingsItem_ = -1;
    int autostartItem_ = -1;
    int websiteItem_ = -1;
    int exitItem_ = -1;
};

}  // namespace app
