// A link whose far end vanishes, like a phone whose Bluetooth link drops: the bench's socat
// behind a port pair is stopped while the component waits on it. Kept in a program of its own,
// as it stops and restarts part of the bench.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "serial/serial_port.h"
#include "serial_test_support.h"

namespace serial {
namespace {

using test::benchPair;
using test::SpyCommApi;
using test::waitFor;

double processCpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](FILETIME t) {
        return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

// Stops the socat behind a bench pair for the length of a test, like a phone whose Bluetooth
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
        test::runHostCommand(std::string("'") + KEYPILOT_BENCH_SCRIPT + "' " + what +
                             " \"$KEYPILOT_BENCH_DIR\" " + framework::toUtf8(port_));
    }
    std::wstring port_;
    bool dropped_ = false;
};

TEST(SerialLinkTest, FarEndVanishingClosesThePortAndLeavesTheProcessIdle) {
    framework::initMainThreadCalls();
    const test::PortPair pair = benchPair(3);
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
        ASSERT_TRUE(waitFor([&] { return spy->startedWaits > 0; }));

        DroppedLink link(pair.local);
        link.drop();
        const double cpuBefore = processCpuSeconds();
        // Within two seconds the link shows as gone.
        ASSERT_TRUE(waitFor([&] { return !port.connected(); }, 2000));
        EXPECT_EQ(closes, 1);
        test::serveFor(3000);
        const double cpu = processCpuSeconds() - cpuBefore;
        RecordProperty("cpuSecondsOverThreeSeconds", std::to_string(cpu));
        // A thread turning without waiting would burn a whole core.
        EXPECT_LT(cpu, 0.5) << "CPU seconds used after the link dropped";
        // Opening again fails cleanly while the link is down.
        EXPECT_THROW(port.openPort(), SerialPortError);
        EXPECT_FALSE(port.connected());
    }
}

}  // namespace
}  // namespace serial
