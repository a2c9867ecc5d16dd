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
//   app_bench type <local> <remote> [runs]
//       1,000 characters typed into another process (type_target, beside this program), as a
//       user types into another program: into its focused edit control, and into a window that
//       only keeps the characters (what Wine takes to deliver the key input, apart from what the
//       edit control takes to show it). Latin ones in one text frame, Russian ones in two (a
//       frame carries at most 1,000 bytes). First the same key events sent by this program alone
//       with no Keypilot running (the reference), then Keypilot from the first byte written on
//       the phone's end; each until the target holds the whole text, asked with WM_GETTEXTLENGTH
//       every 5 ms. Before them, Keypilot's reader alone on the same bytes, whole and cut into
//       small chunks. Each run, then the medians over <runs> (5 unless given)
//   app_bench ui <local> [runs]
//       the longest time the main thread took to answer a message sent to it every 10 ms from
//       another thread while the start's open of <local> (then the device's set-up), the "Connect
//       a phone" window's read of the ports, the web site's shell call, a program's launch from a
//       share and the Bluetooth service's publishing of its record each take 3 s (stand-ins that
//       hold, all at once, as in the test of the main thread); then while the
//       port closes at OK during a write that hangs, the device's close taking 3 s; each run,
//       then the median and the worst over <runs> (3 unless given). The goal: under 16 ms (one
//       frame at 60 Hz)
//   app_bench writes <local> <seconds>
//       a flood of sends back to the phone while every write hangs (a driver stand-in that never
//       finishes one, as a Bluetooth port whose phone has gone): each second, the sends so far,
//       the writes given up, the bytes the port's writer holds and the process's private bytes.
//       Only the latest send waits, so both stay flat
//   app_bench volume <local> <remote> [rounds] [changes]
//       a change of the master volume on the PC until its line has reached the phone's end:
//       Keypilot's side of the link (the connection on <local>, the phone's answers, the mixer on
//       its fake driver: Wine keeps levels per process and sends no mixer notices) after a hello
//       from the phone, and the driver's change notice sent to the mixer's window, as a sound
//       card's driver sends it; against the reference, one bare write of the same line on
//       <local>. <rounds> rounds of each in turn (default 5), <changes> changes a round (default
//       30), each once the last update's interval has ended; the phone says it is there every
//       2 s, as the page does. Each round, then the median of the round medians and the ratio
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/instance_claim.h"
#include "app/keypilot.h"
#include "bench_clock.h"
#include "desktop/volume_watch.h"
#include "fake_bluetooth_api.h"
#include "framework/application.h"
#include "framework/handle.h"
#include "framework/main_thread_call.h"
#include "framework/registry.h"
#include "framework/text.h"
#include "hanging_write_comm_api.h"
#include "link/answer.h"
#include "link/link_protocol.h"
#include "link/phone_contact.h"
#include "slow_calls.h"
#include "ways/com/port_connection.h"
#include "ways/way.h"
#include "wine_test_support.h"
#include "../mixer/fake_mixer_driver.h"

namespace {

using framework::RegistryKey;
using testing_support::KeyRecorder;
using testing_support::PortEnd;

constexpr const wchar_t* kStore = L"Software\\Corvane";
constexpr const wchar_t* kSection = L"Software\\Corvane\\Keypilot";

using bench::cpuSeconds;
using bench::now;

// The message loop's work until done() or the deadline; true when done() held.
// done() is asked at least every `pollMs`.
template <class Done>
bool serveUntil(Done done, double seconds, DWORD pollMs = 20) {
    const double deadline = now() + seconds;
    while (!done()) {
        if (now() >= deadline) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, pollMs, QS_ALLINPUT);
        framework::runPendingMainThreadCalls();
        framework::application().processMessages();
    }
    return true;
}

int portIndexOf(const std::wstring& port) {
    return std::stoi(port.substr(3)) - 1;
}

void storeSettings(int portIndex, const wchar_t* keys = nullptr) {
    RegDeleteTreeW(HKEY_CURRENT_USER, kStore);
    auto section = RegistryKey::create(HKEY_CURRENT_USER, kSection);
    section.writeText(L"com", std::to_wstring(portIndex));
    section.writeText(L"mouse", L"3");
    if (keys) {
        section.writeText(L"keys", keys);
    }
}

