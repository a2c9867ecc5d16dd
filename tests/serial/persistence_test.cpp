#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "framework/exception.h"
#include "framework/ini_file.h"
#include "framework/main_thread_call.h"
#include "framework/registry.h"
#include "serial/serial_port.h"
#include "wine_test_support.h"

using framework::IniFile;
using framework::RegistryKey;
using namespace serial;

namespace {

const wchar_t* kTestKey = L"Software\\KeypilotTests\\SerialPersistence";

const StoredGroups kAllGroups =
    StoredGroups{StoredGroup::sgLine,     StoredGroup::sgFlowDetail,   StoredGroup::sgBuffer,
                 StoredGroup::sgTimeouts, StoredGroup::sgParityDetail, StoredGroup::sgOther};

// Every key the port writes with all groups selected, in the order it writes them.
const std::vector<std::wstring> kAllKeysInOrder = {
    L"Port",
    L"BaudRate",
    L"CustomBaudRate",
    L"StopBits",
    L"DataBits",
    L"Parity",
    L"FlowControl",
    L"EventChar",
    L"DiscardNull",
    L"Parity.Check",
    L"Parity.Replace",
    L"Parity.ReplaceChar",
    L"Buffer.OutputSize",
    L"Buffer.InputSize",
    L"Timeouts.ReadInterval",
    L"Timeouts.ReadTotalConstant",
    L"Timeouts.ReadTotalMultiplier",
    L"Timeouts.WriteTotalConstant",
    L"Timeouts.WriteTotalMultiplier",
    L"FlowControl.ControlRTS",
    L"FlowControl.ControlDTR",
    L"FlowControl.DSRSensitivity",
    L"FlowControl.OutCTSFlow",
    L"FlowControl.OutDSRFlow",
    L"FlowControl.TxContinueOnXoff",
    L"FlowControl.XonXoffIn",
    L"FlowControl.XonXoffOut",
    L"FlowControl.XoffChar",
    L"FlowControl.XonChar",
};

std::wstring errorOf(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const framework::Exception& e) {
        return e.message();
    }
    return L"(nothing raised)";
}

// Differs from the defaults in nearly every stored setting.
void setEverything(SerialPort& port) {
    port.setPort(L"COM7");
    port.setBaudRate(BaudRate::brCustom);
    port.setCustomBaudRate(250000);
    port.setStopBits(StopBits::sbTwoStopBits);
    port.setDataBits(DataBits::dbSeven);
    port.setEventChar('A');
    port.setDiscardNull(true);
    port.parity().setBits(ParityBits::prMark);
    port.parity().setCheck(true);
    port.parity().setReplace(true);
    port.parity().setReplaceChar(9);
    port.buffer().setOutputSize(4096);
    port.buffer().setInputSize(2048);
    port.timeouts().setReadInterval(5);
    port.timeouts().setReadTotalConstant(6);
    port.timeouts().setReadTotalMultiplier(7);
    port.timeouts().setWriteTotalConstant(-8);
    port.timeouts().setWriteTotalMultiplier(9);
    port.flowControl().setControlRTS(RTSFlowControl::rtsToggle);
    port.flowControl().setControlDTR(DTRFlowControl::dtrHandshake);
    port.flowControl().setDSRSensitivity(true);
    port.flowControl().setOutCTSFlow(true);
    port.flowControl().setOutDSRFlow(true);
    port.flowControl().setTxContinueOnXoff(true);
    port.flowControl().setXonXoffIn(true);
    port.flowControl().setXonXoffOut(false);
    port.flowControl().setXoffChar(' ');
    port.flowControl().setXonChar(200);
}

void expectEverything(const SerialPort& port) {
    EXPECT_EQ(port.port(), L"COM7");
    EXPECT_EQ(port.baudRate(), BaudRate::brCustom);
    EXPECT_EQ(port.customBaudRate(), 250000);
    EXPECT_EQ(port.stopBits(), StopBits::sbTwoStopBits);
    EXPECT_EQ(port.dataBits(), DataBits::dbSeven);
    EXPECT_EQ(port.eventChar(), 'A');
    EXPECT_TRUE(port.discardNull());
    EXPECT_EQ(port.parity().values(), (ParitySettings{ParityBits::prMark, true, true, 9}));
    EXPECT_EQ(port.buffer().values(), (BufferSettings{2048, 4096}));
    EXPECT_EQ(port.timeouts().values(), (TimeoutSettings{5, 7, 6, 9, -8}));
    FlowControlSettings flow;
    flow.outCTSFlow = true;
    flow.outDSRFlow = true;
    flow.controlDTR = DTRFlowControl::dtrHandshake;
    flow.controlRTS = RTSFlowControl::rtsToggle;
    flow.xonXoffOut = false;
    flow.xonXoffIn = true;
    flow.dsrSensitivity = true;
    flow.txContinueOnXoff = true;
    flow.xonChar = 200;
    flow.xoffChar = ' ';
    EXPECT_EQ(port.flowControl().values(), flow);
}

