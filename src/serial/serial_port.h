// The serial port component: owns one COM port, its settings, the background thread that waits
// for the port's events and hands them to the main thread, and reading from the port.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/exception.h"
#include "framework/handle.h"
#include "framework/spare_event.h"
#include "serial/serial_records.h"
#include "serial/serial_types.h"

namespace framework {
class IniFile;
class RegistryKey;
}  // namespace framework

namespace serial {

class CommApi;
class SerialPort;
class SerialEventThread;

// Error numbers 1 to 23 with the component's texts; systemError() is the Win32 code or -1.
class SerialPortError : public framework::Exception {
  public:
    SerialPortError(int errorNumber, std::int32_t systemError = -1);
    int errorNumber() const noexcept { return errorNumber_; }
    std::int32_t systemError() const noexcept { return systemError_; }

  private:
    int errorNumber_;
    std::int32_t systemError_;
};

constexpr int kSerialErrorCount = 23;
// The current text of error n (1 to 23): the English text, or its translation once
// initializeSerialErrorTexts has run.
const std::wstring& serialErrorText(int errorNumber);
// Start-up step: registers the "serial" domain and has every text translated, in number order.
void initializeSerialErrorTexts();
// Shut-down step: back to the English texts.
void finalizeSerialErrorTexts();

// Sub-objects of the port. Each keeps a back-reference to its port (null for a free-standing
// copy) and re-applies its group of settings to an open port when a field changes. Assigning
// one object to another copies the fields only and applies nothing.
class SerialParity {
  public:
    explicit SerialParity(SerialPort* port = nullptr) : port_(port) {}
    SerialParity(const SerialParity& other) : values_(other.values_) {}
    SerialParity& operator=(const SerialParity& other) {
        if (this != &other) {
            values_ = other.values_;
        }
        return *this;
    }

    ParityBits bits() const { return values_.bits; }
    void setBits(ParityBits value);
    bool check() const { return values_.check; }
    void setCheck(bool value);
    bool replace() const { return values_.replace; }
    void setReplace(bool value);
    std::uint8_t replaceChar() const { return values_.replaceChar; }
    void setReplaceChar(std::uint8_t value);

    const ParitySettings& values() const { return values_; }
    SerialPort* port() const { return port_; }

  private:
    template <class T>
    void change(T& field, T value);
    SerialPort* port_;
    ParitySettings values_;
};

class SerialFlowControl {
  public:
    explicit SerialFlowControl(SerialPort* port = nullptr) : port_(port) {}
    SerialFlowControl(const SerialFlowControl& other) : values_(other.values_) {}
    SerialFlowControl& operator=(const SerialFlowControl& other) {
        if (this != &other) {
            values_ = other.values_;
        }
        return *this;
    }

    bool outCTSFlow() const { return values_.outCTSFlow; }
    void setOutCTSFlow(bool value);
    bool outDSRFlow() const { return values_.outDSRFlow; }
    void setOutDSRFlow(bool value);
    DTRFlowControl controlDTR() const { return values_.controlDTR; }
    void setControlDTR(DTRFlowControl value);
    RTSFlowControl controlRTS() const { return values_.controlRTS; }
    void setControlRTS(RTSFlowControl value);
    bool xonXoffOut() const { return values_.xonXoffOut; }
    void setXonXoffOut(bool value);
    bool xonXoffIn() const { return values_.xonXoffIn; }
    void setXonXoffIn(bool value);
    bool dsrSensitivity() const { return values_.dsrSensitivity; }
    void setDSRSensitivity(bool value);
    bool txContinueOnXoff() const { return values_.txContinueOnXoff; }
    void setTxContinueOnXoff(bool value);
    std::uint8_t xonChar() const { return values_.xonChar; }
    void setXonChar(std::uint8_t value);
    std::uint8_t xoffChar() const { return values_.xoffChar; }
    void setXoffChar(std::uint8_t value);

    // The summary of the fields above; setting it rewrites them and applies once.
    serial::FlowControl flowControl() const;
    void setFlowControl(serial::FlowControl value);

    const FlowControlSettings& values() const { return values_; }
    SerialPort* port() const { return port_; }

  private:
    template <class T>
    void change(T& field, T value);
    SerialPort* port_;
    FlowControlSettings values_;
};

class SerialTimeouts {
  public:
    explicit SerialTimeouts(SerialPort* port = nullptr) : port_(port) {}
    SerialTimeouts(const SerialTimeouts& other) : values_(other.values_) {}
    SerialTimeouts& operator=(const SerialTimeouts& other) {
        if (this != &other) {
            values_ = other.values_;
        }
        return *this;
    }

