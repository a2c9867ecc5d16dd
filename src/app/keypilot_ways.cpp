// The program's side of the ways in: each way's messages acted on, what is one for the whole PC
// kept over all of them (the held button, a press's token, the volume, the buttons), and the tray
// showing the better of them, naming the way the phone was heard on.
#include <algorithm>
#include <string>
#include <utility>

#include "app/keypilot.h"
#include "framework/application.h"
#include "framework/scope_exit.h"
#include "framework/stage_marks.h"
#include "framework/text.h"
#include "settings/settings_values.h"
#include "ways/bluetooth/bluetooth_phones.h"
#include "windows/status_hint.h"

namespace app {
namespace {

// After "Keypilot - COM5: " while a phone is heard there and another way is on too.
constexpr const wchar_t* kHeardOnPort = uiText(L"телефон подключен");

// Whether the message acts on the master volume or mute; the driver may tell of it too, or not
// (Core Audio's own level calls, a mixer that sends no notices).
bool changesVolume(const phonelink::Message& message) {
    using phonelink::Command;
    using phonelink::MessageKind;
    return message.kind == MessageKind::Mute || message.kind == MessageKind::SetVolume ||
           (message.kind == MessageKind::Command &&
            (message.command == Command::VolumeUp || message.command == Command::VolumeDown));
}

}  // namespace

phonelink::TextLanguage ownTextLanguage() {
    // The texts are written in Russian; any catalogue in use gives them in English.
    const wchar_t* sample = kWaitingForPhone;
    return tr(sample) == sample ? phonelink::TextLanguage::Russian
                                : phonelink::TextLanguage::English;
}

void Keypilot::makeWays(std::shared_ptr<BluetoothApi> bluetooth) {
    Way::Listener& listener = *this;
    const auto clock = [this] { return clock_(); };
    auto port = std::make_unique<PortConnection>();
    connection_ = port.get();
    ways_.push_back(std::make_unique<Way>(std::move(port), listener, phoneLines(), clock));
    auto service = std::make_unique<BluetoothService>(std::move(bluetooth));
    bluetooth_ = service.get();
    ways_.push_back(std::make_unique<Way>(std::move(service), listener, phoneLines(), clock));
}

phonelink::PhoneTalk::Lines Keypilot::phoneLines() {
    return {
        [this] {
            return phonelink::encodeHelloAnswer(
                std::u16string_view(reinterpret_cast<const char16_t*>(pcName_.data()),
                                    pcName_.size()),
                ownTextLanguage(), volume_->state());
        },
        [this] { return buttonPresses_.listLine(); },
        [this] { return phonelink::encodeVolumeState(volume_->state()); },
    };
}

void Keypilot::readBluetoothSettings() {
    bluetooth_->setPhones(phonesFrom(settings_.read(setting_names::kAllowedPhones).value_or(L"")),
                          phonesFrom(settings_.read(setting_names::kRefusedPhones).value_or(L"")));
    if (settings_.read(setting_names::kBluetoothService) == L"1") {
        bluetooth_->switchOn();
    }
}

void Keypilot::onBluetoothSwitch() {
    const bool on = !bluetooth_->switchedOn();
    // Stored first: a service that cannot run now is still the user's choice for the next start.
    settings_.write(setting_names::kBluetoothService, on ? L"1" : L"0");
    if (on) {
        bluetooth_->switchOn();
    } else {
        bluetooth_->switchOff();
    }
}

void Keypilot::onBluetoothAnswer(bool allow) {
    bluetooth_->answer(allow);
    settings_.write(setting_names::kAllowedPhones, phonesText(bluetooth_->allowedPhones()));
    settings_.write(setting_names::kRefusedPhones, phonesText(bluetooth_->refusedPhones()));
}

void Keypilot::onHeard(Way& way) {
    if (&way.carrier() == connection_) {
        storeHeardPort();
    }
    // A phone that speaks up is shown at once, not at the next tick; a chunk that changes
    // nothing costs the tray nothing.
    const LinkStatus status = linkStatus();
    if (status != statusShown_ || statusHint(status) != trayIcon_->hint()) {
        showStatus();
    }
}

void Keypilot::onChanged(Way& way) {
    // A phone in is a phone there, and one gone is gone: the tray says so at once.
    showStatus();
    if (&way.carrier() != bluetooth_) {
        return;
    }
    // A phone never seen waits for the user, who is asked where the service is switched.
    if (bluetooth_->asksUser() && !connectWindow_.visible()) {
        showConnectWindow();
    } else if (connectWindow_.visible()) {
        connectWindow_.refresh();
    }
}

void Keypilot::onEnded(Way& way) {
    if (leftHolder_ == &way) {
        leftButton_.release();
        leftHolder_ = nullptr;
    }
    if (tokenWay_ == &way) {
        forgetTokens();
    }
}

void Keypilot::onMessages(Way& way, const std::vector<phonelink::Message>& messages) {
    ++commandDepth_;
    const framework::ScopeExit leave([this, &way, wasHeld = leftButton_.held()] {
        if (leftButton_.held() && !wasHeld) {
            leftHolder_ = &way;
        }
        watchHeldButton();
        if (--commandDepth_ == 0 && !pendingOks_.empty()) {
            settingsWindow_.postDeferred();
        }
    });
    handleMessages(messages, commandContext(way));
    framework::stage_marks::mark(framework::stage_marks::kAction);
    if (std::any_of(messages.begin(), messages.end(), changesVolume)) {
        volume_->changed();
    }
}

CommandContext Keypilot::commandContext(Way& way) {
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
    context.talk = [this, &way](const phonelink::Message& message) { onTalkMessage(message, way); };
    context.button = [this, &way](const phonelink::Message& message) {
        onButtonMessage(message, way);
    };
    return context;
}

void Keypilot::onTalkMessage(const phonelink::Message& message, Way& way) {
    if (message.kind == phonelink::MessageKind::Hello) {
        // The volume the answer tells is read when the first phone starts to talk, and kept up to
        // date from then on.
        volume_->watch(true);
    }
    way.onTalkMessage(message);
}

void Keypilot::onButtonMessage(const phonelink::Message& message, Way& way) {
    if (!way.talking()) {
        return;
    }
    const std::uint64_t now = clock_();
    const std::uint64_t talk = way.talk().talkNumber();
    ButtonReplies replies;
    replies.confirm = [this, &way, talk](std::string line) {
        tokenWay_ = &way;
        tokenTalk_ = talk;
        way.talk().confirmation(std::move(line));
    };
    // An action's failure may be known only later (a launch); it is told in the talk the press
    // came in, and to nobody once that has ended.
    replies.failed = [&way, talk](std::string line) {
        if (way.talking() && way.talk().talkNumber() == talk) {
            way.talk().failure(std::move(line));
        }
    };
    if (message.kind == phonelink::MessageKind::PressButton) {
        buttonPresses_.press(message.button, now, replies);
    } else if (tokenWay_ == &way && tokenTalk_ == talk) {
        // Only the way and the talk the token went out in can bring it back.
        buttonPresses_.confirm(message.button, message.token, now, replies);
    }
}

void Keypilot::forgetTokens() {
    buttonPresses_.forget();
    tokenWay_ = nullptr;
}

void Keypilot::reloadButtons() {
    buttonPresses_.reload();
    tokenWay_ = nullptr;
    for (const auto& way : ways_) {
        way->buttonsChanged();
    }
}

void Keypilot::volumeChanged() {
    for (const auto& way : ways_) {
        way->volumeChanged();
    }
}

std::optional<std::uint64_t> Keypilot::lastHeard() const {
    std::optional<std::uint64_t> last;
    for (const auto& way : ways_) {
        last = std::max(last, way->contact().lastHeard());
    }
    return last;
}

void Keypilot::watchHeldButton() {
    if (leftButton_.held() && !holdTimerRunning_) {
        holdTimerRunning_ =
            SetTimer(settingsWindow_.handle(), kHoldTimerId, kHoldCheckInterval, nullptr) != 0;
    }
}

void Keypilot::checkHeldButton() {
    const std::uint64_t now = clock_();
    // The button was pressed on one way, and is let go once every way has been silent.
    const auto last = lastHeard();
    // A clock that went back is no silence.
    const bool silent = !last || (now >= *last && now - *last >= kHoldSilenceMs);
    const bool anyOpen = std::any_of(ways_.begin(), ways_.end(), [](const auto& way) {
        return way->carrier().carrierState() != WayCarrier::CarrierState::Closed;
    });
    if (leftButton_.held() && (!anyOpen || silent)) {
        leftButton_.release();
    }
    if (!leftButton_.held()) {
        leftHolder_ = nullptr;
        KillTimer(settingsWindow_.handle(), kHoldTimerId);
        holdTimerRunning_ = false;
    }
}

LinkStatus Keypilot::linkStatus() const {
    LinkStatus best = LinkStatus::Closed;
    for (const auto& way : ways_) {
        best = std::max(best, way->status());
    }
    return best;
}

void Keypilot::showStatus() {
    // Tray images: 0 closed, 1 a phone heard, 2 waiting for one.
    const LinkStatus status = linkStatus();
    statusShown_ = status;
    settingsWindow_.setStatusPicture(status);
    trayIcon_->setIconIndex(status == LinkStatus::Heard     ? 1
                            : status == LinkStatus::Waiting ? 2
                                                            : 0);
    trayIcon_->setHint(statusHint(status));
}

const Way& Keypilot::shownWay() const {
    const Way* shown = ways_.front().get();
    for (const auto& way : ways_) {
        if (way->carrier().asksUser()) {
            return *way;
        }
        const LinkStatus status = way->status();
        const LinkStatus best = shown->status();
        // Of two as good, the one whose phone was heard later; the first when neither is.
        if (status > best || (status == best && status != LinkStatus::Closed &&
                              way->contact().lastHeard() > shown->contact().lastHeard())) {
            shown = way.get();
        }
    }
    return *shown;
}

std::wstring Keypilot::statusHint(LinkStatus status) const {
    // With every way closed, the tip speaks of the first the user wants that says why.
    const Way* shown = &shownWay();
    if (status == LinkStatus::Closed) {
        const auto down = std::find_if(ways_.begin(), ways_.end(), [](const auto& way) {
            return way->carrier().wanted() && way->carrier().stateText();
        });
        if (down == ways_.end()) {
            return tr(SettingsWindow::kTitle);
        }
        shown = down->get();
    }
    const WayCarrier& carrier = shown->carrier();
    // The other ways the user wants and that are down say why, beside the shown one.
    std::wstring text = carrier.stateText().value_or(std::wstring());
    if (text.empty()) {
        // With one way on, the plain "connected"; with more, the way is named.
        const bool alone = std::none_of(ways_.begin(), ways_.end(), [&](const auto& way) {
            return way.get() != shown && way->carrier().wanted();
        });
        const bool heard = shown->status() == LinkStatus::Heard;
        if (heard && alone) {
            return tr(kConnectedHint);
        }
        text = tr(heard ? kHeardOnPort : kWaitingForPhone);
    }
    for (const auto& way : ways_) {
        const WayCarrier& other = way->carrier();
        if (way.get() != shown && other.wanted() && way->status() == LinkStatus::Closed) {
            if (auto reason = other.stateText()) {
                text += L"; " + other.wayName() + L": " + *reason;
            }
        }
    }
    return portProblemHint(carrier.wayName(), text);
}

}  // namespace app
