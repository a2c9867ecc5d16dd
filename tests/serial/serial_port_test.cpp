// The port component's settings, opening, closing and applying, on the testbed's real
// pseudo-terminal ports under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "framework/main_thread_call.h"
#include "framework/translation_hooks.h"
#include "serial/serial_port.h"
#include "spy_comm_api.h"
#include "testbed.h"
#include "wine_test_support.h"

namespace serial {
namespace {

using test::SpyCommApi;
using testing_support::PortPair;
using testing_support::testbedPair;

class SerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override { framework::initMainThreadCalls(); }
    const PortPair pair = testbedPair(0);
};

TEST_F(SerialPortTest, NewPortHoldsTheDefaults) {
    SerialPort port;
    EXPECT_FALSE(port.connected());
    EXPECT_EQ(port.baudRate(), BaudRate::br9600);
    EXPECT_EQ(port.customBaudRate(), 9600);
    EXPECT_EQ(port.port(), L"COM1");
    EXPECT_EQ(port.stopBits(), StopBits::sbOneStopBit);
    EXPECT_EQ(port.dataBits(), DataBits::dbEight);
    EXPECT_EQ(port.parity().bits(), ParityBits::prNone);
    EXPECT_FALSE(port.parity().check());
    EXPECT_EQ(port.events(), SerialEvents::all());
    EXPECT_EQ(port.syncMethod(), SyncMethod::smThreadSync);
    EXPECT_EQ(port.timeouts().values(), (TimeoutSettings{-1, 0, 0, 100, 1000}));
    EXPECT_EQ(port.buffer().inputSize(), 1024);
    EXPECT_EQ(port.buffer().outputSize(), 1024);
    EXPECT_EQ(port.flowControl().xonChar(), 17);
    EXPECT_EQ(port.flowControl().xoffChar(), 19);
    EXPECT_EQ(port.flowControl().flowControl(), FlowControl::fcNone);
    EXPECT_EQ(port.storedGroups(), StoredGroups{StoredGroup::sgLine});
    EXPECT_EQ(port.parity().port(), &port);
    EXPECT_EQ(port.buffer().port(), &port);
}

TEST_F(SerialPortTest, OddQueueSizesAreRoundedDownAndWholeObjectsCopyAsTheyAre) {
    SerialPort port;
    port.buffer().setInputSize(1025);
    EXPECT_EQ(port.buffer().inputSize(), 1024);
    port.buffer().setInputSize(7);
    EXPECT_EQ(port.buffer().inputSize(), 6);
    port.buffer().setOutputSize(-3);
    EXPECT_EQ(port.buffer().outputSize(), -3);

    SerialBuffer other;
    other.setInputSize(2048);
    port.setBuffer(other);
    EXPECT_EQ(port.buffer().inputSize(), 2048);
    EXPECT_EQ(port.buffer().port(), &port);  // the copy keeps the back-reference
}

TEST_F(SerialPortTest, FlowControlSummaryIsAppliedOnceAndLeavesDtrAlone) {
    auto spy = std::make_shared<SpyCommApi>();
    SerialPort port;
    port.setCommApi(spy);
    port.setPort(pair.local);
    port.setEvents({});
    port.openPort();
    ASSERT_TRUE(port.connected());
    const int before = spy->setCommStateCalls;

    port.flowControl().setControlDTR(DTRFlowControl::dtrHandshake);
    port.flowControl().setFlowControl(FlowControl::fcHardware);
    EXPECT_EQ(spy->setCommStateCalls, before + 2);
    EXPECT_EQ(port.flowControl().controlRTS(), RTSFlowControl::rtsHandshake);
    EXPECT_TRUE(port.flowControl().outCTSFlow());
    EXPECT_EQ(port.flowControl().controlDTR(), DTRFlowControl::dtrHandshake);
    EXPECT_EQ(port.flowControl().flowControl(), FlowControl::fcHardware);
    EXPECT_EQ(spy->lastDcb.fRtsControl, RTS_CONTROL_HANDSHAKE);
    EXPECT_EQ(spy->lastDcb.fOutxCtsFlow, 1u);

    // Custom changes no field but still applies; an unchanged field applies nothing.
    port.flowControl().setFlowControl(FlowControl::fcCustom);
    EXPECT_EQ(spy->setCommStateCalls, before + 3);
    port.flowControl().setOutCTSFlow(true);
    EXPECT_EQ(spy->setCommStateCalls, before + 3);

    port.flowControl().setFlowControl(FlowControl::fcNone);
    port.flowControl().setControlRTS(RTSFlowControl::rtsEnable);
    EXPECT_EQ(port.flowControl().flowControl(), FlowControl::fcCustom);
}

TEST_F(SerialPortTest, PortNameSameTextDoesNothingOtherCaseReopens) {
    // Declared before the port: the port's destructor closes it and still tells the handlers.
    std::vector<std::string> seen;
    SerialPort port;
    port.onAfterOpen = [&](SerialPort&) { seen.push_back("open"); };
    port.onBeforeClose = [&](SerialPort&) { seen.push_back("close"); };
    port.setPort(pair.local);
    port.openPort();
    ASSERT_TRUE(port.connected());
    seen.clear();

    port.setPort(pair.local);
    EXPECT_TRUE(seen.empty());

    std::wstring lower = pair.local;
    for (auto& c : lower) {
        c = static_cast<wchar_t>(towlower(c));
    }
    port.setPort(lower);
    EXPECT_EQ(seen, (std::vector<std::string>{"close", "open"}));
    EXPECT_TRUE(port.connected());
    EXPECT_EQ(port.port(), lower);
}

TEST_F(SerialPortTest, SyncMethodCannotChangeWhileOpen) {
    SerialPort port;
    port.setPort(pair.local);
    port.setSyncMethod(SyncMethod::smWindowSync);
    port.openPort();
    try {
        port.setSyncMethod(SyncMethod::smNone);
        FAIL() << "no error";
    } catch (const SerialPortError& e) {
        EXPECT_EQ(e.code(), SerialErrorCode::setWhileConnected);
        EXPECT_EQ(e.systemError(), -1);
        EXPECT_EQ(e.message(), L"Cannot set property while connected");
    }
    EXPECT_EQ(port.syncMethod(), SyncMethod::smWindowSync);
    port.setSyncMethod(SyncMethod::smWindowSync);  // the same value is no change
    port.closePort();
    port.setSyncMethod(SyncMethod::smNone);
    EXPECT_EQ(port.syncMethod(), SyncMethod::smNone);
}

TEST_F(SerialPortTest, SettingsChangedWhileClosedReachTheDeviceAtTheNextOpen) {
    auto spy = std::make_shared<SpyCommApi>();
    SerialPort port;
    port.setCommApi(spy);
    port.setPort(pair.local);
    port.setBaudRate(BaudRate::br19200);
    port.timeouts().setReadTotalConstant(50);
    port.buffer().setInputSize(4096);
    EXPECT_TRUE(spy->snapshot().empty());

    port.setEvents({});
    port.openPort();
    ASSERT_TRUE(port.connected());
    EXPECT_EQ(spy->snapshot(),
              (std::vector<std::string>{"open", "setupComm", "setCommState", "setCommTimeouts"}));
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(port.handle(), &dcb));
    EXPECT_EQ(dcb.BaudRate, 19200u);
    COMMTIMEOUTS t{};
    ASSERT_TRUE(GetCommTimeouts(port.handle(), &t));
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 50u);
    EXPECT_EQ(spy->lastDcb.XonLim, 1024);
    EXPECT_EQ(spy->lastDcb.XoffLim, 1024);

    // While open a change goes to the device at once.
    port.setBaudRate(BaudRate::br4800);
    ASSERT_TRUE(GetCommState(port.handle(), &dcb));
    EXPECT_EQ(dcb.BaudRate, 4800u);
}

