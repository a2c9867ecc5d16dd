// Opening and closing the port's device, and handing the settings to its driver.
#include <cstring>

#include "framework/scope_exit.h"
#include "serial/comm_api.h"
#include "serial/serial_event_thread.h"
#include "serial/serial_port.h"

namespace serial {

static_assert(sizeof(DeviceControlRecord) == sizeof(DCB));
static_assert(sizeof(TimeoutRecord) == sizeof(COMMTIMEOUTS));

OpenedDevice openPortDevice(CommApi& api, const std::wstring& portName) {
    OpenedDevice opened;
    opened.device.reset(api.openDevice(L"\\\\.\\" + portName));
    if (!opened.device) {
        opened.systemError = lastError();
    }
    return opened;
}

void SerialPort::openPort() {
    if (connected_) {
        return;
    }
    reapRetiredThreads(false);
    triggerBeforeOpen();
    createPortHandle();
    setUpOpenedDevice();
}

void SerialPort::openPortOn(framework::KernelHandle device) {
    if (connected_) {
        return;
    }
    reapRetiredThreads(false);
    triggerBeforeOpen();
    adoptDevice(std::move(device));
    setUpOpenedDevice();
}

void SerialPort::createPortHandle() {
    OpenedDevice opened = openPortDevice(*api_, port_);
    if (!opened.device) {
        throw SerialPortError(SerialErrorCode::openFailed, opened.systemError);
    }
    adoptDevice(std::move(opened.device));
}

void SerialPort::adoptDevice(framework::KernelHandle device) {
    device_ = std::make_shared<framework::KernelHandle>(std::move(device));
}

void SerialPort::setUpOpenedDevice() {
    connected_ = true;
    {
        // Settings the driver refuses, or a thread that cannot start, leave the port closed.
        bool started = false;
        framework::ScopeExit undo([this, &started] {
            if (!started) {
                closePortHandle();
                connected_ = false;
            }
        });
        applySettings();
        if (!events_.empty()) {
            createNotifyWindow();
            eventThread_ = std::make_unique<SerialEventThread>(
                *this, device_, api_, notifyWindow_.get(), ++threadGeneration_);
            threadRunning_ = true;
        }
        started = true;
    }
    tellObservers(&SerialPortObserver::onConnectionChanged, true);
    triggerAfterOpen();
    const bool cts = lineSignals().contains(LineSignal::lsCTS);
    tellObservers(&SerialPortObserver::onCTSChange, cts);
    triggerCTSChange(cts);
    const bool dsr = lineSignals().contains(LineSignal::lsDSR);
    tellObservers(&SerialPortObserver::onDSRChange, dsr);
    triggerDSRChange(dsr);
    const bool rlsd = lineSignals().contains(LineSignal::lsRLSD);
    tellObservers(&SerialPortObserver::onRLSDChange, rlsd);
    triggerRLSDChange(rlsd);
}

void SerialPort::closePortHandle() {
    // The event thread may still hold the device for its own clean-up; it lets go when it ends.
    device_.reset();
}

void SerialPort::closePort() {
    closePortImpl(false);
}

void SerialPort::closePortImpl(bool deviceFailed) {
    // A close asked for by one of the close notifications is the close already under way.
    if (!connected_ || closing_) {
        return;
    }
    closing_ = true;
    framework::ScopeExit notClosing([this] { closing_ = false; });

    tellObservers(&SerialPortObserver::onCTSChange, false);
    tellObservers(&SerialPortObserver::onDSRChange, false);
    tellObservers(&SerialPortObserver::onRLSDChange, false);
    triggerCTSChange(false);
    triggerDSRChange(false);
    triggerRLSDChange(false);
    triggerBeforeClose();
    try {
        cancelTransfers();
    } catch (const std::exception&) {
        if (!deviceFailed) {
            throw;
        }
        // Dropped: a device that has gone away refuses this too, and must still close.
    }
    releaseDevice();
    tellObservers(&SerialPortObserver::onConnectionChanged, false);
    triggerAfterClose();
}

void SerialPort::releaseDevice() {
    if (threadRunning_) {
        stopEventThread();
        threadRunning_ = false;
    }
    closePortHandle();
    connected_ = false;
    deadThreadPending_ = false;
}

bool SerialPort::insideOwnDelivery() const {
    if (eventThread_ && eventThread_->isCurrentThread()) {
        return true;
    }
    // In thread hand-over mode the event thread waits for the handler that is running now.
    return deliveryDepth_ > 0 && syncMethod_ == SyncMethod::smThreadSync;
}

void SerialPort::stopEventThread() {
    if (!eventThread_) {
        return;
    }
    if (insideOwnDelivery()) {
        // Waiting here would wait for ourselves: let the thread end once the delivery returns.
        eventThread_->signalStop();
        retiredThreads_.push_back(std::move(eventThread_));
    } else {
        eventThread_.reset();
    }
}

void SerialPort::reapRetiredThreads(bool wait) {
    std::erase_if(retiredThreads_, [wait](const std::unique_ptr<SerialEventThread>& t) {
        return wait ? !t->isCurrentThread() : t->ended();
    });
}

void SerialPort::cancelTransfers() {
    if (!api_->purgeComm(handle(), PURGE_TXABORT | PURGE_RXABORT)) {
        throw SerialPortError(SerialErrorCode::purgeFailed, lastError());
    }
}

LineSignals SerialPort::lineSignals() {
    DWORD status = 0;
    if (!api_->getCommModemStatus(handle(), &status)) {
        throw SerialPortError(SerialErrorCode::modemStatusFailed, lastError());
    }
    return lineSignalsFromModemStatus(status);
}

bool SerialPort::canApply() const {
    return connected_ && updateDepth_ == 0 && device_;
}

void SerialPort::applySettings() {
    applyQueueSizes();
    applyLineSettings();
    applyTimeoutSettings();
}

void SerialPort::applyQueueSizes() {
    if (!canApply()) {
        return;
    }
    if (!api_->setupComm(handle(), static_cast<DWORD>(buffer_.inputSize()),
                         static_cast<DWORD>(buffer_.outputSize()))) {
        throw SerialPortError(SerialErrorCode::queueSizesRefused, lastError());
    }
}

void SerialPort::applyLineSettings() {
    if (!canApply()) {
        return;
    }
    const DeviceControlRecord record = buildDeviceControlRecord(lineSettings());
    DCB dcb;
    std::memcpy(&dcb, &record, sizeof dcb);
    if (!api_->setCommState(handle(), &dcb)) {
        throw SerialPortError(SerialErrorCode::lineSettingsRefused, lastError());
    }
}

void SerialPort::applyTimeoutSettings() {
    if (!canApply()) {
        return;
    }
    const TimeoutRecord record = buildTimeoutRecord(timeouts_.values());
    COMMTIMEOUTS timeouts;
    std::memcpy(&timeouts, &record, sizeof timeouts);
    if (!api_->setCommTimeouts(handle(), &timeouts)) {
        throw SerialPortError(SerialErrorCode::timeoutsRefused, lastError());
    }
}

}  // namespace serial
