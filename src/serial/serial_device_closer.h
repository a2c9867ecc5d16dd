// The slow part of a port's close in the background, on a thread of its own: the purge of what is
// under way, the event thread's end and the device's release, once every user of the device has
// let go of it. It needs nothing of the port, so the port may go before it ends. Internal to the
// component.
#pragma once

#include <windows.h>

#include <memory>

#include "framework/handle.h"
#include "serial/comm_api.h"
#include "serial/serial_event_thread.h"
#include "serial/serial_port.h"

namespace serial {

// Posted to the port's window once the device is closed; wParam: the close's id.
constexpr UINT kCloseDoneMessage = WM_USER + 3;

class DeviceCloser {
  public:
    // Starts the thread. Raises when it cannot; what it was given then goes on this thread.
    // Let go of before the thread ends, it leaves the thread to finish alone.
    DeviceCloser(std::shared_ptr<CommApi> api, std::shared_ptr<PortDevice> device,
                 DeviceReleased released, std::unique_ptr<SerialEventThread> eventThread,
                 HWND window, unsigned id);

    unsigned id() const { return id_; }
    // Signalled once the device is closed and the thread has ended.
    HANDLE done() const { return thread_.get(); }

  private:
    unsigned id_;
    framework::KernelHandle thread_;
};

}  // namespace serial