app::InstanceClaim sessionClaim() {
    auto& app = framework::application();
    app.initialize();
    app.setTitle(L"Keypilot");
    auto claim = app::InstanceClaim::take();
    if (!claim) {
        std::fprintf(stderr, "another Keypilot runs in this session\n");
        std::exit(2);
    }
    return std::move(*claim);
}

// Started on the stored port; back once its open has come (or has not, after a few seconds).
std::unique_ptr<app::Keypilot> startKeypilot(int portIndex, const wchar_t* keys = nullptr) {
    storeSettings(portIndex, keys);
    auto window = std::make_unique<app::Keypilot>(sessionClaim());
    window->start();
    serveUntil([&] { return window->comPort().connected(); }, 5);
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
        keypilot->connection().onChunk(i % 2 == 0 ? "MV+002+001" : "MV-002-001");
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

// The typing target: type_target.exe, started beside this program, its own process as the
// program a user types into would be; `kind` is what receives the text ("edit" or "plain").
class TypeTarget {
  public:
    explicit TypeTarget(const char* kind) : kind_(kind) {
        std::wstring command = L"\"" + testing_support::siblingPath(L"type_target.exe") + L"\" " +
                               framework::fromUtf8(kind);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &info)) {
            return;
        }
        process_.reset(info.hProcess);
        framework::KernelHandle thread(info.hThread);
        threadId_ = info.dwThreadId;
        const double deadline = now() + 10;
        while (!window_ && now() < deadline) {
            HWND found = FindWindowW(L"KeypilotBenchTypeTarget", nullptr);
            DWORD pid = 0;
            if (found && GetWindowThreadProcessId(found, &pid) == threadId_ &&
                pid == info.dwProcessId) {
                window_ = found;
                edit_ = FindWindowExW(found, nullptr, nullptr, nullptr);
            }
            Sleep(10);
        }
    }
    TypeTarget(const TypeTarget&) = delete;
    TypeTarget& operator=(const TypeTarget&) = delete;
    ~TypeTarget() {
        if (!process_) {
            return;
        }
        if (window_) {
            PostMessageW(window_, WM_CLOSE, 0, 0);
        }
        if (WaitForSingleObject(process_.get(), 5000) != WAIT_OBJECT_0) {
            TerminateProcess(process_.get(), 1);
        }
    }

    // The window in the foreground and its edit control holding the keyboard focus.
    bool focused() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        return edit_ && GetForegroundWindow() == window_ && GetGUIThreadInfo(threadId_, &info) &&
               info.hwndFocus == edit_;
    }

    // Brings the window to the foreground (the edit control takes the focus with it).
    bool takeForeground(double seconds) const {
        const double deadline = now() + seconds;
        while (!focused()) {
            if (now() >= deadline) {
                return false;
            }
            SetForegroundWindow(window_);
            Sleep(10);
        }
        return true;
    }

    // The control's text length, asked the way another program asks; -1 when it did not answer.
    int length() const {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(edit_, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &result)) {
            return -1;
        }
        return static_cast<int>(result);
    }

    std::u16string text() const {
        std::vector<wchar_t> buffer(static_cast<std::size_t>(std::max(length(), 0)) + 2);
        DWORD_PTR copied = 0;
        if (!SendMessageTimeoutW(edit_, WM_GETTEXT, buffer.size(),
                                 reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG, 2000,
                                 &copied)) {
            return {};
        }
        return {buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(copied)};
    }

    const char* kind() const { return kind_; }

    bool clear() const {
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(edit_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""),
                                   SMTO_ABORTIFHUNG, 2000, &result) != 0;
    }

  private:
    const char* kind_;
    framework::KernelHandle process_;
    DWORD threadId_ = 0;
    HWND window_ = nullptr;
    HWND edit_ = nullptr;
};

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::ranges::sort(values);
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// One text to type: 1,000 characters, Latin ones in one frame and Russian ones in two (a frame
// carries at most 1,000 bytes).
struct Sample {
    const char* name;
    std::u16string text;
    int frames;
};

std::vector<Sample> samples() {
    std::u16string latin, russian;
    for (int i = 0; i < 1000; ++i) {
        latin += static_cast<char16_t>(u'a' + i % 26);
        russian += static_cast<char16_t>(u'а' + i % 32);
    }
    return {Sample{"Latin", latin, 1}, Sample{"Russian", russian, 2}};
}

