// Reading from the port and the event thread's delivery, on the testbed's real pseudo-terminal
// pairs under Wine: bytes are written at the far end like a phone would.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/main_thread_call.h"
#include "framework/text.h"
#include "serial/serial_port.h"
#include "spy_comm_api.h"
#include "wine_test_support.h"

namespace serial {
namespace {

using test::SpyCommApi;
using testing_support::PortEnd;
using testing_support::PortPair;
using testing_support::pumpUntil;
using testing_support::testbedPair;

class SerialEventsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        framework::initMainThreadCalls();
        previousHandler_ = framework::application().setExceptionHandler(
            [this](const std::exception& e) { shown.push_back(framework::messageOf(e)); });
        ASSERT_TRUE(phone.isOpen());
        port.setPort(pair.local);
    }
    void TearDown() override {
        // The handlers capture the test body's locals, which are gone now: closing may still
        // run a batch that waits for hand-over, and it notifies.
        port.onRxChar = nullptr;
        port.onRxBuf = nullptr;
        port.onTxEmpty = nullptr;
        port.onBreak = nullptr;
        port.onRing = nullptr;
        port.onCTSChange = nullptr;
        port.onDSRChange = nullptr;
        port.onRLSDChange = nullptr;
        port.onError = nullptr;
        port.onRxFlag = nullptr;
        port.onAfterOpen = nullptr;
        port.onAfterClose = nullptr;
        port.onBeforeOpen = nullptr;
        port.onBeforeClose = nullptr;
        port.onRx80Full = nullptr;
        port.closePort();
        framework::application().setExceptionHandler(previousHandler_);
    }
    const PortPair pair = testbedPair(0);
    PortEnd phone{pair.remote};
    SerialPort port;
    std::vector<std::wstring> shown;

  private:
    framework::Application::ExceptionHandler previousHandler_;
};

TEST_F(SerialEventsTest, ReceivedBytesRaiseRxCharOnTheMainThreadWithTheCount) {
    std::vector<std::int32_t> counts;
    std::string text;
    bool onMainThread = true;
    port.onRxChar = [&](SerialPort& p, std::int32_t count) {
        onMainThread = onMainThread && framework::isMainThread();
        counts.push_back(count);
        // Only the first event reads, and only one byte: what stays is counted again later.
        if (counts.size() == 1) {
            p.readText(text, 1);
        }
    };
    port.openPort();
    ASSERT_TRUE(phone.send("AB"));
    // The count is taken on the main thread, so with both bytes in the queue before the main
    // thread serves the hand-over it must be 2, however the link split them on the way (a split
    // also brings a second event, which the waits below allow for).
    const DWORD start = GetTickCount();
    while (port.inputWaiting() < 2 && GetTickCount() - start < 5000) {
        Sleep(1);
    }
    ASSERT_TRUE(pumpUntil([&] { return !counts.empty(); }));
    EXPECT_EQ(counts.front(), 2);
    EXPECT_EQ(text, "A");
    ASSERT_TRUE(phone.send("C"));
    // C's arrival raises an event that counts the unread B with it.
    ASSERT_TRUE(pumpUntil([&] { return counts.size() >= 2 && counts.back() == 2; }));
    EXPECT_TRUE(onMainThread);
    EXPECT_EQ(port.inputWaiting(), 2);
}