class RegistryPersistence : public ::testing::Test {
  protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
        key = RegistryKey::create(HKEY_CURRENT_USER, kTestKey);
    }
    void TearDown() override {
        key.close();
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
    }

    // Value names with their types, in no particular order.
    std::vector<std::pair<std::wstring, DWORD>> values() const {
        std::vector<std::pair<std::wstring, DWORD>> result;
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD length = 256;
            DWORD type = 0;
            if (RegEnumValueW(key.handle(), i, name, &length, nullptr, &type, nullptr, nullptr) !=
                ERROR_SUCCESS) {
                break;
            }
            result.emplace_back(std::wstring(name, length), type);
        }
        std::sort(result.begin(), result.end());
        return result;
    }

    RegistryKey key;
};

TEST_F(RegistryPersistence, DefaultGroupsWriteTheLineSettingsAsTexts) {
    SerialPort port;
    port.saveToRegistry(key);
    std::vector<std::pair<std::wstring, DWORD>> expected = {
        {L"BaudRate", REG_SZ}, {L"DataBits", REG_SZ}, {L"FlowControl", REG_SZ},
        {L"Parity", REG_SZ},   {L"Port", REG_SZ},     {L"StopBits", REG_SZ}};
    EXPECT_EQ(values(), expected);
    EXPECT_EQ(key.readText(L"Port"), L"COM1");
    EXPECT_EQ(key.readText(L"BaudRate"), L"9600");
    EXPECT_EQ(key.readText(L"StopBits"), L"1");
    EXPECT_EQ(key.readText(L"DataBits"), L"8");
    EXPECT_EQ(key.readText(L"Parity"), L"None");
    EXPECT_EQ(key.readText(L"FlowControl"), L"None");
}

TEST_F(RegistryPersistence, EveryGroupRoundTripsWithIntegersAsDwords) {
    SerialPort saved;
    saved.setStoredGroups(kAllGroups);
    setEverything(saved);
    saved.saveToRegistry(key);
    auto written = values();
    ASSERT_EQ(written.size(), kAllKeysInOrder.size());
    for (const auto& [name, type] : written) {
        bool integer = name == L"CustomBaudRate" || name.starts_with(L"Buffer.") ||
                       name.starts_with(L"Timeouts.");
        EXPECT_EQ(type, static_cast<DWORD>(integer ? REG_DWORD : REG_SZ)) << name;
    }
    EXPECT_EQ(key.readText(L"BaudRate"), L"Custom");
    EXPECT_EQ(key.readInteger(L"CustomBaudRate"), 250000);
    EXPECT_EQ(key.readInteger(L"Timeouts.WriteTotalConstant"), -8);
    EXPECT_EQ(key.readText(L"Parity.ReplaceChar"), L"#9");
    EXPECT_EQ(key.readText(L"EventChar"), L"A");
    EXPECT_EQ(key.readText(L"FlowControl.XoffChar"), L"#32");
    EXPECT_EQ(key.readText(L"FlowControl.XonXoffOut"), L"No");
    EXPECT_EQ(key.readText(L"FlowControl"), L"Custom");

    SerialPort loaded;
    loaded.setStoredGroups(kAllGroups);
    loaded.loadFromRegistry(key);
    expectEverything(loaded);
}

TEST_F(RegistryPersistence, MissingTextsReadAsEmptyAndGiveEachParsersFallback) {
    SerialPort port;
    port.setStoredGroups(StoredGroups{StoredGroup::sgLine, StoredGroup::sgOther,
                                      StoredGroup::sgParityDetail, StoredGroup::sgFlowDetail});
    setEverything(port);
    port.loadFromRegistry(key);
    EXPECT_EQ(port.port(), L"");
    EXPECT_EQ(port.baudRate(), BaudRate::br9600);
    EXPECT_EQ(port.customBaudRate(), 250000);  // not read for a fixed rate
    EXPECT_EQ(port.stopBits(), StopBits::sbOneStopBit);
    EXPECT_EQ(port.dataBits(), DataBits::dbEight);
    EXPECT_EQ(port.eventChar(), 0);
    EXPECT_FALSE(port.discardNull());
    EXPECT_EQ(port.parity().values(), ParitySettings{});
    FlowControlSettings flow;
    flow.xonChar = 0;
    flow.xoffChar = 0;
    EXPECT_EQ(port.flowControl().values(), flow);
    // The groups not selected are untouched.
    EXPECT_EQ(port.buffer().values(), (BufferSettings{2048, 4096}));
}