// The figures of one run: from the start until the first character and until the whole text
// is in the control, and the part the sender spent before it returned.
struct Timing {
    bool whole = false;
    double first = 0;
    double total = 0;
    double sender = 0;
};

// Serves this thread's messages while it watches the target's text grow to `length`; the
// times are taken from `start`.
Timing watchTyping(const TypeTarget& target, const std::u16string& expected, double start) {
    Timing timing;
    bool seen = false;
    const int length = static_cast<int>(expected.size());
    const bool done = serveUntil(
        [&] {
            const int current = target.length();
            if (!seen && current > 0) {
                seen = true;
                timing.first = now() - start;
            }
            return current >= length;
        },
        60, 5);
    timing.total = now() - start;
    timing.whole = done && target.text() == expected;
    return timing;
}

// Each UTF-16 unit's down and up as Unicode key input, all in one SendInput call: the same
// events Keypilot sends for a text, from a program that does nothing else.
void sendBare(const std::u16string& text) {
    std::vector<INPUT> inputs(text.size() * 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        for (std::size_t k = 0; k < 2; ++k) {
            INPUT& input = inputs[2 * i + k];
            input.type = INPUT_KEYBOARD;
            input.ki.wScan = static_cast<WORD>(text[i]);
            input.ki.dwFlags = KEYEVENTF_UNICODE | (k == 1 ? KEYEVENTF_KEYUP : 0);
        }
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void printMedians(const char* who, const TypeTarget& target, const Sample& sample,
                  const std::vector<Timing>& timings) {
    std::vector<double> first, total, sender;
    for (const Timing& t : timings) {
        first.push_back(t.first);
        total.push_back(t.total);
        sender.push_back(t.sender);
    }
    const double events = 2.0 * static_cast<double>(sample.text.size());
    std::printf(
        "type %-8s into %-5s %-7s median of %zu: typed in %.3f s (first character after %.3f s, "
        "sender busy %.3f s), %.2f ms an event after the first character\n",
        who, target.kind(), sample.name, timings.size(), median(total), median(first),
        median(sender), 1000.0 * (median(total) - median(first)) / events);
}

// The wire text of a sample: its frames one after the other.
std::string wireText(const Sample& sample) {
    std::string bytes;
    const std::size_t part = sample.text.size() / static_cast<std::size_t>(sample.frames);
    for (int f = 0; f < sample.frames; ++f) {
        bytes += *phonelink::encodeMessage(phonelink::Message::typing(
            sample.text.substr(static_cast<std::size_t>(f) * part, part)));
    }
    return bytes;
}

// Keypilot's reader alone on a sample's wire text: whole, and cut into chunks of `size` bytes
// as a slow link may deliver it (each chunk is judged joined to the unfinished frame before it).
void printReaderFigures(const Sample& sample) {
    const std::string bytes = wireText(sample);
    constexpr int kRepeats = 20;
    std::printf("type reader   %-7s %zu bytes:", sample.name, bytes.size());
    for (std::size_t size : {bytes.size(), std::size_t{64}, std::size_t{1}}) {
        std::size_t typed = 0;
        const double start = now();
        for (int r = 0; r < kRepeats; ++r) {
            phonelink::LinkReader reader;
            for (std::size_t at = 0; at < bytes.size(); at += size) {
                for (const phonelink::Message& m :
                     reader.feed(bytes.substr(at, size), 0).messages) {
                    typed += m.text.size();
                }
            }
        }
        std::printf("%s %.3f ms in %zu-byte chunks (%zu characters)",
                    size == bytes.size() ? "" : ",", 1000.0 * (now() - start) / kRepeats, size,
                    typed / kRepeats);
    }
    std::printf("\n");
}

int type(const std::wstring& local, const std::wstring& remote, int runs) {
    // An edit control, and a window that only keeps the characters.
    std::vector<std::unique_ptr<TypeTarget>> targets;
    for (const char* kind : {"edit", "plain"}) {
        targets.push_back(std::make_unique<TypeTarget>(kind));
        if (!targets.back()->takeForeground(10)) {
            std::fprintf(stderr, "the typing target (%s) did not start or take the focus\n", kind);
            return 2;
        }
    }
    const std::vector<Sample> texts = samples();
    for (const Sample& sample : texts) {
        printReaderFigures(sample);
    }
    int failures = 0;
    // Each run of one sender into one target, then their medians.
    auto measure = [&](const char* who, auto send) {
        for (const auto& target : targets) {
            for (const Sample& sample : texts) {
                std::vector<Timing> timings;
                for (int run = 1; run <= runs; ++run) {
                    target->clear();
                    target->takeForeground(5);
                    std::string extra;
                    Timing t = send(*target, sample, extra);
                    std::printf(
                        "type %-8s into %-5s %-7s run %d: %s in %.3f s (first character after "
                        "%.3f s, sender busy %.3f s%s)\n",
                        who, target->kind(), sample.name, run,
                        t.whole ? "typed whole" : "NOT typed whole", t.total, t.first, t.sender,
                        extra.c_str());
                    failures += t.whole ? 0 : 1;
                    timings.push_back(t);
                }
                printMedians(who, *target, sample, timings);
            }
        }
    };
    // The reference: this program alone sends the same key events, with no Keypilot running.
    measure("bare", [](const TypeTarget& target, const Sample& sample, std::string&) {
        const double start = now();
        sendBare(sample.text);
        const double sent = now() - start;
        Timing t = watchTyping(target, sample.text, start);
        t.sender = sent;
        return t;
    });
    // Keypilot, from the first byte written on the phone's end.
    auto keypilot = startKeypilot(portIndexOf(local));
    auto phone = openPhone(remote);
    if (!keypilot->comPort().connected() || !phone) {
        return 2;
    }
    int* chunks = watchChunks(*keypilot);
    measure("Keypilot", [&](const TypeTarget& target, const Sample& sample, std::string& extra) {
        const std::string bytes = wireText(sample);
        const int chunksBefore = *chunks;
        handlingSeconds = 0;
        const double start = now();
        phone->send(bytes);
        Timing t = watchTyping(target, sample.text, start);
        t.sender = handlingSeconds;
        extra = ", " + std::to_string(sample.frames) + " frame(s) of " +
                std::to_string(bytes.size()) + " bytes in all read in " +
                std::to_string(*chunks - chunksBefore) + " chunk(s)";
        return t;
    });
    keypilot.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, kStore);
    return failures == 0 ? 0 : 1;
}

// The main thread's longest answer, in ms, while the port closes at OK with a write hanging and
// the driver holding the device's close for 3 s; a negative figure when the run went wrong.
double closeAnswers(const std::wstring& local) {
    using testing_support::SlowCalls;
    storeSettings(portIndexOf(local));
    auto slow = std::make_shared<SlowCalls>();
    slow->release(SlowCalls::kOpen);
    slow->release(SlowCalls::kSetUp);
    auto api = slow->commApi();
    auto keypilot = std::make_unique<app::Keypilot>(sessionClaim());
    keypilot->comPort().setCommApi(api);
    keypilot->start();
    api->hang(true);
    if (!serveUntil([&] { return keypilot->connection().connected(); }, 5)) {
        return -1;
    }
    keypilot->connection().send("{\"type\":\"volume\",\"volume\":42,\"muted\":false}\n");
    if (!serveUntil([&] { return api->pending(); }, 5)) {
        return -1;
    }
    testing_support::AnswerWatch watch(keypilot->connectWindow().handle());
    keypilot->onOk();
    const bool closed = serveUntil(
        [&] {
            return keypilot->connection().portState() == app::PortConnection::PortState::Closed;
        },
        15);
    watch.stop();
    slow->release();
    keypilot.reset();
    return closed && watch.failed() == 0 && slow->done(SlowCalls::kClose) > 0 ? watch.longestMs()
                                                                              : -1;
}

int uiAnswers(const std::wstring& local, int runs) {
    using testing_support::SlowCalls;
    std::vector<double> longest;
    std::vector<double> closing;
    for (int run = 0; run < runs; ++run) {
        storeSettings(portIndexOf(local));
        RegistryKey::create(HKEY_CURRENT_USER, kSection).writeText(L"bluetooth", L"1");
        auto slow = std::make_shared<SlowCalls>();
        auto radio = std::make_shared<testing_support::FakeBluetoothApi>();
        radio->beforeCall = [slow](testing_support::FakeBluetoothApi::Call call) {
            if (call == testing_support::FakeBluetoothApi::Call::Record) {
                slow->hold(SlowCalls::kBluetooth);
            }
        };
        auto keypilot =
            std::make_unique<app::Keypilot>(sessionClaim(), slow->sources({local}), radio);
        keypilot->comPort().setCommApi(slow->commApi());
        keypilot->shell().execute = slow->shell();
        keypilot->buttonPresses().launcher().seams = slow->launch();
        testing_support::AnswerWatch watch(keypilot->connectWindow().handle());
        keypilot->start();
        keypilot->showConnectWindow();
        keypilot->onWebsite();
        keypilot->buttonPresses().launcher().launch(L"\\\\share\\tools\\tool.exe");
        const bool done = serveUntil(
            [&] {
                return keypilot->comPort().connected() && slow->done(SlowCalls::kShell) > 0 &&
                       slow->done(SlowCalls::kLaunch) > 0 &&
                       slow->done(SlowCalls::kBluetooth) > 0 && keypilot->ports().ports() &&
                       !keypilot->ports().reading();
            },
            15);
        watch.stop();
        slow->release();
        keypilot.reset();
        if (!done || watch.failed() > 0) {
            std::fprintf(stderr,
                         "ui: the slow calls did not all finish, or a message went unanswered\n");
            return 1;
        }
        longest.push_back(watch.longestMs());
        std::printf(
            "ui answers run %d: longest %.1f ms of %d messages sent every 10 ms while an "
            "open, its set-up, a read of the ports, a shell call, a launch and the service's "
            "record each took 3 s\n",
            run + 1, watch.longestMs(), watch.answered());
        const double close = closeAnswers(local);
        if (close < 0) {
            std::fprintf(stderr, "ui: the port did not close, or a message went unanswered\n");
            return 1;
        }
        closing.push_back(close);
        std::printf(
            "ui answers run %d: longest %.1f ms while the port closed at OK during a hung write, "
            "its device's close taking 3 s\n",
            run + 1, close);
    }
    std::printf("ui answers median of %zu: longest answer %.1f ms (worst %.1f ms; goal < 16 ms)\n",
                longest.size(), median(longest), *std::ranges::max_element(longest));
    std::printf(
        "ui answers during the close, median of %zu: longest answer %.1f ms (worst %.1f ms; goal "
        "< 16 ms)\n",
        closing.size(), median(closing), *std::ranges::max_element(closing));
    return 0;
}

// The process's private bytes (its commit charge, which Wine keeps; it leaves PrivateUsage at 0),
// in MB.
double privateMegabytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(counters.PagefileUsage) / (1024.0 * 1024.0);
}