    std::int32_t readInterval() const { return values_.readInterval; }
    void setReadInterval(std::int32_t value);
    std::int32_t readTotalMultiplier() const { return values_.readTotalMultiplier; }
    void setReadTotalMultiplier(std::int32_t value);
    std::int32_t readTotalConstant() const { return values_.readTotalConstant; }
    void setReadTotalConstant(std::int32_t value);
    std::int32_t writeTotalMultiplier() const { return values_.writeTotalMultiplier; }
    void setWriteTotalMultiplier(std::int32_t value);
    std::int32_t writeTotalConstant() const { return values_.writeTotalConstant; }
    void setWriteTotalConstant(std::int32_t value);

    const TimeoutSettings& values() const { return values_; }
    SerialPort* port() const { return port_; }

  private:
    void change(std::int32_t& field, std::int32_t value);
    SerialPort* port_;
    TimeoutSettings values_;
};

class SerialBuffer {
  public:
    explicit SerialBuffer(SerialPort* port = nullptr) : port_(port) {}
    SerialBuffer(const SerialBuffer& other) : values_(other.values_) {}
    SerialBuffer& operator=(const SerialBuffer& other) {
        if (this != &other) {
            values_ = other.values_;
        }
        return *this;
    }

    // Odd positive sizes are stored one less.
    std::int32_t inputSize() const { return values_.inputSize; }
    void setInputSize(std::int32_t value);
    std::int32_t outputSize() const { return values_.outputSize; }
    void setOutputSize(std::int32_t value);

    const BufferSettings& values() const { return values_; }
    SerialPort* port() const { return port_; }

  private:
    void change(std::int32_t& field, std::int32_t value);
    SerialPort* port_;
    BufferSettings values_;
};

// Someone who wants to follow a port without being its owner. Every callback is optional.
struct SerialPortObserver {
    std::function<void(SerialPort&, bool on)> onConnectionChanged;
    std::function<void(SerialPort&, const std::uint8_t* buffer, std::int32_t count)> onDataReceived;
    std::function<void(SerialPort&, const std::uint8_t* buffer, std::int32_t count)> onDataSent;
    std::function<void(SerialPort&)> onTxEmpty;
    std::function<void(SerialPort&)> onRxFlag;
    std::function<void(SerialPort&, bool on)> onCTSChange;
    std::function<void(SerialPort&, bool on)> onDSRChange;
    std::function<void(SerialPort&, bool on)> onRLSDChange;
    std::function<void(SerialPort&)> onRing;
    std::function<void(SerialPort&, bool on)> onTxActivity;
    std::function<void(SerialPort&, bool on)> onRxActivity;
};

enum class TransferDirection : std::uint8_t { tdWrite, tdRead };

// One overlapped transfer. Made by SerialPort::createTransfer, released by disposeTransfer (or
// simply by letting the pointer go, but only once it has finished).
struct SerialTransfer {
    OVERLAPPED overlapped{};
    TransferDirection direction = TransferDirection::tdWrite;
    std::unique_ptr<std::uint8_t[]> echoData;
    std::int32_t echoSize = 0;
    framework::KernelHandle event;
    // A read goes into the record's own buffer and reaches the caller's only once it has
    // finished, so a read the driver never gives back cannot write into the caller's memory.
    std::unique_ptr<std::uint8_t[]> data;
    std::uint8_t* destination = nullptr;
    std::int32_t capacity = 0;
    // The driver kept the read after being asked to cancel it.
    bool held = false;
};
using SerialTransferPtr = std::unique_ptr<SerialTransfer>;

class SerialPort {
  public:
    SerialPort();
    virtual ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // --- settings -------------------------------------------------------------------------
    const std::wstring& name() const { return name_; }
    void setName(std::wstring name) { name_ = std::move(name); }

    bool connected() const { return connected_; }
    void setConnected(bool value);

    BaudRate baudRate() const { return line_.baudRate; }
    void setBaudRate(BaudRate value);
    std::int32_t customBaudRate() const { return line_.customBaudRate; }
    void setCustomBaudRate(std::int32_t value);
    // Device name without the "\\.\" prefix, e.g. "COM3".
    const std::wstring& port() const { return port_; }
    void setPort(std::wstring value);
    StopBits stopBits() const { return line_.stopBits; }
    void setStopBits(StopBits value);
    DataBits dataBits() const { return line_.dataBits; }
    void setDataBits(DataBits value);
    bool discardNull() const { return line_.discardNull; }
    void setDiscardNull(bool value);
    std::uint8_t eventChar() const { return line_.eventChar; }
    void setEventChar(std::uint8_t value);
    // Takes effect at the next openPort.
    SerialEvents events() const { return events_; }
    void setEvents(SerialEvents value) { events_ = value; }
    SyncMethod syncMethod() const { return syncMethod_; }
    // Raises error 14 while the port is open.
    void setSyncMethod(SyncMethod value);

