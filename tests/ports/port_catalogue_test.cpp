#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ports/device_ids.h"
#include "ports/port_catalogue.h"

using ports::PortKind;

namespace {

// A device as Windows describes it; a Bluetooth serial port's instance ID ends in its address.
ports::PortDevice device(const wchar_t* port, const wchar_t* friendlyName, bool bluetooth,
                         const std::wstring& address = L"") {
    if (!bluetooth) {
        return {port,
                friendlyName,
                {L"USB\\VID_2341&PID_0043&REV_0001", L"USB\\VID_2341&PID_0043"},
                L"USB\\VID_2341&PID_0043\\75735323130351E0E1D1"};
    }
    return {port,
            friendlyName,
            {L"BTHENUM\\{00001101-0000-1000-8000-00805f9b34fb}_LOCALMFG&0002"},
            L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\7&2A8D4DA8&0&" +
                address + L"_C00000000"};
}

// Recorded devices (incoming and outgoing Bluetooth ports, USB adapters, names in other
// languages) and port names from the other sources. What a port is comes from its IDs, never from
// its friendly name.
TEST(PortCatalogueTest, APortExistsWhenAnySourceNamesItAndItsDeviceSaysWhatItIs) {
    ports::PortSources sources;
    sources.registeredNames = [] { return std::vector<std::wstring>{L"COM5", L"COM2", L"COM31"}; };
    sources.deviceNames = [] { return std::vector<std::wstring>{L"com8", L"COM0", L"LPT1"}; };
    sources.devices = [] {
        return std::vector<ports::PortDevice>{
            device(L"COM5", L"Standard Serial over Bluetooth link (COM5)", true, L"000000000000"),
            device(L"COM6", L"Standard Serial over Bluetooth link (COM6)", true, L"58CB52A1B2C3"),
            device(L"COM10", L"Standard Serial over Bluetooth link (COM10)", true, L"0019A1B2C3D4"),
            device(L"COM9", L"Стандартный последовательный порт по соединению Bluetooth (COM9)",
                   true, L"000000000000"),
            device(L"COM3", L"USB-Serielles Gerät (COM3)", false),
            // A USB adapter whose driver names it after Bluetooth.
            device(L"COM7", L"Standard Serial over Bluetooth link (COM7)", false),
            // The same port again, as the Ports class lists it after the port interface.
            device(L"COM5", L"Other (COM5)", false),
            // No address in the instance ID: the direction is unknown.
            device(L"COM11", L"Serial (COM11)", true, L"odd"),
            device(L"COM31", L"USB Serial Device (COM31)", false),
        };
    };
    std::vector<std::uint64_t> asked;
    sources.bluetoothName = [&asked](std::uint64_t address) {
        asked.push_back(address);
        return address == 0x58CB52A1B2C3 ? std::wstring(L"Pixel 7") : std::wstring();
    };
    const ports::PortList list = ports::listPorts(sources);
    struct Expected {
        int port;
        PortKind kind;
        std::wstring description, remoteName;
    } expected[] = {
        {2, PortKind::Unknown, L"", L""},
        {3, PortKind::Other, L"USB-Serielles Gerät", L""},
        {5, PortKind::BluetoothIncoming, L"Standard Serial over Bluetooth link", L""},
        {6, PortKind::BluetoothOutgoing, L"Standard Serial over Bluetooth link", L"Pixel 7"},
        {7, PortKind::Other, L"Standard Serial over Bluetooth link", L""},
        {8, PortKind::Unknown, L"", L""},
        {9, PortKind::BluetoothIncoming,
         L"Стандартный последовательный порт по соединению Bluetooth", L""},
        {10, PortKind::BluetoothOutgoing, L"Standard Serial over Bluetooth link", L""},
        {11, PortKind::Other, L"Serial", L""},
    };
    int present = 0;
    for (const auto& port : list) {
        present += port.exists ? 1 : 0;
    }
    EXPECT_EQ(present, 9) << "COM31, COM0 and LPT1 are no ports of the list";
    for (const auto& e : expected) {
        const auto& port = list[static_cast<std::size_t>(e.port - 1)];
        EXPECT_TRUE(port.exists) << "COM" << e.port;
        EXPECT_EQ(port.kind, e.kind) << "COM" << e.port;
        EXPECT_EQ(port.description, e.description) << "COM" << e.port;
        EXPECT_EQ(port.remoteName, e.remoteName) << "COM" << e.port;
    }
    EXPECT_EQ(asked, (std::vector<std::uint64_t>{0x58CB52A1B2C3, 0x0019A1B2C3D4}));

    // Missing sources know nothing.
    sources.bluetoothName = nullptr;
    EXPECT_EQ(ports::listPorts(sources)[5].kind, PortKind::BluetoothOutgoing);
    for (const auto& port : ports::listPorts(ports::PortSources{})) {
        EXPECT_FALSE(port.exists);
    }
}

TEST(PortCatalogueTest, NamesAndIdsAreReadByTheirForm) {
    for (const wchar_t* name : {L"COM", L"COM05", L"COM1234", L" COM5", L"COMx"}) {
        EXPECT_EQ(ports::comPortNumber(name), std::nullopt) << testing::PrintToString(name);
    }
    EXPECT_FALSE(ports::isBluetoothSerialPort({L"BTHENUM\\{0000111e-0000-1000-8000-00805f9b34fb}"}))
        << "another Bluetooth service (hands-free)";
    EXPECT_EQ(ports::bluetoothAddress(L"BTHENUM\\AABBCCDDEEFF\\7&2A8D4DA8&0"), std::nullopt)
        << "only the last part counts";
    EXPECT_EQ(ports::withoutPortSuffix(L"Printer port (LPT1)"), L"Printer port (LPT1)");
}

}  // namespace