TEST_F(SerialEventsTest, ReadTextReturnsWhatIsThereAndNothingForNoCount) {
    port.setEvents({});
    port.openPort();
    EXPECT_EQ(port.inputWaiting(), 0);
    std::string text = "keep";
    EXPECT_EQ(port.readText(text, 5), 0);  // a quiet port: nothing, at once
    EXPECT_EQ(text, "");

    ASSERT_TRUE(phone.send("xy"));
    ASSERT_TRUE(pumpUntil([&] { return port.inputWaiting() == 2; }));
    text = "old";
    EXPECT_EQ(port.readText(text, 0), 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(port.readText(text, -4), 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(port.readText(text, 3), 2);
    EXPECT_EQ(text, "xy");

    ASSERT_TRUE(phone.send(std::string("\0\xff", 2)));
    ASSERT_TRUE(pumpUntil([&] { return port.inputWaiting() == 2; }));
    std::uint8_t bytes[4] = {7, 7, 7, 7};
    EXPECT_EQ(port.readBytes(bytes, 2), 2);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[1], 0xff);
    EXPECT_EQ(bytes[2], 7);
}

TEST_F(SerialEventsTest, NullTransferRaisesInvalidTransfer) {
    port.setEvents({});
    port.openPort();
    std::uint8_t buffer[4];
    for (int which = 0; which < 2; ++which) {
        try {
            if (which == 0) {
                port.beginReadBytes(buffer, 4, nullptr);
            } else {
                port.finishTransfer(nullptr);
            }
            FAIL() << "no error";
        } catch (const SerialPortError& e) {
            EXPECT_EQ(e.code(), SerialErrorCode::invalidTransfer);
            EXPECT_EQ(e.systemError(), -1);
            EXPECT_EQ(e.message(), L"Invalid Async parameter");
        }
    }
    // A transfer started and finished by hand.
    ASSERT_TRUE(phone.send("q"));
    ASSERT_TRUE(pumpUntil([&] { return port.inputWaiting() == 1; }));
    SerialTransferPtr transfer;
    port.createTransfer(transfer);
    std::string text;
    port.beginReadText(text, 1, transfer.get());
    EXPECT_EQ(port.finishTransfer(transfer.get()), 1);
    EXPECT_EQ(text, "q");
    port.disposeTransfer(transfer);
    EXPECT_EQ(transfer, nullptr);
}

// A driver that keeps a read after being asked to cancel it cannot be made from a
// pseudo-terminal (Wine ends a cancelled read at once), so this one is faked: every read stays
// pending, and the cancel either fails or is accepted and then ignored.
class HeldReadCommApi : public SpyCommApi {
  public:
    bool refuseCancel = true;
    OVERLAPPED* held = nullptr;
    void* heldBuffer = nullptr;

    BOOL readFile(HANDLE, void* buffer, DWORD, DWORD* read, OVERLAPPED* o) override {
        held = o;
        heldBuffer = buffer;
        o->Internal = STATUS_PENDING;
        ResetEvent(o->hEvent);
        *read = 0;
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    BOOL cancelIoEx(HANDLE, OVERLAPPED*) override {
        if (refuseCancel) {
            SetLastError(ERROR_NOT_FOUND);
            return FALSE;
        }
        return TRUE;
    }
    // The driver gives the read back at last and writes where it was told to.
    void completeLate(const std::string& bytes) {
        std::memcpy(heldBuffer, bytes.data(), bytes.size());
        held->InternalHigh = bytes.size();
        held->Internal = 0;
        SetEvent(held->hEvent);
    }
};

TEST_F(SerialEventsTest, AReadTheDriverKeepsFailsInsteadOfHanging) {
    port.setEvents({});
    for (bool refuse : {true, false}) {
        SCOPED_TRACE(refuse);
        auto api = std::make_shared<HeldReadCommApi>();
        api->refuseCancel = refuse;
        port.setCommApi(api);
        port.openPort();
        std::string text;
        try {
            port.readText(text, 2);
            FAIL() << "no error";
        } catch (const SerialPortError& e) {
            EXPECT_EQ(e.code(), SerialErrorCode::readFailed);
            EXPECT_EQ(e.systemError(), refuse ? ERROR_NOT_FOUND : WAIT_TIMEOUT);
        }
        // What the driver writes into long after the read failed must still be there.
        api->completeLate("12");
        port.closePort();
        port.setCommApi(nullptr);
    }
}

TEST_F(SerialEventsTest, EventSetGivesTheMaskAndEmptyStartsNoThread) {
    auto spy = std::make_shared<SpyCommApi>();
    port.setCommApi(spy);
    port.setEvents({SerialEvent::evRxChar});
    std::atomic<int> rx{0};
    port.onRxChar = [&](SerialPort& p, std::int32_t n) {
        std::string t;
        p.readText(t, n);
        ++rx;
    };
    port.openPort();
    ASSERT_FALSE(spy->masks.empty());
    EXPECT_EQ(spy->masks.front(), 0x0001u);
    port.closePort();

    // No events: no mask, no thread, no handler; a second port on another pair is the witness
    // that bytes did travel meanwhile.
    spy->masks.clear();
    rx = 0;
    port.setEvents({});
    port.openPort();
    const PortPair other = testbedPair(1);
    PortEnd otherPhone(other.remote);
    SerialPort witness;
    bool witnessed = false;
    witness.setPort(other.local);
    witness.onRxChar = [&](SerialPort&, std::int32_t) { witnessed = true; };
    witness.openPort();
    ASSERT_TRUE(phone.send("zz"));
    ASSERT_TRUE(pumpUntil([&] { return port.inputWaiting() == 2; }));
    ASSERT_TRUE(otherPhone.send("w"));
    ASSERT_TRUE(pumpUntil([&] { return witnessed; }));
    EXPECT_EQ(rx, 0);
    EXPECT_TRUE(spy->masks.empty());
}

TEST_F(SerialEventsTest, ClosingWhileABatchWaitsRunsTheBatchFirst) {
    auto spy = std::make_shared<SpyCommApi>();
    port.setCommApi(spy);
    std::vector<std::string> seen;
    port.onRxChar = [&](SerialPort&, std::int32_t) { seen.push_back("rxChar"); };
    port.onBeforeClose = [&](SerialPort&) { seen.push_back("beforeClose"); };
    port.onAfterClose = [&](SerialPort&) { seen.push_back("afterClose"); };
    port.openPort();
    const int before = spy->completedWaits;
    ASSERT_TRUE(phone.send("12"));
    // Wait for the thread to have seen the bytes without serving the main thread's calls, so
    // its batch is (or is about to be) queued for hand-over.
    const DWORD start = GetTickCount();
    while (spy->completedWaits == before && GetTickCount() - start < 5000) {
        Sleep(1);
    }
    ASSERT_GT(spy->completedWaits, before);
    const std::size_t clearsBefore = spy->snapshot().size();
    port.closePort();
    EXPECT_FALSE(port.connected());
    // The batch's step ran inside closePort (it counted the input queue) before the close ended.
    std::vector<std::string> calls = spy->snapshot();
    bool counted = false;
    for (std::size_t i = clearsBefore; i < calls.size(); ++i) {
        counted = counted || calls[i] == "clearCommError";
    }
    EXPECT_TRUE(counted);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), "afterClose");
}

