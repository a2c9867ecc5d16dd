#include "serial/serial_event_thread.h"

#include <process.h>

#include <array>
#include <memory>

#include "framework/main_thread_call.h"
#include "framework/scope_exit.h"
#include "framework/stage_marks.h"
#include "serial/comm_api.h"

namespace serial {
namespace {

namespace marks = framework::stage_marks;

// The order in which a batch is handled: line errors before the data that came with them.
constexpr std::array<SerialEvent, 10> kDeliveryOrder = {
    SerialEvent::evError, SerialEvent::evRxChar,  SerialEvent::evTxEmpty, SerialEvent::evBreak,
    SerialEvent::evRing,  SerialEvent::evCTS,     SerialEvent::evDSR,     SerialEvent::evRxFlag,
    SerialEvent::evRLSD,  SerialEvent::evRx80Full};

// A device whose link has dropped (a phone gone out of Bluetooth range, say) may simply never
// end the pending wait; every so often the thread asks whether the device still answers. The
// question does not touch the device's error flags or queues.
constexpr DWORD kLinkCheckMs = 500;

}  // namespace

SerialEventThread::SerialEventThread(SerialPort& port, std::shared_ptr<PortDevice> device,
                                     std::shared_ptr<CommApi> api, HWND window, unsigned generation,
                                     bool maskOnThread)
    : port_(port),
      device_(std::move(device)),
      api_(std::move(api)),
      window_(window),
      generation_(generation),
      syncMethod_(port.syncMethod()),
      mask_(eventsToMask(port.events())),
      maskOnThread_(maskOnThread) {
    // Through the C runtime, which sets up its own per-thread state for the new thread.
    unsigned id = 0;
    thread_.reset(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, &SerialEventThread::threadProc, this, CREATE_SUSPENDED, &id)));
    threadId_ = id;
    if (!thread_) {
        framework::raiseLastOSError();
    }
    stopEvent_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    wait_ = std::make_unique<WaitRecord>();
    wait_->event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stopEvent_ || !wait_->event) {
        // The thread has not run a single instruction; ending it here is safe.
        TerminateThread(thread_.get(), 1);
        framework::raiseLastOSError();
    }
    wait_->overlapped.hEvent = wait_->event.get();
    SetThreadPriority(thread_.get(), port.threadPriority());
    if (!maskOnThread_) {
        api_->setCommMask(device_->get(), mask_);
    }
    ResumeThread(thread_.get());
}

SerialEventThread::~SerialEventThread() {
    signalStop();
    if (framework::isMainThread()) {
        framework::waitServingMainThreadCalls(thread_.get());
    } else {
        WaitForSingleObject(thread_.get(), INFINITE);
    }
}

void SerialEventThread::signalStop() {
    stopRequested_ = true;
    SetEvent(stopEvent_.get());
    Sleep(0);
}

void SerialEventThread::endDelivery() {
    delivering_ = false;
    signalStop();
}

bool SerialEventThread::ended() const {
    return WaitForSingleObject(thread_.get(), 0) == WAIT_OBJECT_0;
}

unsigned __stdcall SerialEventThread::threadProc(void* self) {
    auto* thread = static_cast<SerialEventThread*>(self);
    if (thread->maskOnThread_) {
        thread->api_->setCommMask(thread->device_->get(), thread->mask_);
    }
    bool stopped = false;
    try {
        stopped = thread->run();
    } catch (...) {
        // Nothing may leave a thread: whatever still gets here ends it like a lost device.
    }
    thread->finishPendingWait();
    HANDLE device = thread->device_->get();
    thread->api_->setCommMask(device, 0);
    // What is still queued belongs to this session only.
    thread->api_->purgeComm(device, PURGE_TXCLEAR | PURGE_RXCLEAR);
    thread->device_.reset();
    // Not asked to stop: the port is told so it can close and show the link as gone.
    if (!stopped) {
        PostMessageW(thread->window_, kThreadEndedMessage, thread->generation_, 0);
    }
    return 0;
}

