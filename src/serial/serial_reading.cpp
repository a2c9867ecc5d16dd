#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "serial/comm_api.h"
#include "serial/serial_port.h"

namespace serial {
namespace {

// How long the main thread waits for a read it has asked the driver to cancel. A driver that
// honours the cancel ends the read at once; one that does not must not hold the program.
constexpr DWORD kCancelWaitMs = 1000;

// The transfer of one blocking read (readText, readBytes). It takes the port's spare event and
// gives it back once the read is over, so that a read costs no event of its own. Reusing it is
// safe: ReadFile resets a transfer's event when the read starts, and only an event whose read
// has ended goes back.
class BlockingRead {
  public:
    BlockingRead(SerialPort& port, framework::SpareEvent& spare) : port_(port), spare_(spare) {
        framework::KernelHandle event = spare.take();
        if (!event) {
            port.createTransfer(transfer_);
            return;
        }
        transfer_ = std::make_unique<SerialTransfer>();
        transfer_->event = std::move(event);
        transfer_->overlapped.hEvent = transfer_->event.get();
    }
    ~BlockingRead() {
        if (!transfer_->held && HasOverlappedIoCompleted(&transfer_->overlapped)) {
            spare_.give(std::move(transfer_->event));
        }
        port_.disposeTransfer(transfer_);
    }
    BlockingRead(const BlockingRead&) = delete;
    BlockingRead& operator=(const BlockingRead&) = delete;
    SerialTransfer* get() const { return transfer_.get(); }

  private:
    SerialPort& port_;
    framework::SpareEvent& spare_;
    SerialTransferPtr transfer_;
};

}  // namespace

void SerialPort::createTransfer(SerialTransferPtr& transfer) {
    auto t = std::make_unique<SerialTransfer>();
    // Signalled from the start: finishing a transfer that never started returns at once.
    t->event.reset(CreateEventW(nullptr, TRUE, TRUE, nullptr));
    if (!t->event) {
        framework::raiseLastOSError();
    }
    t->overlapped.hEvent = t->event.get();
    transfer = std::move(t);
}

void SerialPort::disposeTransfer(SerialTransferPtr& transfer) {
    if (!transfer) {
        return;
    }
    // The driver writes into the record and its buffer until the read has ended.
    if (!HasOverlappedIoCompleted(&transfer->overlapped) && !transfer->held) {
        if (device_) {
            api_->cancelIoEx(handle(), &transfer->overlapped);
        }
        WaitForSingleObject(transfer->event.get(), kCancelWaitMs);
    }
    if (!HasOverlappedIoCompleted(&transfer->overlapped)) {
        // The driver keeps the read: the record, its buffer and its event stay for good rather
        // than be freed under a driver that may still complete it.
        static_cast<void>(transfer.release());
        return;
    }
    transfer.reset();
}

std::int32_t SerialPort::beginReadBytes(std::uint8_t* buffer, std::int32_t count,
                                        SerialTransfer* transfer) {
    if (!transfer) {
        throw SerialPortError(SerialErrorCode::invalidTransfer);
    }
    transfer->direction = TransferDirection::tdRead;
    transfer->destination = nullptr;
    // A negative count would reach the driver as a huge length for a small buffer.
    if (count <= 0) {
        return 0;
    }
    // A record the driver still holds keeps its buffer for the driver.
    if (!buffer || transfer->held) {
        throw SerialPortError(SerialErrorCode::invalidTransfer);
    }
    transfer->data = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(count));
    transfer->destination = buffer;
    transfer->capacity = count;
    DWORD read = 0;
    if (api_->readFile(handle(), transfer->data.get(), static_cast<DWORD>(count), &read,
                       &transfer->overlapped)) {
        std::memcpy(buffer, transfer->data.get(), std::min(read, static_cast<DWORD>(count)));
    } else if (GetLastError() != ERROR_IO_PENDING) {
        throw SerialPortError(SerialErrorCode::readFailed, lastError());
    }
    return static_cast<std::int32_t>(read);
}

std::int32_t SerialPort::beginReadText(std::string& text, std::int32_t count,
                                       SerialTransfer* transfer) {
    text.resize(static_cast<std::size_t>(std::max(count, 0)));
    if (count <= 0) {
        return 0;
    }
    return beginReadBytes(reinterpret_cast<std::uint8_t*>(text.data()), count, transfer);
}

