// Hearing that a COM port arrived or left: Windows broadcasts WM_DEVICECHANGE for ports to every
// top-level window, and a window that registers for the COM-port interface also hears of ports
// that only make that interface (virtual and Bluetooth ones). A Bluetooth radio is heard of only
// by a window registered for its interface.
#pragma once

#include <windows.h>

#include <optional>

#include "framework/handle.h"
#include "ports/device_classes.h"

namespace ports {

struct DeviceNotificationTraits {
    using Type = HDEVNOTIFY;
    static Type empty() { return nullptr; }
    static Type invalid() { return nullptr; }
    static void close(Type h) { UnregisterDeviceNotification(h); }
};

// Registers a window for a device interface's arrivals and removals while it lives.
class PortChangeRegistration {
  public:
    // A window of this process; without a registration (the system refused) the window still
    // gets the ports' broadcasts.
    explicit PortChangeRegistration(HWND window, const GUID& deviceInterface = kComPortInterface);
    bool registered() const { return handle_.valid(); }

  private:
    framework::UniqueHandle<DeviceNotificationTraits> handle_;
};

// Whether a WM_DEVICECHANGE tells of a COM port that arrived or left.
bool isPortArrivalOrRemoval(WPARAM event, LPARAM data);

// Whether a WM_DEVICECHANGE tells of a Bluetooth radio that arrived (true) or left (false).
std::optional<bool> bluetoothRadioChange(WPARAM event, LPARAM data);

}  // namespace ports