    SerialParity& parity() { return parity_; }
    const SerialParity& parity() const { return parity_; }
    void setParity(const SerialParity& value);
    SerialFlowControl& flowControl() { return flowControl_; }
    const SerialFlowControl& flowControl() const { return flowControl_; }
    void setFlowControl(const SerialFlowControl& value);
    SerialTimeouts& timeouts() { return timeouts_; }
    const SerialTimeouts& timeouts() const { return timeouts_; }
    void setTimeouts(const SerialTimeouts& value);
    SerialBuffer& buffer() { return buffer_; }
    const SerialBuffer& buffer() const { return buffer_; }
    void setBuffer(const SerialBuffer& value);

    bool bufferedRxDelivery() const { return bufferedRxDelivery_; }
    void setBufferedRxDelivery(bool value) { bufferedRxDelivery_ = value; }
    // A Win32 thread priority (THREAD_PRIORITY_NORMAL by default), used at the next open.
    int threadPriority() const { return threadPriority_; }
    void setThreadPriority(int value) { threadPriority_ = value; }
    // While non-zero, settings changes are stored but not applied to an open port.
    std::uint32_t updateDepth() const { return updateDepth_; }
    void setUpdateDepth(std::uint32_t value) { updateDepth_ = value; }

    StoredGroups storedGroups() const { return storedGroups_; }
    void setStoredGroups(StoredGroups value) { storedGroups_ = value; }

    // Settings persistence: the groups in storedGroups(), into an open key or into the INI
    // section named after name().
    void saveToRegistry(const framework::RegistryKey& key) const;
    void saveToIniFile(framework::IniFile& ini) const;
    void loadFromRegistry(const framework::RegistryKey& key);
    void loadFromIniFile(const framework::IniFile& ini);

    // --- opening and closing ----------------------------------------------------------------
    void openPort();
    // Waits for the event thread to end, serving its pending hand-overs meanwhile. Called from
    // one of the port's own handlers it does not wait; the thread ends on its own afterwards.
    void closePort();
    void applySettings();
    virtual void applyLineSettings();
    virtual void applyTimeoutSettings();
    virtual void applyQueueSizes();
    void cancelTransfers();
    LineSignals lineSignals();
    // The open device, or INVALID_HANDLE_VALUE.
    HANDLE handle() const;

    // --- reading ----------------------------------------------------------------------------
    // Reads at most count bytes; with the default time-outs only those already received.
    std::int32_t readText(std::string& text, std::int32_t count);
    std::int32_t readBytes(std::uint8_t* buffer, std::int32_t count);
    std::int32_t beginReadText(std::string& text, std::int32_t count, SerialTransfer* transfer);
    std::int32_t beginReadBytes(std::uint8_t* buffer, std::int32_t count, SerialTransfer* transfer);
    // A read the driver does not give back when asked to cancel it fails with error 3 after a
    // short wait instead of blocking for good.
    std::int32_t finishTransfer(SerialTransfer* transfer);
    void createTransfer(SerialTransferPtr& transfer);
    // Cancels a read still in progress and waits a short time for it to end; a record the
    // driver still holds then is never freed, since the driver may write into it later.
    void disposeTransfer(SerialTransferPtr& transfer);
    // Bytes waiting in the driver's input queue; also clears the driver's error flags.
    std::int32_t inputWaiting();
    LineErrors takeLineErrors();

    // --- observers --------------------------------------------------------------------------
    // The observer is not owned and must outlive its registration.
    void addObserver(SerialPortObserver* observer);
    void removeObserver(SerialPortObserver* observer);

    // --- events (an empty one is skipped) -----------------------------------------------------
    std::function<void(SerialPort&, std::int32_t count)> onRxChar;
    std::function<void(SerialPort&, const std::uint8_t* buffer, std::int32_t count)> onRxBuf;
    std::function<void(SerialPort&)> onTxEmpty;
    std::function<void(SerialPort&)> onBreak;
    std::function<void(SerialPort&)> onRing;
    std::function<void(SerialPort&, bool on)> onCTSChange;
    std::function<void(SerialPort&, bool on)> onDSRChange;
    std::function<void(SerialPort&, bool on)> onRLSDChange;
    std::function<void(SerialPort&, LineErrors errors)> onError;
    std::function<void(SerialPort&)> onRxFlag;
    std::function<void(SerialPort&)> onAfterOpen;
    std::function<void(SerialPort&)> onAfterClose;
    std::function<void(SerialPort&)> onBeforeOpen;
    std::function<void(SerialPort&)> onBeforeClose;
    std::function<void(SerialPort&)> onRx80Full;