bool SerialEventThread::run() {
    const HANDLE waits[2] = {stopEvent_.get(), wait_->event.get()};
    HANDLE device = device_->get();
    bool lastWaitFailed = false;
    for (;;) {
        // A stop asked for while a batch was delivered ends the thread before the next wait.
        // Asked through a flag, which costs no system call on every event.
        if (stopRequested_) {
            return true;
        }
        wait_->mask = 0;
        // Not every driver resets the event when a wait starts; a stale signal would end the
        // next wait at once.
        ResetEvent(wait_->event.get());
        waitPending_ = true;
        if (api_->waitCommEvent(device, &wait_->mask, &wait_->overlapped)) {
            waitPending_ = false;
            SetEvent(wait_->event.get());
        } else if (GetLastError() != ERROR_IO_PENDING) {
            waitPending_ = false;
            // Failing at once means the device is gone; waiting again would spin.
            return false;
        }
        DWORD result;
        while ((result = WaitForMultipleObjects(2, waits, FALSE, kLinkCheckMs)) == WAIT_TIMEOUT) {
            if (!deviceAnswers()) {
                return false;
            }
        }
        if (result == WAIT_OBJECT_0) {
            return true;
        }
        if (result != WAIT_OBJECT_0 + 1) {
            return false;
        }
        marks::mark(marks::kPortEvent);
        DWORD unused = 0;
        const BOOL completed =
            api_->getOverlappedResult(device, &wait_->overlapped, &unused, FALSE);
        waitPending_ = false;
        if (!completed) {
            // One failed wait on a device that still answers may be a hiccup of the driver; a
            // second one in a row, or a device that no longer answers, is a device gone.
            if (lastWaitFailed || !deviceAnswers()) {
                return false;
            }
            lastWaitFailed = true;
            continue;
        }
        lastWaitFailed = false;
        pendingEvents_ = maskToEvents(wait_->mask);
        if (!pendingEvents_.empty() && !deliverEvents()) {
            return false;
        }
    }
}

bool SerialEventThread::deviceAnswers() {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    return api_->getCommState(device_->get(), &dcb) != FALSE;
}

void SerialEventThread::finishPendingWait() {
    if (!waitPending_) {
        return;
    }
    waitPending_ = false;
    // Clearing the mask ends a pending wait; the driver then writes its result.
    HANDLE device = device_->get();
    api_->setCommMask(device, 0);
    if (WaitForSingleObject(wait_->event.get(), 2000) == WAIT_OBJECT_0) {
        return;
    }
    api_->cancelIoEx(device, &wait_->overlapped);
    if (WaitForSingleObject(wait_->event.get(), 2000) == WAIT_OBJECT_0) {
        return;
    }
    // The driver still holds the wait: leave it the record for good rather than free memory it
    // may write into later.
    static_cast<void>(wait_.release());
}

bool SerialEventThread::deliverEvents() noexcept {
    try {
        deliverEventsOrRaise();
        return true;
    } catch (...) {
        // The event thread's boundary: a handler's error or a failed read ends the thread, and
        // the port, told that its thread has ended, closes. Nothing is shown from here.
        return false;
    }
}

void SerialEventThread::deliverEventsOrRaise() {
    switch (syncMethod_) {
        case SyncMethod::smThreadSync:
            marks::mark(marks::kHandOver);
            // A handler's error comes back here from the main thread.
            framework::runOnMainThread([this] {
                // Handed over before the port's close began: the port may be gone by now.
                if (!delivering_) {
                    return;
                }
                marks::mark(marks::kMainThread);
                ++port_.deliveryDepth_;
                framework::ScopeExit done([this] {
                    if (--port_.deliveryDepth_ == 0 && port_.deadThreadPending_) {
                        PostMessageW(window_, kThreadEndedMessage, port_.threadGeneration_, 0);
                    }
                });
                port_.runEventHandlers(pendingEvents_);
            });
            marks::mark(marks::kBack);
            break;
        case SyncMethod::smWindowSync:
            for (SerialEvent e : kDeliveryOrder) {
                if (pendingEvents_.contains(e) && delivering_) {
                    SendMessageW(window_, kPortEventMessage, eventMaskBit(e), 0);
                }
            }
            break;
        case SyncMethod::smNone:
            if (delivering_) {
                port_.runEventHandlers(pendingEvents_);
            }
            break;
    }
}

