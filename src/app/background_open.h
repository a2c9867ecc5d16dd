// One open of a port's device on a thread of its own, for the tries to reconnect: a driver that
// blocks for seconds (a Bluetooth port dialling the phone, a driver that is going away) holds that
// thread and not the program's. When the device call is done, a message is posted to a window of
// the main thread, where the result is taken. Let go of before that, the thread closes the device
// unused and ends by itself: nothing ever waits for it.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "serial/serial_port.h"

namespace app {

class BackgroundOpen {
  public:
    // Starts the device call for portName through api; once it is done, message is posted to
    // window with id as its wParam. Raises std::system_error when no thread can be started.
    BackgroundOpen(std::shared_ptr<serial::CommApi> api, const std::wstring& portName, HWND window,
                   UINT message, WPARAM id);
    // Lets go: a device not taken yet, or still to come, is closed unused.
    ~BackgroundOpen();
    BackgroundOpen(const BackgroundOpen&) = delete;
    BackgroundOpen& operator=(const BackgroundOpen&) = delete;

    // The device call's result once it is done (the message has been posted); nothing before.
    std::optional<serial::OpenedDevice> take();

  private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

}  // namespace app