TEST_F(SerialPortTest, DeviceRecordsOfTheApplicationsSettingsReadBack) {
    auto spy = std::make_shared<SpyCommApi>();
    SerialPort port;
    port.setCommApi(spy);
    port.setPort(pair.local);
    port.openPort();
    ASSERT_TRUE(port.connected());

    // The record handed to the driver, field by field.
    const DCB& sent = spy->lastDcb;
    EXPECT_EQ(sent.DCBlength, 28u);
    EXPECT_EQ(sent.BaudRate, 9600u);
    EXPECT_EQ(sent.fBinary, 1u);
    EXPECT_EQ(sent.fParity, 0u);
    EXPECT_EQ(sent.fOutxCtsFlow, 0u);
    EXPECT_EQ(sent.fOutxDsrFlow, 0u);
    EXPECT_EQ(sent.fDtrControl, 0u);
    EXPECT_EQ(sent.fDsrSensitivity, 0u);
    EXPECT_EQ(sent.fTXContinueOnXoff, 0u);
    EXPECT_EQ(sent.fOutX, 0u);
    EXPECT_EQ(sent.fInX, 0u);
    EXPECT_EQ(sent.fErrorChar, 0u);
    EXPECT_EQ(sent.fNull, 0u);
    EXPECT_EQ(sent.fRtsControl, 0u);
    EXPECT_EQ(sent.fAbortOnError, 0u);
    EXPECT_EQ(sent.XonLim, 256);
    EXPECT_EQ(sent.XoffLim, 256);
    EXPECT_EQ(sent.ByteSize, 8);
    EXPECT_EQ(sent.Parity, NOPARITY);
    EXPECT_EQ(sent.StopBits, ONESTOPBIT);
    EXPECT_EQ(sent.XonChar, 17);
    EXPECT_EQ(sent.XoffChar, 19);
    EXPECT_EQ(sent.ErrorChar, 0);
    EXPECT_EQ(sent.EvtChar, 0);

    // What the device reports back.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(port.handle(), &dcb));
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    EXPECT_EQ(dcb.fRtsControl, 0u);
    EXPECT_EQ(dcb.fDtrControl, 0u);
    COMMTIMEOUTS t{};
    ASSERT_TRUE(GetCommTimeouts(port.handle(), &t));
    EXPECT_EQ(t.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 1000u);
}

