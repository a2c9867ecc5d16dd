// A link whose far end vanishes, like a phone whose Bluetooth link drops: the testbed's socat
// behind a port pair is stopped while the component waits on it. Kept in a program of its own,
// as it stops and restarts part of the testbed.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "serial/serial_port.h"
#include "serial_test_support.h"

namespace serial {
namespace {

using test::SpyCommApi;
using test::testbedPair;
using testing_support::pumpUntil;

// Stops the socat behind a testbed pair for the length of a test, like a phone whose Bluetooth
// link drops, and brings it back afterwards for the other tests.
class DroppedLink {
  public:
    explicit DroppedLink(std::wstring port) : port_(std::move(port)) {}
    ~DroppedLink() {
        if (dropped_)
            run("restore-link");
    }
    void drop() {
        dropped_ = true;
        run("kill-link");
    }

  private:
    void run(const char* what) {
        test::runHostCommand(std::string("'") + KEYPILOT_TESTBED_SCRIPT + "' " + what +
                             " \"$KEYPILOT_TESTBED_DIR\" " + framework::toUtf8(port_));
    }
    std::wstring port_;
    bool dropped_ = false;
};

TEST(SerialLinkTest, FarEndVanishingClosesThePortWithoutTurning) {
    framework::initMainThreadCalls();
    const test::PortPair pair = testbedPair(3);
    for (SyncMethod mode : {SyncMethod::smThreadSync, SyncMethod::smWindowSync}) {
        SCOPED_TRACE(static_cast<int>(mode));
        auto spy = std::make_shared<SpyCommApi>();
        SerialPort port;
        port.setCommApi(spy);
        port.setSyncMethod(mode);
        port.setPort(pair.local);
        int closes = 0;
        port.onAfterClose = [&](SerialPort&) { ++closes; };
        port.openPort();
        ASSERT_TRUE(pumpUntil([&] { return spy->startedWaits > 0; }));

        DroppedLink link(pair.local);
        const int callsBefore = spy->startedWaits + spy->stateQueries;
        link.drop();
        ASSERT_TRUE(pumpUntil([&] { return !port.connected(); }));
        EXPECT_EQ(closes, 1);
        // Until it notices, the thread asks the device twice a second; a thread turning without
        // waiting would ask thousands of times. Once closed, the thread has ended.
        EXPECT_LT(spy->startedWaits + spy->stateQueries - callsBefore, 40);
        // Opening again fails cleanly while the link is down.
        EXPECT_THROW(port.openPort(), SerialPortError);
        EXPECT_FALSE(port.connected());
    }
}

}  // namespace
}  // namespace serial
