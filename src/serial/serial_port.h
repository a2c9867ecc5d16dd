// The serial port component: owns one COM port, its settings, the background thread that waits
// for the port's events and hands them to the main thread, and reading from the port.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/handle.h"
#include "framework/owned_window.h"
#include "framework/spare_event.h"
#include "serial/comm_api.h"
#include "serial/serial_error.h"
#include "serial/serial_observer.h"
#include "serial/serial_records.h"
#include "serial/serial_settings.h"
#include "serial/serial_transfer.h"
#include "serial/serial_types.h"

namespace framework {
class IniFile;
class RegistryKey;
}  // namespace framework

namespace serial {

class DeviceCloser;
class SerialEventThread;

// The settings an open hands to the device, as the port holds them (deviceSetup), so that the
// device can be set up on a thread other than the owner's (setUpDevice).
struct DeviceSetup {
    std::uint32_t inputSize = 0;
    std::uint32_t outputSize = 0;
    DeviceControlRecord line;
    TimeoutRecord timeouts;
    friend bool operator==(const DeviceSetup&, const DeviceSetup&) = default;
};

// What the device steps of opening give: the device, or why there is none (openFailed, or the
// setting the driver refused) with the system's error.
struct OpenedDevice {
    PortDevice device;
    SerialErrorCode failure = SerialErrorCode::openFailed;
    std::int32_t systemError = 0;
    // Once set up: the settings the driver took, and its line signals, or the system's error of
    // their read (which, as in openPort, fails the open only once the port is open).
    std::optional<DeviceSetup> setUp;
    std::optional<LineSignals> lineSignals;
    std::int32_t lineSignalsError = 0;
};

// The device call of opening: the port's device ("COM3" as "\\.\COM3") opened exclusively for
// overlapped use. It may block for seconds (a Bluetooth port may dial the phone). It raises
// nothing and touches nothing but api, so any thread may make it, even one that outlives the
// port and the program's texts.
OpenedDevice openPortDevice(std::shared_ptr<CommApi> api, const std::wstring& portName);
// The set-up step of opening, for a device that openPortDevice opened: the queue sizes, line
// settings and time-outs handed to the driver and the line signals read, all on the calling
// thread, since a driver may hold these calls too. A setting the driver refuses closes the device,
// and opened says which. Raises nothing, as openPortDevice.
void setUpDevice(CommApi& api, OpenedDevice& opened, const DeviceSetup& setup);
// Lets go of the device on a thread of its own, where its close may take its time; here when no
// thread can be started.
void closeOffThread(std::shared_ptr<PortDevice> device) noexcept;

// Signalled once a device is closed by all who shared it; empty when there is nothing to wait for.
using DeviceReleased = std::shared_ptr<const framework::KernelHandle>;
// Waits on the calling thread until released is signalled.
void waitForRelease(const DeviceReleased& released);

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
    // Raises setWhileConnected while the port is open.
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
    // A close still under way is waited for first (see closeInBackground).
    void openPort();
    // openPort with a device that openPortDevice opened, and setUpDevice may have set up, for
    // this port beforehand (on another thread, say): the same steps and notifications, without
    // the device calls that were made; settings changed since the set-up are handed to the driver
    // here. A result without a device raises its failure after onBeforeOpen, as openPort does. On
    // an open port the device is closed unused.
    void openPortOn(OpenedDevice opened);
    // Waits for the event thread to end, serving its pending hand-overs meanwhile. Called from
    // one of the port's own handlers it does not wait; the thread ends on its own afterwards.
    // With closeInBackground, returns once the close has started (below).
    void closePort();
    // Whether a close, the owner's or the port's own after a lost device, leaves its slow part
    // (the purge, the event thread's end, the device's close, which a driver may hold for
    // seconds) to a thread of its own. The port reads closed from the start of such a close: no
    // event is delivered after it began, not even one already handed over, and handle() is
    // invalid. onAfterClose (and the observers' news) comes through the port's window once the
    // device is closed. A failed purge is not raised then: the device closes either way. In
    // smNone mode, whose handlers run on the event thread and use the port, that thread is still
    // waited for here. Off by default.
    bool closeInBackground() const { return closeInBackground_; }
    void setCloseInBackground(bool value) { closeInBackground_ = value; }
    // Whether a close in the background is under way: its device not yet closed, or its
    // onAfterClose not yet told.
    bool closing() const { return closer_ != nullptr; }
    // Main thread: waits, serving the hand-overs to it, at most timeoutMs for a close under way,
    // and tells its onAfterClose; true when no close is under way any more. A port destroyed
    // while its close runs leaves it to finish alone, telling no one.
    bool waitForClose(DWORD timeoutMs);
    // Signalled once the port's last device is closed by all who shared it: an open made
    // elsewhere (openPortDevice on another thread) waits for it, since Windows refuses a second
    // open of a port while a handle of the first lives.
    DeviceReleased deviceReleased() const { return released_; }
    void applySettings();
    virtual void applyLineSettings();
    virtual void applyTimeoutSettings();
    virtual void applyQueueSizes();
    void cancelTransfers();
    LineSignals lineSignals();
    // The open device, or INVALID_HANDLE_VALUE.
    HANDLE handle() const;
    // The open device as its users share it (an owner's writer thread, say), or nothing; the
    // device closes once the last of them lets go, which a close in the background waits for.
    std::shared_ptr<PortDevice> sharedDevice() const { return device_; }
    // The settings an open hands to the device now, for setUpDevice.
    DeviceSetup deviceSetup() const;