int writes(const std::wstring& local, int seconds) {
    framework::application().initialize();
    auto api = std::make_shared<testing_support::HangingWriteCommApi>();
    api->hang(true);
    app::PortConnection connection;
    connection.port().setCommApi(api);
    long givenUp = 0;
    connection.onSent = [&](phonelink::SendOutcome outcome) {
        givenUp += outcome == phonelink::SendOutcome::GivenUp ? 1 : 0;
    };
    connection.keepOpen(local);
    if (!serveUntil([&] { return connection.connected(); }, 5)) {
        std::fprintf(stderr, "%ls did not open\n", local.c_str());
        return 2;
    }
    // A volume state as the link sends it, padded to a typical answer's length.
    const std::string line =
        "{\"type\":\"volume\",\"volume\":42,\"muted\":false," + std::string(200, ' ') + "}\n";
    std::printf("writes: private %.2f MB before the flood\n", privateMegabytes());
    long sends = 0;
    for (int second = 1; second <= seconds; ++second) {
        const double end = now() + 1;
        while (now() < end) {
            for (int i = 0; i < 100; ++i, ++sends) {
                connection.send(line);
            }
            framework::application().processMessages();
        }
        std::printf(
            "writes second %d: %ld sends, %d writes started, %ld given up, writer holds "
            "%zu bytes, private %.2f MB\n",
            second, sends, api->writes(), givenUp, connection.writer().heldBytes(),
            privateMegabytes());
    }
    return 0;
}

