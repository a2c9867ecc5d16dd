// Figures for the serial port component on a bench port pair, each beside the simplest
// overlapped wait-and-read loop on the same kind of port:
//   serial_bench latency <component|reference> <local> <remote> <codes>
//   serial_bench idle <component|reference> <local> <remote> <seconds>
//   serial_bench flood <component|reference> <local> <remote> <seconds> <bytes per second>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_clock.h"
#include "framework/handle.h"
#include "framework/main_thread_call.h"
#include "serial/serial_port.h"

namespace {

using framework::KernelHandle;

using bench::cpuSeconds;
using bench::now;

DWORD handleCount() {
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return count;
}

double privateMegabytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(counters.PagefileUsage) / (1024.0 * 1024.0);
}

KernelHandle openPlain(const std::wstring& port, bool overlapped) {
    KernelHandle h(CreateFileW((L"\\\\.\\" + port).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                               nullptr, OPEN_EXISTING, overlapped ? FILE_FLAG_OVERLAPPED : 0,
                               nullptr));
    if (!h) {
        std::fprintf(stderr, "cannot open %ls (%lu)\n", port.c_str(), GetLastError());
        std::exit(2);
    }
    COMMTIMEOUTS t{MAXDWORD, 0, 0, 100, 1000};
    SetCommTimeouts(h.get(), &t);
    return h;
}

void pumpOnce(DWORD timeoutMs) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&msg);
    }
    framework::runPendingMainThreadCalls();
}

// Receives bytes one way or the other and tells how many have arrived.
struct Receiver {
    virtual ~Receiver() = default;
    // Serves the receiver once; returns after at most timeoutMs.
    virtual void serve(DWORD timeoutMs) = 0;
    std::atomic<long long> received{0};
    std::atomic<double> lastArrival{0};
    std::atomic<double> entered{0};
};

struct ComponentReceiver : Receiver {
    serial::SerialPort port;
    explicit ComponentReceiver(const std::wstring& name) {
        port.setPort(name);
        // SERIAL_BENCH_RXONLY=1 waits for received bytes only, as the reference does.
        if (std::getenv("SERIAL_BENCH_RXONLY")) {
            port.setEvents({serial::SerialEvent::evRxChar});
        }
        // SERIAL_BENCH_SYNC=none|window measures the other ways of delivery.
        if (const char* sync = std::getenv("SERIAL_BENCH_SYNC")) {
            if (std::string(sync) == "none") {
                port.setSyncMethod(serial::SyncMethod::smNone);
            }
            if (std::string(sync) == "window") {
                port.setSyncMethod(serial::SyncMethod::smWindowSync);
            }
        }
        port.onRxChar = [this](serial::SerialPort& p, std::int32_t count) {
            entered = now();
            std::string text;
            const std::int32_t n = p.readText(text, count);
            lastArrival = now();
            received += n;
        };
        port.openPort();
    }
    void serve(DWORD timeoutMs) override { pumpOnce(timeoutMs); }
};

// The simplest overlapped wait-and-read loop, run in place.
struct ReferenceReceiver : Receiver {
    KernelHandle device;
    KernelHandle event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    OVERLAPPED wait{};
    DWORD mask = 0;
    bool pending = false;
    explicit ReferenceReceiver(const std::wstring& name) : device(openPlain(name, true)) {
        // SERIAL_BENCH_ALLEVENTS=1 waits for every event, as the application's port does.
        SetCommMask(device.get(), std::getenv("SERIAL_BENCH_ALLEVENTS") ? 0x05FF : EV_RXCHAR);
        wait.hEvent = event.get();
        startWait();
    }
    ~ReferenceReceiver() override {
        SetCommMask(device.get(), 0);
        if (pending) {
            WaitForSingleObject(event.get(), 1000);
        }
    }
    // Like any reader loop, the next wait is under way before the next bytes come.
    void startWait() {
        if (pending) {
            return;
        }
        ResetEvent(event.get());
        if (!WaitCommEvent(device.get(), &mask, &wait) && GetLastError() != ERROR_IO_PENDING) {
            return;
        }
        pending = true;
    }
    void serve(DWORD timeoutMs) override {
        startWait();
        const bool done = WaitForSingleObject(event.get(), timeoutMs) == WAIT_OBJECT_0;
        if (done) {
            receive();
        }
        startWait();
    }
    void receive() {
        pending = false;
        DWORD unused;
        if (!GetOverlappedResult(device.get(), &wait, &unused, FALSE)) {
            return;
        }
        COMSTAT status{};
        DWORD errors;
        ClearCommError(device.get(), &errors, &status);
        if (status.cbInQue == 0) {
            return;
        }
        std::string buffer(status.cbInQue, '\0');
        KernelHandle readEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        OVERLAPPED read{};
        read.hEvent = readEvent.get();
        DWORD n = 0;
        if (!ReadFile(device.get(), buffer.data(), status.cbInQue, &n, &read) &&
            GetLastError() == ERROR_IO_PENDING) {
            GetOverlappedResult(device.get(), &read, &n, TRUE);
        }
        lastArrival = now();
        received += n;
    }
};

