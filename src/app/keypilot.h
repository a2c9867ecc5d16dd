// The program: owns the settings window, the "Connect a phone" window and the components (serial
// port, mixer, tray icon with its menu, status timer); connects to the chosen port and keeps
// trying while it should be open, shows the connection in the tray, turns received chunks into
// commands, runs the tray menu's actions and ends with the session. A port counts as stored once
// the user confirms it (OK, "Listen on") or the phone is first heard on it; until then each start
// opens the "Connect a phone" window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/instance_claim.h"
#include "buttons/button_presses.h"
#include "desktop/command_handler.h"
#include "desktop/pointer_input.h"
#include "desktop/shell_runner.h"
#include "framework/image_list.h"
#include "framework/popup_menu.h"
#include "i18n/ui_text.h"
#include "link/link_protocol.h"
#include "link/phone_contact.h"
#include "mixer/audio_mixer.h"
#include "ports/port_catalogue.h"
#include "serial/serial_port.h"
#include "settings/autostart.h"
#include "settings/settings_store.h"
#include "tray/tray_icon.h"
#include "ways/bluetooth/bluetooth_service.h"
#include "ways/com/kept_ports.h"
#include "ways/com/port_connection.h"
#include "ways/phone_answers.h"
#include "windows/connect_window.h"
#include "windows/phone_buttons_window.h"
#include "windows/settings_window.h"

namespace app {

class Keypilot final : private SettingsWindow::Listener, private ConnectWindow::Listener {
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
    // Performs the commands of a chunk received from the port.
    void onChunkReceived(const std::string& chunk);
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
    PortConnection& connection() { return connection_; }
    serial::SerialPort& comPort() { return connection_.port(); }
    mixer::AudioMixer& mixer() { return *mixer_; }
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
    // When the phone was last heard on the open port (times of GetTickCount64()).
    const phonelink::PhoneContact& phoneContact() const { return contact_; }
    // What goes back to a phone that said hello.
    PhoneAnswers& phoneAnswers() { return *answers_; }
    // Keypilot's own Bluetooth service, the second way in, and what it keeps of that way's phone
    // as phoneContact() and phoneAnswers() do of the COM port's.
    BluetoothService& bluetoothService() override { return *bluetooth_; }
    const phonelink::PhoneContact& bluetoothContact() const { return bluetoothContact_; }
    PhoneAnswers& bluetoothAnswers() { return *bluetoothAnswers_; }
    // What the tray and the settings window show of the link now.
    LinkStatus linkStatus() const;
    const LeftButtonHold& leftButton() const { return leftButton_; }
    // The steady clock that the phone's contact and the held button's silence are judged by, in
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
    // The Bluetooth service made with its answers and wired to the link as the COM port is;
    // switched on, with its phones, as the settings say.
    void makeBluetoothService(std::shared_ptr<BluetoothApi> api);
    void readBluetoothSettings();
    void onBluetoothPhoneGone();
    // One way in from the phone as the link keeps it: the COM port's or the Bluetooth service's.
    struct Way {
        phonelink::LinkReader& reader;
        std::uint64_t& actingMs;
        phonelink::PhoneContact& contact;
        PhoneAnswers& answers;
        bool comPort;
    };
    Way comWay() { return {reader_, actingMs_, contact_, *answers_, true}; }
    Way bluetoothWay() {
        return {bluetoothReader_, bluetoothActingMs_, bluetoothContact_, *bluetoothAnswers_, false};
    }
    void receive(const std::string& chunk, Way way);
    // The volume's state to every phone that talks, whichever way it came.
    void volumeChanged();
    LinkStatus comLinkStatus() const;
    LinkStatus bluetoothLinkStatus() const;
    // The tray tip for this status, naming the way the phone was heard on.
    std::wstring statusHint(LinkStatus status);
    // The icon out of the tray and the claim given up: what must not wait for the port.
    void withdraw();
    void readKeyDelivery();
    // The actions of messages heard on the way that answers through answers.
    CommandContext commandContext(PhoneAnswers& answers);
    // A press of one of the user's buttons or its confirmation, which count from a talking phone
    // only, and a confirmation only from the way its token went out on.
    void onButtonMessage(const phonelink::Message& message, PhoneAnswers& answers);
    // The way that answers through answers ended its talk: its token confirms nothing any more.
    void forgetTokens(const PhoneAnswers& answers);
    // The tray icon, its tip and the settings window's picture as the link is now.
    void showStatus();
    // The port closed or changed: a frame half received, the phone heard and a held button go.
    void onPortClosed();
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
    // The way the last confirmation token went out on; nothing when no token is good.
    const PhoneAnswers* tokenWay_ = nullptr;
    KeptPorts ports_;

    // What is received on the port; they outlive the connection, which reports its close to them.
    phonelink::LinkReader reader_;
    // The time spent acting on chunks since the port opened, which the reader's clock leaves
    // out: a frame's second half is late only for waiting on the link, not on Keypilot.
    std::uint64_t actingMs_ = 0;
    phonelink::PhoneContact contact_;
    LeftButtonHold leftButton_;
    bool holdTimerRunning_ = false;
    std::function<std::uint64_t()> clock_ = [] { return GetTickCount64(); };

    // The Bluetooth way's reader and clock of the phone, as reader_ and contact_ are the COM
    // port's.
    phonelink::LinkReader bluetoothReader_;
    std::uint64_t bluetoothActingMs_ = 0;
    phonelink::PhoneContact bluetoothContact_;

    // Components, in the order they come up; they go away in the reverse order.
    PortConnection connection_;
    std::unique_ptr<BluetoothService> bluetooth_;
    std::unique_ptr<mixer::AudioMixer> mixer_;
    // Goes before the mixer it reads and the connection it writes through.
    std::unique_ptr<PhoneAnswers> answers_;
    std::unique_ptr<PhoneAnswers> bluetoothAnswers_;
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
