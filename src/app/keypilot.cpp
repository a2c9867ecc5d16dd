#include "app/keypilot.h"

#include <algorithm>
#include <string>
#include <utility>

#include "buttons/button_store.h"
#include "framework/application.h"
#include "framework/scope_exit.h"
#include "framework/stage_marks.h"
#include "ports/system_port_sources.h"
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
      ports_(std::move(portSources)) {
    ports_.onRead = [this] { onPortsRead(); };
    ports_.read();
    settingsWindow_.setPortNames(portItemTexts(ports::PortList{}));
    settingsWindow_.setPortIndex(kDefaultPortIndex);
    // The port is named and opened by start().
    connection_.onChunk = [this](const std::string& chunk) { onChunkReceived(chunk); };
    connection_.port().onAfterClose = [this](serial::SerialPort&) { onPortClosed(); };
    leftButton_.onHeldChanged = [](bool held) { markHeldButton(held); };
    mixer_ = std::make_unique<mixer::AudioMixer>();
    answers_ = std::make_unique<PhoneAnswers>(contact_, connection_.carrier(), *mixer_,
                                              [this] { return clock_(); });
    makeBluetoothService(std::move(bluetooth));
    // The driver's notice of a change made anywhere, by this process or another.
    mixer_->onControlChange = [this](mixer::AudioMixer&, HMIXER, uint32_t) { volumeChanged(); };
    createTrayIcon();
    SetTimer(settingsWindow_.handle(), kStatusTimerId, kStatusInterval, nullptr);
}

Keypilot::~Keypilot() {
    KillTimer(settingsWindow_.handle(), kStatusTimerId);
    KillTimer(settingsWindow_.handle(), kHoldTimerId);
    leftButton_.release();
    withdraw();
    trayIcon_.reset();
    answers_.reset();
    bluetoothAnswers_.reset();
    // The record is withdrawn and a Bluetooth phone let go before the port's close, which can
    // take seconds.
    bluetooth_.reset();
    mixer_.reset();
    connection_.close();
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

// Whether the message acts on the master volume or mute; the driver may tell of it too, or not
// (Core Audio's own level calls, a mixer that sends no notices).
bool changesVolume(const phonelink::Message& message) {
    using phonelink::Command;
    using phonelink::MessageKind;
    return message.kind == MessageKind::Mute || message.kind == MessageKind::SetVolume ||
           (message.kind == MessageKind::Command &&
            (message.command == Command::VolumeUp || message.command == Command::VolumeDown));
}

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
            connection_.toggle(portNameFor(settingsWindow_.portIndex()));
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
    connection_.toggle(portNameFor(settingsWindow_.portIndex()));
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
    connection_.keepOpen(portName);
    readKeyDelivery();
}

void Keypilot::store() {
    settings_.write(setting_names::kCursorStep, std::to_wstring(settingsWindow_.cursorStep()));
    settings_.write(setting_names::kProgram, settingsWindow_.programText());
    settings_.write(setting_names::kPortIndex, std::to_wstring(settingsWindow_.portIndex()));
    portStored_ = true;
}

void Keypilot::apply(const std::wstring& portName) {
    connection_.toggle(portName);
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
    if (!connection_.connected()) {
        return -1;
    }
    const std::wstring& name = connection_.port().port();
    for (int i = 0; i < ports::kPortCount; ++i) {
        if (portNameFor(i) == name) {
            return i;
        }
    }
    return -1;
}

