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

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/keypilot.h"
#include "framework/application.h"
#include "bench_clock.h"
#include "framework/handle.h"
#include "framework/main_thread_call.h"
#include "framework/registry.h"
#include "framework/text.h"

namespace {

using framework::KernelHandle;
using framework::RegistryKey;

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
    auto window = std::make_unique<app::Keypilot>();
    window->start();
    return window;
}

KernelHandle openPhone(const std::wstring& port) {
    KernelHandle h(CreateFileW((L"\\\\.\\" + port).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                               nullptr, OPEN_EXISTING, 0, nullptr));
    if (!h) {
        std::fprintf(stderr, "cannot open %ls (%lu)\n", port.c_str(), GetLastError());
    }
    return h;
}

bool write(const KernelHandle& phone, const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(phone.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}

// A visible window that counts the key ups it gets, directly or through its focused self.
long keyUps = 0;
LRESULT CALLBACK countingProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_KEYUP && wParam == VK_NEXT) {
        ++keyUps;
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

HWND makeCountingWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = countingProcedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KeypilotBenchCounter";
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"counter", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                500, 300, 240, 180, nullptr, nullptr, wc.hInstance, nullptr);
    serveUntil(
        [&] {
            SetForegroundWindow(hwnd);
            SetFocus(hwnd);
            return GetForegroundWindow() == hwnd;
        },
        5);
    return hwnd;
}

int burst(const std::wstring& local, const std::wstring& remote, int codes, bool input) {
    auto keypilot = startKeypilot(portIndexOf(local), input ? L"input" : nullptr);
    if (!keypilot->comPort().connected()) {
        std::fprintf(stderr, "%ls did not open\n", local.c_str());
        return 2;
    }
    KernelHandle phone = openPhone(remote);
    if (!phone) {
        return 2;
    }
    HWND counter = makeCountingWindow();
    std::string bytes;
    for (int i = 0; i < codes; ++i) {
        bytes += "09";
    }
    keyUps = 0;
    const double cpuBefore = cpuSeconds();
    const double start = now();
    write(phone, bytes);
    serveUntil([&] { return keyUps >= codes; }, 120);
    const double drained = now() - start;
    std::printf(
        "burst keys=%-8s %5d codes in one write: %5ld keys arrived, drained in %7.3f s "
        "(%6.0f codes/s), CPU %.3f s\n",
        input ? "input" : "messages", codes, keyUps, drained, static_cast<double>(keyUps) / drained,
        cpuSeconds() - cpuBefore);
    DestroyWindow(counter);
    keypilot.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, kStore);
    return keyUps == codes ? 0 : 1;
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

// Runs a shell command of the host and waits for its marker file (Wine cannot wait on it).
bool runHostCommand(const std::string& command) {
    static int counter = 0;
    const char* benchDir = std::getenv("KEYPILOT_TESTBED_DIR");
    if (!benchDir) {
        return false;
    }
    const std::string marker = std::string(benchDir) + "/app-bench-" +
                               std::to_string(GetCurrentProcessId()) + "-" +
                               std::to_string(++counter) + ".done";
    std::wstring dosMarker = L"Z:" + framework::fromUtf8(marker);
    for (auto& c : dosMarker) {
        c = c == L'/' ? L'\\' : c;
    }
    std::wstring line = framework::fromUtf8("/bin/sh -c \"" + command +
                                            " >/dev/null 2>&1; touch '" + marker + "'\"");
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi)) {
        return false;
    }
    KernelHandle process{pi.hProcess};
    KernelHandle thread{pi.hThread};
    const bool done = serveUntil(
        [&] { return GetFileAttributesW(dosMarker.c_str()) != INVALID_FILE_ATTRIBUTES; }, 20);
    DeleteFileW(dosMarker.c_str());
    return done;
}

bool link(const char* what, const std::wstring& port) {
    return runHostCommand(std::string("'") + KEYPILOT_TESTBED_SCRIPT + "' " + what +
                          " \"$KEYPILOT_TESTBED_DIR\" " + framework::toUtf8(port));
}

int reconnect(const std::wstring& local, const std::wstring& remote) {
    auto keypilot = startKeypilot(portIndexOf(local));
    if (!keypilot->comPort().connected()) {
        std::fprintf(stderr, "%ls did not open\n", local.c_str());
        return 2;
    }
    const double dropped = now();
    if (!link("kill-link", local)) {
        std::fprintf(stderr, "kill-link failed\n");
        return 2;
    }
    const bool closed = serveUntil([&] { return !keypilot->comPort().connected(); }, 10);
    const double shownClosed = now() - dropped;
    const double restored = now();
    link("restore-link", local);
    const bool opened = serveUntil([&] { return keypilot->comPort().connected(); }, 10);
    const double reopened = now() - restored;
    // A code moves the cursor: the new link carries codes.
    KernelHandle phone = openPhone(remote);
    SetCursorPos(300, 300);
    const double sent = now();
    write(phone, "06");
    const bool moved = serveUntil(
        [] {
            POINT p{};
            GetCursorPos(&p);
            return p.x != 300;
        },
        5);
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
