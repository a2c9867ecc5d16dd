// The program: owns the settings window, the "Connect a phone" window, the ways a phone comes in
// (the COM port, Keypilot's own Bluetooth service) and the components (mixer, tray icon with its
// menu, status timer); connects to the chosen port and keeps trying while it should be open, shows
// the better of the ways in the tray, acts on the messages that come in on any of them, runs the
// tray menu's actions and ends with the session. What is one for the whole PC is kept here, over
// the ways: the left button (held by whichever way pressed it, let go after the silence of all of
// them), the token of a press that waits for its confirmation (good only on the way and in the
// talk it went out in), the master volume and the user's buttons. A port counts as stored once the
// user confirms it (OK, "Listen on") or the phone is first heard on it; until then each start opens
// the "Connect a phone" window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/instance_claim.h"
#include "buttons/button_presses.h"
#include "desktop/command_handler.h"
#include "desktop/pointer_input.h"
#include "desktop/shell_runner.h"
#include "desktop/volume_watch.h"
#include "framework/image_list.h"
#include "framework/popup_menu.h"
#include "i18n/ui_text.h"
#include "link/link_protocol.h"
#include "mixer/audio_mixer.h"
#include "ports/port_catalogue.h"
#include "serial/serial_port.h"
#include "settings/autostart.h"
#include "settings/settings_store.h"
#include "tray/tray_icon.h"
#include "ways/bluetooth/bluetooth_service.h"
#include "ways/com/kept_ports.h"
#include "ways/com/port_connection.h"
#include "ways/way.h"
#include "windows/connect_window.h"
#include "windows/phone_buttons_window.h"
#include "windows/settings_window.h"