std::optional<ULONGLONG> Keypilot::phoneLastHeard() {
    return std::max(contact_.lastHeard(), bluetoothContact_.lastHeard());
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
    // Inside a command the port is delivering to this very thread, and closing it would wait
    // for itself; the command ends first and the port closes with the program.
    if (!inCommand()) {
        connection_.close();
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
    connection_.tick(!inCommand() && pendingOks_.empty());
    answers_->check();
    bluetoothAnswers_->check();
    if (tokenWay_ && !tokenWay_->talk().talking()) {
        forgetTokens(*tokenWay_);
    }
    showStatus();
}

LinkStatus Keypilot::linkStatus() const {
    // The better of the two ways.
    static_assert(LinkStatus::Closed < LinkStatus::Waiting &&
                  LinkStatus::Waiting < LinkStatus::Heard);
    return std::max(comLinkStatus(), bluetoothLinkStatus());
}

LinkStatus Keypilot::comLinkStatus() const {
    if (!connection_.connected()) {
        return LinkStatus::Closed;
    }
    return contact_.present(clock_()) ? LinkStatus::Heard : LinkStatus::Waiting;
}

void Keypilot::showStatus() {
    // Tray images: 0 closed, 1 a phone heard, 2 waiting for one.
    const LinkStatus status = linkStatus();
    settingsWindow_.setStatusPicture(status);
    trayIcon_->setIconIndex(status == LinkStatus::Heard     ? 1
                            : status == LinkStatus::Waiting ? 2
                                                            : 0);
    trayIcon_->setHint(statusHint(status));
}

void Keypilot::onPortClosed() {
    reader_.reset();
    actingMs_ = 0;
    contact_.forget();
    leftButton_.release();
    if (answers_) {
        forgetTokens(*answers_);
        answers_->portClosed();
    }
}

void Keypilot::watchHeldButton() {
    if (leftButton_.held() && !holdTimerRunning_) {
        holdTimerRunning_ =
            SetTimer(settingsWindow_.handle(), kHoldTimerId, kHoldCheckInterval, nullptr) != 0;
    }
}

void Keypilot::checkHeldButton() {
    const std::uint64_t now = clock_();
    // The button was pressed on whichever way was heard last.
    const auto last = std::max(contact_.lastHeard(), bluetoothContact_.lastHeard());
    // A clock that went back is no silence.
    const bool silent = !last || (now >= *last && now - *last >= kHoldSilenceMs);
    if (leftButton_.held() && (!(connection_.connected() || bluetooth_->connected()) || silent)) {
        leftButton_.release();
    }
    if (!leftButton_.held()) {
        KillTimer(settingsWindow_.handle(), kHoldTimerId);
        holdTimerRunning_ = false;
    }
}

CommandContext Keypilot::commandContext(PhoneAnswers& answers) {
    CommandContext context;
    context.cursorStep = [this] { return settingsWindow_.cursorStep(); };
    context.programText = [this] { return settingsWindow_.programText(); };
    context.processMessages = [] { framework::application().processMessages(); };
    context.ending = [] { return framework::application().terminated(); };
    context.keys = keys_;
    context.mainWindow = settingsWindow_.handle();
    context.mixer = mixer_.get();
    context.leftButton = &leftButton_;
    context.launcher = &buttonPresses_.launcher();
    context.button = [this, &answers](const phonelink::Message& message) {
        onButtonMessage(message, answers);
    };
    return context;
}

void Keypilot::onButtonMessage(const phonelink::Message& message, PhoneAnswers& answers) {
    answers.check();
    if (!answers.talk().talking()) {
        return;
    }
    const std::uint64_t now = clock_();
    if (message.kind == phonelink::MessageKind::PressButton) {
        buttonPresses_.press(message.button, now,
                             {[this, &answers](std::string line) {
                                  tokenWay_ = &answers;
                                  answers.talk().confirmation(std::move(line));
                              },
                              // Until the talk carries them, a failure's line is dropped.
                              {}});
    } else if (tokenWay_ == &answers) {
        // Only the way the token went out on can bring it back.
        buttonPresses_.confirm(message.button, message.token, now, {});
    }
}

void Keypilot::forgetTokens(const PhoneAnswers& answers) {
    if (tokenWay_ == &answers) {
        buttonPresses_.forget();
        tokenWay_ = nullptr;
    }
}

void Keypilot::reloadButtons() {
    buttonPresses_.reload();
    tokenWay_ = nullptr;
    const std::string list = buttonPresses_.listLine();
    answers_->talk().buttons(list);
    bluetoothAnswers_->talk().buttons(list);
}

void Keypilot::onChunkReceived(const std::string& chunk) {
    receive(chunk, comWay());
}

void Keypilot::receive(const std::string& chunk, Way way) {
    namespace marks = framework::stage_marks;
    marks::mark(marks::kRead);
    const std::uint64_t arrived = clock_();
    phonelink::LinkReader::Result read = way.reader.feed(chunk, arrived - way.actingMs);
    marks::mark(marks::kReader);
    if (read.heard) {
        const bool wasPresent = way.contact.present(arrived);
        // A hello is a sign of life too: the talk it starts lasts while the signs keep coming.
        const bool pinged = std::any_of(read.messages.begin(), read.messages.end(),
                                        [](const phonelink::Message& m) {
                                            return m.kind == phonelink::MessageKind::Ping ||
                                                   m.kind == phonelink::MessageKind::Hello;
                                        });
        way.contact.heard(arrived, pinged);
        if (way.comPort) {
            storeHeardPort();
        }
        // A phone that speaks up is shown at once, not at the next tick.
        if (!wasPresent) {
            showStatus();
        }
    }
    marks::mark(marks::kStatus);
    if (read.messages.empty()) {
        return;
    }
    ++commandDepth_;
    const framework::ScopeExit leave([this, arrived, &acting = way.actingMs] {
        acting += clock_() - arrived;
        watchHeldButton();
        if (--commandDepth_ == 0 && !pendingOks_.empty()) {
            settingsWindow_.postDeferred();
        }
    });
    for (const auto& message : read.messages) {
        if (message.kind == phonelink::MessageKind::Hello) {
            way.answers.hello();
            // A new talk: a token sent before it confirms nothing.
            forgetTokens(way.answers);
            way.answers.talk().buttons(buttonPresses_.listLine());
        }
    }
    handleMessages(read.messages, commandContext(way.answers));
    marks::mark(marks::kAction);
    if (std::any_of(read.messages.begin(), read.messages.end(), changesVolume)) {
        volumeChanged();
    }
}

}  // namespace app