// Keypilot's side of the link for the master volume, wired as the program wires it, with the
// mixer on its fake driver, whose level this process can change and announce.
class VolumeLink final : private app::Way::Listener {
  public:
    explicit VolumeLink(const std::wstring& local) {
        using namespace fakemixer;
        auto card = std::make_unique<Driver>();
        card->devices.push_back(device(
            1, L"Card", {line(0xFFFF0000, 2, {volume(kLevel, {0, 0}), muteSwitch(2, {0, 0})})}));
        driver_ = card.get();
        mixer_ = std::make_unique<mixer::AudioMixer>(std::move(card));
        volume_ = std::make_unique<app::VolumeWatch>(*mixer_, nullptr);
        auto port = std::make_unique<app::PortConnection>();
        connection_ = port.get();
        phonelink::PhoneTalk::Lines lines;
        lines.helloAnswer = [this] {
            return phonelink::encodeHelloAnswer(u"PC", phonelink::TextLanguage::English,
                                                volume_->state());
        };
        lines.volumeState = [this] { return phonelink::encodeVolumeState(volume_->state()); };
        app::Way::Listener& listener = *this;
        way_ = std::make_unique<app::Way>(std::move(port), listener, lines, &GetTickCount64);
        mixer_->onControlChange = [this](mixer::AudioMixer&, HMIXER, uint32_t) {
            volume_->changed();
        };
        volume_->onChange = [this] { way_->volumeChanged(); };
        connection_->keepOpen(local);
    }
    VolumeLink(const VolumeLink&) = delete;
    VolumeLink& operator=(const VolumeLink&) = delete;

