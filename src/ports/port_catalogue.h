// Which of the ports COM1 to COM30 exist and what each is, put together from what the system's
// sources report. The sources sit behind PortSources so that the combining can be fed recorded
// device data; the system's own sources are in system_port_sources.h.
//
// The catalogue raises nothing and never opens a port: a source that fails or is missing just
// gives fewer facts.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ports {

// COM1 to COM30: entry n of a PortList is COMn+1.
inline constexpr int kPortCount = 30;

enum class PortKind {
    Unknown,  // present, but no device describes it
    Other,    // a device that is no Bluetooth serial port (a USB adapter, a built-in port)
    BluetoothIncoming,  // the local end of a Bluetooth serial link: the phone connects to it
    BluetoothOutgoing,  // dials the remote device named by remoteName when opened
};

struct PortInfo {
    bool exists = false;
    PortKind kind = PortKind::Unknown;
    // The device's friendly name without its "(COMn)", in the system's language; may be empty.
    std::wstring description;
    // An outgoing Bluetooth port's remote device, where the Bluetooth stack knows its name.
    std::wstring remoteName;
};

using PortList = std::array<PortInfo, kPortCount>;

// A device that the system's device setup lists as a COM port, as it describes itself.
struct PortDevice {
    std::wstring portName;                  // the device key's PortName, e.g. "COM5"
    std::wstring friendlyName;              // localised, e.g. "USB Serial Device (COM3)"
    std::vector<std::wstring> hardwareIds;  // most specific first
    std::wstring instanceId;
};

// Where the facts come from; an empty function is a source that knows nothing.
struct PortSources {
    // Port names the serial drivers have registered (HARDWARE\DEVICEMAP\SERIALCOMM).
    std::function<std::vector<std::wstring>()> registeredNames;
    // Port names among the system's device names (QueryDosDevice).
    std::function<std::vector<std::wstring>()> deviceNames;
    // The devices that make COM ports.
    std::function<std::vector<PortDevice>()> devices;
    // A remote Bluetooth device's name from its address; empty when unknown.
    std::function<std::wstring(std::uint64_t address)> bluetoothName;
};

// A port exists when any source names it; what it is comes from its device, if one names it.
PortList listPorts(const PortSources& sources);

// The entry of the one Bluetooth incoming port, when there is exactly one.
std::optional<int> onlyBluetoothIncomingPort(const PortList& ports);

// The entries of every Bluetooth incoming port, in order.
std::vector<int> bluetoothIncomingPorts(const PortList& ports);

}  // namespace ports