    // --- reading ----------------------------------------------------------------------------
    // Reads at most count bytes; with the default time-outs only those already received.
    std::int32_t readText(std::string& text, std::int32_t count);
    std::int32_t readBytes(std::uint8_t* buffer, std::int32_t count);
    std::int32_t beginReadText(std::string& text, std::int32_t count, SerialTransfer* transfer);
    std::int32_t beginReadBytes(std::uint8_t* buffer, std::int32_t count, SerialTransfer* transfer);
    // A read the driver does not give back when asked to cancel it fails with readFailed after a
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
    // The calls the port makes, for a device call made elsewhere (openPortDevice).
    const std::shared_ptr<CommApi>& commApi() const { return api_; }

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

    LineSettings lineSettings() const;
    bool canApply() const;
    // Opening is the device call (createPortHandle) and then, on the main thread, taking the
    // opened device and setting it up; the two steps share nothing but the handle.
    void adoptDevice(PortDevice device);
    // Settings, event thread and the after-open notifications for the adopted device; what
    // prepared holds (set up elsewhere) is not asked of the driver again.
    void setUpOpenedDevice(const OpenedDevice* prepared);
    void closePortImpl(bool deviceFailed);
    // Hands the close's slow part to a thread of its own (or, when no thread can be started, makes
    // it here); false when the port has no window to hear that the close is over, and the caller
    // closes as closePort does.
    bool startBackgroundClose();
    // The close in the background has closed its device: the after-close notifications.
    void finishClose();
    // A device the port will not use, closed where it cannot hold the owner's thread.
    void discardDevice(std::shared_ptr<PortDevice> device);
    // Stops the event thread and closes the device, telling no one.
    void releaseDevice();
    void stopEventThread();
    void reapRetiredThreads(bool wait);
    void createNotifyWindow();
    friend LRESULT CALLBACK framework::ownedWindowProcedure<SerialPort>(HWND, UINT, WPARAM, LPARAM);
    framework::OwnedWindow& ownedWindow() { return notifyWindow_; }
    LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
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
    std::shared_ptr<PortDevice> device_;
    // Signalled once the last device adopted is closed.
    DeviceReleased released_;
    bool closeInBackground_ = false;
    std::unique_ptr<DeviceCloser> closer_;
    unsigned closeId_ = 0;
    // Hidden window on the main thread: port events in window mode, news of a dead thread.
    framework::OwnedWindow notifyWindow_;
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
