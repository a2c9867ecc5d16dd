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
//   app_bench moves <local> <remote> <moves>
//       moves written one a write: first each waited for until the cursor has moved (moves
//       applied a second, one placement each), then all at once (moves a second until the last
//       has landed, however Keypilot took them in, and the chunks it read them in)
//   app_bench type <local> <remote>
//       1,000 characters typed into a focused edit control of this program: Latin ones in one
//       text frame, Russian ones in two (a frame carries at most 1,000 bytes); time from the
//       write until the control holds them all
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/instance_claim.h"
#include "app/keypilot.h"
#include "app/link_protocol.h"
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

// The seconds Keypilot has spent on the chunks it read, up to the last one's end.
double handlingSeconds = 0;

// Counts the chunks Keypilot has read from its port, and the time it spent on them.
int* watchChunks(app::Keypilot& keypilot) {
    static int chunks = 0;
    chunks = 0;
    handlingSeconds = 0;
    auto handler = keypilot.comPort().onRxChar;
    keypilot.comPort().onRxChar = [handler](serial::SerialPort& port, int32_t count) {
        const double start = now();
        handler(port, count);
        handlingSeconds += now() - start;
        ++chunks;
    };
    return &chunks;
}

bool cursorAt(POINT expected) {
    const POINT p = testing_support::cursor();
    return p.x == expected.x && p.y == expected.y;
}

int moves(const std::wstring& local, const std::wstring& remote, int count) {
    auto keypilot = startKeypilot(portIndexOf(local));
    auto phone = openPhone(remote);
    if (!keypilot->comPort().connected() || !phone) {
        return 2;
    }
    int* chunks = watchChunks(*keypilot);
    const POINT start{400, 300};
    SetCursorPos(start.x, start.y);
    // Each move waited for: to the right and back, one placement each.
    const double paced = now();
    int applied = 0;
    for (int i = 0; i < count; ++i) {
        const bool right = i % 2 == 0;
        phone->send(right ? "MV+002+001" : "MV-002-001");
        const POINT to{right ? start.x + 2 : start.x, right ? start.y + 1 : start.y};
        if (!serveUntil([&] { return cursorAt(to); }, 5)) {
            break;
        }
        ++applied;
    }
    const double pacedSeconds = now() - paced;
    // All written at once, each its own write, then one more that ends where no other does.
    const int chunksBefore = *chunks;
    const double flood = now();
    for (int i = 0; i < count; ++i) {
        phone->send(i % 2 == 0 ? "MV+002+001" : "MV-002-001");
    }
    phone->send("MV+007+007");
    const bool landed = serveUntil([&] { return cursorAt({start.x + 7, start.y + 7}); }, 60);
    const double floodSeconds = now() - flood;
    // Keypilot's own part: each move a chunk of its own through the reader and the handler, one
    // cursor placement each, without the link.
    SetCursorPos(start.x, start.y);
    const double own = now();
    for (int i = 0; i < count; ++i) {
        keypilot->onChunkReceived(i % 2 == 0 ? "MV+002+001" : "MV-002-001");
    }
    const double ownSeconds = now() - own;
    const bool ownExact = cursorAt(start);
    std::printf(
        "moves: %d each waited for over the link in %.3f s = %6.0f moves/s; %d written at once "
        "landed %s in %.3f s = %6.0f moves/s, read in %d chunks; %d handed to Keypilot one a "
        "chunk placed %s in %.3f s = %6.0f moves/s\n",
        applied, pacedSeconds, applied / pacedSeconds, count, landed ? "exactly" : "NOT",
        floodSeconds, (count + 1) / floodSeconds, *chunks - chunksBefore, count,
        ownExact ? "exactly" : "NOT", ownSeconds, count / ownSeconds);
    keypilot.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, kStore);
    return applied == count && landed && ownExact ? 0 : 1;
}

int type(const std::wstring& local, const std::wstring& remote) {
    auto keypilot = startKeypilot(portIndexOf(local));
    auto phone = openPhone(remote);
    if (!keypilot->comPort().connected() || !phone) {
        return 2;
    }
    int* chunks = watchChunks(*keypilot);
    // An edit control that scrolls, so that it takes text beyond what it shows.
    const HWND edit = CreateWindowExW(
        0, L"EDIT", L"",
        WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL, 480, 300,
        300, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    serveUntil(
        [&] {
            SetForegroundWindow(edit);
            SetFocus(edit);
            return GetForegroundWindow() == edit && GetFocus() == edit;
        },
        5);
    struct Run {
        const char* name;
        std::u16string text;
        int frames;
    };
    std::u16string latin, russian;
    for (int i = 0; i < 1000; ++i) {
        latin += static_cast<char16_t>(u'a' + i % 26);
        russian += static_cast<char16_t>(u'а' + i % 32);
    }
    int failures = 0;
    for (const Run& run : {Run{"Latin", latin, 1}, Run{"Russian", russian, 2}}) {
        SetWindowTextW(edit, L"");
        std::string bytes;
        const std::size_t part = run.text.size() / static_cast<std::size_t>(run.frames);
        for (int f = 0; f < run.frames; ++f) {
            bytes += *app::encodeMessage(app::Message::typing(run.text.substr(f * part, part)));
        }
        const int chunksBefore = *chunks;
        handlingSeconds = 0;
        const double start = now();
        phone->send(bytes);
        const bool all = serveUntil(
            [&] { return GetWindowTextLengthW(edit) >= static_cast<int>(run.text.size()); }, 60);
        const double seconds = now() - start;
        std::vector<wchar_t> typed(run.text.size() + 2);
        GetWindowTextW(edit, typed.data(), static_cast<int>(typed.size()));
        const bool whole =
            std::u16string(typed.begin(), typed.begin() + run.text.size()) == run.text;
        std::printf(
            "type: %zu %s characters in %d frame(s), %zu bytes written: %s in %.3f s (Keypilot "
            "busy %.3f s of it, over %d chunks; %d characters in the control)\n",
            run.text.size(), run.name, run.frames, bytes.size(),
            all && whole ? "typed whole" : "NOT typed whole", seconds, handlingSeconds,
            *chunks - chunksBefore, GetWindowTextLengthW(edit));
        failures += all && whole ? 0 : 1;
    }
    DestroyWindow(edit);
    keypilot.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, kStore);
    return failures == 0 ? 0 : 1;
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
    if (what == L"moves" && argc >= 5) {
        return moves(argv[2], argv[3], std::stoi(argv[4]));
    }
    if (what == L"type" && argc >= 4) {
        return type(argv[2], argv[3]);
    }
    std::fprintf(stderr,
                 "usage: app_bench burst <local> <remote> <codes> [messages|input]\n"
                 "       app_bench cpu <open|none|retrying> <port> <seconds>\n"
                 "       app_bench reconnect <local> <remote>\n"
                 "       app_bench moves <local> <remote> <moves>\n"
                 "       app_bench type <local> <remote>\n");
    return 2;
}
