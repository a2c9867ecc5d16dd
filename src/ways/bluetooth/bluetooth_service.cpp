#include <winsock2.h>

#include "ways/bluetooth/bluetooth_service.h"

#include <dbt.h>

#include <array>
#include <utility>

#include "framework/exception.h"
#include "framework/scope_exit.h"
#include "framework/text.h"

namespace app {
namespace {

constexpr const wchar_t* kWindowClass = L"KeypilotBluetoothService";
// The listening socket's and the phone's socket news, a send's outcome (lParam: its
// SendOutcome), and a receive put off while a chunk was handled (wParam: the phone's generation).
constexpr UINT kListenerMessage = WM_APP + 1;
constexpr UINT kPhoneMessage = WM_APP + 2;
constexpr UINT kSentMessage = WM_APP + 3;
constexpr UINT kReadMessage = WM_APP + 4;
using phonelink::SendOutcome;
constexpr UINT_PTR kRetryTimer = 1;
constexpr UINT_PTR kWriteTimer = 2;
// As much as one receive takes: more than any message of the link.
constexpr int kReceiveSize = 4096;

}  // namespace

std::wstring bluetoothAddressText(std::uint64_t address) {
    static constexpr const wchar_t* kDigits = L"0123456789ABCDEF";
    std::wstring text;
    for (int byte = 5; byte >= 0; --byte) {
        const auto value = static_cast<unsigned>((address >> (byte * 8)) & 0xFF);
        text += kDigits[value >> 4];
        text += kDigits[value & 0xF];
        if (byte > 0) {
            text += L':';
        }
    }
    return text;
}

BluetoothService::BluetoothService(std::shared_ptr<BluetoothApi> api, UINT retryIntervalMs,
                                   UINT writeTimeoutMs)
    : api_(std::move(api)), retryIntervalMs_(retryIntervalMs), writeTimeoutMs_(writeTimeoutMs) {
    if (!framework::createOwnedMessageWindow(kWindowClass, *this)) {
        framework::raiseLastOSError();
    }
    radioNotices_.emplace(handle(), ports::kBluetoothRadioInterface);
}

BluetoothService::~BluetoothService() {
    // The owner is going too: it hears of nothing more.
    onChunk = nullptr;
    onEnded = nullptr;
    onChange = nullptr;
    onSent = nullptr;
    withdraw();
    if (started_) {
        api_->cleanup();
    }
}

bool BluetoothService::startup() {
    if (!started_) {
        const int error = api_->startup();
        if (error != 0) {
            problem_ = reasonOf(error);
            return false;
        }
        started_ = true;
    }
    return true;
}

void BluetoothService::switchOn() {
    if (state_ != State::Off) {
        return;
    }
    state_ = State::Unavailable;
    start();
}

void BluetoothService::switchOff() {
    if (state_ == State::Off) {
        return;
    }
    KillTimer(handle(), kRetryTimer);
    withdraw();
    state_ = State::Off;
    problem_.clear();
    changed();
}

void BluetoothService::probe() {
    if (state_ != State::Off) {
        return;
    }
    available_ = false;
    if (startup()) {
        const BluetoothSocket socket = api_->rfcommSocket();
        if (socket == kNoSocket) {
            problem_ = reasonOf(api_->lastError());
        } else {
            if (api_->bindAnyChannel(socket)) {
                available_ = true;
                problem_.clear();
            } else {
                problem_ = reasonOf(api_->lastError());
            }
            api_->close(socket);
        }
    }
    changed();
}

void BluetoothService::start() {
    KillTimer(handle(), kRetryTimer);
    if (!startup()) {
        down(problem_);
        return;
    }
    listener_ = api_->rfcommSocket();
    // Each step is one call; the first that fails names the reason, and the steps after it are
    // not taken.
    const bool made = listener_ != kNoSocket && api_->requireSecurity(listener_) &&
                      api_->bindAnyChannel(listener_) &&
                      api_->localEndpoint(listener_, endpoint_) &&
                      api_->selectMessages(listener_, handle(), kListenerMessage, FD_ACCEPT) &&
                      api_->listen(listener_) && api_->setServiceRecord(endpoint_, true);
    if (!made) {
        const int error = api_->lastError();
        withdraw();
        down(reasonOf(error));
        return;
    }
    published_ = true;
    state_ = State::Listening;
    problem_.clear();
    changed();
}

void BluetoothService::withdraw() {
    dropPhone(state_ == State::Connected);
    if (published_) {
        published_ = false;
        api_->setServiceRecord(endpoint_, false);
    }
    if (listener_ != kNoSocket) {
        api_->close(std::exchange(listener_, kNoSocket));
    }
}

void BluetoothService::down(const std::wstring& reason) {
    state_ = State::Unavailable;
    problem_ = reason;
    // One timer: a try made for another reason (a radio arriving) starts the wait afresh, so
    // tries never come closer together than this, save that one.
    SetTimer(handle(), kRetryTimer, retryIntervalMs_, nullptr);
    changed();
}

void BluetoothService::radioArrived() {
    if (state_ == State::Unavailable) {
        start();
    } else if (state_ == State::Off && available_ == false) {
        probe();
    }
}

void BluetoothService::radioLeft() {
    if (state_ == State::Listening || state_ == State::Asking || state_ == State::Connected) {
        withdraw();
        down(tr(kRadioOff));
    }
}

void BluetoothService::setPhones(std::set<std::uint64_t> allowed, std::set<std::uint64_t> refused) {
    allowed_ = std::move(allowed);
    refused_ = std::move(refused);
}

void BluetoothService::answer(bool allow) {
    if (state_ != State::Asking || !phone_) {
        return;
    }
    if (allow) {
        allowed_.insert(phone_->address);
        refused_.erase(phone_->address);
        letIn();
        return;
    }
    refused_.insert(phone_->address);
    allowed_.erase(phone_->address);
    dropPhone(false);
    state_ = State::Listening;
    changed();
}

void BluetoothService::onListenerEvent(int event, int error) {
    if (event != FD_ACCEPT) {
        return;
    }
    if (error != 0) {
        // The listening socket itself failed: the radio went, or the stack gave up on it.
        withdraw();
        down(reasonOf(error));
        return;
    }
    acceptPhone();
}

void BluetoothService::acceptPhone() {
    std::uint64_t address = 0;
    const BluetoothSocket socket = api_->accept(listener_, address);
    if (socket == kNoSocket) {
        const int error = api_->lastError();
        // A phone that gave up before it was taken, or news of one already taken: the service
        // goes on.
        if (error == WSAEWOULDBLOCK || error == WSAECONNRESET || error == WSAECONNABORTED) {
            return;
        }
        withdraw();
        down(reasonOf(error));
        return;
    }
    // One phone at a time, and only those the user has not refused.
    if (phoneSocket_ != kNoSocket || refused_.contains(address)) {
        api_->close(socket);
        return;
    }
    phoneSocket_ = socket;
    ++phoneGeneration_;
    phone_ = BluetoothPhone{address, api_->deviceName(address)};
    if (!api_->selectMessages(socket, handle(), kPhoneMessage, FD_READ | FD_WRITE | FD_CLOSE)) {
        dropPhone(false);
        return;
    }
    if (allowed_.contains(address)) {
        letIn();
        return;
    }
    state_ = State::Asking;
    changed();
}

void BluetoothService::letIn() {
    state_ = State::Connected;
    changed();
    // What it said while the user was asked: its reads were left for now.
    PostMessageW(handle(), kReadMessage, phoneGeneration_, 0);
}

void BluetoothService::onPhoneEvent(int event, int error) {
    if (event == FD_CLOSE) {
        // What it sent before it went still counts; the receives end with the close.
        phoneClosing_ = true;
        if (error != 0 && state_ == State::Connected) {
            dropPhone(true);
            state_ = State::Listening;
            changed();
            return;
        }
    }
    if (event == FD_WRITE) {
        writeSome();
        return;
    }
    if (state_ == State::Asking) {
        // Read once let in; a phone refused or gone while asked is simply let go.
        if (phoneClosing_) {
            dropPhone(false);
            state_ = State::Listening;
            changed();
        }
        return;
    }
    readPhone();
}

void BluetoothService::readPhone() {
    if (state_ != State::Connected) {
        return;
    }
    if (delivering_) {
        readWaiting_ = true;
        return;
    }
    std::array<char, kReceiveSize> buffer{};
    const int count = api_->receive(phoneSocket_, buffer.data(), kReceiveSize);
    const int error = count < 0 ? api_->lastError() : 0;
    if (count > 0) {
        const WPARAM generation = phoneGeneration_;
        delivering_ = true;
        readWaiting_ = false;
        {
            const framework::ScopeExit delivered([this] { delivering_ = false; });
            if (onChunk) {
                onChunk(std::string(buffer.data(), static_cast<std::size_t>(count)));
            }
        }
        // A close's receives go on until nothing is left; the system tells of more data itself.
        if (generation == phoneGeneration_ && state_ == State::Connected &&
            (readWaiting_ || phoneClosing_)) {
            PostMessageW(handle(), kReadMessage, generation, 0);
        }
        return;
    }
    if (count == 0 || error != WSAEWOULDBLOCK || phoneClosing_) {
        dropPhone(true);
        state_ = State::Listening;
        changed();
    }
}

void BluetoothService::dropPhone(bool wasIn) {
    if (phoneSocket_ == kNoSocket) {
        return;
    }
    api_->close(std::exchange(phoneSocket_, kNoSocket));
    ++phoneGeneration_;
    phone_.reset();
    phoneClosing_ = false;
    readWaiting_ = false;
    KillTimer(handle(), kWriteTimer);
    // The write under way, and the one waiting, end with the connection.
    if (!writing_.empty()) {
        tell(SendOutcome::Closed);
    }
    if (waiting_) {
        tell(SendOutcome::Closed);
    }
    writing_.clear();
    waiting_.reset();
    cut_ = false;
    if (wasIn && onEnded) {
        onEnded();
    }
}

void BluetoothService::send(std::string bytes) {
    if (state_ != State::Connected) {
        tell(SendOutcome::Failed);
        return;
    }
    if (!writing_.empty()) {
        if (waiting_) {
            tell(SendOutcome::Failed);
        }
        waiting_ = std::move(bytes);
        return;
    }
    startWrite(std::move(bytes));
}

void BluetoothService::startWrite(std::string bytes) {
    if (bytes.empty()) {
        // Nothing to write has gone at once.
        tell(SendOutcome::Written);
        return;
    }
    // A line cut short before ends where it stopped, as a line of its own.
    writing_ = cut_ ? "\n" + bytes : std::move(bytes);
    cut_ = false;
    SetTimer(handle(), kWriteTimer, writeTimeoutMs_, nullptr);
    writeSome();
}

void BluetoothService::writeSome() {
    // The socket says it can be written to at the start too, with no write under way.
    if (writing_.empty() || phoneSocket_ == kNoSocket) {
        return;
    }
    while (!writing_.empty()) {
        const int sent =
            api_->send(phoneSocket_, writing_.data(), static_cast<int>(writing_.size()));
        if (sent > 0) {
            writing_.erase(0, static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && api_->lastError() == WSAEWOULDBLOCK) {
            // FD_WRITE says when there is room again.
            return;
        }
        endWrite(SendOutcome::Failed);
        return;
    }
    KillTimer(handle(), kWriteTimer);
    tell(SendOutcome::Written);
    if (waiting_) {
        std::string next = std::move(*waiting_);
        waiting_.reset();
        startWrite(std::move(next));
    }
}

void BluetoothService::endWrite(SendOutcome outcome) {
    // The connection stays: the phone's presses may still be coming, and the talk that the
    // write belonged to ends with its outcome. Part of the line may have gone.
    KillTimer(handle(), kWriteTimer);
    writing_.clear();
    cut_ = true;
    tell(outcome);
    // What waited behind it waits no more: its sender, told of the failure, decides.
    if (waiting_) {
        waiting_.reset();
        tell(SendOutcome::Failed);
    }
}

void BluetoothService::tell(SendOutcome outcome) {
    PostMessageW(handle(), kSentMessage, 0, static_cast<LPARAM>(outcome));
}

WayCarrier::CarrierState BluetoothService::carrierState() const {
    switch (state_) {
        case State::Connected:
            return CarrierState::Phone;
        case State::Listening:
        case State::Asking:
            return CarrierState::Open;
        default:
            return CarrierState::Closed;
    }
}

std::optional<std::wstring> BluetoothService::stateText() const {
    if (state_ == State::Unavailable) {
        return problem_;
    }
    if (!phone_ || (state_ != State::Connected && state_ != State::Asking)) {
        return std::nullopt;
    }
    const std::wstring title =
        phone_->name.empty() ? bluetoothAddressText(phone_->address) : phone_->name;
    return framework::formatText(tr(state_ == State::Connected ? kPhoneIn : kPhoneAsks), {title});
}

void BluetoothService::changed() {
    if (onChange) {
        onChange();
    }
}

std::wstring BluetoothService::reasonOf(int error) const {
    switch (error) {
        case WSAEAFNOSUPPORT:
        case WSAEPROTONOSUPPORT:
        case WSAESOCKTNOSUPPORT:
        case WSAEPFNOSUPPORT:
        case WSAEPROTOTYPE:
            return tr(kNoSockets);
        case WSAENETDOWN:
        case WSAEADDRNOTAVAIL:
        case WSAENETUNREACH:
        case WSAEHOSTDOWN:
            return tr(kRadioOff);
        default:
            return framework::formatText(tr(kRefused), {std::to_wstring(error)});
    }
}

LRESULT BluetoothService::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case kListenerMessage:
            if (wParam == listener_ && listener_ != kNoSocket) {
                onListenerEvent(WSAGETSELECTEVENT(lParam), WSAGETSELECTERROR(lParam));
            }
            return 0;
        case kPhoneMessage:
            if (wParam == phoneSocket_ && phoneSocket_ != kNoSocket) {
                onPhoneEvent(WSAGETSELECTEVENT(lParam), WSAGETSELECTERROR(lParam));
            }
            return 0;
        case kReadMessage:
            if (wParam == phoneGeneration_) {
                readPhone();
            }
            return 0;
        case kSentMessage:
            if (onSent) {
                onSent(static_cast<SendOutcome>(lParam));
            }
            return 0;
        case WM_TIMER:
            if (wParam == kRetryTimer) {
                if (state_ == State::Unavailable) {
                    start();
                } else {
                    KillTimer(handle(), kRetryTimer);
                }
            } else if (wParam == kWriteTimer) {
                KillTimer(handle(), kWriteTimer);
                if (!writing_.empty()) {
                    endWrite(SendOutcome::GivenUp);
                }
            }
            return 0;
        case WM_DEVICECHANGE:
            if (const auto arrived = ports::bluetoothRadioChange(wParam, lParam)) {
                if (*arrived) {
                    radioArrived();
                } else {
                    radioLeft();
                }
            }
            return TRUE;
        default:
            break;
    }
    return DefWindowProcW(handle(), msg, wParam, lParam);
}

}  // namespace app
