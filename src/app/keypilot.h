// The program: owns the settings window and the components (serial port, mixer, tray icon with
// its menu, status timer); connects to the chosen port and keeps trying while it should be open,
// shows the connection in the tray, turns received chunks into commands, runs the tray menu's
// actions and ends with the session.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "app/autostart.h"
#include "app/command_handler.h"
#include "app/instance_claim.h"
#include "app/link_protocol.h"
#include "app/phone_contact.h"
#include "app/pointer_input.h"
#include "app/port_connection.h"
#include "app/settings_store.h"
#include "app/settings_window.h"
#include "app/ui_text.h"
#include "framework/image_list.h"
#include "framework/popup_menu.h"
#include "mixer/audio_mixer.h"
#include "ports/port_catalogue.h"
#include "serial/serial_port.h"
#include "tray/tray_icon.h"

namespace app {

class Keypilot final : private SettingsWindow::Listener {
  public:
    static constexpr const wchar_t* kConnectedHint = uiText(L"Keypilot - подключен");
    // What the tip says after "Keypilot - COM5: " while the port is open and no phone is heard.
    static constexpr const wchar_t* kWaitingForPhone = uiText(L"ожидание телефона");
    // The maker's web site, opened by the tray menu.
    static constexpr const wchar_t* kWebsite = L"https://corvane.ru/keypilot/";
    static constexpr UINT_PTR kStatusTimerId = 1;
    static constexpr UINT kStatusInterval = 1000;
    // While the phone holds the left button, this timer checks that it still speaks: the status
    // timer's second would let a drag outlive the phone by up to a second too long.
    static constexpr UINT_PTR kHoldTimerId = 2;
    static constexpr UINT kHoldCheckInterval = 100;
    // A held button is released after this long with nothing heard from the phone.
    static constexpr std::uint64_t kHoldSilenceMs = 1500;

    // Creates the settings window (hidden) and the components, for the Keypilot that holds the
    // session's claim, and fills the port list from the system's ports. The application must have
    // been initialised.
    explicit Keypilot(InstanceClaim claim);
    // The same, with the port list's facts from these sources.
    Keypilot(InstanceClaim claim, ports::PortSources portSources);
    // The icon leaves the tray, then the claim goes, then the port closes: closing a Bluetooth
    // port can take seconds, and a Keypilot started meanwhile must not be turned away unseen.
    ~Keypilot();
    Keypilot(const Keypilot&) = delete;
    Keypilot& operator=(const Keypilot&) = delete;

    // The start-up steps: reads the settings and opens the chosen port. Without a stored port, the
    // one Bluetooth incoming port is chosen when there is exactly one.
    void start();

    // The settings window's buttons.
    void onOk() override;
    void onCancel() override;
    void onBrowse() override;
    // The tray menu's items. The settings window shows the ports as they are now.
    void showSettings();
    void onAutostart();
    void onWebsite();
    void onExit();
    // The user's session ends: the process may be killed once the message has been answered.
    void onEndSession() override;
    void onStatusTick();
    // Performs the commands of a chunk received from the port.
    void onChunkReceived(const std::string& chunk);

    SettingsWindow& settingsWindow() { return settingsWindow_; }
    PortConnection& connection() { return connection_; }
    serial::SerialPort& comPort() { return connection_.port(); }
    mixer::AudioMixer& mixer() { return *mixer_; }
    tray::TrayIcon& trayIcon() { return *trayIcon_; }
    framework::PopupMenu& trayMenu() { return trayMenu_; }
    const Autostart& autostart() const { return autostart_; }
    bool inCommand() const { return commandDepth_ > 0; }
    KeyDelivery keyDelivery() const { return keys_; }
    // When the phone was last heard on the open port (times of GetTickCount64()).
    const PhoneContact& phoneContact() const { return contact_; }
    // What the tray and the settings window show of the link now.
    LinkStatus linkStatus() const;
    const LeftButtonHold& leftButton() const { return leftButton_; }
    // Tray menu item positions.
    int settingsItem() const { return settingsItem_; }
    int autostartItem() const { return autostartItem_; }
    int websiteItem() const { return websiteItem_; }
    int exitItem() const { return exitItem_; }

  private:
    bool onTimer(UINT_PTR id) override;
    void onClose() override;
    void onDeferred() override;
    void onPortsChanged() override;
    void refreshPortList();
    void createTrayIcon();
    // OK's two halves: the values into the store, then the connection switched on that port.
    void store();
    void apply(const std::wstring& portName);
    // The icon out of the tray and the claim given up: what must not wait for the port.
    void withdraw();
    void readKeyDelivery();
    CommandContext commandContext();
    // The tray icon, its tip and the settings window's picture as the link is now.
    void showStatus();
    // The port closed or changed: a frame half received, the phone heard and a held button go.
    void onPortClosed();
    void watchHeldButton();
    void checkHeldButton();

    // Given up as the program ends, once the icon has left the tray and before the port closes.
    std::optional<InstanceClaim> claim_;
    SettingsWindow settingsWindow_;
    int commandDepth_ = 0;
    // The ports of the OKs that came during a command, in order: each was stored at once, and
    // each is applied once the command is over, as if it had come then.
    std::deque<std::wstring> pendingOks_;
    KeyDelivery keys_ = KeyDelivery::Messages;

    SettingsStore settings_;
    Autostart autostart_;
    ports::PortSources portSources_;
    // The ports as the port list last showed them.
    ports::PortList ports_{};

    // What is received on the port; they outlive the connection, which reports its close to them.
    LinkReader reader_;
    // The time spent acting on chunks since the port opened, which the reader's clock leaves
    // out: a frame's second half is late only for waiting on the link, not on Keypilot.
    std::uint64_t actingMs_ = 0;
    PhoneContact contact_;
    LeftButtonHold leftButton_;
    bool holdTimerRunning_ = false;

    // Components, in the order they come up; they go away in the reverse order.
    PortConnection connection_;
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