namespace app {

// The language Keypilot's own texts are shown in: Russian when they stand as written, English
// when the translation layer gives them in another language, as it does for every language but
// Russian.
phonelink::TextLanguage ownTextLanguage();

class Keypilot final : private SettingsWindow::Listener,
                       private ConnectWindow::Listener,
                       private Way::Listener {
  public:
    static constexpr const wchar_t* kConnectedHint = uiText(L"Keypilot - подключен");
    // What the tip says after "Keypilot - COM5: " while the port is open and no phone is heard.
    static constexpr const wchar_t* kWaitingForPhone = app::kWaitingForPhone;
    // The maker's web site, opened by the tray menu.
    static constexpr const wchar_t* kWebsite = L"https://corvane.ru/keypilot/";
    static constexpr UINT_PTR kStatusTimerId = 1;
    static constexpr UINT kStatusInterval = 1000;
    // While the phone holds the left button, this timer checks that it still speaks: the status
    // timer's second would let a drag outlive the phone by up to a second too long.
    static constexpr UINT_PTR kHoldTimerId = 2;
    static constexpr UINT kHoldCheckInterval = 100;
    // A held button is released at the hold timer's first check once this long has passed since
    // the phone's last complete message.
    static constexpr std::uint64_t kHoldSilenceMs = phonelink::kHeldButtonSilenceMs;
    // Present while the phone holds the left button, beside the settings: a Keypilot ended hard
    // during a drag cannot let go of the button, so the next start does.
    static constexpr const wchar_t* kHeldMark = setting_names::kHeldMark;

    // Creates the settings window (hidden) and the components, for the Keypilot that holds the
    // session's claim, and fills the port list from the system's ports. The application must have
    // been initialised.
    explicit Keypilot(InstanceClaim claim);
    // The same, with the port list's facts from these sources and the Bluetooth service's calls
    // made through bluetooth.
    Keypilot(InstanceClaim claim, ports::PortSources portSources,
             std::shared_ptr<BluetoothApi> bluetooth = systemBluetoothApi());
    // The icon leaves the tray, then the claim goes, then the port closes: closing a Bluetooth
    // port can take seconds, and a Keypilot started meanwhile must not be turned away unseen.
    ~Keypilot();
    Keypilot(const Keypilot&) = delete;
    Keypilot& operator=(const Keypilot&) = delete;

    // The start-up steps: lets go of a left button that a Keypilot ended during a drag left down,
    // reads the settings and opens the chosen port. Without a stored port, the "Connect a phone"
    // window opens, and once the ports are read the one Bluetooth incoming port is chosen and
    // opened when there is exactly one (the first port otherwise), unless the user has chosen one
    // by then.
    void start();

    // The settings window's buttons.
    void onOk() override;
    void onCancel() override;
    void onBrowse() override;
    // The tray menu's items. Showing a window that lists the ports reads them again.
    void showConnectWindow();
    // The "Phone buttons" window with the buttons as stored; one already open comes to the front.
    void showPhoneButtons();
    void showSettings();
    void onAutostart();
    void onWebsite();
    void onExit();
    // The user's session ends: the process may be killed once the message has been answered.
    void onEndSession() override;
    void onStatusTick();
    // Reads the user's buttons again and sends their list to a phone that talks: the "Phone
    // buttons" window calls it once its OK has written.
    void reloadButtons();
    // The Connect a phone window's switch of the Bluetooth service, stored at once, and its
    // answer for a phone that asks to come in, remembered.
    void onBluetoothSwitch() override;
    void onBluetoothAnswer(bool allow) override;

    SettingsWindow& settingsWindow() { return settingsWindow_; }
    ConnectWindow& connectWindow() { return connectWindow_; }
    PhoneButtonsWindow& phoneButtonsWindow() { return phoneButtonsWindow_; }
    // The ways in, the COM port's first.
    const std::vector<std::unique_ptr<Way>>& ways() const { return ways_; }
    Way& comWay() { return *ways_[0]; }
    Way& bluetoothWay() { return *ways_[1]; }
    PortConnection& connection() { return *connection_; }
    serial::SerialPort& comPort() { return connection_->port(); }
    // Keypilot's own Bluetooth service, the second way in.
    BluetoothService& bluetoothService() override { return *bluetooth_; }
    mixer::AudioMixer& mixer() { return *mixer_; }
    // The master volume as the phones are told it.
    VolumeWatch& volume() { return *volume_; }
    tray::TrayIcon& trayIcon() { return *trayIcon_; }
    framework::PopupMenu& trayMenu() { return trayMenu_; }
    // Where the shell's calls (the web site, Windows' settings) go, off the main thread.
    ShellRunner& shell() { return shell_; }
    // The user's buttons, their presses and confirmations.
    ButtonPresses& buttonPresses() { return buttonPresses_; }
    // The port catalogue as last read.
    const KeptPorts& ports() const { return ports_; }
    const Autostart& autostart() const { return autostart_; }
    bool inCommand() const { return commandDepth_ > 0; }
    KeyDelivery keyDelivery() const { return keys_; }
    // What the tray and the settings window show of the link now: the better of the ways.
    LinkStatus linkStatus() const;
    const LeftButtonHold& leftButton() const { return leftButton_; }
    // The steady clock that the phones' contact and the held button's silence are judged by, in
    // milliseconds: GetTickCount64, unless a test sets its own.
    void setClock(std::function<std::uint64_t()> now) { clock_ = std::move(now); }
    // Tray menu item positions.
    int connectItem() const { return connectItem_; }
    int phoneButtonsItem() const { return phoneButtonsItem_; }
    int settingsItem() const { return settingsItem_; }
    int autostartItem() const { return autostartItem_; }
    int websiteItem() const { return websiteItem_; }
    int exitItem() const { return exitItem_; }

  private:
    bool onTimer(UINT_PTR id) override;
    void onClose() override;
    void onDeferred() override;
    void onPhoneButtons() override;
    // The "Phone buttons" window's OK: what changed written, and the phone told.
    void storeButtons(const ButtonList& before, const ButtonList& now);
    void onPortsChanged() override;
    // The "Connect a phone" window's questions and its "Listen on" button.
    const ports::PortList* connectPorts() override;
    void readPorts() override;
    void openInShell(const std::wstring& file, const std::wstring& parameters) override;
    int listenedPort() override;
    std::optional<ULONGLONG> phoneLastHeard() override;
    void onListen(int index) override;
    // A read of the ports has come: the windows show it, and a start without a stored port
    // chooses from it.
    void onPortsRead();
    void chooseFirstPort();
    void createTrayIcon();
    // OK's two halves: the values into the store, then the connection switched on that port.
    void store();
    void apply(const std::wstring& portName);
    // "Listen on": that port named and opened, never closed.
    void listenOn(const std::wstring& portName);
    // The first chunk on a port that no one confirmed stores it.
    void storeHeardPort();
    // The ways in, each with its carrier, in the order the tray speaks of them.
    void makeWays(std::shared_ptr<BluetoothApi> bluetooth);
    // What a phone that talks is told, built when it goes.
    phonelink::PhoneTalk::Lines phoneLines();
    // The Bluetooth service switched on, with its phones, as the settings say.
    void readBluetoothSettings();
    // Way::Listener: a valid chunk heard, its messages, the way's end, its carrier's change.
    void onHeard(Way& way) override;
    void onMessages(Way& way, const std::vector<phonelink::Message>& messages) override;
    void onEnded(Way& way) override;
    void onChanged(Way& way) override;
    // The volume's state to every phone that talks, whichever way it came.
    void volumeChanged();
    // The tray tip for this status, naming the way the phone was heard on.
    std::wstring statusHint(LinkStatus status) const;
    // The way the tray speaks of: one that asks the user something, else the best, and of equals
    // the one whose phone was heard last.
    const Way& shownWay() const;
    // The icon out of the tray and the claim given up: what must not wait for the port.
    void withdraw();
    void readKeyDelivery();
    // The actions of messages heard on this way.
    CommandContext commandContext(Way& way);
    // A hello or a sign of life, in its place: the way's talk hears of it.
    void onTalkMessage(const phonelink::Message& message, Way& way);
    // A press of one of the user's buttons or its confirmation, which count from a talking phone
    // only, and a confirmation only from the way and the talk its token went out in.
    void onButtonMessage(const phonelink::Message& message, Way& way);
    // No token is good any more.
    void forgetTokens();
    // The tray icon, its tip and the settings window's picture as the link is now.
    void showStatus();
    // The last time a phone was heard on any way.
    std::optional<std::uint64_t> lastHeard() const;
    void watchHeldButton();
    void checkHeldButton();
    // The mark of the held button, set when it is pressed and cleared when it is let go.
    static void markHeldButton(bool held);
    // One left-button up when a mark is found, which only a Keypilot ended hard leaves; the mark
    // goes with it.
    static void releaseMarkedButton();

    // Given up as the program ends, once the icon has left the tray and before the port closes.
    std::optional<InstanceClaim> claim_;
    SettingsWindow settingsWindow_;
    ConnectWindow connectWindow_;
    PhoneButtonsWindow phoneButtonsWindow_;
    int commandDepth_ = 0;
    // The ports of the OKs and "Listen on"s that came during a command, in order: each was stored
    // at once, and each is applied once the command is over, as if it had come then.
    struct PendingChoice {
        std::wstring portName;
        bool listen = false;
    };
    std::deque<PendingChoice> pendingOks_;
    // Whether a "com" value is stored (or start-up has not read it yet).
    bool portStored_ = true;
    // Start-up found no stored port and waits for the ports to be read to choose one.
    bool choosingFirstPort_ = false;
    // When the last chunk arrived.
    KeyDelivery keys_ = KeyDelivery::Messages;

    SettingsStore settings_;
    Autostart autostart_;
    ShellRunner shell_;
    ButtonPresses buttonPresses_{shell_};
    KeptPorts ports_;

    // The way and the talk the last confirmation token went out in; nothing when no token is
    // good.
    const Way* tokenWay_ = nullptr;
    std::uint64_t tokenTalk_ = 0;
    LeftButtonHold leftButton_;
    // The way whose phone pressed the left button.
    const Way* leftHolder_ = nullptr;
    bool holdTimerRunning_ = false;
    std::function<std::uint64_t()> clock_ = [] { return GetTickCount64(); };
    // The PC's name as the phones are told it: read at the start and whenever the Connect a phone
    // window shows it.
    std::wstring pcName_;
    LinkStatus statusShown_ = LinkStatus::Closed;

    // Components, in the order they come up; the destructor takes the ways down first.
    std::unique_ptr<mixer::AudioMixer> mixer_;
    std::unique_ptr<VolumeWatch> volume_;
    std::vector<std::unique_ptr<Way>> ways_;
    // The carriers of the ways, for the user's switches of each.
    PortConnection* connection_ = nullptr;
    BluetoothService* bluetooth_ = nullptr;
    framework::ImageList trayImages_;
    framework::PopupMenu trayMenu_;
    std::unique_ptr<tray::TrayIcon> trayIcon_;
    int connectItem_ = -1;
    int phoneButtonsItem_ = -1;
    int settingsItem_ = -1;
    int autostartItem_ = -1;
    int websiteItem_ = -1;
    int exitItem_ = -1;
};

}  // namespace app
