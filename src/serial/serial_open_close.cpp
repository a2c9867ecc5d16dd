// Opening and closing the port's device, and handing the settings to its driver.
#include <cstring>
#include <memory>
#include <utility>

#include "framework/exception.h"
#include "framework/scope_exit.h"
#include "serial/comm_api.h"
#include "serial/serial_event_thread.h"
#include "serial/serial_port.h"

namespace serial {

static_assert(sizeof(DeviceControlRecord) == sizeof(DCB));
static_assert(sizeof(TimeoutRecord) == sizeof(COMMTIMEOUTS));

namespace {

// The device as the port and its users share it: its close, by the last of them, is the port's
// release, which an open waiting for it hears of.
struct SharedDevice {
    SharedDevice(PortDevice opened, std::shared_ptr<framework::KernelHandle> releasedEvent)
        : device(std::move(opened)), released(std::move(releasedEvent)) {}
    ~SharedDevice() {
        device.reset();
        SetEvent(released->get());
    }
    SharedDevice(const SharedDevice&) = delete;
    SharedDevice& operator=(const SharedDevice&) = delete;

    PortDevice device;
    std::shared_ptr<framework::KernelHandle> released;
};

}  // namespace

OpenedDevice openPortDevice(std::shared_ptr<CommApi> api, const std::wstring& portName) {
    OpenedDevice opened;
    HANDLE device = api->openDevice(L"\\\\.\\" + portName);
    if (device == nullptr || device == INVALID_HANDLE_VALUE) {
        opened.systemError = lastError();
        return opened;
    }
    opened.device = PortDevice(std::move(api), device);
    return opened;
}

void setUpDevice(CommApi& api, OpenedDevice& opened, const DeviceSetup& setup) {
    if (!opened.device) {
        return;
    }
    const HANDLE device = opened.device.get();
    const auto refused = [&opened](SerialErrorCode code) {
        opened.failure = code;
        opened.systemError = lastError();
        opened.device.reset();
    };
    if (!api.setupComm(device, setup.inputSize, setup.outputSize)) {
        refused(SerialErrorCode::queueSizesRefused);
        return;
    }
    DCB dcb;
    std::memcpy(&dcb, &setup.line, sizeof dcb);
    if (!api.setCommState(device, &dcb)) {
        refused(SerialErrorCode::lineSettingsRefused);
        return;
    }
    COMMTIMEOUTS timeouts;
    std::memcpy(&timeouts, &setup.timeouts, sizeof timeouts);
    if (!api.setCommTimeouts(device, &timeouts)) {
        refused(SerialErrorCode::timeoutsRefused);
        return;
    }
    DWORD status = 0;
    if (api.getCommModemStatus(device, &status)) {
        opened.lineSignals = lineSignalsFromModemStatus(status);
    } else {
        opened.lineSignalsError = lastError();
    }
    opened.setUp = setup;
}

DeviceSetup SerialPort::deviceSetup() const {
    DeviceSetup setup;
    setup.inputSize = static_cast<std::uint32_t>(buffer_.inputSize());
    setup.outputSize = static_cast<std::uint32_t>(buffer_.outputSize());
    setup.line = buildDeviceControlRecord(lineSettings());
    setup.timeouts = buildTimeoutRecord(timeouts_.values());
    return setup;
}

void SerialPort::openPort() {
    if (connected_) {
        return;
    }
    waitForClose(INFINITE);
    reapRetiredThreads(false);
    triggerBeforeOpen();
    createPortHandle();
    setUpOpenedDevice(nullptr);
}

void SerialPort::openPortOn(OpenedDevice opened) {
    if (connected_) {
        if (opened.device) {
            discardDevice(std::make_shared<PortDevice>(std::move(opened.device)));
        }
        return;
    }
    waitForClose(INFINITE);
    reapRetiredThreads(false);
    triggerBeforeOpen();
    if (!opened.device) {
        throw SerialPortError(opened.failure, opened.systemError);
    }
    adoptDevice(std::move(opened.device));
    setUpOpenedDevice(&opened);
}

void SerialPort::createPortHandle() {
    OpenedDevice opened = openPortDevice(api_, port_);
    if (!opened.device) {
        throw SerialPortError(SerialErrorCode::openFailed, opened.systemError);
    }
    adoptDevice(std::move(opened.device));
}

void SerialPort::adoptDevice(PortDevice device) {
    auto released =
        std::make_shared<framework::KernelHandle>(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!*released) {
        framework::raiseLastOSError();
    }
    released_ = released;
    auto shared = std::make_shared<SharedDevice>(std::move(device), std::move(released));
    device_ = std::shared_ptr<PortDevice>(shared, &shared->device);
}

void waitForRelease(const DeviceReleased& released) {
    if (released) {
        WaitForSingleObject(released->get(), INFINITE);
    }
}

void SerialPort::setUpOpenedDevice(const OpenedDevice* prepared) {
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
        if (!prepared || prepared->setUp != deviceSetup()) {
            applySettings();
        }
        if (!events_.empty() || closeInBackground_) {
            createNotifyWindow();
        }
        if (!events_.empty()) {
            // A device set up elsewhere gets its event mask from the thread too.
            eventThread_ =
                std::make_unique<SerialEventThread>(*this, device_, api_, notifyWindow_.get(),
                                                    ++threadGeneration_, prepared != nullptr);
            threadRunning_ = true;
        }
        started = true;
    }
    tellObservers(&SerialPortObserver::onConnectionChanged, true);
    triggerAfterOpen();
    // A device set up elsewhere has had its signals read there, once.
    if (prepared && !prepared->lineSignals) {
        throw SerialPortError(SerialErrorCode::modemStatusFailed, prepared->lineSignalsError);
    }
    const auto on = [this, prepared](LineSignal signal) {
        return (prepared ? *prepared->lineSignals : lineSignals()).contains(signal);
    };
    const bool cts = on(LineSignal::lsCTS);
    tellObservers(&SerialPortObserver::onCTSChange, cts);
    triggerCTSChange(cts);
    const bool dsr = on(LineSignal::lsDSR);
    tellObservers(&SerialPortObserver::onDSRChange, dsr);
    triggerDSRChange(dsr);
    const bool rlsd = on(LineSignal::lsRLSD);
    tellObservers(&SerialPortObserver::onRLSDChange, rlsd);
    triggerRLSDChange(rlsd);
}

void SerialPort::closePortHandle() {
    // The event thread may still hold the device for its own clean-up; it lets go when it ends.
    discardDevice(std::move(device_));
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
    if (closeInBackground_ && startBackgroundClose()) {
        // Without a thread of its own the close was made here already.
        if (!closer_) {
            finishClose();
        }
        return;
    }
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
