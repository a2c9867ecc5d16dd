// The port's hidden window on the main thread: it receives the port's events in window hand-over
// mode, and the news that the event thread has ended on its own.
#include "framework/application.h"
#include "framework/hidden_window.h"
#include "framework/scope_exit.h"
#include "serial/serial_event_thread.h"
#include "serial/serial_port.h"

namespace serial {

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

}  // namespace serial