TEST_F(SerialEventsTest, BytesQueuedAtCloseAreDiscarded) {
    int events = 0;
    port.onRxChar = [&](SerialPort&, std::int32_t) { ++events; };  // reads nothing
    port.openPort();
    ASSERT_TRUE(phone.send("left over"));
    ASSERT_TRUE(pumpUntil([&] { return events > 0 && port.inputWaiting() == 9; }));
    port.closePort();
    port.setEvents({});
    port.openPort();
    EXPECT_EQ(port.inputWaiting(), 0);
}

TEST_F(SerialEventsTest, WindowModeDeliversTheSameBytesInOrder) {
    port.setSyncMethod(SyncMethod::smWindowSync);
    std::string text;
    bool onMainThread = true;
    port.onRxChar = [&](SerialPort& p, std::int32_t n) {
        onMainThread = onMainThread && framework::isMainThread();
        std::string got;
        p.readText(got, n);
        text += got;
    };
    port.openPort();
    std::string expected;
    for (int i = 0; i < 20; ++i) {
        std::string code = (i % 2 ? "1" : "0") + std::to_string(i % 10);
        expected += code;
        ASSERT_TRUE(phone.send(code));
    }
    ASSERT_TRUE(pumpUntil([&] { return text.size() >= expected.size(); }));
    EXPECT_EQ(text, expected);
    EXPECT_TRUE(onMainThread);
}

