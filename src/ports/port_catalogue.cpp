#include "ports/port_catalogue.h"

#include "ports/device_ids.h"

namespace ports {
namespace {

// The entry for a port name, when it is one of COM1 to COM30.
std::optional<int> entryOf(std::wstring_view name) {
    std::optional<int> number = comPortNumber(name);
    if (!number || *number > kPortCount) {
        return std::nullopt;
    }
    return *number - 1;
}

void markNamed(PortList& ports, const std::function<std::vector<std::wstring>()>& source) {
    if (!source) {
        return;
    }
    for (const auto& name : source()) {
        if (auto entry = entryOf(name)) {
            ports[static_cast<std::size_t>(*entry)].exists = true;
        }
    }
}

PortInfo describe(const PortDevice& device, const PortSources& sources) {
    PortInfo info;
    info.exists = true;
    info.kind = PortKind::Other;
    info.description = withoutPortSuffix(device.friendlyName);
    if (!isBluetoothSerialPort(device.hardwareIds)) {
        return info;
    }
    // Without an address the direction is unknown: it stays a port like any other.
    std::optional<std::uint64_t> address = bluetoothAddress(device.instanceId);
    if (!address) {
        return info;
    }
    if (*address == 0) {
        info.kind = PortKind::BluetoothIncoming;
        return info;
    }
    info.kind = PortKind::BluetoothOutgoing;
    if (sources.bluetoothName) {
        info.remoteName = sources.bluetoothName(*address);
    }
    return info;
}

}  // namespace

PortList listPorts(const PortSources& sources) {
    PortList ports{};
    markNamed(ports, sources.registeredNames);
    markNamed(ports, sources.deviceNames);
    if (sources.devices) {
        for (const auto& device : sources.devices()) {
            std::optional<int> entry = entryOf(device.portName);
            if (!entry) {
                continue;
            }
            PortInfo& info = ports[static_cast<std::size_t>(*entry)];
            // A device listed twice (as a port interface and in the ports class) counts once.
            if (info.kind == PortKind::Unknown) {
                info = describe(device, sources);
            }
        }
    }
    return ports;
}

std::optional<int> onlyBluetoothIncomingPort(const PortList& ports) {
    std::optional<int> found;
    for (int i = 0; i < kPortCount; ++i) {
        if (ports[static_cast<std::size_t>(i)].kind != PortKind::BluetoothIncoming) {
            continue;
        }
        if (found) {
            return std::nullopt;
        }
        found = i;
    }
    return found;
}

std::vector<int> bluetoothIncomingPorts(const PortList& ports) {
    std::vector<int> found;
    for (int i = 0; i < kPortCount; ++i) {
        if (ports[static_cast<std::size_t>(i)].kind == PortKind::BluetoothIncoming) {
            found.push_back(i);
        }
    }
    return found;
}

}  // namespace ports
