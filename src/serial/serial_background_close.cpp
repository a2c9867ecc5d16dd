// A close whose slow part runs on a thread of its own: the port lets go of its device and event
// thread at once, and hears on its window when the device is closed.
#include <utility>

#include "framework/background_call.h"
#include "framework/main_thread_call.h"
#include "serial/serial_device_closer.h"
#include "serial/serial_port.h"

namespace serial {

DeviceCloser::DeviceCloser(std::shared_ptr<CommApi> api, std::shared_ptr<PortDevice> device,
                           DeviceReleased released, std::unique_ptr<SerialEventThread> eventThread,
                           HWND window, unsigned id)
    : id_(id) {
    thread_ = framework::startThread([api = std::move(api), device = std::move(device),
                                      released = std::move(released),
                                      eventThread = std::move(eventThread), window, id]() mutable {
        if (!api->purgeComm(device->get(), PURGE_TXABORT | PURGE_RXABORT)) {
            // Dropped: a device that has gone away refuses this too, and must still close.
        }
        eventThread.reset();
        device.reset();
        // Others that shared the device (an owner's writer) may let go of it a moment later.
        waitForRelease(released);
        PostMessageW(window, kCloseDoneMessage, id, 0);
    });
}

bool SerialPort::startBackgroundClose() {
    try {
        createNotifyWindow();
    } catch (const std::exception&) {
        // Dropped: with no window to hear that the close is over, it is made here, as closePort
        // makes it.
        return false;
    }
    if (syncMethod_ == SyncMethod::smNone && threadRunning_) {
        // Its handlers run on the event thread and use the port: the thread ends first.
        stopEventThread();
    }
    std::unique_ptr<SerialEventThread> thread;
    if (eventThread_) {
        eventThread_->endDelivery();
        thread = std::move(eventThread_);
    }
    threadRunning_ = false;
    connected_ = false;
    deadThreadPending_ = false;
    try {
        closer_ =
            std::make_unique<DeviceCloser>(api_, std::move(device_), released_, std::move(thread),
                                           notifyWindow_.get(), ++closeId_);
    } catch (const std::exception&) {
        // Dropped: no thread could be started; what the closer was given went with its failed
        // start, on this thread, and the device closed with it.
        device_.reset();
    }
    return true;
}

void SerialPort::finishClose() {
    closer_.reset();
    tellObservers(&SerialPortObserver::onConnectionChanged, false);
    triggerAfterClose();
}

bool SerialPort::waitForClose(DWORD timeoutMs) {
    if (!closer_) {
        return true;
    }
    const DWORD waited = framework::isMainThread()
                             ? framework::waitServingMainThreadCalls(closer_->done(), timeoutMs)
                             : WaitForSingleObject(closer_->done(), timeoutMs);
    if (waited != WAIT_OBJECT_0) {
        return false;
    }
    finishClose();
    return true;
}

void closeOffThread(std::shared_ptr<PortDevice> device) noexcept {
    if (!device) {
        return;
    }
    try {
        framework::startThread([device = std::move(device)]() mutable { device.reset(); });
    } catch (const std::exception&) {
        // Dropped: no thread could be started, and the device closed here with its failed start.
    }
}

void SerialPort::discardDevice(std::shared_ptr<PortDevice> device) {
    // Otherwise closed here, unless the event thread still holds it.
    if (closeInBackground_) {
        closeOffThread(std::move(device));
    }
}

}  // namespace serial