TEST_F(SerialPortTest, MissingPortRaisesOpenFailedAndALaterOpenWorks) {
    std::vector<std::string> seen;  // outlives the port, whose destructor still notifies
    SerialPort port;
    port.onBeforeOpen = [&](SerialPort&) { seen.push_back("beforeOpen"); };
    port.onAfterOpen = [&](SerialPort&) { seen.push_back("afterOpen"); };
    port.setPort(L"COM29");
    try {
        port.openPort();
        FAIL() << "no error";
    } catch (const SerialPortError& e) {
        EXPECT_EQ(e.code(), SerialErrorCode::openFailed);
        EXPECT_EQ(e.errorNumber(), 1);
        EXPECT_EQ(e.systemError(), 2);
        EXPECT_EQ(e.message(), L"Unable to open com port (win error code: 2)");
    }
    EXPECT_FALSE(port.connected());
    EXPECT_EQ(port.handle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(seen, (std::vector<std::string>{"beforeOpen"}));

    port.setPort(pair.local);
    port.openPort();
    EXPECT_TRUE(port.connected());
}

TEST_F(SerialPortTest, OpenAndCloseNotifyInOrderAndRepeatsDoNothing) {
    std::vector<std::string> seen;  // outlives the port, whose destructor still notifies
    SerialPort port;
    auto line = [&](const char* name) {
        return [&seen, name](SerialPort& p, bool on) {
            seen.push_back(std::string(name) + (on ? "+" : "-") + (p.connected() ? "" : "!"));
        };
    };
    port.onBeforeOpen = [&](SerialPort& p) {
        seen.push_back(p.connected() ? "beforeOpen!" : "beforeOpen");
    };
    port.onAfterOpen = [&](SerialPort& p) {
        seen.push_back(p.connected() ? "afterOpen" : "afterOpen!");
    };
    port.onBeforeClose = [&](SerialPort& p) {
        seen.push_back(p.connected() ? "beforeClose" : "beforeClose!");
    };
    port.onAfterClose = [&](SerialPort& p) {
        seen.push_back(p.connected() ? "afterClose!" : "afterClose");
    };
    port.onCTSChange = line("cts");
    port.onDSRChange = line("dsr");
    port.onRLSDChange = line("rlsd");
    port.setPort(pair.local);

    port.closePort();  // closed: nothing
    port.openPort();
    port.openPort();  // open: nothing
    port.closePort();
    port.setConnected(true);
    port.setConnected(false);
    // The testbed's pseudo-terminals report CTS, DSR and carrier on.
    const std::vector<std::string> once = {"beforeOpen",  "afterOpen", "cts+", "dsr+",
                                           "rlsd+",       "cts-",      "dsr-", "rlsd-",
                                           "beforeClose", "afterClose"};
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(seen, twice);
}

// The device steps of an open on a thread of their own, as an owner whose driver may hold them
// for seconds makes them: the owner's thread then makes no call to the device, but a setting
// changed meanwhile still reaches the driver.
TEST_F(SerialPortTest, ADeviceSetUpOnAnotherThreadIsTakenWithoutDriverCallsOnTheOwnersThread) {
    auto spy = std::make_shared<SpyCommApi>();
    SerialPort port;
    port.setCommApi(spy);
    port.setPort(pair.local);
    for (bool changed : {false, true}) {
        SCOPED_TRACE(changed);
        const DeviceSetup setup = port.deviceSetup();
        OpenedDevice opened;
        std::thread([&] {
            opened = openPortDevice(spy, pair.local);
            setUpDevice(*spy, opened, setup);
        }).join();
        ASSERT_TRUE(opened.setUp);
        port.setBaudRate(changed ? BaudRate::br19200 : BaudRate::br9600);
        spy->mainThreadCalls.clear();
        port.openPortOn(std::move(opened));
        EXPECT_TRUE(port.connected());
        const std::vector<std::string> settings = {"setupComm", "setCommState", "setCommTimeouts"};
        EXPECT_EQ(spy->mainThreadCalls, changed ? settings : std::vector<std::string>{});
        EXPECT_EQ(spy->lastDcb.BaudRate, changed ? 19200u : 9600u);
        port.closePort();
    }
}

// A close in the background: the port reads closed at once, a batch of events handed over before
// drops, and the device is closed off the owner's thread, which an open waits for.
TEST_F(SerialPortTest, ACloseInTheBackgroundDeliversNothingMoreAndAnOpenWaitsForItsDevice) {
    auto spy = std::make_shared<SpyCommApi>();
    spy->closeMs = 300;
    std::vector<std::string> seen;  // outlives the port, whose destructor still notifies
    SerialPort port;
    port.setCommApi(spy);
    port.setPort(pair.local);
    port.setCloseInBackground(true);
    port.onRxChar = [&](SerialPort&, std::int32_t) { seen.emplace_back("rxChar"); };
    port.onAfterClose = [&](SerialPort&) { seen.emplace_back("afterClose"); };
    port.openPort();
    testing_support::PortEnd phone(pair.remote);
    const int before = spy->completedWaits;
    ASSERT_TRUE(phone.send("12"));
    // The thread has seen the bytes, and waits (or is about to) for this thread to take them.
    const DWORD start = GetTickCount();
    while (spy->completedWaits == before && GetTickCount() - start < 5000) {
        Sleep(1);
    }
    ASSERT_GT(spy->completedWaits, before);
    spy->mainThreadCalls.clear();
    port.closePort();
    EXPECT_FALSE(port.connected());
    EXPECT_TRUE(port.closing());
    EXPECT_EQ(port.handle(), INVALID_HANDLE_VALUE);
    ASSERT_TRUE(testing_support::pumpUntil([&] { return !port.closing(); }));
    EXPECT_EQ(seen, std::vector<std::string>{"afterClose"});

    port.openPort();
    port.closePort();
    port.openPort();
    EXPECT_TRUE(port.connected());
    ASSERT_TRUE(testing_support::pumpUntil([&] { return !port.closing(); }));
    // Nor did the batch's step run (it asks how much waits).
    const std::vector<std::string>& onMain = spy->mainThreadCalls;
    for (const char* call : {"clearCommError", "purgeAbort", "purgeClear", "close"}) {
        EXPECT_EQ(std::count(onMain.begin(), onMain.end(), call), 0)
            << call << " on the main thread";
    }
    const std::vector<std::string> calls = spy->snapshot();
    const auto lastOf = [&calls](const char* call) {
        return std::find(calls.rbegin(), calls.rend(), call).base() - calls.begin();
    };
    EXPECT_LT(lastOf("close"), lastOf("open")) << "an open came before the close's device went";
}

TEST_F(SerialPortTest, RefusedLineSettingsCloseTheHandleAndRaise) {
    // A pseudo-terminal takes any line settings, so a driver that refuses them is faked.
    auto spy = std::make_shared<SpyCommApi>();
    spy->setCommStateOverride = [](HANDLE, DCB*) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    };
    SerialPort port;
    port.setCommApi(spy);
    port.setPort(pair.local);
    bool afterOpen = false;
    port.onAfterOpen = [&](SerialPort&) { afterOpen = true; };
    try {
        port.openPort();
        FAIL() << "no error";
    } catch (const SerialPortError& e) {
        EXPECT_EQ(e.code(), SerialErrorCode::lineSettingsRefused);
        EXPECT_EQ(e.systemError(), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(e.message(), L"SetCommState function failed (win error code: 87)");
    }
    EXPECT_FALSE(port.connected());
    EXPECT_FALSE(afterOpen);
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(spy->opened, &flags)) << "the device handle is still open";

    // On an open port a refused change raises from the setter and keeps the new value.
    spy->setCommStateOverride = nullptr;
    port.openPort();
    spy->setCommStateOverride = [](HANDLE, DCB*) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    };
    EXPECT_THROW(port.setDataBits(DataBits::dbSeven), SerialPortError);
    EXPECT_EQ(port.dataBits(), DataBits::dbSeven);
    EXPECT_TRUE(port.connected());
}