std::unique_ptr<Receiver> makeReceiver(const std::string& kind, const std::wstring& port) {
    if (kind == "component") {
        return std::make_unique<ComponentReceiver>(port);
    }
    return std::make_unique<ReferenceReceiver>(port);
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

int latency(const std::string& kind, const std::wstring& local, const std::wstring& remote,
            int codes) {
    auto receiver = makeReceiver(kind, local);
    KernelHandle phone = openPlain(remote, false);
    std::vector<double> samples, handlerEntered;
    std::mt19937 random(1);
    for (int i = 0; i < codes; ++i) {
        const char code[2] = {static_cast<char>('0' + i % 2), static_cast<char>('0' + i % 10)};
        const long long before = receiver->received;
        DWORD written;
        const double sent = now();
        WriteFile(phone.get(), code, 2, &written, nullptr);
        const double deadline = sent + 2.0;
        while (receiver->received < before + 2 && now() < deadline) {
            receiver->serve(50);
        }
        if (receiver->received < before + 2) {
            std::fprintf(stderr, "code %d lost\n", i);
            return 1;
        }
        samples.push_back((receiver->lastArrival - sent) * 1000.0);
        if (receiver->entered > 0) {
            handlerEntered.push_back((receiver->entered - sent) * 1000.0);
        }
        Sleep(1 + random() % 3);  // a little air between key presses
    }
    std::printf("latency %-9s codes %d  p50 %.3f ms  p99 %.3f ms  max %.3f ms\n", kind.c_str(),
                codes, percentile(samples, 0.5), percentile(samples, 0.99),
                percentile(samples, 1.0));
    if (!handlerEntered.empty()) {
        std::printf("        %-9s handler entered after p50 %.3f ms  p99 %.3f ms\n", kind.c_str(),
                    percentile(handlerEntered, 0.5), percentile(handlerEntered, 0.99));
    }
    return 0;
}

int idle(const std::string& kind, const std::wstring& local, int seconds) {
    auto receiver = makeReceiver(kind, local);
    const double cpu0 = cpuSeconds(), t0 = now();
    while (now() - t0 < seconds) {
        receiver->serve(1000);
    }
    const double cpu = cpuSeconds() - cpu0, wall = now() - t0;
    std::printf("idle    %-9s %.0f s  cpu %.3f s  (%.2f %% of one core)\n", kind.c_str(), wall, cpu,
                100.0 * cpu / wall);
    return 0;
}

int flood(const std::string& kind, const std::wstring& local, const std::wstring& remote,
          int seconds, int rate) {
    std::unique_ptr<Receiver> receiverOwner;
    serial::SerialPort* portPointer = nullptr;
    std::atomic<bool> inHandler{false};
    long long overlaps = 0, events = 0;
    double closedAt = 0;
    if (kind == "component") {
        auto component = std::make_unique<ComponentReceiver>(local);
        portPointer = &component->port;
        portPointer->onRxChar = [&, r = component.get()](serial::SerialPort& p,
                                                         std::int32_t count) {
            if (inHandler.exchange(true)) {
                ++overlaps;
            }
            std::string text;
            r->received += p.readText(text, count);
            ++events;
            inHandler = false;
        };
        portPointer->onAfterClose = [&](serial::SerialPort&) { closedAt = now(); };
        receiverOwner = std::move(component);
    } else {
        receiverOwner = makeReceiver(kind, local);
    }
    Receiver& receiver = *receiverOwner;
    KernelHandle phone = openPlain(remote, false);
    std::atomic<long long> sent{0};
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        std::mt19937 random(7);
        const int chunk = std::max(1, rate / 100);  // every 10 ms
        std::string bytes(static_cast<std::size_t>(chunk), '\0');
        const double t0 = now();
        for (long long tick = 0; !stop; ++tick) {
            for (auto& b : bytes) {
                b = static_cast<char>(random());
            }
            DWORD written = 0;
            WriteFile(phone.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                      nullptr);
            sent += written;
            const double next = t0 + static_cast<double>(tick + 1) * 0.01;
            const double wait = next - now();
            if (wait > 0) {
                Sleep(static_cast<DWORD>(wait * 1000.0));
            }
        }
    });
    const double t0 = now();
    std::vector<double> memory{privateMegabytes()};
    std::vector<DWORD> handles{handleCount()};
    double nextSample = t0 + 10.0;
    while (now() - t0 < seconds) {
        receiver.serve(100);
        if (now() >= nextSample) {
            memory.push_back(privateMegabytes());
            handles.push_back(handleCount());
            nextSample += 10.0;
        }
    }
    stop = true;
    writer.join();
    const double settle = now();
    while (receiver.received < sent && now() - settle < 5.0) {
        receiver.serve(50);
    }
    std::printf(
        "flood   %-9s %d s at %d B/s  sent %lld  received %lld  events %lld  overlaps %lld  "
        "connected %s\n",
        kind.c_str(), seconds, rate, sent.load(), receiver.received.load(), events, overlaps,
        !portPointer || portPointer->connected() ? "yes" : "no");
    if (closedAt > 0) {
        std::printf("flood   the port closed itself after %.1f s\n", closedAt - t0);
    }
    std::printf("flood   private memory MB every 10 s:");
    for (double m : memory) {
        std::printf(" %.2f", m);
    }
    std::printf("\nflood   handles every 10 s:");
    for (DWORD h : handles) {
        std::printf(" %lu", h);
    }
    std::printf("\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    framework::initMainThreadCalls();
    std::vector<std::string> a(argv, argv + argc);
    auto wide = [](const std::string& s) { return std::wstring(s.begin(), s.end()); };
    try {
        if (a.size() == 6 && a[1] == "latency") {
            return latency(a[2], wide(a[3]), wide(a[4]), std::atoi(a[5].c_str()));
        }
        if (a.size() == 6 && a[1] == "idle") {
            return idle(a[2], wide(a[3]), std::atoi(a[5].c_str()));
        }
        if (a.size() == 7 && a[1] == "flood") {
            return flood(a[2], wide(a[3]), wide(a[4]), std::atoi(a[5].c_str()),
                         std::atoi(a[6].c_str()));
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "serial_bench: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr,
                 "usage: serial_bench latency|idle <component|reference> <local> <remote> <n>\n"
                 "       serial_bench flood <component|reference> <local> <remote> <seconds> "
                 "<bytes per second>\n");
    return 2;
}
