// The system's own sources of port facts: the serial drivers' registrations, the device names,
// the device setup's COM-port devices and the Bluetooth stack. Each reads only what the system
// already knows (nothing is opened or dialled), raises nothing and gives nothing when it fails.
#pragma once

#include "ports/port_catalogue.h"

namespace ports {

// registeredNames: HKLM\HARDWARE\DEVICEMAP\SERIALCOMM. deviceNames: QueryDosDevice's list.
// devices: the devices of the COM-port interface and of the Ports class, each once.
// bluetoothName: BluetoothGetDeviceInfo (bthprops.cpl, loaded when asked), then the paired
// devices' registry.
PortSources systemPortSources();

// The catalogue as the system reports it now.
PortList listSystemPorts();

}  // namespace ports
