// The Wine testbed as the tests see it: its COM port pairs, the test's own end of a pair, commands
// run on its Linux host, dropping a link like a phone that goes out of range, and the Linux paths
// it hands over as Wine shows them.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "framework/handle.h"

namespace testing_support {

// A pair of COM ports joined by the testbed: what is written at one end arrives at the other.
struct PortPair {
    std::wstring local;   // opened by the code under test, e.g. "COM5"
    std::wstring remote;  // the phone's end, held by the test, e.g. "COM6"
};

// Pair `index` of KEYPILOT_TEST_PORTS ("COM5:COM6,COM7:COM8,..."); throws std::out_of_range when
// the testbed has no such pair.
PortPair testbedPair(std::size_t index);

// The test's own end of a pair, opened plainly at 9600 8N1 with whatever waited there dropped: it
// writes like a phone (one WriteFile per send) and reads what arrived.
class PortEnd {
  public:
    explicit PortEnd(const std::wstring& port);
    bool isOpen() const { return handle_.valid(); }
    bool send(std::string_view bytes);
    // What has arrived; when nothing has, waits up to waitMs for the first byte.
    std::string read(DWORD waitMs = 0);

  private:
    framework::KernelHandle handle_;
    DWORD readWaitMs_ = 0;
};

// A Linux path as Wine's drive Z: shows it.
std::wstring winePath(const std::wstring& linuxPath);

// Runs a shell command on the testbed's host and returns its output (standard output and error),
// or nothing when it did not finish in time. Wine cannot wait on a Linux process, so the command
// leaves a marker file when it is done; messages are served meanwhile.
std::optional<std::string> runHostCommand(const std::string& command, DWORD timeoutMs = 20000);

// Stops the socat behind a testbed pair, like a phone whose Bluetooth link drops; starts it again
// under the same names when asked, or at the latest when it goes.
class DroppedLink {
  public:
    explicit DroppedLink(const std::wstring& port) : port_(port) {}
    ~DroppedLink();
    DroppedLink(const DroppedLink&) = delete;
    DroppedLink& operator=(const DroppedLink&) = delete;
    bool drop();
    bool restore();

  private:
    bool run(const char* what);
    std::wstring port_;
    bool dropped_ = false;
};

}  // namespace testing_support
