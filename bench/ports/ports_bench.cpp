// How long the port catalogue takes to answer, in the testbed or on a real PC:
//   ports_bench [rounds]
// the whole catalogue, and each of the system's sources alone, <rounds> times each (default 50):
// the median and the slowest, in milliseconds.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <vector>

#include "bench_clock.h"
#include "ports/system_port_sources.h"

namespace {

void measure(const char* what, int rounds, const std::function<void()>& call) {
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        const double start = bench::now();
        call();
        ms.push_back((bench::now() - start) * 1000);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-18s median %7.3f ms  slowest %7.3f ms  (%d rounds)\n", what, ms[ms.size() / 2],
                ms.back(), rounds);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int rounds =
        argc > 1 ? std::max(1, static_cast<int>(std::wcstol(argv[1], nullptr, 10))) : 50;
    ports::PortSources sources = ports::systemPortSources();
    const ports::PortList list = ports::listSystemPorts();
    int present = 0;
    for (const auto& port : list) {
        present += port.exists ? 1 : 0;
    }
    std::printf("ports present: %d of %d\n", present, ports::kPortCount);
    measure("catalogue", rounds, [] { ports::listSystemPorts(); });
    measure("SERIALCOMM", rounds, [&] { sources.registeredNames(); });
    measure("device names", rounds, [&] { sources.deviceNames(); });
    measure("SetupAPI devices", rounds, [&] { sources.devices(); });
    measure("Bluetooth name", rounds, [&] { sources.bluetoothName(0x58CB52A1B2C3); });
    return 0;
}
