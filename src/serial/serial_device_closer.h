// The slow part of a port's close in the background, on a thread of its own: the purge of what is
// under way, the event thread's end and the device's release, once every user of the device has
// let go of it. It needs nothing of the port, so the port may go before it ends. Internal to the
// component.
#pragma once

#include <windows.h>

#include <memory>
#include <thread>

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
    DeviceCloser(std::shared_ptr<CommApi> api, std::shared_ptr<PortDevice> device,
                 DeviceReleased released, std::unique_ptr<SerialEventThread> eventThread,
                 HWND window, unsigned id);
    // Joins a thread that is done; one still closing is left to finish alone.
    ~DeviceCloser();
    DeviceCloser(const DeviceCloser&) = delete;
    DeviceCloser& operator=(const DeviceCloser&) = delete;

    unsigned id() const { return id_; }
    // Signalled once the device is closed.
    HANDLE done() const { return done_->get(); }

  private:
    unsigned id_;
    // Shared with the thread, which may outlive this object.
    std::shared_ptr<framework::KernelHandle> done_;
    std::thread thread_;
};

}  // namespace serial
