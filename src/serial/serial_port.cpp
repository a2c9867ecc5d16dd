#include "serial/serial_port.h"

#include <algorithm>
#include <cstring>

#include "framework/application.h"
#include "framework/hidden_window.h"
#include "serial/comm_api.h"
#include "framework/scope_exit.h"
#include "serial/serial_event_thread.h"

namespace serial {

static_assert(sizeof(DeviceControlRecord) == sizeof(DCB));
static_assert(sizeof(TimeoutRecord) == sizeof(COMMTIMEOUTS));

// --- sub-objects ------------------------------------------------------------------------------

template <class T>
void SerialParity::change(T& field, T value) {
    if (field == value) {
        return;
    }
    field = value;
    if (port_) {
        port_->applyLineSettings();
    }
}
void SerialParity::setBits(ParityBits value) {
    change(values_.bits, value);
}
void SerialParity::setCheck(bool value) {
    change(values_.check, value);
}
void SerialParity::setReplace(bool value) {
    change(values_.replace, value);
}
void SerialParity::setReplaceChar(std::uint8_t value) {
    change(values_.replaceChar, value);
}

template <class T>
void SerialFlowControl::change(T& field, T value) {
    if (field == value) {
        return;
    }
    field = value;
    if (port_) {
        port_->applyLineSettings();
    }
}
void SerialFlowControl::setOutCTSFlow(bool value) {
    change(values_.outCTSFlow, value);
}
void SerialFlowControl::setOutDSRFlow(bool value) {
    change(values_.outDSRFlow, value);
}
void SerialFlowControl::setControlDTR(DTRFlowControl value) {
    change(values_.controlDTR, value);
}
void SerialFlowControl::setControlRTS(RTSFlowControl value) {
    change(values_.controlRTS, value);
}
void SerialFlowControl::setXonXoffOut(bool value) {
    change(values_.xonXoffOut, value);
}
void SerialFlowControl::setXonXoffIn(bool value) {
    change(values_.xonXoffIn, value);
}
void SerialFlowControl::setDSRSensitivity(bool value) {
    change(values_.dsrSensitivity, value);
}
void SerialFlowControl::setTxContinueOnXoff(bool value) {
    change(values_.txContinueOnXoff, value);
}
void SerialFlowControl::setXonChar(std::uint8_t value) {
    change(values_.xonChar, value);
}
void SerialFlowControl::setXoffChar(std::uint8_t value) {
    change(values_.xoffChar, value);
}

serial::FlowControl SerialFlowControl::flowControl() const {
    return flowControlSummary(values_);
}

void SerialFlowControl::setFlowControl(serial::FlowControl value) {
    applyFlowControlSummary(values_, value);
    if (port_) {
        port_->applyLineSettings();
    }
}

void SerialTimeouts::change(std::int32_t& field, std::int32_t value) {
    if (field == value) {
        return;
    }
    field = value;
    if (port_) {
        port_->applyTimeoutSettings();
    }
}
void SerialTimeouts::setReadInterval(std::int32_t value) {
    change(values_.readInterval, value);
}
void SerialTimeouts::setReadTotalMultiplier(std::int32_t value) {
    change(values_.readTotalMultiplier, value);
}
void SerialTimeouts::setReadTotalConstant(std::int32_t value) {
    change(values_.readTotalConstant, value);
}
void SerialTimeouts::setWriteTotalMultiplier(std::int32_t value) {
    change(values_.writeTotalMultiplier, value);
}
void SerialTimeouts::setWriteTotalConstant(std::int32_t value) {
    change(values_.writeTotalConstant, value);
}

void SerialBuffer::change(std::int32_t& field, std::int32_t value) {
    if (field == value) {
        return;
    }
    field = evenQueueSize(value);
    if (port_) {
        port_->applyQueueSizes();
    }
}
void SerialBuffer::setInputSize(std::int32_t value) {
    change(values_.inputSize, value);
}
void SerialBuffer::setOutputSize(std::int32_t value) {
    change(values_.outputSize, value);
}

// --- the port ---------------------------------------------------------------------------------

SerialPort::SerialPort() : api_(systemCommApi()) {}

SerialPort::~SerialPort() {
    try {
        // A device that refuses to cancel its transfers is closed all the same.
        closePortImpl(true);
    } catch (...) {
        // Nothing may leave a destructor. Only a failing close handler gets here: the thread and
        // the device still go, without telling anyone again.
        releaseDevice();
    }
    reapRetiredThreads(true);
}

void SerialPort::setCommApi(std::shared_ptr<CommApi> api) {
    if (connected_) {
        throw SerialPortError(14);
    }
    api_ = api ? std::move(api) : systemCommApi();
}

HANDLE SerialPort::handle() const {
    return device_ && device_->valid() ? device_->get() : INVALID_HANDLE_VALUE;
}

void SerialPort::setConnected(bool value) {
    if (value == connected_) {
        return;
    }
    if (value) {
        openPort();
    } else {
        closePort();
    }
}

void SerialPort::setBaudRate(BaudRate value) {
    if (line_.baudRate == value) {
        return;
    }
    line_.baudRate = value;
    applyLineSettings();
}
void SerialPort::setCustomBaudRate(std::int32_t value) {
    if (line_.customBaudRate == value) {
        return;
    }
    line_.customBaudRate = value;
    applyLineSettings();
}
void SerialPort::setStopBits(StopBits value) {
    if (line_.stopBits == value) {
        return;
    }
    line_.stopBits = value;
    applyLineSettings();
}
void SerialPort::setDataBits(DataBits value) {
    if (line_.dataBits == value) {
        return;
    }
    line_.dataBits = value;
    applyLineSettings();
}
void SerialPort::setDiscardNull(bool value) {
    if (line_.discardNull == value) {
        return;
    }
    line_.discardNull = value;
    applyLineSettings();
}
void SerialPort::setEventChar(std::uint8_t value) {
    if (line_.eventChar == value) {
        return;
    }
    line_.eventChar = value;
    applyLineSettings();
}

void SerialPort::setPort(std::wstring value) {
    // Case matters: "com3" is another text, and reopening under it is harmless.
    if (value == port_) {
        return;
    }
    port_ = std::move(value);
    if (connected_) {
        closePort();
        openPort();
    }
}

void SerialPort::setSyncMethod(SyncMethod value) {
    if (value == syncMethod_) {
        return;
    }
    if (connected_) {
        throw SerialPortError(14);
    }
    syncMethod_ = value;
}

void SerialPort::setParity(const SerialParity& value) {
    parity_ = value;
    applyLineSettings();
}
void SerialPort::setFlowControl(const SerialFlowControl& value) {
    flowControl_ = value;
    applyLineSettings();
}
void SerialPort::setTimeouts(const SerialTimeouts& value) {
    timeouts_ = value;
    applyTimeoutSettings();
}
void SerialPort::setBuffer(const SerialBuffer& value) {
    buffer_ = value;
    applyQueueSizes();
}

LineSettings SerialPort::lineSettings() const {
    LineSettings s = line_;
    s.parity = parity_.values();
    s.flowControl = flowControl_.values();
    s.inputSize = buffer_.inputSize();
    return s;
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
        throw SerialPortError(9, lastError());
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
        throw SerialPortError(7, lastError());
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
        throw SerialPortError(8, lastError());
    }
}

