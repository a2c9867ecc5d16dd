#include "app/keypilot.h"

#include <algorithm>
#include <string>
#include <utility>

#include "buttons/button_store.h"
#include "framework/application.h"
#include "framework/scope_exit.h"
#include "ports/system_port_sources.h"
#include "settings/pc_name.h"
#include "settings/remote_address.h"
#include "settings/settings_values.h"
#include "windows/port_list_text.h"
#include "windows/resources/resource.h"
#include "windows/status_hint.h"

namespace app {

Keypilot::Keypilot(InstanceClaim claim) : Keypilot(std::move(claim), ports::systemPortSources()) {}

Keypilot::Keypilot(InstanceClaim claim, ports::PortSources portSources,
                   std::shared_ptr<BluetoothApi> bluetooth)
    : claim_(std::move(claim)),
      settingsWindow_(*this),
      connectWindow_(*this),
      phoneButtonsWindow_(
          [this](const ButtonList& before, const ButtonList& now) { storeButtons(before, now); }),
      ports_(std::move(portSources)),
      pcName_(pcName()) {
    ports_.onRead = [this] { onPortsRead(); };
    ports_.read();
    settingsWindow_.setPortNames(portItemTexts(ports::PortList{}));
    settingsWindow_.setPortIndex(kDefaultPortIndex);
    leftButton_.onHeldChanged = [](bool held) { markHeldButton(held); };
    mixer_ = std::make_unique<mixer::AudioMixer>();
    volume_ = std::make_unique<VolumeWatch>(*mixer_);
    volume_->onChange = [this] { volumeChanged(); };
    // The driver's notice of a change made anywhere, by this process or another.
    mixer_->onControlChange = [this](mixer::AudioMixer&, HMIXER, uint32_t) { volume_->changed(); };
    // The port is named and opened by start().
    makeWays(std::move(bluetooth));
    createTrayIcon();
    SetTimer(settingsWindow_.handle(), kStatusTimerId, kStatusInterval, nullptr);
}

Keypilot::~Keypilot() {
    KillTimer(settingsWindow_.handle(), kStatusTimerId);
    KillTimer(settingsWindow_.handle(), kHoldTimerId);
    leftButton_.release();
    withdraw();
    trayIcon_.reset();
    // The service's record is withdrawn and its phone let go first; the port's close, which can
    // take seconds, comes last. Nothing is shown any more, so the COM way's end waits for that
    // close (the device released for the next Keypilot), but at most
    // PortConnection::kEndCloseWaitMs: a driver that holds it longer finishes it on its own thread.
    while (!ways_.empty()) {
        ways_.pop_back();
    }
    volume_.reset();
    mixer_.reset();
}

void Keypilot::withdraw() {
    trayIcon_->setIconVisible(false);
    claim_.reset();
}

void Keypilot::createTrayIcon() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    trayImages_.addResourceIcon(instance, IDI_DISCONNECTED);
    trayImages_.addResourceIcon(instance, IDI_CONNECTED);
    trayImages_.addResourceIcon(instance, IDI_WAITING);

    connectItem_ = trayMenu_.addItem(tr(L"Подключить телефон…"), [this] { showConnectWindow(); });
    phoneButtonsItem_ = trayMenu_.addItem(tr(L"Кнопки телефона…"), [this] { showPhoneButtons(); });
    settingsItem_ = trayMenu_.addItem(
        tr(L"Настройки"), [this] { showSettings(); }, true);
    autostartItem_ = trayMenu_.addItem(tr(L"Автозагрузка"), [this] { onAutostart(); });
    trayMenu_.addSeparator();
    websiteItem_ = trayMenu_.addItem(tr(L"Сайт программы"), [this] { onWebsite(); });
    trayMenu_.addSeparator();
    exitItem_ = trayMenu_.addItem(tr(L"Выход"), [this] { onExit(); });

    trayIcon_ = std::make_unique<tray::TrayIcon>(settingsWindow_.handle());
    trayIcon_->setIconList(&trayImages_);
    trayIcon_->setIconIndex(0);
    trayIcon_->setHint(tr(SettingsWindow::kTitle));
    trayIcon_->setCycleInterval(0);
    trayIcon_->setPopupMenu(&trayMenu_);
    trayIcon_->applyProperties();
    trayIcon_->setIconVisible(true);
}

namespace {

// Where the held button's mark lives: the settings' own section, which the uninstaller removes.
std::wstring settingsSectionPath() {
    return std::wstring(SettingsStore::kRootPath) + L"\\" + SettingsStore::kSection;
}

}  // namespace