    bool connected() const { return connection_->connected(); }
    // A write is under way, or its end has not yet been told on this thread.
    bool writing() const { return way_->talk().writing(); }
    // The level set on the PC: the driver holds it and tells the mixer's window.
    void setOnThePc(int percent) {
        auto& values = driver_->findControl(kLevel)->values;
        values[0] = values[1] = static_cast<DWORD>(std::lround(percent * 65535.0 / 100.0));
        SendMessageW(mixer_->notifyWindow(), MM_MIXM_CONTROL_CHANGE,
                     reinterpret_cast<WPARAM>(mixer_->mixerHandle()), kLevel);
    }

  private:
    static constexpr DWORD kLevel = 1;
    // The hello and the sign of life, as the program takes them.
    void onHeard(app::Way&) override {}
    void onMessages(app::Way& way, const std::vector<phonelink::Message>& messages) override {
        for (const phonelink::Message& m : messages) {
            if (m.kind == phonelink::MessageKind::Hello) {
                volume_->watch(true);
            }
            way.onTalkMessage(m);
        }
    }
    void onEnded(app::Way&) override {}
    void onChanged(app::Way&) override {}

    fakemixer::Driver* driver_ = nullptr;
    std::unique_ptr<mixer::AudioMixer> mixer_;
    std::unique_ptr<app::VolumeWatch> volume_;
    app::PortConnection* connection_ = nullptr;
    std::unique_ptr<app::Way> way_;
};

// The phone's end: what it has read, and its next whole line.
struct PhoneLines {
    PortEnd& port;
    std::string received;
    // The line up to and with its LF, asking for what has arrived for up to `seconds`; empty
    // when no whole line came. `serve`: the message loop runs between the reads (this thread's
    // work is on the way), else they follow each other 20 us apart.
    std::string next(double seconds, bool serve) {
        auto whole = [&] {
            received += port.read();
            return received.find('\n') != std::string::npos;
        };
        bool done = false;
        if (serve) {
            done = serveUntil(whole, seconds, 1);
        } else {
            const double deadline = now() + seconds;
            while (!(done = whole()) && now() < deadline) {
                const double until = now() + 20e-6;
                while (now() < until) {
                }
            }
        }
        if (!done) {
            return {};
        }
        const std::size_t end = received.find('\n') + 1;
        std::string line = received.substr(0, end);
        received.erase(0, end);
        return line;
    }
};