void SerialPort::createPortHandle() {
    HANDLE h = api_->openDevice(L"\\\\.\\" + port_);
    if (h == INVALID_HANDLE_VALUE || h == nullptr) {
        throw SerialPortError(1, lastError());
    }
    device_ = std::make_shared<framework::KernelHandle>(h);
}

void SerialPort::closePortHandle() {
    // The event thread may still hold the device for its own clean-up; it lets go when it ends.
    device_.reset();
}

void SerialPort::openPort() {
    if (connected_) {
        return;
    }
    reapRetiredThreads(false);
    triggerBeforeOpen();
    createPortHandle();
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
        // Dropped for a device that has gone away: it refuses this too and must still close.
        if (!deviceFailed) {
            throw;
        }
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
        throw SerialPortError(5, lastError());
    }
}

LineSignals SerialPort::lineSignals() {
    DWORD status = 0;
    if (!api_->getCommModemStatus(handle(), &status)) {
        throw SerialPortError(11, lastError());
    }
    return lineSignalsFromModemStatus(status);
}

// --- hidden window ----------------------------------------------------------------------------

void SerialPort::createNotifyWindow() {
    if (notifyWindow_) {
        return;
    }
    HWND window = framework::createHiddenWindow(L"KeypilotSerialPortWindow",
                                                &SerialPort::notifyWindowProc, HWND_MESSAGE);
    if (!window) {
        framework::raiseLastOSError();
    }
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    notifyWindow_.reset(window);
}

