// The program's side of its own Bluetooth service: the second way in, beside the COM port. Its
// chunks go through the same reader path as the port's, with a reader, a clock of the phone and
// answers of its own, so that a frame half received on one way is never finished by the other
// and answers go back only the way their hello came. The tray shows the better of the two ways
// and names the one the phone was heard on.
#include <algorithm>
#include <string>
#include <utility>

#include "app/keypilot.h"
#include "framework/application.h"
#include "framework/text.h"
#include "ways/bluetooth/bluetooth_phones.h"
#include "windows/status_hint.h"

namespace app {
namespace {

// What the tip says after "Keypilot - Bluetooth: " while a phone is in. %s: its name, or its
// address when the radio does not know it.
constexpr const wchar_t* kPhoneIn = uiText(L"подключен телефон %s");
// After "Keypilot - Bluetooth: " while a phone waits for the user's answer.
constexpr const wchar_t* kPhoneAsks =
    uiText(L"телефон %s просит подключения, ответьте в окне «Подключение телефона»");
// After "Keypilot - COM5: " while a phone is heard there and the service is on too.
constexpr const wchar_t* kHeardOnPort = uiText(L"телефон подключен");
constexpr const wchar_t* kBluetoothWay = L"Bluetooth";

std::wstring phoneTitle(const BluetoothPhone& phone) {
    return phone.name.empty() ? bluetoothAddressText(phone.address) : phone.name;
}

}  // namespace

void Keypilot::makeBluetoothService(std::shared_ptr<BluetoothApi> api) {
    bluetooth_ = std::make_unique<BluetoothService>(std::move(api));
    bluetoothAnswers_ = std::make_unique<PhoneAnswers>(bluetoothContact_, *bluetooth_, *mixer_,
                                                       [this] { return clock_(); });
    bluetooth_->onChunk = [this](const std::string& chunk) { receive(chunk, bluetoothWay()); };
    bluetooth_->onPhoneGone = [this] { onBluetoothPhoneGone(); };
    bluetooth_->onChange = [this] {
        // A phone in is a phone there, and one gone is gone: the tray says so at once.
        showStatus();
        // A phone never seen waits for the user, who is asked where the service is switched.
        if (bluetooth_->state() == BluetoothService::State::Asking && !connectWindow_.visible()) {
            showConnectWindow();
        } else if (connectWindow_.visible()) {
            connectWindow_.refresh();
        }
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

void Keypilot::onBluetoothPhoneGone() {
    bluetoothReader_.reset();
    bluetoothActingMs_ = 0;
    bluetoothContact_.forget();
    leftButton_.release();
    forgetTokens(*bluetoothAnswers_);
    bluetoothAnswers_->portClosed();
}

void Keypilot::volumeChanged() {
    answers_->volumeChanged();
    bluetoothAnswers_->volumeChanged();
}

LinkStatus Keypilot::bluetoothLinkStatus() const {
    switch (bluetooth_->state()) {
        case BluetoothService::State::Connected:
            return LinkStatus::Heard;
        case BluetoothService::State::Listening:
        case BluetoothService::State::Asking:
            return LinkStatus::Waiting;
        default:
            return LinkStatus::Closed;
    }
}

std::wstring Keypilot::statusHint(LinkStatus status) {
    const std::wstring& port = connection_.port().port();
    const LinkStatus com = comLinkStatus();
    const LinkStatus bluetooth = bluetoothLinkStatus();
    const bool serviceOn = bluetooth_->switchedOn();
    // The tip speaks of the way that shows the better state; with both as good, of the one the
    // phone was heard on last.
    const bool bluetoothShown =
        bluetooth > com || bluetooth_->state() == BluetoothService::State::Asking ||
        (bluetooth == com && bluetooth != LinkStatus::Closed &&
         bluetoothContact_.lastHeard() >= contact_.lastHeard() && bluetooth_->phone());
    if (bluetoothShown) {
        const auto& phone = bluetooth_->phone();
        if (bluetooth_->state() == BluetoothService::State::Connected && phone) {
            return portProblemHint(kBluetoothWay,
                                   framework::formatText(tr(kPhoneIn), {phoneTitle(*phone)}));
        }
        if (bluetooth_->state() == BluetoothService::State::Asking && phone) {
            return portProblemHint(kBluetoothWay,
                                   framework::formatText(tr(kPhoneAsks), {phoneTitle(*phone)}));
        }
        return portProblemHint(kBluetoothWay, tr(kWaitingForPhone));
    }
    // The COM port's way, and a service that is down said beside it.
    const std::wstring serviceDown =
        bluetooth_->state() == BluetoothService::State::Unavailable
            ? L"; " + std::wstring(kBluetoothWay) + L": " + bluetooth_->problem()
            : std::wstring();
    if (status == LinkStatus::Heard) {
        return serviceOn ? portProblemHint(port, tr(kHeardOnPort) + serviceDown)
                         : tr(kConnectedHint);
    }
    if (status == LinkStatus::Waiting) {
        return portProblemHint(port, tr(kWaitingForPhone) + serviceDown);
    }
    if (auto failure = connection_.failure()) {
        return portProblemHint(port, *failure + serviceDown);
    }
    if (!serviceDown.empty()) {
        return portProblemHint(kBluetoothWay, bluetooth_->problem());
    }
    return tr(SettingsWindow::kTitle);
}

}  // namespace app
