#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ports/device_ids.h"
#include "ports/port_catalogue.h"

using ports::PortDevice;
using ports::PortKind;
using ports::PortList;
using ports::PortSources;

namespace {

const std::wstring kSerialService = L"{00001101-0000-1000-8000-00805f9b34fb}";

// Devices as Windows describes them on a PC with a paired phone and a USB serial adapter.
PortDevice bluetoothPort(const std::wstring& port, const std::wstring& friendlyName,
                         const std::wstring& address) {
    PortDevice device;
    device.portName = port;
    device.friendlyName = friendlyName;
    device.hardwareIds = {L"BTHENUM\\" + kSerialService + L"_LOCALMFG&0002",
                          L"BTHENUM\\" + kSerialService};
    device.instanceId =
        L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\"
        L"7&2A8D4DA8&0&" +
        address + L"_C00000000";
    return device;
}

PortDevice usbPort(const std::wstring& port, const std::wstring& friendlyName) {
    PortDevice device;
    device.portName = port;
    device.friendlyName = friendlyName;
    device.hardwareIds = {L"USB\\VID_2341&PID_0043&REV_0001", L"USB\\VID_2341&PID_0043"};
    device.instanceId = L"USB\\VID_2341&PID_0043\\75735323130351E0E1D1";
    return device;
}

PortSources sourcesWith(std::vector<PortDevice> devices) {
    PortSources sources;
    sources.devices = [devices] { return devices; };
    return sources;
}

const ports::PortInfo& com(const PortList& list, int number) {
    return list.at(static_cast<std::size_t>(number - 1));
}

TEST(PortCatalogueTest, APortExistsWhenAnySourceNamesItAndOnlyCom1ToCom30Count) {
    PortSources sources = sourcesWith({usbPort(L"COM3", L"USB Serial Device (COM3)"),
                                       usbPort(L"COM31", L"USB Serial Device (COM31)")});
    sources.registeredNames = [] { return std::vector<std::wstring>{L"COM5", L"COM6", L"COM31"}; };
    sources.deviceNames = [] {
        return std::vector<std::wstring>{L"COM7", L"com8", L"COM0", L"COM09", L"LPT1", L"COM5"};
    };
    PortList list = ports::listPorts(sources);
    for (int number = 1; number <= ports::kPortCount; ++number) {
        bool named = number == 3 || (number >= 5 && number <= 8);
        EXPECT_EQ(com(list, number).exists, named) << "COM" << number;
        if (number != 3) {
            EXPECT_EQ(com(list, number).kind, PortKind::Unknown) << "COM" << number;
            EXPECT_EQ(com(list, number).description, L"") << "COM" << number;
        }
    }
    EXPECT_EQ(com(list, 3).kind, PortKind::Other);
    EXPECT_EQ(com(list, 3).description, L"USB Serial Device");

    // A source that is missing knows nothing; none at all gives no port.
    for (const auto& port : ports::listPorts(PortSources{})) {
        EXPECT_FALSE(port.exists);
    }
}

// The recorded devices: incoming and outgoing Bluetooth ports, a USB adapter, and names in other
// languages. What a port is comes from its IDs, never from its friendly name.
TEST(PortCatalogueTest, EachDeviceSaysWhatItsPortIs) {
    std::vector<std::uint64_t> asked;
    PortSources sources = sourcesWith({
        bluetoothPort(L"COM5", L"Standard Serial over Bluetooth link (COM5)", L"000000000000"),
        bluetoothPort(L"COM6", L"Standard Serial over Bluetooth link (COM6)", L"58CB52A1B2C3"),
        bluetoothPort(L"COM10", L"Standard Serial over Bluetooth link (COM10)", L"0019A1B2C3D4"),
        usbPort(L"COM3", L"USB Serial Device (COM3)"),
        bluetoothPort(L"COM9", L"Стандартный последовательный порт по соединению Bluetooth (COM9)",
                      L"000000000000"),
        usbPort(L"COM4", L"USB-Serielles Gerät (COM4)"),
        // A USB adapter whose driver calls it after Bluetooth is no Bluetooth port.
        usbPort(L"COM7", L"Standard Serial over Bluetooth link (COM7)"),
        // The same port a second time, as the Ports class lists it after the port interface.
        usbPort(L"COM5", L"Other (COM5)"),
        // A Bluetooth port whose instance ID carries no address: its direction is unknown.
        [] {
            PortDevice device = bluetoothPort(L"COM11", L"Serial (COM11)", L"");
            device.instanceId = L"BTHENUM\\odd";
            return device;
        }(),
    });
    sources.bluetoothName = [&asked](std::uint64_t address) {
        asked.push_back(address);
        return address == 0x58CB52A1B2C3 ? std::wstring(L"Pixel 7") : std::wstring();
    };
    PortList list = ports::listPorts(sources);

    EXPECT_EQ(com(list, 5).kind, PortKind::BluetoothIncoming);
    EXPECT_EQ(com(list, 5).description, L"Standard Serial over Bluetooth link");
    EXPECT_EQ(com(list, 6).kind, PortKind::BluetoothOutgoing);
    EXPECT_EQ(com(list, 6).remoteName, L"Pixel 7");
    EXPECT_EQ(com(list, 10).kind, PortKind::BluetoothOutgoing);
    EXPECT_EQ(com(list, 10).remoteName, L"") << "a device the stack does not know";
    EXPECT_EQ(asked, (std::vector<std::uint64_t>{0x58CB52A1B2C3, 0x0019A1B2C3D4}))
        << "only outgoing ports ask for a name";
    EXPECT_EQ(com(list, 3).kind, PortKind::Other);
    EXPECT_EQ(com(list, 3).description, L"USB Serial Device");
    EXPECT_EQ(com(list, 9).kind, PortKind::BluetoothIncoming);
    EXPECT_EQ(com(list, 9).description,
              L"Стандартный последовательный порт по соединению Bluetooth");
    EXPECT_EQ(com(list, 4).kind, PortKind::Other);
    EXPECT_EQ(com(list, 4).description, L"USB-Serielles Gerät");
    EXPECT_EQ(com(list, 7).kind, PortKind::Other);
    EXPECT_EQ(com(list, 11).kind, PortKind::Other);
    EXPECT_EQ(com(list, 11).description, L"Serial");
    for (int number : {3, 4, 5, 6, 7, 9, 10, 11}) {
        EXPECT_TRUE(com(list, number).exists) << "COM" << number;
    }

    // Without a name source an outgoing port is still outgoing.
    sources.bluetoothName = nullptr;
    EXPECT_EQ(com(ports::listPorts(sources), 6).kind, PortKind::BluetoothOutgoing);
    EXPECT_EQ(com(ports::listPorts(sources), 6).remoteName, L"");
}

TEST(PortCatalogueTest, TheFirstStartPickNeedsExactlyOneIncomingPort) {
    PortList list{};
    EXPECT_EQ(ports::onlyBluetoothIncomingPort(list), std::nullopt);
    list[11].kind = PortKind::BluetoothOutgoing;
    list[2].kind = PortKind::Other;
    EXPECT_EQ(ports::onlyBluetoothIncomingPort(list), std::nullopt);
    list[7].kind = PortKind::BluetoothIncoming;
    EXPECT_EQ(ports::onlyBluetoothIncomingPort(list), 7);
    list[29].kind = PortKind::BluetoothIncoming;
    EXPECT_EQ(ports::onlyBluetoothIncomingPort(list), std::nullopt);
}

TEST(DeviceIdsTest, NamesAndIdsAreReadByTheirForm) {
    const std::map<std::wstring, std::optional<int>> names = {{L"COM1", 1},
                                                              {L"com30", 30},
                                                              {L"COM256", 256},
                                                              {L"COM", std::nullopt},
                                                              {L"COM0", std::nullopt},
                                                              {L"COM05", std::nullopt},
                                                              {L"COM1234", std::nullopt},
                                                              {L" COM5", std::nullopt},
                                                              {L"COM5 ", std::nullopt},
                                                              {L"LPT1", std::nullopt},
                                                              {L"COMx", std::nullopt},
                                                              {L"\\\\.\\COM5", std::nullopt}};
    for (const auto& [name, number] : names) {
        EXPECT_EQ(ports::comPortNumber(name), number) << testing::PrintToString(name);
    }

    EXPECT_TRUE(ports::isBluetoothSerialPort({L"bthenum\\{00001101-0000-1000-8000-00805F9B34FB}"}));
    EXPECT_TRUE(ports::isBluetoothSerialPort(
        {L"BTHENUM\\Other", L"BTHENUM\\{00001101-0000-1000-8000-00805f9b34fb}_VID&0001"}));
    EXPECT_FALSE(ports::isBluetoothSerialPort({L"BTHENUM\\{0000111e-0000-1000-8000-00805f9b34fb}"}))
        << "another Bluetooth service (hands-free)";
    EXPECT_FALSE(ports::isBluetoothSerialPort({L"USB\\{00001101-0000-1000-8000-00805f9b34fb}"}));
    EXPECT_FALSE(ports::isBluetoothSerialPort({}));

    EXPECT_EQ(ports::bluetoothAddress(L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&"
                                      L"0000\\7&2A8D4DA8&0&000000000000_00000003"),
              0u);
    EXPECT_EQ(ports::bluetoothAddress(L"BTHENUM\\X\\7&2a8d4da8&0&58cb52a1b2c3_C00000000"),
              0x58CB52A1B2C3u);
    EXPECT_EQ(ports::bluetoothAddress(L"BTHENUM\\AABBCCDDEEFF\\7&2A8D4DA8&0"), std::nullopt)
        << "only the last part counts";
    EXPECT_EQ(ports::bluetoothAddress(L"X\\7&0&58CB52A1B2C3D_1"), std::nullopt) << "13 digits";
    EXPECT_EQ(ports::bluetoothAddress(L""), std::nullopt);

    EXPECT_EQ(ports::withoutPortSuffix(L"USB Serial Device (COM3)"), L"USB Serial Device");
    EXPECT_EQ(ports::withoutPortSuffix(L"Serial (com12)  "), L"Serial");
    EXPECT_EQ(ports::withoutPortSuffix(L"(COM3)"), L"");
    EXPECT_EQ(ports::withoutPortSuffix(L"Printer port (LPT1)"), L"Printer port (LPT1)");
    EXPECT_EQ(ports::withoutPortSuffix(L"Adapter (rev 2)"), L"Adapter (rev 2)");
    EXPECT_EQ(ports::withoutPortSuffix(L"Modem"), L"Modem");
}

}  // namespace