LRESULT CALLBACK SerialPort::notifyWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* port = reinterpret_cast<SerialPort*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!port) {
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    if (msg == kPortEventMessage) {
        // Release the event thread before the step runs, so it can wait for the next event.
        if (InSendMessage()) {
            ReplyMessage(0);
        }
        if (!port->connected_ || port->closing_) {
            return 0;
        }
        SerialEvents events = maskToEvents(static_cast<std::uint32_t>(wParam));
        if (events.empty() || eventsToMask(events) != wParam) {
            return 0;
        }
        ++port->deliveryDepth_;
        framework::ScopeExit done([port] {
            if (--port->deliveryDepth_ == 0 && port->deadThreadPending_) {
                PostMessageW(port->notifyWindow_.get(), kThreadEndedMessage,
                             port->threadGeneration_, 0);
            }
        });
        framework::application().guard([&] { port->runEventHandlers(events); });
        return 0;
    }
    if (msg == kThreadEndedMessage) {
        framework::application().guard(
            [&] { port->onEventThreadEnded(static_cast<unsigned>(wParam)); });
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void SerialPort::onEventThreadEnded(unsigned generation) {
    if (generation != threadGeneration_ || !threadRunning_ || !connected_) {
        return;
    }
    if (deliveryDepth_ > 0) {
        // Closed once the delivery in progress is over.
        deadThreadPending_ = true;
        return;
    }
    deadThreadPending_ = false;
    closePortImpl(true);
}

// --- observers and notifications ---------------------------------------------------------------

void SerialPort::addObserver(SerialPortObserver* observer) {
    if (!observer || std::ranges::find(observers_, observer) != observers_.end()) {
        return;
    }
    observers_.push_back(observer);
    observerWantsData_ = std::ranges::any_of(
        observers_, [](const SerialPortObserver* o) { return bool(o->onDataReceived); });
}

void SerialPort::removeObserver(SerialPortObserver* observer) {
    std::erase(observers_, observer);
    observerWantsData_ = std::ranges::any_of(
        observers_, [](const SerialPortObserver* o) { return bool(o->onDataReceived); });
}

void SerialPort::triggerAfterClose() {
    if (onAfterClose) {
        onAfterClose(*this);
    }
}
void SerialPort::triggerAfterOpen() {
    if (onAfterOpen) {
        onAfterOpen(*this);
    }
}
void SerialPort::triggerBeforeClose() {
    if (onBeforeClose) {
        onBeforeClose(*this);
    }
}
void SerialPort::triggerBeforeOpen() {
    if (onBeforeOpen) {
        onBeforeOpen(*this);
    }
}
void SerialPort::triggerRxChar(std::int32_t count) {
    if (onRxChar) {
        onRxChar(*this, count);
    }
}
void SerialPort::triggerRxBuf(const std::uint8_t* buffer, std::int32_t count) {
    if (onRxBuf) {
        onRxBuf(*this, buffer, count);
    }
}
void SerialPort::triggerTxEmpty() {
    if (onTxEmpty) {
        onTxEmpty(*this);
    }
}
void SerialPort::triggerBreak() {
    if (onBreak) {
        onBreak(*this);
    }
}
void SerialPort::triggerRing() {
    if (onRing) {
        onRing(*this);
    }
}
void SerialPort::triggerRxFlag() {
    if (onRxFlag) {
        onRxFlag(*this);
    }
}
void SerialPort::triggerCTSChange(bool on) {
    if (onCTSChange) {
        onCTSChange(*this, on);
    }
}
void SerialPort::triggerDSRChange(bool on) {
    if (onDSRChange) {
        onDSRChange(*this, on);
    }
}
void SerialPort::triggerError(LineErrors errors) {
    if (onError) {
        onError(*this, errors);
    }
}
void SerialPort::triggerRLSDChange(bool on) {
    if (onRLSDChange) {
        onRLSDChange(*this, on);
    }
}
void SerialPort::triggerRx80Full() {
    if (onRx80Full) {
        onRx80Full(*this);
    }
}

}  // namespace serial
