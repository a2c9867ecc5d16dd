// The device classes that COM ports belong to, and the Bluetooth radio's interface.
#pragma once

#include <windows.h>

namespace ports {

// GUID_DEVINTERFACE_COMPORT: every device that makes a COM port, Bluetooth and other virtual
// ones included, which the Ports class can miss.
inline constexpr GUID kComPortInterface = {
    0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};
// GUID_BTHPORT_DEVICE_INTERFACE: a Bluetooth radio, which arrives and leaves with its adapter
// (and when the user turns it off in some drivers).
inline constexpr GUID kBluetoothRadioInterface = {
    0x0850302a, 0xb344, 0x4fda, {0x9b, 0xe9, 0x90, 0x57, 0x6b, 0x8d, 0x46, 0xf0}};
// GUID_DEVCLASS_PORTS: the "Ports (COM & LPT)" setup class.
inline constexpr GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

}  // namespace ports
