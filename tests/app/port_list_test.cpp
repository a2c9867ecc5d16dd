// The settings window's port list and the first start's choice of port: with the system's ports
// (the testbed's, under Wine), and with recorded devices fed through the catalogue's seam.
#include <gtest/gtest.h>

#include <windows.h>

#include <dbt.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "app/keypilot.h"
#include "framework/application.h"
#include "framework/registry.h"
#include "keypilot_waits.h"
#include "program_test.h"
#include "session_claim.h"
#include "windows/window_layout.h"
#include "wine_test_support.h"

using testing_support::waitForPorts;

namespace {

// A Bluetooth serial port as Windows lists it: address zero is the incoming port.
ports::PortDevice bluetoothPort(int number, const std::wstring& address) {
    std::wstring name = L"COM" + std::to_wstring(number);
    return {name,
            L"Standard Serial over Bluetooth link (" + name + L")",
            {L"BTHENUM\\{00001101-0000-1000-8000-00805f9b34fb}_LOCALMFG&0002"},
            L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\7&2A8D4DA8&0&" +
                address + L"_C00000000"};
}

class PortListTest : public testing_support::ProgramTest {
  protected:
    static std::optional<std::wstring> storedPort() {
        return testing_support::storedSetting(L"com");
    }
    static std::wstring item(app::Keypilot& keypilot, int index) {
        HWND list = keypilot.settingsWindow().control(app::kPortList);
        std::wstring text(static_cast<size_t>(SendMessageW(list, CB_GETLBTEXTLEN, index, 0)),
                          L'\0');
        SendMessageW(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
        return text;
    }
};

// The real catalogue under Wine: the testbed's ports exist (nothing tells what they are), the
// others are plain names, and item n still stands for COMn+1.
TEST_F(PortListTest, TheTestbedsPortsArePresentOthersPlainAndItemsKeepTheirPorts) {
    testing_support::storeSetting(L"com", L"29");
    app::Keypilot keypilot{testing_support::sessionClaim()};
    keypilot.start();
    ASSERT_TRUE(waitForPorts(keypilot));
    for (std::size_t i = 0; i < 4; ++i) {
        const auto pair = testing_support::testbedPair(i);
        for (const auto& port : {pair.local, pair.remote}) {
            EXPECT_EQ(item(keypilot, std::stoi(port.substr(3)) - 1), port + L" — присутствует");
        }
    }
    EXPECT_EQ(item(keypilot, 29), L"COM30");
    const std::wstring port = testing_support::testbedPair(1).local;
    keypilot.settingsWindow().setPortIndex(std::stoi(port.substr(3)) - 1);
    keypilot.onOk();
    EXPECT_EQ(storedPort(), std::to_wstring(std::stoi(port.substr(3)) - 1));
    EXPECT_EQ(keypilot.comPort().port(), port);
    EXPECT_TRUE(testing_support::waitForOpen(keypilot));
}

// Recorded devices: the items say what each port is; the open window's list is read again when a
// port arrives or leaves and keeps its choice, a hidden one when it is shown; the dropped-down
// list fits its longest item up to its limit while the box keeps its width.
TEST_F(PortListTest, TheListTellsEachPortAndFollowsArrivalsAndRemovals) {
    auto named = std::make_shared<std::vector<std::wstring>>(1, L"COM2");
    ports::PortSources sources;
    sources.registeredNames = [named] { return *named; };
    sources.devices = [] {
        ports::PortDevice usb{L"COM3", L"USB Serial Device (COM3)", {L"USB\\VID_2341"}, L""};
        return std::vector<ports::PortDevice>{bluetoothPort(5, L"000000000000"),
                                              bluetoothPort(6, L"58CB52A1B2C3"),
                                              bluetoothPort(8, L"0019A1B2C3D4"), usb};
    };
    sources.bluetoothName = [](std::uint64_t address) {
        return address == 0x58CB52A1B2C3 ? std::wstring(L"Pixel 7") : std::wstring();
    };
    app::Keypilot keypilot(testing_support::sessionClaim(), sources);
    keypilot.start();
    ASSERT_TRUE(waitForPorts(keypilot));
    app::SettingsWindow& settings = keypilot.settingsWindow();
    const std::vector<std::wstring> items = {
        L"COM1", L"COM2 — присутствует",        L"COM3 — USB Serial Device",
        L"COM4", L"COM5 — Bluetooth, входящий", L"COM6 — Bluetooth, к Pixel 7",
        L"COM7", L"COM8 — Bluetooth, исходящий"};
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(item(keypilot, static_cast<int>(i)), items[i]);
    }

