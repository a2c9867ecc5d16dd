#include <winsock2.h>

#include "ways/bluetooth/bluetooth_worker.h"

#include <array>
#include <deque>
#include <utility>

#include "framework/hidden_window.h"

namespace app {
namespace {

constexpr const wchar_t* kWindowClass = L"KeypilotBluetoothThread";
// The listening socket's news, and a phone's: one message for each of kPhoneMessages phones in
// turn, so that news of a socket closed before and still queued is never taken for news of a
// socket the system has given the same number since.
constexpr UINT kListenerMessage = WM_APP + 1;
constexpr UINT kPhoneMessage = WM_APP + 16;
constexpr UINT kPhoneMessages = 64;
constexpr UINT_PTR kRetryTimer = 1;
constexpr UINT_PTR kWriteTimer = 2;
constexpr UINT_PTR kAskTimer = 3;
// As much as one receive takes: more than any message of the link.
constexpr int kReceiveSize = 4096;
// Receives at most that drop what a phone sent while the user was asked.
constexpr int kDiscardReceives = 16;
using phonelink::SendOutcome;

}  // namespace

BluetoothWorker::BluetoothWorker(BluetoothChannel& channel, BluetoothApi& api,
                                 BluetoothNames& names, BluetoothTimings timings,
                                 std::set<std::uint64_t> allowed, std::set<std::uint64_t> refused)
    : channel_(channel),
      api_(api),
      names_(names),
      timings_(timings),
      allowed_(std::move(allowed)),
      refused_(std::move(refused)) {}

BluetoothWorker::~BluetoothWorker() {
    release();
    if (window_) {
        SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
    }
}

int BluetoothWorker::run(BluetoothThread::Task task) {
    if (task == BluetoothThread::Task::Probe) {
        probe();
        return 0;
    }
    if (!framework::registerWindowClass(kWindowClass, &procedure)) {
        return static_cast<int>(GetLastError());
    }
    window_.reset(CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), this));
    if (!window_) {
        return static_cast<int>(GetLastError());
    }
    start();
    const HANDLE wake = channel_.wake.get();
    while (!stopped_ && !failed_) {
        if (MsgWaitForMultipleObjectsEx(1, &wake, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE) ==
            WAIT_FAILED) {
            return static_cast<int>(GetLastError());
        }
        serve();
        MSG msg;
        while (!stopped_ && !failed_ && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            // The UI's requests made before this news are served before it.
            serve();
            if (!stopped_) {
                DispatchMessageW(&msg);
            }
        }
    }
    return failed_ ? ERROR_NOT_ENOUGH_MEMORY : 0;
}

LRESULT CALLBACK BluetoothWorker::procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* worker = reinterpret_cast<BluetoothWorker*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!worker || msg == WM_NCDESTROY) {
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    try {
        return worker->handleMessage(hwnd, msg, wParam, lParam);
    } catch (...) {
        // The thread's boundary: only memory can run out in the service's own code. The
        // thread ends, letting go of everything, and the UI thread shows the service down.
        worker->failed_ = true;
        return 0;
    }
}

