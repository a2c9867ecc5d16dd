// The settings window's port list and the first start's choice of port, with the system's ports
// (the testbed's, under Wine) and with recorded Bluetooth devices fed through the catalogue's seam.
#include <gtest/gtest.h>

#include <windows.h>

#include <dbt.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "app/keypilot.h"
#include "app/window_layout.h"
#include "framework/application.h"
#include "framework/exception.h"
#include "framework/registry.h"
#include "wine_test_support.h"

using framework::RegistryKey;

namespace {

const wchar_t* kStore = L"Software\\Corvane";
const wchar_t* kSection = L"Software\\Corvane\\Keypilot";

// A Bluetooth serial port's device as Windows lists it: address zero is the incoming port.
ports::PortDevice bluetoothPort(int number, const std::wstring& address) {
    ports::PortDevice device;
    device.portName = L"COM" + std::to_wstring(number);
    device.friendlyName = L"Standard Serial over Bluetooth link (" + device.portName + L")";
    device.hardwareIds = {L"BTHENUM\\{00001101-0000-1000-8000-00805f9b34fb}_LOCALMFG&0002"};
    device.instanceId =
        L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\"
        L"7&2A8D4DA8&0&" +
        address + L"_C00000000";
    return device;
}

class PortListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        framework::application().initialize();
        framework::application().setTitle(L"Keypilot");
        testing_support::deleteUserKey(kStore);
        errors_.clear();
        oldHandler_ = framework::application().setExceptionHandler(
            [this](const std::exception& e) { errors_.push_back(framework::messageOf(e)); });
    }
    void TearDown() override {
        framework::application().setExceptionHandler(oldHandler_);
        testing_support::deleteUserKey(kStore);
    }
    static std::optional<std::wstring> storedPort() {
        auto key = RegistryKey::open(HKEY_CURRENT_USER, kSection, KEY_READ);
        return key.isOpen() ? key.readText(L"com") : std::nullopt;
    }
    static std::vector<std::wstring> items(app::Keypilot& keypilot) {
        HWND list = keypilot.settingsWindow().control(app::kPortList);
        std::vector<std::wstring> texts;
        auto count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            std::wstring text(static_cast<size_t>(SendMessageW(list, CB_GETLBTEXTLEN, i, 0)),
                              L'\0');
            SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
            texts.push_back(text);
        }
        return texts;
    }
    // Tells the window what Windows tells it when a port arrives or leaves.
    static void sendPortChange(app::Keypilot& keypilot, WPARAM event, const wchar_t* port) {
        // The notice ends with the port's name.
        std::vector<BYTE> buffer(offsetof(DEV_BROADCAST_PORT_W, dbcp_name) +
                                 (lstrlenW(port) + 1) * sizeof(wchar_t));
        auto* notice = reinterpret_cast<DEV_BROADCAST_PORT_W*>(buffer.data());
        notice->dbcp_size = static_cast<DWORD>(buffer.size());
        notice->dbcp_devicetype = DBT_DEVTYP_PORT;
        lstrcpyW(notice->dbcp_name, port);
        SendMessageW(keypilot.settingsWindow().handle(), WM_DEVICECHANGE, event,
                     reinterpret_cast<LPARAM>(notice));
    }

    std::vector<std::wstring> errors_;
    framework::Application::ExceptionHandler oldHandler_;
};

// The real catalogue under Wine: the testbed's ports exist (nothing tells what they are), the
// others are plain names, and item n still stands for COMn+1.
TEST_F(PortListTest, TheTestbedsPortsArePresentOthersPlainAndItemsKeepTheirPorts) {
    // Closed at start: COM30 does not exist.
    RegistryKey::create(HKEY_CURRENT_USER, kSection).writeText(L"com", L"29");
    app::Keypilot keypilot;
    ASSERT_TRUE(keypilot.start());
    const auto texts = items(keypilot);
    ASSERT_EQ(texts.size(), 30u);
    std::vector<std::wstring> mapped;
    for (std::size_t pair = 0; pair < 2; ++pair) {
        mapped.push_back(testing_support::testbedPair(pair).local);
        mapped.push_back(testing_support::testbedPair(pair).remote);
    }
    for (const auto& port : mapped) {
        EXPECT_EQ(texts[static_cast<std::size_t>(std::stoi(port.substr(3)) - 1)],
                  port + L" — присутствует");
    }
    EXPECT_EQ(texts[29], L"COM30");

    const int chosen = std::stoi(mapped[2].substr(3)) - 1;
    keypilot.settingsWindow().setPortIndex(chosen);
    keypilot.onOk();
    EXPECT_EQ(storedPort(), std::to_wstring(chosen));
    EXPECT_EQ(keypilot.comPort().port(), mapped[2]);
    EXPECT_TRUE(keypilot.comPort().connected());
    EXPECT_TRUE(errors_.empty());
}