TEST_F(RegistryPersistence, AMissingIntegerRaisesAndKeepsWhatWasReadBeforeIt) {
    SerialPort saved;
    saved.setStoredGroups(kAllGroups);
    setEverything(saved);
    saved.saveToRegistry(key);
    key.deleteValue(L"Buffer.InputSize");

    SerialPort loaded;
    loaded.setStoredGroups(kAllGroups);
    EXPECT_EQ(errorOf([&] { loaded.loadFromRegistry(key); }),
              L"Failed to get data for 'Buffer.InputSize'");
    // Line, other and parity detail come before the buffer group, its output size before the
    // input size; time-outs and flow detail come after.
    EXPECT_EQ(loaded.port(), L"COM7");
    EXPECT_EQ(loaded.customBaudRate(), 250000);
    EXPECT_EQ(loaded.eventChar(), 'A');
    EXPECT_EQ(loaded.parity().replaceChar(), 9);
    EXPECT_EQ(loaded.buffer().outputSize(), 4096);
    EXPECT_EQ(loaded.buffer().inputSize(), 1024);
    EXPECT_EQ(loaded.timeouts().values(), TimeoutSettings{});
    EXPECT_EQ(loaded.flowControl().xonChar(), 17);

    // A custom rate without its number raises the same way.
    key.deleteValue(L"CustomBaudRate");
    SerialPort custom;
    EXPECT_EQ(errorOf([&] { custom.loadFromRegistry(key); }),
              L"Failed to get data for 'CustomBaudRate'");
    EXPECT_EQ(custom.baudRate(), BaudRate::brCustom);
}

TEST_F(RegistryPersistence, ATextStoredAsANumberIsRefusedByName) {
    key.writeInteger(L"Port", 5);
    SerialPort port;
    EXPECT_EQ(errorOf([&] { port.loadFromRegistry(key); }), L"Invalid data type for 'Port'");
    EXPECT_EQ(port.port(), L"COM1");
}

TEST_F(RegistryPersistence, SavingThroughAClosedKeyRaisesTheRegistryError) {
    SerialPort port;
    RegistryKey closed;
    EXPECT_EQ(errorOf([&] { port.saveToRegistry(closed); }), L"Failed to set data for 'Port'");
}

class IniPersistence : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t dir[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        path = std::wstring(dir) + L"keypilot_persistence_" +
               std::to_wstring(GetCurrentProcessId()) + L".ini";
        DeleteFileW(path.c_str());
    }
    void TearDown() override { DeleteFileW(path.c_str()); }

    void writeFile(const std::string& text) {
        std::ofstream(std::filesystem::path(path), std::ios::binary) << text;
    }

    std::wstring path;
};

TEST_F(IniPersistence, KeysAreWrittenInGroupOrderIntoTheSectionNamedAfterThePort) {
    IniFile ini(path);
    SerialPort port;
    port.setName(L"ComPort");
    port.saveToIniFile(ini);
    EXPECT_EQ(ini.readSection(L"ComPort"),
              (std::vector<std::wstring>{L"Port", L"BaudRate", L"StopBits", L"DataBits", L"Parity",
                                         L"FlowControl"}));
    EXPECT_EQ(ini.readString(L"ComPort", L"BaudRate", L"?"), L"9600");
    EXPECT_EQ(ini.readString(L"ComPort", L"StopBits", L"?"), L"1");

    port.setStoredGroups(kAllGroups);
    setEverything(port);
    ini.eraseSection(L"ComPort");
    port.saveToIniFile(ini);
    EXPECT_EQ(ini.readSection(L"ComPort"), kAllKeysInOrder);
    EXPECT_EQ(ini.readString(L"ComPort", L"CustomBaudRate", L"?"), L"250000");
    EXPECT_EQ(ini.readString(L"ComPort", L"Timeouts.WriteTotalConstant", L"?"), L"-8");
    EXPECT_EQ(ini.readString(L"ComPort", L"Parity.ReplaceChar", L"?"), L"#9");
    EXPECT_EQ(ini.readString(L"ComPort", L"FlowControl.XonChar", L"?"), L"#200");

    SerialPort loaded;
    loaded.setName(L"ComPort");
    loaded.setStoredGroups(kAllGroups);
    loaded.loadFromIniFile(ini);
    expectEverything(loaded);
}