// --- the steps, one per event ------------------------------------------------------------------

void SerialPort::runEventHandlers(SerialEvents events) {
    for (SerialEvent e : kDeliveryOrder) {
        // A handler that closed the port ends the batch: nothing more comes from a closed port.
        if (!connected_) {
            return;
        }
        if (events.contains(e)) {
            runEventStep(e);
        }
    }
}

void SerialPort::runEventStep(SerialEvent event) {
    switch (event) {
        case SerialEvent::evError:
            processError();
            break;
        case SerialEvent::evRxChar:
            processRxChar();
            break;
        case SerialEvent::evTxEmpty:
            processTxEmpty();
            break;
        case SerialEvent::evBreak:
            processBreak();
            break;
        case SerialEvent::evRing:
            processRing();
            break;
        case SerialEvent::evCTS:
            processCTSChange();
            break;
        case SerialEvent::evDSR:
            processDSRChange();
            break;
        case SerialEvent::evRxFlag:
            processRxFlag();
            break;
        case SerialEvent::evRLSD:
            processRLSDChange();
            break;
        case SerialEvent::evRx80Full:
            processRx80Full();
            break;
    }
}

void SerialPort::processRxChar() {
    std::int32_t count = inputWaiting();
    if (count > 0) {
        tellObservers(&SerialPortObserver::onRxActivity, true);
    }
    if (count > 0 && (bufferedRxDelivery_ || observerWantsData_)) {
        std::unique_ptr<std::uint8_t[]> data;
        std::int32_t read = 0;
        auto readOnce = [&] {
            if (data) {
                return;
            }
            data = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(count));
            // Only the bytes actually read are handed on, never the rest of the buffer.
            read = readBytes(data.get(), count);
            triggerRxBuf(data.get(), read);
        };
        const std::vector<SerialPortObserver*> observers = observers_;
        for (SerialPortObserver* o : observers) {
            if (std::find(observers_.begin(), observers_.end(), o) == observers_.end()) {
                continue;
            }
            if (!o->onDataReceived) {
                continue;
            }
            readOnce();
            o->onDataReceived(*this, data.get(), read);
        }
        if (!data && bufferedRxDelivery_) {
            readOnce();
        }
        if (data) {
            count = 0;
        }
    }
    if (count > 0) {
        triggerRxChar(count);
    }
}

void SerialPort::processTxEmpty() {
    tellObservers(&SerialPortObserver::onTxActivity, false);
    tellObservers(&SerialPortObserver::onTxEmpty);
    triggerTxEmpty();
}

void SerialPort::processBreak() {
    triggerBreak();
}

void SerialPort::processRing() {
    tellObservers(&SerialPortObserver::onRing);
    triggerRing();
}

void SerialPort::processCTSChange() {
    const bool on = lineSignals().contains(LineSignal::lsCTS);
    tellObservers(&SerialPortObserver::onCTSChange, on);
    triggerCTSChange(on);
}

void SerialPort::processDSRChange() {
    const bool on = lineSignals().contains(LineSignal::lsDSR);
    tellObservers(&SerialPortObserver::onDSRChange, on);
    triggerDSRChange(on);
}

void SerialPort::processRxFlag() {
    tellObservers(&SerialPortObserver::onRxFlag);
    triggerRxFlag();
}

void SerialPort::processRLSDChange() {
    const bool on = lineSignals().contains(LineSignal::lsRLSD);
    tellObservers(&SerialPortObserver::onRLSDChange, on);
    triggerRLSDChange(on);
}

void SerialPort::processError() {
    const LineErrors errors = takeLineErrors();
    if (!errors.empty()) {
        triggerError(errors);
    }
}

void SerialPort::processRx80Full() {
    triggerRx80Full();
}

}  // namespace serial