// Recorded Bluetooth and USB devices through the seam: the items say what each port is, the open
// window's list is read again when a port arrives or leaves and keeps its choice, a hidden one
// when it is shown; the dropped-down list fits its longest item up to its limit.
TEST_F(PortListTest, TheListTellsEachPortAndFollowsArrivalsAndRemovals) {
    auto present = std::make_shared<std::vector<std::wstring>>(std::vector<std::wstring>{L"COM2"});
    ports::PortSources sources;
    sources.registeredNames = [present] { return *present; };
    sources.devices = [] {
        ports::PortDevice usb;
        usb.portName = L"COM3";
        usb.friendlyName = L"USB Serial Device (COM3)";
        usb.hardwareIds = {L"USB\\VID_2341&PID_0043"};
        return std::vector<ports::PortDevice>{bluetoothPort(5, L"000000000000"),
                                              bluetoothPort(6, L"58CB52A1B2C3"),
                                              bluetoothPort(8, L"0019A1B2C3D4"), usb};
    };
    sources.bluetoothName = [](std::uint64_t address) {
        return address == 0x58CB52A1B2C3 ? std::wstring(L"Pixel 7") : std::wstring();
    };
    RegistryKey::create(HKEY_CURRENT_USER, kSection).writeText(L"com", L"29");
    app::Keypilot keypilot(sources);
    ASSERT_TRUE(keypilot.start());
    app::SettingsWindow& settings = keypilot.settingsWindow();
    auto texts = items(keypilot);
    ASSERT_EQ(texts.size(), 30u);
    EXPECT_EQ(texts[0], L"COM1");
    EXPECT_EQ(texts[1], L"COM2 — присутствует");
    EXPECT_EQ(texts[2], L"COM3 — USB Serial Device");
    EXPECT_EQ(texts[4], L"COM5 — Bluetooth, входящий");
    EXPECT_EQ(texts[5], L"COM6 — Bluetooth, к Pixel 7");
    EXPECT_EQ(texts[7], L"COM8 — Bluetooth, исходящий");
    EXPECT_EQ(settings.portIndex(), 29) << "a stored port wins over the Bluetooth one";

    keypilot.showSettings();
    settings.setPortIndex(2);
    present->push_back(L"COM30");
    sendPortChange(keypilot, DBT_DEVICEARRIVAL, L"COM30");
    EXPECT_EQ(items(keypilot)[29], L"COM30 — присутствует");
    EXPECT_EQ(settings.portIndex(), 2) << "the choice stays on its item";
    present->clear();
    sendPortChange(keypilot, DBT_DEVICEQUERYREMOVE, L"COM2");
    EXPECT_EQ(items(keypilot)[1], L"COM2 — присутствует") << "only arrivals and removals count";
    sendPortChange(keypilot, DBT_DEVICEREMOVECOMPLETE, L"COM2");
    EXPECT_EQ(items(keypilot)[1], L"COM2");
    EXPECT_EQ(items(keypilot)[29], L"COM30");

    settings.hide();
    present->push_back(L"COM11");
    keypilot.showSettings();
    EXPECT_EQ(items(keypilot)[10], L"COM11 — присутствует") << "read again when shown";
    EXPECT_EQ(settings.portIndex(), 2);
    settings.hide();

    // A long device name widens the dropped-down list to its limit; the box keeps its width.
    HWND list = settings.control(app::kPortList);
    RECT box{};
    GetWindowRect(list, &box);
    std::vector<std::wstring> names = items(keypilot);
    names[2] = L"COM3 — " + std::wstring(200, L'W');
    settings.setPortNames(names);
    const UINT dpi = settings.dpi();
    EXPECT_EQ(SendMessageW(list, CB_GETDROPPEDWIDTH, 0, 0), app::scaleForDpi(400, dpi));
    RECT after{};
    GetWindowRect(list, &after);
    EXPECT_EQ(after.right - after.left, box.right - box.left);
    EXPECT_EQ(box.right - box.left, app::scaleForDpi(144, dpi));
    EXPECT_TRUE(errors_.empty());
}

// Without a stored port, the one Bluetooth incoming port is chosen (and opened: here it is the
// testbed's port); two, or none, leave COM1, as does the system's catalogue under Wine.
TEST_F(PortListTest, FirstStartChoosesTheOnlyBluetoothIncomingPort) {
    const std::wstring port = testing_support::testbedPair(0).local;
    const int number = std::stoi(port.substr(3));
    struct Case {
        std::vector<ports::PortDevice> devices;
        int index;
    } cases[] = {
        {{bluetoothPort(number, L"000000000000"), bluetoothPort(12, L"58CB52A1B2C3")}, number - 1},
        {{bluetoothPort(number, L"000000000000"), bluetoothPort(12, L"000000000000")}, 0},
        {{bluetoothPort(12, L"58CB52A1B2C3")}, 0},
    };
    {
        app::Keypilot keypilot;
        ASSERT_TRUE(keypilot.start());
        EXPECT_EQ(keypilot.settingsWindow().portIndex(), 0);
    }
    for (const auto& c : cases) {
        testing_support::deleteUserKey(kStore);
        ports::PortSources sources;
        sources.devices = [&c] { return c.devices; };
        app::Keypilot keypilot(sources);
        ASSERT_TRUE(keypilot.start());
        EXPECT_EQ(keypilot.settingsWindow().portIndex(), c.index) << c.devices.size();
        EXPECT_EQ(keypilot.comPort().port(), L"COM" + std::to_wstring(c.index + 1));
        if (c.index == number - 1) {
            EXPECT_TRUE(keypilot.comPort().connected());
        }
        keypilot.onOk();
        EXPECT_EQ(storedPort(), std::to_wstring(c.index)) << "OK stores it as any choice";
    }
    EXPECT_TRUE(errors_.empty());
}

}  // namespace