TEST_F(IniPersistence, MissingKeysLeaveSettingsAloneExceptTheCustomRate) {
    writeFile("[ComPort]\r\nBaudRate=Custom\r\nParity=odd\r\n[Other]\r\nDataBits=5\r\n");
    IniFile ini(path);
    SerialPort port;
    port.setName(L"ComPort");
    port.setStoredGroups(kAllGroups);
    port.setPort(L"COM9");
    port.setCustomBaudRate(31250);
    port.setDataBits(DataBits::dbSix);
    port.flowControl().setFlowControl(FlowControl::fcHardware);
    port.timeouts().setReadInterval(77);
    port.flowControl().setXonChar('x');
    port.loadFromIniFile(ini);
    EXPECT_EQ(port.port(), L"COM9");
    EXPECT_EQ(port.baudRate(), BaudRate::brCustom);
    EXPECT_EQ(port.customBaudRate(), 9600);
    EXPECT_EQ(port.dataBits(), DataBits::dbSix);
    EXPECT_EQ(port.parity().bits(), ParityBits::prOdd);
    EXPECT_EQ(port.flowControl().flowControl(), FlowControl::fcHardware);
    EXPECT_EQ(port.timeouts().readInterval(), 77);
    EXPECT_EQ(port.flowControl().xonChar(), 'x');
    // Nothing was written while loading.
    EXPECT_EQ(ini.readSection(L"ComPort"), (std::vector<std::wstring>{L"BaudRate", L"Parity"}));
}

TEST_F(IniPersistence, FlowControlSummaryIsOverriddenByTheDetailKeys) {
    writeFile(
        "[ComPort]\r\nFlowControl=Hardware\r\nFlowControl.ControlRTS=Enable\r\n"
        "FlowControl.OutCTSFlow=no\r\nFlowControl.XonXoffIn=YES\r\n");
    IniFile ini(path);
    SerialPort port;
    port.setName(L"ComPort");
    port.flowControl().setXonXoffIn(true);
    port.flowControl().setControlDTR(DTRFlowControl::dtrEnable);
    port.loadFromIniFile(ini);
    EXPECT_EQ(port.flowControl().controlRTS(), RTSFlowControl::rtsHandshake);
    EXPECT_TRUE(port.flowControl().outCTSFlow());
    EXPECT_FALSE(port.flowControl().xonXoffIn());
    EXPECT_EQ(port.flowControl().controlDTR(), DTRFlowControl::dtrEnable);

    port.setStoredGroups(StoredGroups{StoredGroup::sgLine, StoredGroup::sgFlowDetail});
    port.loadFromIniFile(ini);
    EXPECT_EQ(port.flowControl().controlRTS(), RTSFlowControl::rtsEnable);
    EXPECT_FALSE(port.flowControl().outCTSFlow());
    EXPECT_TRUE(port.flowControl().xonXoffIn());
    EXPECT_EQ(port.flowControl().controlDTR(), DTRFlowControl::dtrEnable);
}

TEST_F(IniPersistence, CharacterCodesAndBadIntegersInHandEditedFiles) {
    writeFile(
        "[ComPort]\r\nEventChar=#9\r\nDiscardNull=yes\r\nParity.ReplaceChar=#300\r\n"
        "Parity.Check=maybe\r\nBuffer.OutputSize=lots\r\nBuffer.InputSize=+4096\r\n"
        "Timeouts.ReadInterval=99999999999\r\nTimeouts.ReadTotalConstant=-20\r\n");
    IniFile ini(path);
    SerialPort port;
    port.setName(L"ComPort");
    port.setStoredGroups(StoredGroups{StoredGroup::sgOther, StoredGroup::sgParityDetail,
                                      StoredGroup::sgBuffer, StoredGroup::sgTimeouts});
    port.parity().setCheck(true);
    port.buffer().setOutputSize(512);
    port.loadFromIniFile(ini);
    EXPECT_EQ(port.eventChar(), 9);
    EXPECT_TRUE(port.discardNull());
    EXPECT_EQ(port.parity().replaceChar(), 44);
    EXPECT_FALSE(port.parity().check());
    // An integer that is no number, or too large, reads as the setting's current value.
    EXPECT_EQ(port.buffer().outputSize(), 512);
    EXPECT_EQ(port.buffer().inputSize(), 4096);
    EXPECT_EQ(port.timeouts().readInterval(), -1);
    EXPECT_EQ(port.timeouts().readTotalConstant(), -20);
}

