#include "ports/port_change_notice.h"

#include <dbt.h>

#include <cstddef>

#include "ports/device_classes.h"

namespace ports {

PortChangeRegistration::PortChangeRegistration(HWND window, const GUID& deviceInterface) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = deviceInterface;
    handle_.reset(RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
}

namespace {

// The interface an arrival or removal names; nothing for other events and devices.
const GUID* changedInterface(WPARAM event, LPARAM data) {
    if ((event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) || data == 0) {
        return nullptr;
    }
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
        header->dbch_size < offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name)) {
        return nullptr;
    }
    return &reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(data)->dbcc_classguid;
}

}  // namespace

bool isPortArrivalOrRemoval(WPARAM event, LPARAM data) {
    if ((event == DBT_DEVICEARRIVAL || event == DBT_DEVICEREMOVECOMPLETE) && data != 0 &&
        reinterpret_cast<const DEV_BROADCAST_HDR*>(data)->dbch_devicetype == DBT_DEVTYP_PORT) {
        return true;
    }
    const GUID* changed = changedInterface(event, data);
    return changed && IsEqualGUID(*changed, kComPortInterface);
}

std::optional<bool> bluetoothRadioChange(WPARAM event, LPARAM data) {
    const GUID* changed = changedInterface(event, data);
    if (!changed || !IsEqualGUID(*changed, kBluetoothRadioInterface)) {
        return std::nullopt;
    }
    return event == DBT_DEVICEARRIVAL;
}

}  // namespace ports