    // The list changes only between reads: the reading thread copies it.
    keypilot.showSettings();
    ASSERT_TRUE(waitForPorts(keypilot));
    settings.setPortIndex(2);
    named->push_back(L"COM30");
    testing_support::sendPortChange(keypilot.settingsWindow().handle(), DBT_DEVICEARRIVAL,
                                    L"COM30");
    ASSERT_TRUE(waitForPorts(keypilot));
    EXPECT_EQ(item(keypilot, 29), L"COM30 — присутствует");
    EXPECT_EQ(settings.portIndex(), 2) << "the choice stays on its item";
    named->clear();
    testing_support::sendPortChange(keypilot.settingsWindow().handle(), DBT_DEVICEQUERYREMOVE,
                                    L"COM2");
    EXPECT_FALSE(keypilot.ports().reading()) << "only arrivals and removals count";
    testing_support::sendPortChange(keypilot.settingsWindow().handle(), DBT_DEVICEREMOVECOMPLETE,
                                    L"COM2");
    ASSERT_TRUE(waitForPorts(keypilot));
    EXPECT_EQ(item(keypilot, 1), L"COM2");
    settings.hide();
    named->push_back(L"COM11");
    keypilot.showSettings();
    ASSERT_TRUE(waitForPorts(keypilot));
    EXPECT_EQ(item(keypilot, 10), L"COM11 — присутствует") << "read again when shown";
    settings.hide();

    HWND list = settings.control(app::kPortList);
    std::vector<std::wstring> names(30, L"COM1");
    names[2] = L"COM3 — " + std::wstring(200, L'W');
    settings.setPortNames(names);
    EXPECT_EQ(SendMessageW(list, CB_GETDROPPEDWIDTH, 0, 0), app::scaleForDpi(400, settings.dpi()));
    RECT box{};
    GetWindowRect(list, &box);
    EXPECT_EQ(box.right - box.left, app::scaleForDpi(144, settings.dpi()));
}

// Without a stored port, the one Bluetooth incoming port is chosen (and opened: here it is the
// testbed's port) and stored by OK; two, or none, leave COM1; a stored port stays.
TEST_F(PortListTest, FirstStartChoosesTheOnlyBluetoothIncomingPort) {
    const int number = std::stoi(testing_support::testbedPair(0).local.substr(3));
    const std::pair<std::vector<ports::PortDevice>, int> cases[] = {
        {{bluetoothPort(number, L"000000000000"), bluetoothPort(12, L"58CB52A1B2C3")}, number - 1},
        {{bluetoothPort(number, L"000000000000"), bluetoothPort(12, L"000000000000")}, 0},
        {{bluetoothPort(12, L"58CB52A1B2C3")}, 0},
    };
    for (const auto& [devices, index] : cases) {
        testing_support::deleteUserKey(L"Software\\Corvane");
        ports::PortSources sources;
        sources.devices = [found = devices] { return found; };
        app::Keypilot keypilot(testing_support::sessionClaim(), sources);
        keypilot.start();
        ASSERT_TRUE(waitForPorts(keypilot));
        EXPECT_EQ(keypilot.settingsWindow().portIndex(), index) << devices.size();
        EXPECT_EQ(keypilot.comPort().port(), L"COM" + std::to_wstring(index + 1));
        EXPECT_TRUE(index != number - 1 || testing_support::waitForOpen(keypilot));
        keypilot.onOk();
        EXPECT_EQ(storedPort(), std::to_wstring(index));
    }
    // A stored port is the user's: it stays.
    testing_support::storeSetting(L"com", L"29");
    ports::PortSources sources;
    sources.devices = [found = cases[0].first] { return found; };
    app::Keypilot keypilot(testing_support::sessionClaim(), sources);
    keypilot.start();
    EXPECT_EQ(keypilot.settingsWindow().portIndex(), 29);
}

}  // namespace
