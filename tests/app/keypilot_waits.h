// Waiting for what Keypilot does off the main thread: a port's open and a read of the ports both
// come back through the message loop.
#pragma once

#include "app/keypilot.h"
#include "wine_test_support.h"

namespace testing_support {

// Until the port is open.
inline bool waitForOpen(app::Keypilot& keypilot, DWORD timeoutMs = 5000) {
    return pumpUntil([&] { return keypilot.comPort().connected(); }, timeoutMs);
}

// Until a read of the ports has come and none is running.
inline bool waitForPorts(app::Keypilot& keypilot) {
    return pumpUntil([&] { return keypilot.ports().ports() && !keypilot.ports().reading(); });
}

}  // namespace testing_support