TEST_F(SerialEventsTest, HandlerErrorEndsDeliveryAndClosesThePort) {
    for (SyncMethod mode : {SyncMethod::smThreadSync, SyncMethod::smNone}) {
        SCOPED_TRACE(static_cast<int>(mode));
        port.setSyncMethod(mode);
        std::atomic<int> calls{0};
        std::atomic<bool> closed{false};
        port.onRxChar = [&](SerialPort&, std::int32_t) {
            ++calls;
            throw std::runtime_error("handler failed");
        };
        port.onAfterClose = [&](SerialPort&) { closed = true; };
        port.openPort();
        ASSERT_TRUE(phone.send("x"));
        ASSERT_TRUE(pumpUntil([&] { return !port.connected(); }));
        EXPECT_TRUE(closed);
        EXPECT_EQ(calls, 1);
        // One open brings the link back.
        port.onRxChar = [&](SerialPort& p, std::int32_t n) {
            std::string t;
            p.readText(t, n);
            ++calls;
        };
        port.openPort();
        ASSERT_TRUE(phone.send("y"));
        ASSERT_TRUE(pumpUntil([&] { return calls == 2; }));
        port.closePort();
    }
    EXPECT_TRUE(shown.empty());
}

TEST_F(SerialEventsTest, WindowModeShowsAHandlerErrorAndGoesOn) {
    port.setSyncMethod(SyncMethod::smWindowSync);
    int calls = 0;
    port.onRxChar = [&](SerialPort& p, std::int32_t n) {
        std::string t;
        p.readText(t, n);
        if (++calls == 1) {
            throw std::runtime_error("first fails");
        }
    };
    port.openPort();
    ASSERT_TRUE(phone.send("a"));
    ASSERT_TRUE(pumpUntil([&] { return calls == 1; }));
    ASSERT_TRUE(phone.send("b"));
    ASSERT_TRUE(pumpUntil([&] { return calls == 2; }));
    EXPECT_TRUE(port.connected());
    EXPECT_EQ(shown, (std::vector<std::wstring>{L"first fails"}));
}

TEST_F(SerialEventsTest, ClosingFromInsideAHandlerDoesNotDeadlock) {
    for (SyncMethod mode :
         {SyncMethod::smThreadSync, SyncMethod::smWindowSync, SyncMethod::smNone}) {
        SCOPED_TRACE(static_cast<int>(mode));
        port.setSyncMethod(mode);
        std::atomic<bool> closed{false};
        port.onRxChar = [&](SerialPort& p, std::int32_t) { p.closePort(); };
        port.onAfterClose = [&](SerialPort&) { closed = true; };
        port.openPort();
        ASSERT_TRUE(phone.send("c"));
        ASSERT_TRUE(pumpUntil([&] { return closed.load(); }));
        // Reopening right away works, also with the old thread still finishing.
        port.onRxChar = nullptr;
        port.openPort();
        EXPECT_TRUE(port.connected());
        port.closePort();
    }
}

// Line errors cannot come from a pseudo-terminal, so this driver reports a scripted event batch
// and error flags instead of waiting on the device.
class ScriptedCommApi : public SpyCommApi {
  public:
    std::mutex scriptLock;
    OVERLAPPED* pending = nullptr;
    DWORD* pendingMask = nullptr;
    DWORD errorFlags = 0;
    DWORD queued = 0;

