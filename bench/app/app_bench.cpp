// Keypilot's own figures, with the program's main window running in this process on a testbed port
// pair:
//   app_bench burst <local> <remote> <codes> [messages|input]
//       <codes> Page Down codes written in one write; the keys that reach a window of this
//       program in the foreground are counted, and the time from the write to the last one
//   app_bench cpu <open|none|retrying> <port> <seconds>
//       process CPU over <seconds> of the message loop: the port open, no port named, or a port
//       that cannot be opened (reconnect tries every 2 s)
//   app_bench reconnect <local> <remote>
//       the testbed's socat behind the pair is stopped and started again: time until the port
//       shows as closed, until it is open again, until a code moves the cursor
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "app/instance_claim.h"
#include "app/keypilot.h"
#include "bench_clock.h"
#include "framework/application.h"
#include "framework/main_thread_call.h"
#include "framework/registry.h"
#include "framework/text.h"
#include "wine_test_support.h"

namespace {

using framework::RegistryKey;
using testing_support::KeyRecorder;
using testing_support::PortEnd;

constexpr const wchar_t* kStore = L"Software\\Corvane";
constexpr const wchar_t* kSection = L"Software\\Corvane\\Keypilot";

using bench::cpuSeconds;
using bench::now;

// The message loop's work until done() or the deadline; true when done() held.
template <class Done>
bool serveUntil(Done done, double seconds) {
    const double deadline = now() + seconds;
    while (!done()) {
        if (now() >= deadline) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        framework::runPendingMainThreadCalls();
        framework::application().processMessages();
    }
    return true;
}

int portIndexOf(const std::wstring& port) {
    return std::stoi(port.substr(3)) - 1;
}

std::unique_ptr<app::Keypilot> startKeypilot(int portIndex, const wchar_t* keys = nullptr) {
    RegDeleteTreeW(HKEY_CURRENT_USER, kStore);
    auto section = RegistryKey::create(HKEY_CURRENT_USER, kSection);
    section.writeText(L"com", std::to_wstring(portIndex));
    section.writeText(L"mouse", L"3");
    if (keys) {
        section.writeText(L"keys", keys);
    }
    auto& app = framework::application();
    app.initialize();
    app.setTitle(L"Keypilot");
    auto claim = app::InstanceClaim::take();
    if (!claim) {
        std::fprintf(stderr, "another Keypilot runs in this session\n");
        std::exit(2);
    }
    auto window = std::make_unique<app::Keypilot>(std::move(*claim));
    window->start();
    return window;
}

// The phone's end of the pair, or nothing when it does not open.
std::unique_ptr<PortEnd> openPhone(const std::wstring& port) {
    auto phone = std::make_unique<PortEnd>(port);
    if (!phone->isOpen()) {
        std::fprintf(stderr, "cannot open %ls (%lu)\n", port.c_str(), GetLastError());
        return nullptr;
    }
    return phone;
}

// The Page Down key ups that reached the recorder.
long keyUps() {
    return static_cast<long>(std::ranges::count_if(KeyRecorder::keys, [](const auto& key) {
        return key.msg == WM_KEYUP && key.vk == VK_NEXT;
    }));
}

int burst(const std::wstring& local, const std::wstring& remote, int codes, bool input) {
    auto keypilot = startKeypilot(portIndexOf(local), input ? L"input" : nullptr);
    if (!keypilot->comPort().connected()) {
        std::fprintf(stderr, "%ls did not open\n", local.c_str());
        return 2;
    }
    auto phone = openPhone(remote);
    if (!phone) {
        return 2;
    }
    // A window of this program in the foreground counts the keys, sent to it or to its focus.
    auto recorder = std::make_unique<KeyRecorder>();
    recorder->takeForeground();
    SetFocus(recorder->handle());
    std::string bytes;
    for (int i = 0; i < codes; ++i) {
        bytes += "09";
    }
    const double cpuBefore = cpuSeconds();
    const double start = now();
    phone->send(bytes);
    serveUntil([&] { return keyUps() >= codes; }, 120);
    const double drained = now() - start;
    std::printf(
        "burst keys=%-8s %5d codes in one write: %5ld keys arrived, drained in %7.3f s "
        "(%6.0f codes/s), CPU %.3f s\n",
        input ? "input" : "messages", codes, keyUps(), drained,
        static_cast<double>(keyUps()) / drained, cpuSeconds() - cpuBefore);
    const bool all = keyUps() == codes;
    recorder.reset();
    keypilot.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, kStore);
    return all ? 0 : 1;
}