LRESULT BluetoothWorker::handleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kListenerMessage) {
        if (listener_ != kNoSocket && wParam == listener_) {
            onListenerEvent(WSAGETSELECTEVENT(lParam), WSAGETSELECTERROR(lParam));
        }
        return 0;
    }
    if (msg >= kPhoneMessage && msg < kPhoneMessage + kPhoneMessages) {
        if (msg == phoneMessage() && phone_ != kNoSocket && wParam == phone_) {
            onPhoneEvent(WSAGETSELECTEVENT(lParam), WSAGETSELECTERROR(lParam));
        }
        return 0;
    }
    if (msg == WM_TIMER) {
        onTimer(wParam);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

UINT BluetoothWorker::phoneMessage() const {
    return kPhoneMessage + static_cast<UINT>(generation_ % kPhoneMessages);
}

void BluetoothWorker::serve() {
    if (chunkOut_ != 0 && channel_.handled.load() >= chunkOut_) {
        chunkOut_ = 0;
        if (readPending_ || closing_) {
            readPhone();
        }
    }
    std::deque<BluetoothRequest> requests;
    bool stop = false;
    {
        std::lock_guard guard(channel_.lock);
        requests.swap(channel_.requests);
        stop = channel_.stopAsked;
    }
    for (BluetoothRequest& request : requests) {
        serve(request);
    }
    if (stop && !stopped_) {
        stopped_ = true;
        KillTimer(window_.get(), kRetryTimer);
        withdraw();
    }
}

void BluetoothWorker::serve(BluetoothRequest& request) {
    switch (request.kind) {
        case BluetoothRequest::Kind::Phones:
            allowed_ = std::move(request.allowed);
            refused_ = std::move(request.refused);
            break;
        case BluetoothRequest::Kind::Answer:
            acknowledged_ = request.number;
            answer(request.generation, request.allow);
            break;
        case BluetoothRequest::Kind::RadioArrived:
            if (state_ == BluetoothState::Unavailable) {
                start();
            }
            break;
        case BluetoothRequest::Kind::RadioLeft:
            // The record and the phone went with the radio.
            if (state_ == BluetoothState::Listening || state_ == BluetoothState::Asking ||
                state_ == BluetoothState::Connected) {
                withdraw();
                down(WSAENETDOWN);
            }
            break;
        case BluetoothRequest::Kind::Send:
            send(request.generation, std::move(request.bytes));
            break;
    }
}

void BluetoothWorker::start() {
    KillTimer(window_.get(), kRetryTimer);
    if (!started_) {
        const int error = api_.startup();
        if (error != 0) {
            down(error);
            return;
        }
        started_ = true;
    }
    listener_ = api_.rfcommSocket();
    // Each step is one call; the first that fails names the reason, and the steps after it
    // are not taken.
    const bool made = listener_ != kNoSocket && api_.requireSecurity(listener_) &&
                      api_.bindAnyChannel(listener_) && api_.localEndpoint(listener_, endpoint_) &&
                      api_.selectMessages(listener_, window_.get(), kListenerMessage, FD_ACCEPT) &&
                      api_.listen(listener_) && api_.setServiceRecord(endpoint_, true);
    if (!made) {
        const int error = api_.lastError();
        withdraw();
        down(error);
        return;
    }
    published_ = true;
    state_ = BluetoothState::Listening;
    error_ = 0;
    tell();
}

void BluetoothWorker::probe() {
    int error = api_.startup();
    if (error == 0) {
        const BluetoothSocket socket = api_.rfcommSocket();
        if (socket == kNoSocket) {
            error = api_.lastError();
        } else {
            if (!api_.bindAnyChannel(socket)) {
                error = api_.lastError();
            }
            api_.close(socket);
        }
        api_.cleanup();
    }
    BluetoothReport report;
    report.kind = BluetoothReport::Kind::Probed;
    report.error = error;
    channel_.report(std::move(report));
}

void BluetoothWorker::withdraw() {
    dropPhone();
    if (published_) {
        published_ = false;
        if (!api_.setServiceRecord(endpoint_, false)) {
            // Dropped: another try would be refused the same way, the listening socket
            // closes next, so a phone that still finds the record is refused, and the system
            // removes the record when Keypilot ends.
        }
    }
    if (listener_ != kNoSocket) {
        api_.close(std::exchange(listener_, kNoSocket));
    }
}

void BluetoothWorker::release() {
    if (phone_ != kNoSocket) {
        api_.close(std::exchange(phone_, kNoSocket));
    }
    if (published_) {
        published_ = false;
        if (!api_.setServiceRecord(endpoint_, false)) {
            // Dropped: as in withdraw(), the system removes it when Keypilot ends.
        }
    }
    if (listener_ != kNoSocket) {
        api_.close(std::exchange(listener_, kNoSocket));
    }
    if (started_) {
        started_ = false;
        api_.cleanup();
    }
}

void BluetoothWorker::down(int error) {
    state_ = BluetoothState::Unavailable;
    error_ = error;
    // One timer: a try made for another reason (a radio arriving) starts the wait afresh,
    // so tries never come closer together than this, save that one.
    SetTimer(window_.get(), kRetryTimer, timings_.retryIntervalMs, nullptr);
    tell();
}

void BluetoothWorker::onListenerEvent(int event, int error) {
    if (event != FD_ACCEPT) {
        return;
    }
    if (error != 0) {
        // The listening socket itself failed: the radio went, or the stack gave up on it.
        withdraw();
        down(error);
        return;
    }
    acceptPhone();
}

void BluetoothWorker::acceptPhone() {
    std::uint64_t address = 0;
    const BluetoothSocket socket = api_.accept(listener_, address);
    if (socket == kNoSocket) {
        const int error = api_.lastError();
        // A phone that gave up before it was taken, or news of one already taken: the
        // service goes on.
        if (error == WSAEWOULDBLOCK || error == WSAECONNRESET || error == WSAECONNABORTED) {
            return;
        }
        withdraw();
        down(error);
        return;
    }
    // One phone at a time, and only those the user has not refused; a phone only asked
    // about gives its place to one the user allowed.
    const bool replaces = state_ == BluetoothState::Asking && allowed_.contains(address);
    if (refused_.contains(address) || (phone_ != kNoSocket && !replaces)) {
        api_.close(socket);
        return;
    }
    dropPhone();
    phone_ = socket;
    ++generation_;
    who_ = BluetoothPhone{address, names_.name(api_, address)};
    if (!api_.selectMessages(socket, window_.get(), phoneMessage(),
                             FD_READ | FD_WRITE | FD_CLOSE)) {
        lose();
        return;
    }
    if (allowed_.contains(address)) {
        letIn();
        return;
    }
    state_ = BluetoothState::Asking;
    SetTimer(window_.get(), kAskTimer, timings_.askTimeoutMs, nullptr);
    tell();
}

void BluetoothWorker::answer(std::uint64_t generation, bool allow) {
    if (state_ != BluetoothState::Asking || generation != generation_ || !who_) {
        // The phone asked about has gone meanwhile: the UI hears how things stand.
        tell();
        return;
    }
    (allow ? allowed_ : refused_).insert(who_->address);
    (allow ? refused_ : allowed_).erase(who_->address);
    if (!allow) {
        lose();
        return;
    }
    // What it sent while the user was asked is dropped: only what it says once let in acts.
    std::array<char, kReceiveSize> buffer{};
    for (int i = 0; i < kDiscardReceives; ++i) {
        if (api_.receive(phone_, buffer.data(), kReceiveSize) <= 0) {
            break;
        }
    }
    letIn();
}

void BluetoothWorker::letIn() {
    KillTimer(window_.get(), kAskTimer);
    state_ = BluetoothState::Connected;
    tell();
}

void BluetoothWorker::onPhoneEvent(int event, int error) {
    if (event == FD_WRITE) {
        writeSome();
        return;
    }
    if (event == FD_CLOSE) {
        // What it sent before it went still counts; the receives end with the close.
        closing_ = true;
        if (error != 0 || state_ == BluetoothState::Asking) {
            lose();
            return;
        }
    }
    if (state_ == BluetoothState::Asking) {
        // Read and dropped: left unread, its bytes would keep its close from being told.
        std::array<char, kReceiveSize> buffer{};
        const int count = api_.receive(phone_, buffer.data(), kReceiveSize);
        if (count == 0 || (count < 0 && api_.lastError() != WSAEWOULDBLOCK)) {
            lose();
        }
        return;
    }
    readPhone();
}

void BluetoothWorker::readPhone() {
    if (state_ != BluetoothState::Connected) {
        return;
    }
    if (chunkOut_ != 0) {
        // Winsock tells of more only after the next receive: it is made once the chunk out
        // has been handled.
        readPending_ = true;
        return;
    }
    readPending_ = false;
    std::string buffer(static_cast<std::size_t>(kReceiveSize), '\0');
    const int count = api_.receive(phone_, buffer.data(), kReceiveSize);
    const int error = count < 0 ? api_.lastError() : 0;
    if (count > 0) {
        buffer.resize(static_cast<std::size_t>(count));
        chunkOut_ = ++chunks_;
        BluetoothReport report;
        report.kind = BluetoothReport::Kind::Chunk;
        report.generation = generation_;
        report.bytes = std::move(buffer);
        report.number = chunkOut_;
        channel_.report(std::move(report));
        return;
    }
    if (count == 0 || error != WSAEWOULDBLOCK || closing_) {
        lose();
    }
}

void BluetoothWorker::lose() {
    dropPhone();
    state_ = BluetoothState::Listening;
    tell();
}

void BluetoothWorker::dropPhone() {
    if (phone_ == kNoSocket) {
        return;
    }
    api_.close(std::exchange(phone_, kNoSocket));
    who_.reset();
    closing_ = false;
    readPending_ = false;
    chunkOut_ = 0;
    KillTimer(window_.get(), kWriteTimer);
    KillTimer(window_.get(), kAskTimer);
    // The write under way, and the one waiting, end with the connection.
    if (!writing_.empty()) {
        sent(SendOutcome::Closed);
    }
    if (waiting_) {
        sent(SendOutcome::Closed);
    }
    writing_.clear();
    waiting_.reset();
    cut_ = false;
}

void BluetoothWorker::send(std::uint64_t generation, std::string bytes) {
    if (state_ != BluetoothState::Connected || generation != generation_) {
        // The phone it was meant for has gone.
        sent(SendOutcome::Closed);
        return;
    }
    if (!writing_.empty()) {
        if (waiting_) {
            sent(SendOutcome::Failed);
        }
        waiting_ = std::move(bytes);
        return;
    }
    startWrite(std::move(bytes));
}

void BluetoothWorker::startWrite(std::string bytes) {
    if (bytes.empty()) {
        // Nothing to write has gone at once.
        sent(SendOutcome::Written);
        return;
    }
    // A line cut short before ends where it stopped, as a line of its own.
    writing_ = cut_ ? "\n" + bytes : std::move(bytes);
    cut_ = false;
    SetTimer(window_.get(), kWriteTimer, timings_.writeTimeoutMs, nullptr);
    writeSome();
}

void BluetoothWorker::writeSome() {
    // The socket says it can be written to at the start too, with no write under way.
    if (writing_.empty() || phone_ == kNoSocket) {
        return;
    }
    while (!writing_.empty()) {
        const int count = api_.send(phone_, writing_.data(), static_cast<int>(writing_.size()));
        if (count > 0) {
            writing_.erase(0, static_cast<std::size_t>(count));
            continue;
        }
        if (count < 0 && api_.lastError() == WSAEWOULDBLOCK) {
            // FD_WRITE says when there is room again.
            return;
        }
        endWrite(SendOutcome::Failed);
        return;
    }
    KillTimer(window_.get(), kWriteTimer);
    sent(SendOutcome::Written);
    if (waiting_) {
        std::string next = std::move(*waiting_);
        waiting_.reset();
        startWrite(std::move(next));
    }
}

void BluetoothWorker::endWrite(SendOutcome outcome) {
    // The connection stays: the phone's presses may still be coming, and the talk that the
    // write belonged to ends with its outcome. Part of the line may have gone.
    KillTimer(window_.get(), kWriteTimer);
    writing_.clear();
    cut_ = true;
    sent(outcome);
    // What waited behind it waits no more: its sender, told of the failure, decides.
    if (waiting_) {
        waiting_.reset();
        sent(SendOutcome::Failed);
    }
}

void BluetoothWorker::onTimer(WPARAM timer) {
    KillTimer(window_.get(), timer);
    if (timer == kRetryTimer && state_ == BluetoothState::Unavailable) {
        start();
    } else if (timer == kWriteTimer && !writing_.empty()) {
        endWrite(SendOutcome::GivenUp);
    } else if (timer == kAskTimer && state_ == BluetoothState::Asking) {
        // No answer: the phone is let go, and asked about again the next time.
        lose();
    }
}

void BluetoothWorker::tell() {
    BluetoothReport report;
    report.state = state_;
    report.error = state_ == BluetoothState::Unavailable ? error_ : 0;
    report.phone = who_;
    report.generation = generation_;
    report.acknowledged = acknowledged_;
    channel_.report(std::move(report));
}

void BluetoothWorker::sent(SendOutcome outcome) {
    BluetoothReport report;
    report.kind = BluetoothReport::Kind::Sent;
    report.outcome = outcome;
    channel_.report(std::move(report));
}

}  // namespace app