void Keypilot::markHeldButton(bool held) {
    try {
        if (held) {
            framework::RegistryKey::create(HKEY_CURRENT_USER, settingsSectionPath())
                .writeText(kHeldMark, L"1");
        } else if (auto section =
                       framework::RegistryKey::open(HKEY_CURRENT_USER, settingsSectionPath());
                   section.isOpen()) {
            section.deleteValue(kHeldMark);
        }
    } catch (const std::exception&) {
        // Dropped: the drag goes on, and only a hard end during it would leave the button down.
    }
}

void Keypilot::releaseMarkedButton() {
    auto section = framework::RegistryKey::open(HKEY_CURRENT_USER, settingsSectionPath());
    if (section.isOpen() && section.valueExists(kHeldMark)) {
        sendButton(MouseButton::Left, ButtonHalf::Up);
        section.deleteValue(kHeldMark);
    }
}

void Keypilot::start() {
    releaseMarkedButton();
    bool firstSteps = false;
    framework::application().guard([&] {
        autostart_.read();
        trayMenu_.setChecked(autostartItem_, autostart_.enabled());
        settings_.open();
        buttonPresses_.reload();
        settingsWindow_.setCursorStep(cursorStepFrom(settings_.read(setting_names::kCursorStep)));
        settingsWindow_.setProgramText(
            settings_.read(setting_names::kProgram).value_or(std::wstring(kDefaultProgram)));
        auto storedPort = settings_.read(setting_names::kPortIndex);
        portStored_ = storedPort.has_value();
        firstSteps = !portStored_;
        if (storedPort) {
            settingsWindow_.setPortIndex(portIndexFrom(storedPort));
            connection_->toggle(portNameFor(settingsWindow_.portIndex()));
        } else {
            choosingFirstPort_ = true;
            if (ports_.ports()) {
                chooseFirstPort();
            }
        }
        readKeyDelivery();
        readBluetoothSettings();
    });
    if (firstSteps) {
        showConnectWindow();
    }
}

void Keypilot::chooseFirstPort() {
    choosingFirstPort_ = false;
    settingsWindow_.setPortIndex(
        ports::onlyBluetoothIncomingPort(*ports_.ports()).value_or(kDefaultPortIndex));
    connection_->toggle(portNameFor(settingsWindow_.portIndex()));
}

void Keypilot::onPortsRead() {
    settingsWindow_.setPortNames(portItemTexts(*ports_.ports()));
    if (choosingFirstPort_) {
        chooseFirstPort();
    }
    if (connectWindow_.visible()) {
        connectWindow_.refresh();
    }
}

void Keypilot::onOk() {
    choosingFirstPort_ = false;
    settingsWindow_.hide();
    // Stored at once, so that an end that follows (Exit, the session's end) loses nothing.
    store();
    const std::wstring portName = portNameFor(settingsWindow_.portIndex());
    // Inside a command the serial port is still delivering its event: closing or switching the
    // port then would wait for this very handler. Apply once the command is over.
    if (inCommand()) {
        pendingOks_.push_back({portName, false});
        return;
    }
    apply(portName);
}

void Keypilot::onListen(int index) {
    choosingFirstPort_ = false;
    settingsWindow_.setPortIndex(index);
    settings_.write(setting_names::kPortIndex, std::to_wstring(index));
    portStored_ = true;
    const std::wstring portName = portNameFor(index);
    // As OK: inside a command the port's switch waits until the command is over.
    if (inCommand()) {
        pendingOks_.push_back({portName, true});
        return;
    }
    listenOn(portName);
}

void Keypilot::listenOn(const std::wstring& portName) {
    connection_->keepOpen(portName);
    readKeyDelivery();
}

void Keypilot::store() {
    settings_.write(setting_names::kCursorStep, std::to_wstring(settingsWindow_.cursorStep()));
    settings_.write(setting_names::kProgram, settingsWindow_.programText());
    settings_.write(setting_names::kPortIndex, std::to_wstring(settingsWindow_.portIndex()));
    portStored_ = true;
}

void Keypilot::apply(const std::wstring& portName) {
    connection_->toggle(portName);
    readKeyDelivery();
}

void Keypilot::readKeyDelivery() {
    keys_ = keyDeliveryFrom(settings_.read(setting_names::kKeyDelivery));
}

void Keypilot::onDeferred() {
    // Each OK switches the connection, as it would have outside the command; one that fails is
    // shown and the next still comes. An OK followed by the end opens no port on the way out.
    while (!inCommand() && !pendingOks_.empty() && !framework::application().terminated()) {
        const PendingChoice choice = std::move(pendingOks_.front());
        pendingOks_.pop_front();
        framework::application().guard([&] {
            if (choice.listen) {
                listenOn(choice.portName);
            } else {
                apply(choice.portName);
            }
        });
    }
}