    void fire(DWORD mask, DWORD errors, DWORD inQueue) {
        std::lock_guard g(scriptLock);
        errorFlags = errors;
        queued = inQueue;
        if (!pending) {
            return;
        }
        *pendingMask = mask;
        pending->Internal = 0;
        pending->InternalHigh = 0;
        SetEvent(pending->hEvent);
        pending = nullptr;
    }
    bool waiting() {
        std::lock_guard g(scriptLock);
        return pending != nullptr;
    }
    BOOL waitCommEvent(HANDLE, DWORD* mask, OVERLAPPED* o) override {
        std::lock_guard g(scriptLock);
        pending = o;
        pendingMask = mask;
        ResetEvent(o->hEvent);
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    BOOL getOverlappedResult(HANDLE, OVERLAPPED*, DWORD* count, BOOL) override {
        *count = 0;
        return TRUE;
    }
    BOOL setCommMask(HANDLE device, DWORD mask) override {
        if (mask == 0) {
            fire(0, errorFlags, queued);
        }
        return SpyCommApi::setCommMask(device, mask);
    }
    BOOL clearCommError(HANDLE, DWORD* errors, COMSTAT* status) override {
        std::lock_guard g(scriptLock);
        *errors = std::exchange(errorFlags, 0);
        *status = COMSTAT{};
        status->cbInQue = queued;
        return TRUE;
    }
};

TEST_F(SerialEventsTest, LineErrorsAreReportedBeforeTheDataThatCameWithThem) {
    auto api = std::make_shared<ScriptedCommApi>();
    port.setCommApi(api);
    std::vector<std::string> seen;
    port.onError = [&](SerialPort&, LineErrors e) {
        seen.push_back(e == LineErrors{LineError::ceFrame} ? "error:frame" : "error:?");
    };
    port.onRxChar = [&](SerialPort&, std::int32_t n) { seen.push_back("rx" + std::to_string(n)); };
    port.onBreak = [&](SerialPort&) { seen.push_back("break"); };
    port.onRx80Full = [&](SerialPort&) { seen.push_back("rx80"); };
    port.onTxEmpty = [&](SerialPort&) { seen.push_back("txEmpty"); };
    port.onRxFlag = [&](SerialPort&) { seen.push_back("rxFlag"); };
    port.openPort();
    ASSERT_TRUE(pumpUntil([&] { return api->waiting(); }));
    api->fire(EV_RX80FULL | EV_RXCHAR | EV_BREAK | EV_ERR | EV_RXFLAG | EV_TXEMPTY, CE_FRAME, 2);
    ASSERT_TRUE(pumpUntil([&] { return seen.size() == 6; }));
    EXPECT_EQ(seen, (std::vector<std::string>{"error:frame", "rx2", "txEmpty", "break", "rxFlag",
                                              "rx80"}));

    // A parity error counts only while parity is checked; no error fires nothing.
    seen.clear();
    ASSERT_TRUE(pumpUntil([&] { return api->waiting(); }));
    api->fire(EV_ERR | EV_RXCHAR, CE_RXPARITY, 1);
    ASSERT_TRUE(pumpUntil([&] { return !seen.empty(); }));
    EXPECT_EQ(seen, (std::vector<std::string>{"rx1"}));
}

// A device that refuses every wait at once (or ends every wait with a failure) is a device
// that has gone: the thread must stop instead of turning, and the port closes.
class RefusingCommApi : public SpyCommApi {
  public:
    bool failAtOnce = true;
    std::atomic<int> waits{0};
    BOOL waitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* o) override {
        ++waits;
        if (failAtOnce) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        return SpyCommApi::waitCommEvent(device, mask, o);
    }
    BOOL getOverlappedResult(HANDLE, OVERLAPPED*, DWORD*, BOOL) override {
        SetLastError(ERROR_OPERATION_ABORTED);
        return FALSE;
    }
};

TEST_F(SerialEventsTest, FailingWaitsEndTheThreadAndCloseThePort) {
    for (bool atOnce : {true, false}) {
        SCOPED_TRACE(atOnce);
        auto api = std::make_shared<RefusingCommApi>();
        api->failAtOnce = atOnce;
        port.setCommApi(api);
        int closes = 0;
        port.onAfterClose = [&](SerialPort&) { ++closes; };
        port.openPort();
        if (!atOnce) {
            ASSERT_TRUE(phone.send("w"));  // ends the real wait, whose result fails
        }
        ASSERT_TRUE(pumpUntil([&] { return !port.connected(); }));
        EXPECT_EQ(closes, 1);
        // Failing at once: no second try. A failed result: one more try, then the end.
        EXPECT_EQ(api->waits, atOnce ? 1 : 2);
        port.setCommApi(nullptr);
    }
}

