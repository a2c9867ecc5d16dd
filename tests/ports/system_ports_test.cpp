#include <gtest/gtest.h>

#include <windows.h>

#include <dbt.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ports/port_change_notice.h"
#include "ports/system_port_sources.h"
#include "wine_test_support.h"

namespace {

std::vector<std::wstring> testbedPorts() {
    std::vector<std::wstring> names;
    for (std::size_t i = 0;; ++i) {
        try {
            auto pair = testing_support::testbedPair(i);
            names.push_back(pair.local);
            names.push_back(pair.remote);
        } catch (const std::out_of_range&) {
            return names;
        }
    }
}

int numberOf(const std::wstring& port) {
    return std::stoi(port.substr(3));
}

bool holds(const std::vector<std::wstring>& names, const std::wstring& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Under Wine the serial drivers' registrations and the device names are real (the testbed maps
// its ports), while the device setup lists no ports: what exists is known, not what it is.
TEST(SystemPortsTest, TheTestbedsPortsArePresentAndUnmappedOnesAbsent) {
    const auto mapped = testbedPorts();
    ASSERT_GE(mapped.size(), 4u);
    ports::PortSources sources = ports::systemPortSources();
    const auto registered = sources.registeredNames();
    const auto devices = sources.deviceNames();
    for (const auto& port : mapped) {
        EXPECT_TRUE(holds(registered, port)) << "SERIALCOMM lacks " << testing::PrintToString(port);
        EXPECT_TRUE(holds(devices, port))
            << "the device names lack " << testing::PrintToString(port);
    }
    EXPECT_TRUE(sources.devices().empty());

    const ports::PortList list = ports::listSystemPorts();
    for (int number = 2; number <= ports::kPortCount; ++number) {
        const auto& port = list[static_cast<std::size_t>(number - 1)];
        const bool isMapped = holds(mapped, L"COM" + std::to_wstring(number));
        EXPECT_EQ(port.exists, isMapped) << "COM" << number;
        EXPECT_EQ(port.kind, ports::PortKind::Unknown) << "COM" << number;
    }
    EXPECT_FALSE(list[29].exists) << "COM30 is mapped by nothing";
    EXPECT_TRUE(list[static_cast<std::size_t>(numberOf(mapped[0]) - 1)].exists);
}

// Wine's Bluetooth stack has no radio; the name then comes from the paired devices' registry,
// where Windows keeps what the device called itself (UTF-8) under its address.
TEST(SystemPortsTest, ADevicesNameComesFromThePairedDevicesRegistry) {
    const std::wstring service = L"SYSTEM\\CurrentControlSet\\Services\\BTHPORT";
    const std::wstring devicePath = service + L"\\Parameters\\Devices\\58cb52a1b2c3";
    HKEY key = nullptr;
    const bool serviceExisted =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, service.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    RegCloseKey(key);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, devicePath.c_str());
    ports::PortSources sources = ports::systemPortSources();
    EXPECT_EQ(sources.bluetoothName(0x58CB52A1B2C3), L"");

    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, devicePath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const char name[] = "Pixel 7 \xd0\x90\xd0\xbd\xd0\xbd\xd1\x8b";  // "Pixel 7 Анны"
    RegSetValueExW(key, L"Name", 0, REG_BINARY, reinterpret_cast<const BYTE*>(name), sizeof name);
    RegCloseKey(key);
    EXPECT_EQ(sources.bluetoothName(0x58CB52A1B2C3), L"Pixel 7 Анны");
    EXPECT_EQ(sources.bluetoothName(0x58CB52A1B2C4), L"");
    // Only what the test made goes.
    const std::wstring made = serviceExisted ? devicePath : service;
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, made.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, made.c_str());
}

TEST(SystemPortsTest, OnlyAPortArrivingOrLeavingIsAChange) {
    DEV_BROADCAST_PORT_W port{};
    port.dbcp_size = sizeof port;
    port.dbcp_devicetype = DBT_DEVTYP_PORT;
    lstrcpyW(port.dbcp_name, L"C");
    auto data = reinterpret_cast<LPARAM>(&port);
    EXPECT_TRUE(ports::isPortArrivalOrRemoval(DBT_DEVICEARRIVAL, data));
    EXPECT_TRUE(ports::isPortArrivalOrRemoval(DBT_DEVICEREMOVECOMPLETE, data));
    EXPECT_FALSE(ports::isPortArrivalOrRemoval(DBT_DEVICEQUERYREMOVE, data));
    EXPECT_FALSE(ports::isPortArrivalOrRemoval(DBT_DEVNODES_CHANGED, 0));
    EXPECT_FALSE(ports::isPortArrivalOrRemoval(DBT_DEVICEARRIVAL, 0));

    DEV_BROADCAST_DEVICEINTERFACE_W device{};
    device.dbcc_size = sizeof device;
    device.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    device.dbcc_classguid = {
        0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};
    data = reinterpret_cast<LPARAM>(&device);
    EXPECT_TRUE(ports::isPortArrivalOrRemoval(DBT_DEVICEARRIVAL, data));
    device.dbcc_classguid.Data1 = 0x12345678;  // another interface: a disk, a mouse
    EXPECT_FALSE(ports::isPortArrivalOrRemoval(DBT_DEVICEARRIVAL, data));
    DEV_BROADCAST_HDR volume{sizeof volume, DBT_DEVTYP_VOLUME, 0};
    EXPECT_FALSE(
        ports::isPortArrivalOrRemoval(DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&volume)));

    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    {
        ports::PortChangeRegistration registration(window);
        EXPECT_TRUE(registration.registered());
    }
    DestroyWindow(window);
}

}  // namespace