TEST_F(IniPersistence, LoadingIntoAnOpenPortReachesTheDevice) {
    framework::initMainThreadCalls();
    writeFile(
        "[ComPort]\r\nPort=COM5\r\nBaudRate=19200\r\nStopBits=2\r\n"
        "FlowControl=Hardware\r\nFlowControl.XonChar=#1\r\n");
    IniFile ini(path);
    SerialPort port;
    port.setName(L"ComPort");
    port.setPort(L"COM5");
    // No event thread: only the device settings matter here. A pseudo-terminal keeps neither
    // data bits nor parity, and Wine reports RTS handshaking as plain enabled, so the check sticks
    // to what the testbed's ports can show.
    port.setEvents({});
    port.setStoredGroups(StoredGroups{StoredGroup::sgLine, StoredGroup::sgFlowDetail});
    port.openPort();
    ASSERT_TRUE(port.connected());
    port.loadFromIniFile(ini);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(port.handle(), &dcb));
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    EXPECT_EQ(dcb.fOutxCtsFlow, 1u);
    EXPECT_EQ(dcb.XonChar, 1);
    port.closePort();
}

TEST_F(IniPersistence, ANewPortNameReopensTheOpenPortOnThatDevice) {
    framework::initMainThreadCalls();
    writeFile("[ComPort]\r\nPort=COM7\r\nBaudRate=38400\r\n");
    IniFile ini(path);
    SerialPort port;
    port.setName(L"ComPort");
    port.setPort(L"COM5");
    port.setEvents({});
    port.openPort();
    ASSERT_TRUE(port.connected());
    port.loadFromIniFile(ini);
    ASSERT_TRUE(port.connected());
    EXPECT_EQ(port.port(), L"COM7");
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(port.handle(), &dcb));
    EXPECT_EQ(dcb.BaudRate, 38400u);

    // Bytes written at COM7's other end arrive at the port.
    framework::KernelHandle peer(CreateFileW(L"\\\\.\\COM8", GENERIC_READ | GENERIC_WRITE, 0,
                                             nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(peer.valid()) << GetLastError();
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(peer.get(), "07", 2, &written, nullptr));
    EXPECT_TRUE(testing_support::pumpUntil([&] { return port.inputWaiting() == 2; }));
    port.closePort();
}

TEST(IniFileTest, ReadsDefaultsVerbatimAndWritesSignedDecimals) {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    std::wstring path =
        std::wstring(dir) + L"keypilot_inifile_" + std::to_wstring(GetCurrentProcessId()) + L".ini";
    DeleteFileW(path.c_str());
    IniFile ini(path);
    EXPECT_FALSE(ini.sectionExists(L"S"));
    EXPECT_EQ(ini.readString(L"S", L"k", L"  padded  "), L"  padded  ");
    EXPECT_EQ(ini.readInteger(L"S", L"k", -3), -3);
    ini.writeInteger(L"S", L"k", -2147483647 - 1);
    ini.writeString(L"S", L"text", L"");
    EXPECT_TRUE(ini.sectionExists(L"s"));
    EXPECT_TRUE(ini.valueExists(L"S", L"K"));
    EXPECT_EQ(ini.readInteger(L"S", L"k", 0), -2147483647 - 1);
    // An existing empty value is not the default.
    EXPECT_EQ(ini.readString(L"S", L"text", L"default"), L"");
    EXPECT_EQ(ini.readInteger(L"S", L"text", 12), 12);
    ini.writeString(L"S", L"long", std::wstring(1000, L'x'));
    EXPECT_EQ(ini.readString(L"S", L"long", L""), std::wstring(1000, L'x'));
    ini.deleteKey(L"S", L"k");
    EXPECT_FALSE(ini.valueExists(L"S", L"k"));
    ini.eraseSection(L"S");
    EXPECT_FALSE(ini.sectionExists(L"S"));
    DeleteFileW(path.c_str());
}

TEST(IniFileTest, AFailedWriteNamesTheFile) {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    std::wstring path = std::wstring(dir) + L"keypilot_no_such_folder\\settings.ini";
    IniFile ini(path);
    EXPECT_EQ(errorOf([&] { ini.writeString(L"S", L"k", L"v"); }), L"Unable to write to " + path);
    SerialPort port;
    port.setName(L"ComPort");
    EXPECT_EQ(errorOf([&] { port.saveToIniFile(ini); }), L"Unable to write to " + path);
}

}  // namespace