// The testbed's shim reads the modem lines of a pseudo-terminal from a file the test writes, so
// Wine's own wait sees the lines change.
class ModemLines {
  public:
    explicit ModemLines(const std::wstring& port) {
        const std::string link = testing_support::runHostCommand("readlink \"$KEYPILOT_PTY_DIR/" +
                                                                 framework::toUtf8(port) + "\"")
                                     .value_or("");
        const std::size_t slash = link.find_last_of('/');
        if (slash == std::string::npos) {
            return;
        }
        std::string number = link.substr(slash + 1);
        while (!number.empty() && (number.back() == '\n' || number.back() == '\r')) {
            number.pop_back();
        }
        file_ = testing_support::winePath(testing_support::environment(L"KEYPILOT_MODEM_DIR") +
                                          L"/" + framework::fromUtf8(number));
    }
    ~ModemLines() {
        if (!file_.empty()) {
            DeleteFileW(file_.c_str());
        }
    }
    bool valid() const { return !file_.empty(); }
    // Linux TIOCM_* bits.
    static constexpr int kCts = 0x020, kCarrier = 0x040, kRing = 0x080, kDsr = 0x100;
    // Written aside and renamed into place: the shim must never read a half-written file.
    void set(int bits) {
        const std::wstring aside = file_ + L".new";
        testing_support::writeBytes(aside, std::to_string(bits | 0x006));
        MoveFileExW(aside.c_str(), file_.c_str(), MOVEFILE_REPLACE_EXISTING);
    }

  private:
    std::wstring file_;
};

TEST_F(SerialEventsTest, ModemLineChangesReachTheirHandlers) {
    ModemLines lines(pair.local);
    ASSERT_TRUE(lines.valid());
    lines.set(ModemLines::kCts | ModemLines::kDsr | ModemLines::kCarrier);
    auto spy = std::make_shared<SpyCommApi>();
    port.setCommApi(spy);
    std::vector<std::string> seen;
    auto line = [&](const char* name) {
        return [&seen, name](SerialPort&, bool on) {
            seen.push_back(std::string(name) + (on ? "+" : "-"));
        };
    };
    port.onCTSChange = line("cts");
    port.onDSRChange = line("dsr");
    port.onRLSDChange = line("rlsd");
    port.onRing = [&](SerialPort&) { seen.push_back("ring"); };
    // The driver compares the lines with their state when the wait began: change them only
    // once the thread waits again.
    // Wine's wait may also report a line that did not change; the step then reports its real
    // state. So each change is checked by the report it must produce.
    int lastWaits = 0;
    auto change = [&](int bits, const std::string& report) {
        ASSERT_TRUE(pumpUntil([&] { return spy->startedWaits > lastWaits; }));
        lastWaits = spy->startedWaits;
        seen.clear();
        lines.set(bits);
        ASSERT_TRUE(pumpUntil([&] { return std::ranges::find(seen, report) != seen.end(); }))
            << report;
    };
    for (SyncMethod mode : {SyncMethod::smThreadSync, SyncMethod::smWindowSync}) {
        SCOPED_TRACE(static_cast<int>(mode));
        port.setSyncMethod(mode);
        seen.clear();
        spy->startedWaits = 0;
        lastWaits = 0;
        port.openPort();
        EXPECT_EQ(seen, (std::vector<std::string>{"cts+", "dsr+", "rlsd+"}));
        EXPECT_EQ(port.lineSignals(),
                  (LineSignals{LineSignal::lsCTS, LineSignal::lsDSR, LineSignal::lsRLSD}));

        change(ModemLines::kDsr | ModemLines::kCarrier, "cts-");
        change(ModemLines::kDsr, "rlsd-");
        change(0, "dsr-");
        change(ModemLines::kRing, "ring");
        change(ModemLines::kCts | ModemLines::kDsr | ModemLines::kCarrier, "cts+");
        EXPECT_EQ(port.lineSignals(),
                  (LineSignals{LineSignal::lsCTS, LineSignal::lsDSR, LineSignal::lsRLSD}));
        port.closePort();
    }
}

}  // namespace
}  // namespace serial
