#include "ways/com/port_writer.h"

#include <mutex>
#include <optional>
#include <utility>

#include "framework/background_call.h"
#include "framework/exception.h"
#include "serial/comm_api.h"

namespace app {
namespace {

constexpr UINT kWriteEndedMessage = WM_APP + 1;
constexpr const wchar_t* kWindowClass = L"KeypilotPortWriter";
using phonelink::SendOutcome;

}  // namespace

// The writer thread of one open port, and what it shares with the main thread. The thread holds
// the session until it ends, and the session its share of the device.
class PortWriter::Session : public std::enable_shared_from_this<Session> {
  public:
    Session(std::shared_ptr<serial::CommApi> api, std::shared_ptr<serial::PortDevice> device,
            HWND window)
        : api_(std::move(api)),
          device_(std::move(device)),
          window_(window),
          wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
          stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          record_(std::make_unique<WriteRecord>()) {
        record_->event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!wake_ || !stop_ || !record_->event) {
            framework::raiseLastOSError();
        }
    }
    ~Session() {
        // Bytes that never started end with the port too.
        if (waiting_) {
            tell(SendOutcome::Closed);
        }
        if (!HasOverlappedIoCompleted(&record_->overlapped)) {
            // The driver kept a write it was asked to cancel: the record and its bytes stay for
            // good rather than be freed under a driver that may still complete it.
            static_cast<void>(record_.release());
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Raises std::system_error when no thread can be started.
    void start() {
        framework::startThread([self = shared_from_this()] { self->run(); });
    }
    void stop() { SetEvent(stop_.get()); }

    void send(std::string bytes) {
        bool replaced = false;
        {
            std::lock_guard guard(lock_);
            replaced = waiting_.has_value();
            waiting_ = std::move(bytes);
        }
        if (replaced) {
            tell(SendOutcome::Failed);
        }
        SetEvent(wake_.get());
    }

    std::size_t heldBytes() const {
        std::lock_guard guard(lock_);
        return underWay_ + (waiting_ ? waiting_->size() : 0);
    }

  private:
    void tell(SendOutcome outcome) const {
        PostMessageW(window_, kWriteEndedMessage, 0, static_cast<LPARAM>(outcome));
    }

    // What the driver holds while a write is under way.
    struct WriteRecord {
        framework::KernelHandle event;
        OVERLAPPED overlapped{};
        std::string bytes;
    };

    void run() {
        const HANDLE idle[] = {stop_.get(), wake_.get()};
        while (WaitForMultipleObjects(2, idle, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
            std::optional<std::string> bytes;
            {
                std::lock_guard guard(lock_);
                bytes = std::exchange(waiting_, std::nullopt);
                underWay_ = bytes ? bytes->size() : 0;
            }
            if (!bytes) {
                continue;
            }
            SendOutcome outcome = SendOutcome::Failed;
            try {
                outcome = write(std::move(*bytes));
            } catch (...) {
                // The thread's boundary: a write that raised has failed, like one the driver
                // refused.
            }
            bool dropped = false;
            {
                std::lock_guard guard(lock_);
                underWay_ = 0;
                // Whatever waited behind a write that did not go waits no more: the owner, told
                // of the failure, decides whether anything is sent again.
                if (outcome != SendOutcome::Written) {
                    dropped = waiting_.has_value();
                    waiting_.reset();
                }
            }
            tell(outcome);
            if (dropped) {
                tell(outcome == SendOutcome::Closed ? SendOutcome::Closed : SendOutcome::Failed);
            }
            if (outcome == SendOutcome::Closed) {
                return;
            }
            // Part of it may have gone: the next write ends that part's line first.
            cut_ = outcome != SendOutcome::Written;
        }
    }

    bool stopping() const { return WaitForSingleObject(stop_.get(), 0) == WAIT_OBJECT_0; }

    // A write that fails once the port's close has begun was ended by the close (its purge, say).
    SendOutcome write(std::string bytes) {
        const SendOutcome outcome = writeOnce(std::move(bytes));
        return outcome == SendOutcome::Failed && stopping() ? SendOutcome::Closed : outcome;
    }

    SendOutcome writeOnce(std::string bytes) {
        WriteRecord& record = *record_;
        // A write the driver kept after its cancel still owns the record: nothing more goes to
        // the device until the driver lets go of it.
        if (!HasOverlappedIoCompleted(&record.overlapped)) {
            return SendOutcome::Failed;
        }
        record.bytes = cut_ ? "\n" + bytes : std::move(bytes);
        record.overlapped = OVERLAPPED{};
        record.overlapped.hEvent = record.event.get();
        const auto size = static_cast<DWORD>(record.bytes.size());
        DWORD written = 0;
        if (api_->writeFile(device_->get(), record.bytes.data(), size, &written,
                            &record.overlapped)) {
            return written == size ? SendOutcome::Written : SendOutcome::Failed;
        }
        if (GetLastError() != ERROR_IO_PENDING) {
            return SendOutcome::Failed;
        }
        const HANDLE ends[] = {record.event.get(), stop_.get()};
        const DWORD end =
            WaitForMultipleObjects(2, ends, FALSE, static_cast<DWORD>(phonelink::kWriteTimeoutMs));
        if (end == WAIT_OBJECT_0) {
            const bool done =
                api_->getOverlappedResult(device_->get(), &record.overlapped, &written, FALSE) &&
                written == size;
            return done ? SendOutcome::Written : SendOutcome::Failed;
        }
        // Given up, or the port is closing: the driver is asked to end the write, and given a
        // moment to, since it owns the record until it does.
        api_->cancelIoEx(device_->get(), &record.overlapped);
        WaitForSingleObject(record.event.get(), kCancelWaitMs);
        return end == WAIT_OBJECT_0 + 1 ? SendOutcome::Closed : SendOutcome::GivenUp;
    }

    std::shared_ptr<serial::CommApi> api_;
    std::shared_ptr<serial::PortDevice> device_;
    HWND window_;
    framework::KernelHandle wake_;
    framework::KernelHandle stop_;
    mutable std::mutex lock_;
    // The latest bytes sent and not yet started.
    std::optional<std::string> waiting_;
    std::size_t underWay_ = 0;
    std::unique_ptr<WriteRecord> record_;
    // The last write did not all go (writer thread only).
    bool cut_ = false;
};

PortWriter::PortWriter() {
    if (!framework::createOwnedMessageWindow(kWindowClass, *this)) {
        framework::raiseLastOSError();
    }
}

PortWriter::~PortWriter() {
    stop();
}

void PortWriter::start(std::shared_ptr<serial::CommApi> api,
                       std::shared_ptr<serial::PortDevice> device) noexcept {
    stop();
    try {
        auto session = std::make_shared<Session>(std::move(api), std::move(device), window_.get());
        session->start();
        session_ = std::move(session);
    } catch (const std::exception&) {
        // Dropped: with no writer every send is reported as failed, so the phone is not talked to
        // until the port opens again.
    }
}

void PortWriter::stop() noexcept {
    if (session_) {
        std::exchange(session_, nullptr)->stop();
    }
}

void PortWriter::send(std::string bytes) {
    if (!session_) {
        // Told as a write's outcome is, on a later turn of the message loop, so that the sender
        // never hears of it in the middle of its own send.
        PostMessageW(window_.get(), kWriteEndedMessage, 0,
                     static_cast<LPARAM>(SendOutcome::Failed));
        return;
    }
    session_->send(std::move(bytes));
}

std::size_t PortWriter::heldBytes() const {
    return session_ ? session_->heldBytes() : 0;
}

LRESULT PortWriter::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kWriteEndedMessage) {
        if (onSent) {
            onSent(static_cast<SendOutcome>(lParam));
        }
        return 0;
    }
    return DefWindowProcW(window_.get(), msg, wParam, lParam);
}

}  // namespace app
