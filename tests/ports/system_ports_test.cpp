#include <gtest/gtest.h>

#include <windows.h>

#include <dbt.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "ports/port_change_notice.h"
#include "ports/system_port_sources.h"
#include "wine_test_support.h"

namespace {

// Under Wine the drivers' registrations and the device names are real (the testbed maps its
// ports); the device setup lists no ports. Each source must know every mapped port by itself.
TEST(SystemPortsTest, EachNameSourceListsTheTestbedsPorts) {
    ports::PortSources sources = ports::systemPortSources();
    for (const auto& names : {sources.registeredNames(), sources.deviceNames()}) {
        for (std::size_t i = 0; i < 4; ++i) {
            const auto pair = testing_support::testbedPair(i);
            for (const auto& port : {pair.local, pair.remote}) {
                EXPECT_NE(std::find(names.begin(), names.end(), port), names.end())
                    << testing::PrintToString(port);
            }
        }
        EXPECT_EQ(std::find(names.begin(), names.end(), L"COM30"), names.end());
    }
    EXPECT_TRUE(sources.devices().empty());
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
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, devicePath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const char name[] = "Pixel 7 \xd0\x90\xd0\xbd\xd0\xbd\xd1\x8b";  // "Pixel 7 Анны"
    RegSetValueExW(key, L"Name", 0, REG_BINARY, reinterpret_cast<const BYTE*>(name), sizeof name);
    RegCloseKey(key);
    ports::PortSources sources = ports::systemPortSources();
    EXPECT_EQ(sources.bluetoothName(0x58CB52A1B2C3), L"Pixel 7 Анны");
    EXPECT_EQ(sources.bluetoothName(0x58CB52A1B2C4), L"");
    // Only what the test made goes.
    const std::wstring made = serviceExisted ? devicePath : service;
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, made.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, made.c_str());
}

// The COM-port interface's notices (Bluetooth and other virtual ports) count, other devices' not;
// a Bluetooth radio's are told apart, arriving or leaving.
TEST(SystemPortsTest, AWindowRegistersForTheComPortAndRadioInterfacesAndHearsOnlyTheirNotices) {
    DEV_BROADCAST_DEVICEINTERFACE_W notice{};
    notice.dbcc_size = sizeof notice;
    notice.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    notice.dbcc_classguid = {
        0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};
    EXPECT_TRUE(
        ports::isPortArrivalOrRemoval(DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&notice)));
    notice.dbcc_classguid.Data1 = 0x12345678;  // a disk, a mouse
    EXPECT_FALSE(
        ports::isPortArrivalOrRemoval(DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&notice)));
    EXPECT_FALSE(ports::isPortArrivalOrRemoval(DBT_DEVICEARRIVAL, 0));
    EXPECT_EQ(ports::bluetoothRadioChange(DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&notice)),
              std::nullopt);
    notice.dbcc_classguid = ports::kBluetoothRadioInterface;
    const auto data = reinterpret_cast<LPARAM>(&notice);
    EXPECT_EQ(ports::bluetoothRadioChange(DBT_DEVICEARRIVAL, data), true);
    EXPECT_EQ(ports::bluetoothRadioChange(DBT_DEVICEREMOVECOMPLETE, data), false);
    EXPECT_EQ(ports::bluetoothRadioChange(DBT_DEVICEQUERYREMOVE, data), std::nullopt);
    EXPECT_FALSE(ports::isPortArrivalOrRemoval(DBT_DEVICEARRIVAL, data));

    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  nullptr, nullptr);
    EXPECT_TRUE(ports::PortChangeRegistration(window).registered());
    EXPECT_TRUE(
        ports::PortChangeRegistration(window, ports::kBluetoothRadioInterface).registered());
    DestroyWindow(window);
}

}  // namespace
