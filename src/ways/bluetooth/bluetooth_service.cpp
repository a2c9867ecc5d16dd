#include <winsock2.h>

#include "ways/bluetooth/bluetooth_service.h"

#include <dbt.h>

#include <system_error>
#include <utility>

#include "framework/exception.h"
#include "framework/scope_exit.h"
#include "framework/text.h"

namespace app {
namespace {

constexpr const wchar_t* kWindowClass = L"KeypilotBluetoothService";
// A thread's report waits (wParam: the thread's id), and a send's outcome decided here (lParam:
// its SendOutcome).
constexpr UINT kReportMessage = WM_APP + 1;
constexpr UINT kSentMessage = WM_APP + 2;
using phonelink::SendOutcome;

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
                                   UINT writeTimeoutMs, UINT askTimeoutMs)
    : api_(std::move(api)), timings_{retryIntervalMs, writeTimeoutMs, askTimeoutMs} {
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
    if (running_) {
        running_->stop();
    }
    // The record goes before Keypilot does, unless the radio holds its calls for longer.
    const ULONGLONG deadline = GetTickCount64() + kStopWaitMs;
    const auto waitFor = [deadline](const std::unique_ptr<BluetoothThread>& thread) {
        const ULONGLONG now = GetTickCount64();
        if (thread) {
            WaitForSingleObject(thread->finished(),
                                now < deadline ? static_cast<DWORD>(deadline - now) : 0);
        }
    };
    waitFor(running_);
    waitFor(probing_);
    for (const auto& thread : stopping_) {
        waitFor(thread);
    }
}

std::unique_ptr<BluetoothThread> BluetoothService::startThread(BluetoothThread::Task task) {
    return std::make_unique<BluetoothThread>(task, api_, names_, timings_, allowed_, refused_,
                                             handle(), kReportMessage, ++threads_);
}

void BluetoothService::stopThread() {
    if (running_) {
        running_->stop();
        stopping_.push_back(std::move(running_));
    }
}

void BluetoothService::switchOn() {
    if (state_ != State::Off) {
        return;
    }
    start();
}

void BluetoothService::start() {
    try {
        running_ = startThread(BluetoothThread::Task::Serve);
    } catch (const std::system_error& e) {
        // Dropped: the service is down, saying why, and a radio's arrival or the switch tries
        // again.
        become(State::Unavailable, reasonOf(e.code().value()), std::nullopt, generation_);
        return;
    }
    become(State::Starting, {}, std::nullopt, generation_);
}

void BluetoothService::switchOff() {
    if (state_ == State::Off) {
        return;
    }
    stopThread();
    become(State::Off, {}, std::nullopt, generation_);
}

void BluetoothService::probe() {
    if (state_ != State::Off || probing_) {
        return;
    }
    try {
        probing_ = startThread(BluetoothThread::Task::Probe);
    } catch (const std::system_error&) {
        // Dropped: available() keeps what the last probe found, and the window's next showing
        // probes again.
    }
}

void BluetoothService::radioArrived() {
    if (running_) {
        running_->radioArrived();
    } else if (state_ == State::Unavailable) {
        // Its thread could not start, or ended on its own.
        start();
    } else if (state_ == State::Off && available_ == false) {
        probe();
    }
}

void BluetoothService::radioLeft() {
    if (running_) {
        running_->radioLeft();
    }
}

void BluetoothService::setPhones(std::set<std::uint64_t> allowed, std::set<std::uint64_t> refused) {
    allowed_ = std::move(allowed);
    refused_ = std::move(refused);
    if (running_) {
        running_->setPhones(allowed_, refused_);
    }
}

void BluetoothService::answer(bool allow) {
    if (state_ != State::Asking || !phone_ || !running_) {
        return;
    }
    (allow ? allowed_ : refused_).insert(phone_->address);
    (allow ? refused_ : allowed_).erase(phone_->address);
    running_->answer(++answers_, generation_, allow);
    // Shown at once; the thread's word follows, and says otherwise if the phone has gone.
    if (allow) {
        become(State::Connected, {}, phone_, generation_);
    } else {
        become(State::Listening, {}, std::nullopt, generation_);
    }
}

void BluetoothService::send(std::string bytes) {
    if (state_ != State::Connected || !running_) {
        tell(SendOutcome::Failed);
        return;
    }
    running_->send(generation_, std::move(bytes));
}

void BluetoothService::tell(SendOutcome outcome) {
    PostMessageW(handle(), kSentMessage, 0, static_cast<LPARAM>(outcome));
}

BluetoothThread* BluetoothService::threadOf(WPARAM id) {
    if (running_ && running_->id() == id) {
        return running_.get();
    }
    if (probing_ && probing_->id() == id) {
        return probing_.get();
    }
    for (const auto& thread : stopping_) {
        if (thread->id() == id) {
            return thread.get();
        }
    }
    return nullptr;
}

void BluetoothService::takeReports(WPARAM id) {
    // Each report has its message; an earlier message may have taken this one's, and a report
    // that raises leaves the rest to theirs.
    while (BluetoothThread* thread = threadOf(id)) {
        std::optional<BluetoothReport> report = thread->take();
        if (!report) {
            return;
        }
        apply(*thread, *report);
    }
}

void BluetoothService::apply(BluetoothThread& thread, BluetoothReport& report) {
    const bool running = &thread == running_.get();
    switch (report.kind) {
        case BluetoothReport::Kind::Sent:
            if (onSent) {
                onSent(report.outcome);
            }
            break;
        case BluetoothReport::Kind::Chunk:
            deliver(thread.id(), report);
            break;
        case BluetoothReport::Kind::State:
            // A stopped thread's word is old, and so is one from before the user's last answer.
            if (running && report.acknowledged >= answers_) {
                become(report.state,
                       report.state == State::Unavailable ? reasonOf(report.error) : L"",
                       std::move(report.phone), report.generation);
            }
            break;
        case BluetoothReport::Kind::Probed:
            available_ = report.error == 0;
            if (state_ == State::Off) {
                problem_ = report.error == 0 ? L"" : reasonOf(report.error);
            }
            changed();
            break;
        case BluetoothReport::Kind::Finished:
            finished(thread.id(), report.error);
            break;
    }
}

void BluetoothService::deliver(WPARAM id, const BluetoothReport& report) {
    // However the chunk's handling ends, the phone is read on: nothing else would read it.
    const framework::ScopeExit handled([this, id, number = report.number] {
        if (BluetoothThread* thread = threadOf(id)) {
            thread->chunkHandled(number);
        }
    });
    if (running_ && running_->id() == id && state_ == State::Connected &&
        report.generation == generation_ && onChunk) {
        onChunk(report.bytes);
    }
}

void BluetoothService::finished(WPARAM id, int error) {
    if (running_ && running_->id() == id) {
        // It ended before it was stopped (no window of its own, or no memory): the service is
        // down, saying why, and a radio's arrival or the switch tries again.
        running_.reset();
        become(State::Unavailable, reasonOf(error), std::nullopt, generation_);
    } else if (probing_ && probing_->id() == id) {
        probing_.reset();
    } else {
        std::erase_if(stopping_, [id](const auto& thread) { return thread->id() == id; });
    }
}

void BluetoothService::become(State state, std::wstring problem,
                              std::optional<BluetoothPhone> phone, std::uint64_t generation) {
    const bool gone =
        state_ == State::Connected && (state != State::Connected || generation != generation_);
    state_ = state;
    problem_ = std::move(problem);
    phone_ = std::move(phone);
    generation_ = generation;
    if (gone && onEnded) {
        onEnded();
    }
    changed();
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
        case kReportMessage:
            takeReports(wParam);
            return 0;
        case kSentMessage:
            if (onSent) {
                onSent(static_cast<SendOutcome>(lParam));
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