std::int32_t SerialPort::finishTransfer(SerialTransfer* transfer) {
    if (!transfer) {
        throw SerialPortError(SerialErrorCode::invalidTransfer);
    }
    const SerialErrorCode failure = transfer->direction == TransferDirection::tdWrite
                                        ? SerialErrorCode::writeFailed
                                        : SerialErrorCode::readFailed;
    const bool read = transfer->direction == TransferDirection::tdRead;
    // With these time-outs a read takes only what has already arrived and never waits. Some
    // drivers (Wine's among them) still hold a read while nothing has arrived; such a read is
    // cancelled, which gives the same result: nothing read.
    const TimeoutSettings& t = timeouts_.values();
    const bool returnAtOnce =
        t.readInterval == -1 && t.readTotalMultiplier == 0 && t.readTotalConstant == 0;
    // A transfer the driver finished at once, as a read of bytes already received is, needs no
    // wait on its event: the record already holds the result.
    const bool finished = HasOverlappedIoCompleted(&transfer->overlapped);
    bool cancelled = false;
    DWORD wait = INFINITE;
    DWORD heldError = WAIT_TIMEOUT;
    if (!finished && read && returnAtOnce &&
        WaitForSingleObject(transfer->event.get(), 0) == WAIT_TIMEOUT && device_) {
        cancelled = api_->cancelIoEx(handle(), &transfer->overlapped) != FALSE;
        if (!cancelled) {
            heldError = GetLastError();
        }
        wait = kCancelWaitMs;
    }
    const DWORD waited =
        finished ? WAIT_OBJECT_0 : WaitForSingleObject(transfer->event.get(), wait);
    if (waited == WAIT_TIMEOUT) {
        transfer->held = true;
        throw SerialPortError(failure, static_cast<std::int32_t>(heldError));
    }
    if (waited != WAIT_OBJECT_0) {
        throw SerialPortError(failure, lastError());
    }
    DWORD count = 0;
    if (!api_->getOverlappedResult(handle(), &transfer->overlapped, &count, FALSE)) {
        if (!(cancelled && GetLastError() == ERROR_OPERATION_ABORTED)) {
            throw SerialPortError(failure, lastError());
        }
        count = static_cast<DWORD>(transfer->overlapped.InternalHigh);
    }
    if (read && transfer->destination) {
        std::memcpy(transfer->destination, transfer->data.get(),
                    std::min(count, static_cast<DWORD>(transfer->capacity)));
    }
    if (read) {
        // Only observers care whether the queue ran empty; without them the extra driver call
        // would only slow every read down.
        if (!observers_.empty() && inputWaiting() == 0) {
            tellObservers(&SerialPortObserver::onRxActivity, false);
        }
    } else if (transfer->echoData) {
        tellObservers(&SerialPortObserver::onDataSent,
                      static_cast<const std::uint8_t*>(transfer->echoData.get()),
                      transfer->echoSize);
    }
    return static_cast<std::int32_t>(count);
}

std::int32_t SerialPort::readBytes(std::uint8_t* buffer, std::int32_t count) {
    BlockingRead transfer(*this, spareReadEvent_);
    beginReadBytes(buffer, count, transfer.get());
    return finishTransfer(transfer.get());
}

std::int32_t SerialPort::readText(std::string& text, std::int32_t count) {
    BlockingRead transfer(*this, spareReadEvent_);
    beginReadText(text, count, transfer.get());
    const std::int32_t read = finishTransfer(transfer.get());
    text.resize(static_cast<std::size_t>(std::clamp(read, 0, std::max(count, 0))));
    return read;
}

std::int32_t SerialPort::inputWaiting() {
    DWORD errors = 0;
    COMSTAT status{};
    if (!api_->clearCommError(handle(), &errors, &status)) {
        throw SerialPortError(SerialErrorCode::inputStatusFailed, lastError());
    }
    return static_cast<std::int32_t>(status.cbInQue);
}

LineErrors SerialPort::takeLineErrors() {
    DWORD errors = 0;
    COMSTAT status{};
    if (!api_->clearCommError(handle(), &errors, &status)) {
        throw SerialPortError(SerialErrorCode::inputStatusFailed, lastError());
    }
    return lineErrorsFromFlags(errors, parity_.check());
}

}  // namespace serial
