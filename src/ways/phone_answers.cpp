#include "ways/phone_answers.h"

#include <string>
#include <string_view>
#include <utility>

#include "framework/exception.h"
#include "framework/hidden_window.h"
#include "i18n/ui_text.h"
#include "settings/pc_name.h"
#include "ways/link_status.h"

namespace app {
namespace {

constexpr const wchar_t* kWindowClass = L"KeypilotPhoneAnswers";
constexpr UINT_PTR kUpdateTimerId = 1;
// Core Audio's notice, handed over from its own thread.
constexpr UINT kVolumeNoticeMessage = WM_APP + 1;

}  // namespace

phonelink::TextLanguage ownTextLanguage() {
    // The texts are written in Russian; any catalogue in use gives them in English.
    const wchar_t* sample = kWaitingForPhone;
    return tr(sample) == sample ? phonelink::TextLanguage::Russian
                                : phonelink::TextLanguage::English;
}

PhoneAnswers::PhoneAnswers(const phonelink::PhoneContact& contact, phonelink::Carrier& carrier,
                           mixer::AudioMixer& mixer, std::function<std::uint64_t()> now,
                           EndpointOpener openEndpoint)
    : carrier_(carrier),
      mixer_(mixer),
      openEndpoint_(std::move(openEndpoint)),
      talk_(contact, carrier, std::move(now)) {
    if (!framework::createOwnedMessageWindow(kWindowClass, *this)) {
        framework::raiseLastOSError();
    }
    carrier_.onSent = [this](bool ok) { talk_.sent(ok); };
}

PhoneAnswers::~PhoneAnswers() {
    carrier_.onSent = nullptr;
    watched_.reset();
    KillTimer(window_.get(), kUpdateTimerId);
}

LRESULT PhoneAnswers::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_TIMER && wParam == kUpdateTimerId) {
        onUpdateTimer();
        return 0;
    }
    if (msg == kVolumeNoticeMessage) {
        volumeChanged();
        return 0;
    }
    return DefWindowProcW(window_.get(), msg, wParam, lParam);
}

void PhoneAnswers::hello() {
    const std::wstring name = pcName();
    talk_.hello(phonelink::encodeHelloAnswer(
        std::u16string_view(reinterpret_cast<const char16_t*>(name.data()), name.size()),
        ownTextLanguage(), readMasterVolume(mixer_, openEndpoint_)));
    if (!watched_ && openEndpoint_ && talk_.talking()) {
        watched_ = openEndpoint_();
        HWND window = window_.get();
        if (watched_ &&
            !watched_->watch([window] { PostMessageW(window, kVolumeNoticeMessage, 0, 0); })) {
            watched_.reset();
        }
    }
}

void PhoneAnswers::volumeChanged() {
    check();
    if (!talk_.talking()) {
        return;
    }
    if (updating_) {
        changed_ = true;
        return;
    }
    sendState();
    updating_ = SetTimer(window_.get(), kUpdateTimerId, kUpdateIntervalMs, nullptr) != 0;
}

void PhoneAnswers::onUpdateTimer() {
    if (changed_) {
        changed_ = false;
        sendState();
        return;
    }
    KillTimer(window_.get(), kUpdateTimerId);
    updating_ = false;
}

void PhoneAnswers::sendState() {
    talk_.volumeState(phonelink::encodeVolumeState(readMasterVolume(mixer_, openEndpoint_)));
}

void PhoneAnswers::check() {
    talk_.check();
    if (!talk_.talking()) {
        quiet();
    }
}

void PhoneAnswers::portClosed() {
    talk_.stop();
    quiet();
}

void PhoneAnswers::quiet() {
    KillTimer(window_.get(), kUpdateTimerId);
    updating_ = false;
    changed_ = false;
    watched_.reset();
}

}  // namespace app