    // Replaces the Win32 serial calls (tests); null restores the system's. Only while closed.
    void setCommApi(std::shared_ptr<CommApi> api);

  protected:
    virtual void createPortHandle();
    virtual void closePortHandle();

    virtual void triggerAfterClose();
    virtual void triggerAfterOpen();
    virtual void triggerBeforeClose();
    virtual void triggerBeforeOpen();
    virtual void triggerRxChar(std::int32_t count);
    virtual void triggerRxBuf(const std::uint8_t* buffer, std::int32_t count);
    virtual void triggerTxEmpty();
    virtual void triggerBreak();
    virtual void triggerRing();
    virtual void triggerRxFlag();
    virtual void triggerCTSChange(bool on);
    virtual void triggerDSRChange(bool on);
    virtual void triggerError(LineErrors errors);
    virtual void triggerRLSDChange(bool on);
    virtual void triggerRx80Full();

  private:
    friend class SerialEventThread;
    friend class SerialParity;
    friend class SerialFlowControl;
    friend class SerialTimeouts;
    friend class SerialBuffer;

    LineSettings lineSettings() const;
    bool canApply() const;
    void closePortImpl(bool deviceFailed);
    // Stops the event thread and closes the device, telling no one.
    void releaseDevice();
    void stopEventThread();
    void reapRetiredThreads(bool wait);
    void createNotifyWindow();
    static LRESULT CALLBACK notifyWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void onEventThreadEnded(unsigned generation);
    void runEventHandlers(SerialEvents events);
    void runEventStep(SerialEvent event);
    bool insideOwnDelivery() const;

    void processRxChar();
    void processTxEmpty();
    void processBreak();
    void processRing();
    void processCTSChange();
    void processDSRChange();
    void processRxFlag();
    void processRLSDChange();
    void processError();
    void processRx80Full();

    template <class Callback, class... Args>
    void tellObservers(Callback SerialPortObserver::*callback, Args&&... args);

    std::unique_ptr<SerialEventThread> eventThread_;
    // Threads told to stop from inside their own delivery; released once they have ended.
    std::vector<std::unique_ptr<SerialEventThread>> retiredThreads_;
    bool threadRunning_ = false;
    // Shared with the event thread, so a thread stopped from inside a handler can finish its
    // clean-up on the device before the handle is closed.
    std::shared_ptr<framework::KernelHandle> device_;
    // Hidden window on the main thread: port events in window mode, news of a dead thread.
    framework::Window notifyWindow_;
    std::shared_ptr<CommApi> api_;
    // The event of the last blocking read, for the next one.
    framework::SpareEvent spareReadEvent_;
    std::uint32_t updateDepth_ = 0;
    std::vector<SerialPortObserver*> observers_;
    bool bufferedRxDelivery_ = false;
    int threadPriority_ = 0;
    bool observerWantsData_ = false;
    bool connected_ = false;
    LineSettings line_;
    std::wstring port_ = L"COM1";
    SerialEvents events_ = SerialEvents::all();
    SerialParity parity_{this};
    SerialFlowControl flowControl_{this};
    SerialTimeouts timeouts_{this};
    SerialBuffer buffer_{this};
    SyncMethod syncMethod_ = SyncMethod::smThreadSync;
    StoredGroups storedGroups_{StoredGroup::sgLine};
    std::wstring name_;
    // Bookkeeping for event delivery on the main thread.
    int deliveryDepth_ = 0;
    bool closing_ = false;
    bool deadThreadPending_ = false;
    unsigned threadGeneration_ = 0;
};

template <class Callback, class... Args>
void SerialPort::tellObservers(Callback SerialPortObserver::*callback, Args&&... args) {
    if (observers_.empty()) {
        return;
    }
    // A copy, so an observer may remove itself (or another) while being told.
    const std::vector<SerialPortObserver*> observers = observers_;
    for (SerialPortObserver* o : observers) {
        if (std::find(observers_.begin(), observers_.end(), o) == observers_.end()) {
            continue;
        }
        if (const auto& fn = o->*callback) {
            fn(*this, args...);
        }
    }
}

}  // namespace serial