TEST_F(SerialPortTest, ErrorTextsAndTheirTranslationHook) {
    EXPECT_EQ(serialErrorText(SerialErrorCode::openFailed), L"Unable to open com port");
    EXPECT_EQ(serialErrorText(SerialErrorCode::registryError), L"Registry error");
    EXPECT_EQ(serialErrorText(SerialErrorCode{}), L"");
    EXPECT_EQ(SerialPortError(SerialErrorCode::invalidTransfer).message(),
              L"Invalid Async parameter");
    EXPECT_EQ(SerialPortError(SerialErrorCode::inputStatusFailed, -5).message(),
              L"ClearCommError function failed (win error code: -5)");

    static std::vector<std::wstring> domains;
    framework::TranslationHooks hooks;
    hooks.translateText = [](const std::wstring& t) {
        if (t == L" (win error code: %d)") {
            return std::wstring(L" [%d%%]");
        }
        return L"<" + t + L">";
    };
    hooks.addResourceStringDomain = [](const std::wstring& d) { domains.push_back(d); };
    framework::setTranslationHooks(hooks);
    initializeSerialErrorTexts();
    initializeSerialErrorTexts();
    EXPECT_EQ(domains, (std::vector<std::wstring>{L"serial"}));
    EXPECT_EQ(serialErrorText(SerialErrorCode::purgeFailed), L"<PurgeComm function failed>");
    // A '%' inside a translated text is not a format.
    hooks.translateText = [](const std::wstring& t) { return t + L" 100%d"; };
    framework::setTranslationHooks(hooks);
    initializeSerialErrorTexts();
    EXPECT_EQ(SerialPortError(SerialErrorCode::openFailed, 2).message(),
              L"Unable to open com port 100%d (win error code: 2) 100%d");
    framework::setTranslationHooks({});
    finalizeSerialErrorTexts();
    EXPECT_EQ(serialErrorText(SerialErrorCode::purgeFailed), L"PurgeComm function failed");
}

}  // namespace
}  // namespace serial
