// The background thread of an open port: waits for the port's events and delivers them.
// Internal to the component.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>

#include "framework/handle.h"
#include "serial/serial_port.h"

namespace serial {

// Messages of the port's hidden window.
constexpr UINT kPortEventMessage = WM_USER + 1;    // wParam: the event's EV_ bit
constexpr UINT kThreadEndedMessage = WM_USER + 2;  // wParam: the thread's generation

class SerialEventThread {
  public:
    // Creates the thread suspended, gives the device its event mask, then starts it. With
    // maskOnThread the thread gives the mask itself, so that the calling thread makes no call to
    // the device.
    SerialEventThread(SerialPort& port, std::shared_ptr<PortDevice> device,
                      std::shared_ptr<CommApi> api, HWND window, unsigned generation,
                      bool maskOnThread = false);
    // Stops the thread and waits for it; on the main thread it keeps serving the thread's
    // hand-overs meanwhile. Never called on the thread itself.
    ~SerialEventThread();
    SerialEventThread(const SerialEventThread&) = delete;
    SerialEventThread& operator=(const SerialEventThread&) = delete;

    void signalStop();
    // Main thread, as the port's close in the background begins: the thread is told to stop, and
    // from now on it delivers nothing, not even a batch already handed over, and no longer uses
    // the port, which may go before the thread ends.
    void endDelivery();
    bool ended() const;
    bool isCurrentThread() const { return GetCurrentThreadId() == threadId_; }

  private:
    static unsigned __stdcall threadProc(void* self);
    // True when the thread stopped because it was asked to; false when the device is gone or a
    // batch could not be delivered.
    bool run();
    // False when a step or a handler raised.
    bool deliverEvents() noexcept;
    void deliverEventsOrRaise();
    void finishPendingWait();
    bool deviceAnswers();

    SerialPort& port_;
    std::shared_ptr<PortDevice> device_;
    std::shared_ptr<CommApi> api_;
    HWND window_;
    unsigned generation_;
    SyncMethod syncMethod_;
    DWORD mask_;
    bool maskOnThread_;
    std::atomic<bool> delivering_{true};
    framework::KernelHandle stopEvent_;
    std::atomic<bool> stopRequested_{false};
    // What the driver writes into when a wait ends. Kept apart so that a wait the driver never
    // ends can keep it for good instead of writing into freed memory.
    struct WaitRecord {
        framework::KernelHandle event;
        OVERLAPPED overlapped{};
        DWORD mask = 0;
    };
    std::unique_ptr<WaitRecord> wait_;
    bool waitPending_ = false;
    SerialEvents pendingEvents_;
    framework::KernelHandle thread_;
    DWORD threadId_ = 0;
};

}  // namespace serial
