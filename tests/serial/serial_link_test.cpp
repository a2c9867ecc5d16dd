// A link whose far end vanishes, like a phone whose Bluetooth link drops: the testbed's socat
// behind a port pair is stopped while the component waits on it. Kept in a program of its own,
// as it stops and restarts part of the testbed.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "framework/main_thread_call.h"
#include "serial/serial_port.h"
#include "spy_comm_api.h"
#include "wine_test_support.h"

namespace serial {
namespace {

using test::SpyCommApi;
using testing_support::DroppedLink;
using testing_support::PortPair;
using testing_support::pumpUntil;
using testing_support::testbedPair;

TEST(SerialLinkTest, FarEndVanishingClosesThePortWithoutTurning) {
    framework::initMainThreadCalls();
    const PortPair pair = testbedPair(3);
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
        ASSERT_TRUE(link.drop());
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