int cpu(const std::string& state, const std::wstring& port, int seconds) {
    const int index = state == "none" ? -1 : portIndexOf(port);
    auto keypilot = startKeypilot(index);
    // Past the start-up, so only the steady state counts.
    serveUntil([] { return false; }, 1.5);
    const double before = cpuSeconds();
    const double start = now();
    serveUntil([] { return false; }, seconds);
    const double used = cpuSeconds() - before;
    const double elapsed = now() - start;
    std::printf(
        "cpu %-8s (%ls%s) over %5.1f s: %.3f s CPU = %5.2f %% of a core; tip \"%ls\"\n",
        state.c_str(), state == "none" ? L"no port" : port.c_str(),
        keypilot->comPort().connected() ? ", open" : ", closed", elapsed, used,
        100.0 * used / elapsed,
        keypilot->comPort().connected() ? L"(connected)" : keypilot->trayIcon().hint().c_str());
    keypilot.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, kStore);
    return 0;
}

int reconnect(const std::wstring& local, const std::wstring& remote) {
    auto keypilot = startKeypilot(portIndexOf(local));
    if (!keypilot->comPort().connected()) {
        std::fprintf(stderr, "%ls did not open\n", local.c_str());
        return 2;
    }
    testing_support::DroppedLink link(local);
    const double dropped = now();
    if (!link.drop()) {
        std::fprintf(stderr, "kill-link failed\n");
        return 2;
    }
    const bool closed = serveUntil([&] { return !keypilot->comPort().connected(); }, 10);
    const double shownClosed = now() - dropped;
    const double restored = now();
    link.restore();
    const bool opened = serveUntil([&] { return keypilot->comPort().connected(); }, 10);
    const double reopened = now() - restored;
    // A code moves the cursor: the new link carries codes.
    auto phone = openPhone(remote);
    SetCursorPos(300, 300);
    const double sent = now();
    const bool moved = phone && phone->send("06") &&
                       serveUntil([] { return testing_support::cursor().x != 300; }, 5);
    std::printf(
        "reconnect: closed %s %.2f s after the link went, open again %s %.2f s after it "
        "came back (codes work %s, %.3f s for the first)\n",
        closed ? "seen" : "NOT seen", shownClosed, opened ? "" : "NOT", reopened,
        moved ? "yes" : "NO", now() - sent);
    keypilot.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, kStore);
    return closed && opened && moved ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    framework::initMainThreadCalls();
    const std::wstring what = argc > 1 ? argv[1] : L"";
    if (what == L"burst" && argc >= 5) {
        const bool input = argc > 5 && std::wstring(argv[5]) == L"input";
        return burst(argv[2], argv[3], std::stoi(argv[4]), input);
    }
    if (what == L"cpu" && argc >= 5) {
        return cpu(framework::toUtf8(argv[2]), argv[3], std::stoi(argv[4]));
    }
    if (what == L"reconnect" && argc >= 4) {
        return reconnect(argv[2], argv[3]);
    }
    std::fprintf(stderr,
                 "usage: app_bench burst <local> <remote> <codes> [messages|input]\n"
                 "       app_bench cpu <open|none|retrying> <port> <seconds>\n"
                 "       app_bench reconnect <local> <remote>\n");
    return 2;
}
