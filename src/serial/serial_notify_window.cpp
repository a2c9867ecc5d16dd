// The port's hidden window on the main thread: it receives the port's events in window hand-over
// mode, the news that the event thread has ended on its own, and that a close in the background
// is over.
#include "framework/application.h"
#include "framework/owned_window.h"
#include "framework/scope_exit.h"
#include "serial/serial_device_closer.h"
#include "serial/serial_event_thread.h"
#include "serial/serial_port.h"

namespace serial {

void SerialPort::createNotifyWindow() {
    if (notifyWindow_) {
        return;
    }
    if (!framework::createOwnedMessageWindow(L"KeypilotSerialPortWindow", *this)) {
        framework::raiseLastOSError();
    }
}

LRESULT SerialPort::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kPortEventMessage) {
        // Release the event thread before the step runs, so it can wait for the next event.
        if (InSendMessage()) {
            ReplyMessage(0);
        }
        if (!connected_ || closing_) {
            return 0;
        }
        SerialEvents events = maskToEvents(static_cast<std::uint32_t>(wParam));
        if (events.empty() || eventsToMask(events) != wParam) {
            return 0;
        }
        ++deliveryDepth_;
        framework::ScopeExit done([this] {
            if (--deliveryDepth_ == 0 && deadThreadPending_) {
                PostMessageW(notifyWindow_.get(), kThreadEndedMessage, threadGeneration_, 0);
            }
        });
        runEventHandlers(events);
        return 0;
    }
    if (msg == kThreadEndedMessage) {
        onEventThreadEnded(static_cast<unsigned>(wParam));
        return 0;
    }
    if (msg == kCloseDoneMessage) {
        // A close already waited for (by an open, say) has been told.
        if (closer_ && closer_->id() == wParam) {
            finishClose();
        }
        return 0;
    }
    return DefWindowProcW(notifyWindow_.get(), msg, wParam, lParam);
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

}  // namespace serial
