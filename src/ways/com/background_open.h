// Every open of the port's device, on a thread of its own: a driver that blocks for seconds (a
// Bluetooth port dialling the phone, a driver that is going away) holds that thread and not the
// program's. The thread sets the device up too, for the same reason. The device comes back to
// the main thread, where the port takes it; a device that comes after its owner has let go is
// closed unused, and never set up.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "framework/background_call.h"
#include "serial/serial_port.h"

namespace app {

using BackgroundOpen = framework::BackgroundCall<serial::OpenedDevice>;

// Starts the device calls for portName through api, once released is signalled (a former device
// of the port closed): the open, then the set-up with setup. Once they are done, message is posted
// to window with id as its wParam. Raises std::system_error when no thread can be started.
std::unique_ptr<BackgroundOpen> startBackgroundOpen(std::shared_ptr<serial::CommApi> api,
                                                    const std::wstring& portName,
                                                    const serial::DeviceSetup& setup,
                                                    serial::DeviceReleased released, HWND window,
                                                    UINT message, WPARAM id);

}  // namespace app