// One round of changes, by Keypilot's side of the link or by the reference, in microseconds;
// empty when it failed.
std::vector<double> volumeRound(bool keypilot, const std::wstring& local,
                                const std::wstring& remote, int changes, int& wrong) {
    auto phoneEnd = openPhone(remote);
    if (!phoneEnd) {
        return {};
    }
    PhoneLines phone{*phoneEnd, {}};
    std::unique_ptr<VolumeLink> link;
    std::unique_ptr<PortEnd> bare;
    if (keypilot) {
        link = std::make_unique<VolumeLink>(local);
        if (!serveUntil([&] { return link->connected(); }, 5)) {
            std::fprintf(stderr, "%ls did not open\n", local.c_str());
            return {};
        }
        phoneEnd->send(*phonelink::encodeMessage(phonelink::Message::hello(3)));
        // The answer's end is told through the message loop; until then a state would wait.
        if (phone.next(5, true).find("\"hello\"") == std::string::npos ||
            !serveUntil([&] { return !link->writing(); }, 5)) {
            std::fprintf(stderr, "the hello was not answered\n");
            return {};
        }
    } else {
        bare = openPhone(local);
        if (!bare) {
            return {};
        }
    }
    const std::string ping =
        *phonelink::encodeMessage(phonelink::Message::ofKind(phonelink::MessageKind::Ping));
    double lastPing = now();
    std::vector<double> samples;
    for (int i = 0; i < changes; ++i) {
        const int percent = 20 + (i * 7) % 61;
        const std::string expected =
            phonelink::encodeVolumeState(phonelink::VolumeState{percent, false});
        const double start = now();
        if (keypilot) {
            link->setOnThePc(percent);
        } else {
            bare->send(expected);
        }
        const std::string line = phone.next(2, false);
        const double took = now() - start;
        if (line != expected) {
            ++wrong;
        } else {
            samples.push_back(took * 1e6);
        }
        // Past the end of the update interval, with the program's messages served; the phone's
        // sign of life as the page sends it.
        if (now() - lastPing > 2) {
            phoneEnd->send(ping);
            lastPing = now();
        }
        serveUntil([] { return false; }, 0.15 + 0.01 * (i % 10));
        // A line that came too late for its change is dropped: each change is judged by its own.
        phone.received.clear();
        phoneEnd->read();
    }
    return samples;
}

int volumeTrips(const std::wstring& local, const std::wstring& remote, int rounds, int changes) {
    framework::application().initialize();
    std::printf(
        "volume to the phone: a change of the master volume on the PC until its line's LF has "
        "arrived at\n"
        "the phone's end (%ls). keypilot: the driver's change notice to the mixer, the phone's "
        "answers,\n"
        "the port's writer thread on %ls, in this process (mixer on its fake driver); "
        "reference: one\n"
        "bare WriteFile of the same line on %ls\n",
        remote.c_str(), local.c_str(), local.c_str());
    std::vector<double> medians[2];
    for (int r = 1; r <= rounds; ++r) {
        std::printf("round %d of %d, %d changes each\n", r, rounds, changes);
        for (const bool keypilot : {true, false}) {
            int wrong = 0;
            std::vector<double> samples = volumeRound(keypilot, local, remote, changes, wrong);
            if (samples.empty()) {
                std::fprintf(stderr, "volume: no line reached the phone's end\n");
                return 1;
            }
            std::ranges::sort(samples);
            medians[keypilot ? 0 : 1].push_back(median(samples));
            std::printf(
                "  %-9s median %6.0f us  p10 %6.0f  p90 %6.0f  max %7.0f  wrong or lost %d\n",
                keypilot ? "keypilot" : "reference", median(samples), samples[samples.size() / 10],
                samples[samples.size() * 9 / 10], samples.back(), wrong);
            std::fflush(stdout);
        }
    }
    std::printf(
        "median of %d round medians: keypilot %.0f us, reference %.0f us, keypilot / "
        "reference = %.2f\n",
        rounds, median(medians[0]), median(medians[1]), median(medians[0]) / median(medians[1]));
    return 0;
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
        return type(argv[2], argv[3], argc > 4 ? std::stoi(argv[4]) : 5);
    }
    if (what == L"ui" && argc >= 3) {
        return uiAnswers(argv[2], argc > 3 ? std::stoi(argv[3]) : 3);
    }
    if (what == L"writes" && argc >= 4) {
        return writes(argv[2], std::stoi(argv[3]));
    }
    if (what == L"volume" && argc >= 4) {
        return volumeTrips(argv[2], argv[3], argc > 4 ? std::stoi(argv[4]) : 5,
                           argc > 5 ? std::stoi(argv[5]) : 30);
    }
    std::fprintf(stderr,
                 "usage: app_bench burst <local> <remote> <codes> [messages|input]\n"
                 "       app_bench cpu <open|none|retrying> <port> <seconds>\n"
                 "       app_bench reconnect <local> <remote>\n"
                 "       app_bench moves <local> <remote> <moves>\n"
                 "       app_bench type <local> <remote> [runs]\n"
                 "       app_bench ui <local> [runs]\n"
                 "       app_bench writes <local> <seconds>\n"
                 "       app_bench volume <local> <remote> [rounds] [changes]\n");
    return 2;
}