void Keypilot::onCancel() {
    settingsWindow_.hide();
}

void Keypilot::onBrowse() {
    if (auto file = settingsWindow_.browseForProgram()) {
        // The field is a command line: a path with blanks goes in quotes.
        settingsWindow_.setProgramText(quotedIfBlank(*file));
    }
}

void Keypilot::showConnectWindow() {
    RemoteAddress remote;
    try {
        remote = remoteAddressFrom(settings_.read(setting_names::kRemoteAddress));
    } catch (const std::exception&) {
        // Dropped: a value of another type is no address, and the window says it was ignored.
        remote = {std::wstring(kDefaultRemoteAddress), true};
    }
    // The name the phone's Bluetooth list shows: a change to it shows here, and goes to the
    // phones from now on.
    pcName_ = pcName();
    connectWindow_.show(remote);
}

void Keypilot::showPhoneButtons() {
    phoneButtonsWindow_.show(phoneButtonsWindow_.visible() ? ButtonList{} : ButtonStore{}.read());
}

void Keypilot::onPhoneButtons() {
    showPhoneButtons();
}

void Keypilot::storeButtons(const ButtonList& before, const ButtonList& now) {
    ButtonStore{}.write(before, now);
    reloadButtons();
}

const ports::PortList* Keypilot::connectPorts() {
    return ports_.ports();
}

void Keypilot::readPorts() {
    ports_.read();
}

void Keypilot::openInShell(const std::wstring& file, const std::wstring& parameters) {
    shell_.run(file, parameters);
}

int Keypilot::listenedPort() {
    if (!connection_->connected()) {
        return -1;
    }
    const std::wstring& name = connection_->port().port();
    for (int i = 0; i < ports::kPortCount; ++i) {
        if (portNameFor(i) == name) {
            return i;
        }
    }
    return -1;
}

std::optional<ULONGLONG> Keypilot::phoneLastHeard() {
    return lastHeard();
}

void Keypilot::storeHeardPort() {
    // Asked on every chunk that is heard: once stored, the port's name is not looked up again.
    if (portStored_) {
        return;
    }
    const int index = listenedPort();
    if (index < 0) {
        return;
    }
    try {
        settings_.write(setting_names::kPortIndex, std::to_wstring(index));
        portStored_ = true;
    } catch (const std::exception&) {
        // Dropped: the command still runs, and the next chunk tries again.
    }
}

void Keypilot::showSettings() {
    ports_.read();
    settingsWindow_.show();
}

void Keypilot::onPortsChanged() {
    // A hidden window's list is read again when it is shown.
    if (settingsWindow_.visible()) {
        ports_.read();
    }
}

void Keypilot::onAutostart() {
    autostart_.toggle();
    trayMenu_.setChecked(autostartItem_, autostart_.enabled());
}

void Keypilot::onWebsite() {
    shell_.run(kWebsite);
}

void Keypilot::onExit() {
    framework::application().terminate(0);
}

void Keypilot::onClose() {
    onExit();
}

void Keypilot::onEndSession() {
    // Nothing may be left for after the loop: let go of the button, the icon, the claim and the
    // port now.
    leftButton_.release();
    withdraw();
    // Inside a command the port is delivering to this very thread, and its close would wait for
    // itself; the command ends first and the port closes with the program. Otherwise nothing is
    // shown any more, and the answer waits for the close, bounded, so that the device is released
    // before the system may end the process.
    if (!inCommand()) {
        connection_->close();
        connection_->waitUntilClosed(PortConnection::kEndCloseWaitMs);
    }
    framework::application().terminate(0);
}

bool Keypilot::onTimer(UINT_PTR id) {
    if (id == kHoldTimerId) {
        checkHeldButton();
        return true;
    }
    if (id != kStatusTimerId) {
        return false;
    }
    onStatusTick();
    return true;
}

void Keypilot::onStatusTick() {
    // Never in the middle of a command or before a deferred OK, which decide the port's state
    // themselves.
    connection_->tick(!inCommand() && pendingOks_.empty());
    bool talking = false;
    for (const auto& way : ways_) {
        way->tick();
        talking = talking || way->talking();
    }
    volume_->watch(talking);
    if (tokenWay_ && (!tokenWay_->talking() || tokenWay_->talk().talkNumber() != tokenTalk_)) {
        forgetTokens();
    }
    showStatus();
}

}  // namespace app
