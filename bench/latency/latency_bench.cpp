// Command latency as a user feels it: a code written at the phone's end until the cursor has
// moved, for Keypilot.exe and two minimal receivers, one after the other on the same port pair:
//   latency_bench compare <local> <remote> [rounds] [codes] [receivers]
//       <rounds> rounds of each receiver in turn (default 7), <codes> codes a round (default
//       200), receivers a comma list of keypilot, reference and floor (default all three), and
//       baseline: another build of Keypilot.exe, named by LATENCY_BENCH_BASELINE (a Windows
//       path), to compare two builds in one run; prints each round's figures, then for each
//       receiver the median of the round medians, and of the round 10th percentiles, with their
//       spread, and the ratios; then where a chunk's time goes, stage by stage, from the marks
//       the receivers leave in this process's memory (framework/stage_marks.h)
//   latency_bench stream <local> <remote> [seconds] [rounds]
//       a touchpad's stream of moves, one "MV" frame every 1/60 s for <seconds> (default 10),
//       to Keypilot.exe and to the reference, <rounds> times each in turn (default 3); prints the
//       CPU time each receiver's process took over the stream, the medians and their ratio
//   latency_bench hello <local> <remote> [rounds] [hellos]
//       the round trip of a hello: "HI03" written at the phone's end until the answer's LF has
//       arrived there, for Keypilot.exe and for the echo, which answers any chunk with one fixed
//       line of the same shape; <rounds> rounds of each in turn (default 7), <hellos> hellos a
//       round (default 100), each written once the last answer has come; prints each round's
//       figures, the median of the round medians and their ratio
//   latency_bench flood <local> <remote> [rounds] [count]
//       a code behind a flood: <count> (default 1000) hellos "HI04", signs of life "PI" or levels
//       "VL0050" written at the phone's end in one write, then 50 ms later a code, until the
//       cursor has moved, for Keypilot.exe, <rounds> rounds (default 5); prints each round's
//       figures and the median for each kind of flood. However much a chunk holds, the code
//       behind it should act as soon as after a flood of signs of life.
//   latency_bench receive <reference|floor|echo> <port> <stop event name>
//       one receiver, started by compare or hello. reference: one thread waits for the port's
//       event, reads and moves the cursor. floor: the same, except that the reading thread hands
//       the chunk to the main thread and waits until it has been handled there. echo: the
//       reference's wait and read, then one overlapped write of its line, waited for.
// The cursor (and the phone's end, for a hello's answer) is watched from this process by polling
// GetCursorPos (ReadFile); LATENCY_BENCH_POLL_US sets the pause between polls (default 20 us), so
// that the polling does not crowd the wineserver that every receiver needs too. LATENCY_BENCH_TRACE
// sets WINEDEBUG for the receivers alone.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "framework/handle.h"
#include "framework/stage_marks.h"
#include "framework/text.h"
#include "link/answer.h"
#include "link/link_protocol.h"

namespace {

using bench::now;
using framework::KernelHandle;
namespace marks = framework::stage_marks;

constexpr int kStep = 10;
constexpr const wchar_t* kStore = L"Software\\Corvane";
constexpr const wchar_t* kSection = L"Software\\Corvane\\Keypilot";

void spinFor(double seconds) {
    const double until = now() + seconds;
    while (now() < until) {
    }
}

// Most of a pause asleep, so the machine's other work is not crowded out; the rest spun, so the
// pause ends at the chosen moment.
void pauseFor(double seconds) {
    const double until = now() + seconds;
    if (seconds > 0.0015) {
        Sleep(1);
    }
    spinFor(until - now());
}

POINT cursor() {
    POINT p{};
    GetCursorPos(&p);
    return p;
}

// --- the receivers -----------------------------------------------------------------------------

// The offset of "sddd" (a sign, three digits).
int offsetAt(const char* text) {
    const int value = (text[1] - '0') * 100 + (text[2] - '0') * 10 + (text[3] - '0');
    return text[0] == '-' ? -value : value;
}

// Moves the cursor as Keypilot does for "04" and "06", and for each whole move frame
// "MVsdddsddd" of a chunk made only of them; anything else is left alone.
void moveFor(const char* bytes, DWORD size) {
    if (size >= 10 && size % 10 == 0 && bytes[0] == 'M') {
        int dx = 0, dy = 0;
        for (DWORD at = 0; at < size; at += 10) {
            dx += offsetAt(bytes + at + 2);
            dy += offsetAt(bytes + at + 6);
        }
        POINT p{};
        GetCursorPos(&p);
        SetCursorPos(p.x + dx, p.y + dy);
        return;
    }
    if (size != 2 || bytes[0] != '0' || (bytes[1] != '4' && bytes[1] != '6')) {
        return;
    }
    POINT p{};
    GetCursorPos(&p);
    SetCursorPos(p.x + (bytes[1] == '6' ? kStep : -kStep), p.y);
}

// The least a reader does: one wait for received bytes, one read of what is there.
class PortReader {
  public:
    PortReader(const std::wstring& port, HANDLE stop) : stop_(stop) {
        device_.reset(CreateFileW((L"\\\\.\\" + port).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
        // A read takes what has arrived and returns at once.
        COMMTIMEOUTS immediate{MAXDWORD, 0, 0, 0, 0};
        SetCommTimeouts(device_.get(), &immediate);
        SetCommMask(device_.get(), EV_RXCHAR);
        wait_.hEvent = waitEvent_.get();
        read_.hEvent = readEvent_.get();
        write_.hEvent = writeEvent_.get();
    }
    bool isOpen() const { return bool(device_); }
    // Waits for the next chunk; false when asked to stop or when the port fails.
    bool next(char* buffer, DWORD capacity, DWORD& size) {
        DWORD mask = 0;
        ResetEvent(waitEvent_.get());
        if (!WaitCommEvent(device_.get(), &mask, &wait_) && GetLastError() != ERROR_IO_PENDING) {
            return false;
        }
        const HANDLE waits[2] = {stop_, waitEvent_.get()};
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
            SetCommMask(device_.get(), 0);
            return false;
        }
        marks::mark(marks::kPortEvent);
        DWORD unused = 0;
        size = 0;
        if (!GetOverlappedResult(device_.get(), &wait_, &unused, FALSE)) {
            return true;
        }
        if (!ReadFile(device_.get(), buffer, capacity, &size, &read_) &&
            (GetLastError() != ERROR_IO_PENDING ||
             !GetOverlappedResult(device_.get(), &read_, &size, TRUE))) {
            size = 0;
        }
        return true;
    }
    // Back once all of the bytes have gone, or the write has failed.
    void write(const std::string& bytes) {
        DWORD written = 0;
        if (!WriteFile(device_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       &write_) &&
            GetLastError() == ERROR_IO_PENDING) {
            GetOverlappedResult(device_.get(), &write_, &written, TRUE);
        }
    }

  private:
    HANDLE stop_;
    KernelHandle device_;
    KernelHandle waitEvent_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    KernelHandle readEvent_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    KernelHandle writeEvent_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    OVERLAPPED wait_{};
    OVERLAPPED read_{};
    OVERLAPPED write_{};
};

int receiveInPlace(PortReader& reader) {
    char buffer[64];
    DWORD size = 0;
    while (reader.next(buffer, sizeof buffer, size)) {
        moveFor(buffer, size);
        marks::mark(marks::kAction);
    }
    return 0;
}

// The hello's reference: a line shaped as Keypilot's answer, built once, written back for every
// chunk, whatever it holds.
int receiveEchoing(PortReader& reader) {
    const std::string line = phonelink::encodeHelloAnswer(
        u"REFERENCE", phonelink::TextLanguage::English, phonelink::VolumeState{50, false});
    char buffer[64];
    DWORD size = 0;
    while (reader.next(buffer, sizeof buffer, size)) {
        if (size > 0) {
            reader.write(line);
        }
    }
    return 0;
}

// The floor: the reference plus one bare hand-over to the main thread, which the reading thread
// waits for, with nothing else around it.
constexpr UINT kChunkMessage = WM_APP + 1;
struct HandOver {
    char buffer[64];
    DWORD size = 0;
    KernelHandle handled{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};

LRESULT CALLBACK handOverProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kChunkMessage) {
        marks::mark(marks::kMainThread);
        auto* chunk = reinterpret_cast<HandOver*>(lParam);
        moveFor(chunk->buffer, chunk->size);
        marks::mark(marks::kAction);
        SetEvent(chunk->handled.get());
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

struct ReaderThreadArgs {
    PortReader* reader;
    HandOver* chunk;
    HWND window;
    DWORD mainThread;
};

DWORD WINAPI readerThread(void* p) {
    auto* args = static_cast<ReaderThreadArgs*>(p);
    while (args->reader->next(args->chunk->buffer, sizeof args->chunk->buffer, args->chunk->size)) {
        marks::mark(marks::kHandOver);
        PostMessageW(args->window, kChunkMessage, 0, reinterpret_cast<LPARAM>(args->chunk));
        WaitForSingleObject(args->chunk->handled.get(), INFINITE);
        marks::mark(marks::kBack);
    }
    PostThreadMessageW(args->mainThread, WM_QUIT, 0, 0);
    return 0;
}

int receiveHandingOver(PortReader& reader) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = handOverProcedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KeypilotLatencyFloor";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
    HandOver chunk;
    ReaderThreadArgs args{&reader, &chunk, window, GetCurrentThreadId()};
    KernelHandle thread(CreateThread(nullptr, 0, &readerThread, &args, 0, nullptr));
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageW(&msg);
    }
    WaitForSingleObject(thread.get(), INFINITE);
    return 0;
}

int receive(const std::wstring& kind, const std::wstring& port, const std::wstring& stopName) {
    KernelHandle stop(OpenEventW(SYNCHRONIZE, FALSE, stopName.c_str()));
    PortReader reader(port, stop.get());
    if (!stop || !reader.isOpen()) {
        std::fprintf(stderr, "receive: cannot open %ls (%lu)\n", port.c_str(), GetLastError());
        return 2;
    }
    if (kind == L"echo") {
        return receiveEchoing(reader);
    }
    return kind == L"floor" ? receiveHandingOver(reader) : receiveInPlace(reader);
}

// --- the driver --------------------------------------------------------------------------------

// The executable's Linux path as Wine sees it (drive Z: is the Unix root).
std::wstring dosPath(const char* unixPath) {
    std::wstring path = L"Z:" + framework::fromUtf8(unixPath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::wstring ownPath() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return {path, n};
}

bool writeSettings(const std::wstring& port) {
    RegDeleteTreeW(HKEY_CURRENT_USER, kStore);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSection, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    auto set = [&](const wchar_t* name, const std::wstring& value) {
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    };
    set(L"com", std::to_wstring(std::stoi(port.substr(3)) - 1));
    set(L"mouse", std::to_wstring(kStep));
    RegCloseKey(key);
    return true;
}

// One receiver process, started for a round and ended after it.
class Receiver {
  public:
    Receiver(const std::string& kind, const std::wstring& port) : kind_(kind) {
        std::wstring line;
        if (kind == "keypilot" || kind == "baseline") {
            writeSettings(port);
            const char* baseline = std::getenv("LATENCY_BENCH_BASELINE");
            line = L"\"" +
                   (kind == "keypilot" ? dosPath(KEYPILOT_EXE)
                                       : framework::fromUtf8(baseline ? baseline : "")) +
                   L"\"";
        } else {
            const std::wstring stopName =
                L"KeypilotLatencyStop" + std::to_wstring(GetCurrentProcessId());
            stop_.reset(CreateEventW(nullptr, TRUE, FALSE, stopName.c_str()));
            line = L"\"" + ownPath() + L"\" receive " + framework::fromUtf8(kind) + L" " + port +
                   L" " + stopName;
        }
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                           &pi)) {
            process_.reset(pi.hProcess);
            KernelHandle thread{pi.hThread};
            id_ = pi.dwProcessId;
        }
    }
    ~Receiver() {
        if (!process_) {
            return;
        }
        if (stop_) {
            SetEvent(stop_.get());
        } else if (HWND app = applicationWindow()) {
            PostMessageW(app, WM_CLOSE, 0, 0);
        }
        if (WaitForSingleObject(process_.get(), 15000) != WAIT_OBJECT_0) {
            std::fprintf(stderr, "%s did not end; terminated\n", kind_.c_str());
            TerminateProcess(process_.get(), 1);
        }
        if (!stop_) {
            RegDeleteTreeW(HKEY_CURRENT_USER, kStore);
        }
    }
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;
    bool started() const { return bool(process_); }
    // The CPU time the process has taken so far, user and kernel, in seconds.
    double cpuSeconds() const {
        FILETIME created{}, exited{}, kernel{}, user{};
        if (!GetProcessTimes(process_.get(), &created, &exited, &kernel, &user)) {
            return -1;
        }
        auto seconds = [](FILETIME t) {
            return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                       t.dwLowDateTime) *
                   1e-7;
        };
        return seconds(kernel) + seconds(user);
    }

  private:
    HWND applicationWindow() const {
        for (HWND w = FindWindowExW(nullptr, nullptr, L"KeypilotApplication", nullptr); w;
             w = FindWindowExW(nullptr, w, L"KeypilotApplication", nullptr)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == id_) {
                return w;
            }
        }
        return nullptr;
    }
    std::string kind_;
    KernelHandle process_;
    KernelHandle stop_;
    DWORD id_ = 0;
};

class Phone {
  public:
    explicit Phone(const std::wstring& port)
        : handle_(CreateFileW((L"\\\\.\\" + port).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr)) {
        // A read takes what has arrived and returns at once. (Wine's reads that wait for the
        // first byte end only at their time-out, which would be all that is measured.)
        COMMTIMEOUTS immediate{MAXDWORD, 0, 0, 0, 0};
        SetCommTimeouts(handle_.get(), &immediate);
    }
    bool isOpen() const { return bool(handle_); }
    void write(const char* code) { write(code, 2); }
    void write(const char* bytes, DWORD size) {
        DWORD written = 0;
        WriteFile(handle_.get(), bytes, size, &written, nullptr);
    }
    // The received bytes up to and with the next LF, asked for every `pollGap` seconds; what
    // has come (without an LF) once `timeout` seconds have passed.
    std::string readLine(double timeout, double pollGap) {
        const double deadline = now() + timeout;
        std::size_t end = 0;
        while ((end = received_.find('\n')) == std::string::npos && now() < deadline) {
            char buffer[256];
            DWORD got = 0;
            if (ReadFile(handle_.get(), buffer, sizeof buffer, &got, nullptr)) {
                received_.append(buffer, got);
            }
            if (got == 0) {
                spinFor(pollGap);
            }
        }
        const std::size_t taken = end == std::string::npos ? received_.size() : end + 1;
        std::string line = received_.substr(0, taken);
        received_.erase(0, taken);
        return line;
    }

  private:
    KernelHandle handle_;
    std::string received_;
};

// Keeps the cursor near the middle of the screen: right when left of it, otherwise left.
const char* nextCode(POINT p) {
    return p.x < 400 ? "06" : "04";
}

// Seconds from `from` until the cursor has left it, or a negative number at the deadline.
double waitForMove(POINT from, double sent, double timeout, double pollGap) {
    for (;;) {
        const POINT p = cursor();
        const double t = now();
        if (p.x != from.x || p.y != from.y) {
            return t - sent;
        }
        if (t - sent > timeout) {
            return -1;
        }
        spinFor(pollGap);
    }
}

// Codes until one moves the cursor: the receiver listens.
bool waitUntilListening(Phone& phone, double pollGap) {
    for (int attempt = 0; attempt < 60; ++attempt) {
        const POINT p = cursor();
        phone.write(nextCode(p));
        if (waitForMove(p, now(), 0.5, pollGap) >= 0) {
            // Codes written before the port opened may still come through; let them.
            Sleep(300);
            return true;
        }
    }
    return false;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

// The figures of one round, in microseconds.
struct RoundFigures {
    double median = -1;
    double p10 = -1;
};

// A code written, and when its move was seen, in seconds of bench::now().
struct Sent {
    double at;
    double seen;
};

// Where a chunk's time goes. The receivers mark the stages of each chunk (framework/
// stage_marks.h) in memory they share with this process, found through the environment they
// inherit; after a round, each measured code's chunk is split into the time between its marks,
// and at the end the medians are printed side by side. A receiver without a stage skips it, and
// its next stage takes that time in.
class StageSplit {
  public:
    StageSplit() {
        const std::wstring name = L"KeypilotStageMarks" + std::to_wstring(GetCurrentProcessId());
        mapping_.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                          sizeof(marks::Shared), name.c_str()));
        if (mapping_) {
            view_.reset(MapViewOfFile(mapping_.get(), FILE_MAP_WRITE, 0, 0, sizeof(marks::Shared)));
        }
        if (view_) {
            SetEnvironmentVariableW(marks::kVariable, name.c_str());
        }
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        frequency_ = static_cast<double>(frequency.QuadPart);
    }
    ~StageSplit() { SetEnvironmentVariableW(marks::kVariable, nullptr); }
    StageSplit(const StageSplit&) = delete;
    StageSplit& operator=(const StageSplit&) = delete;

    void beginRound() {
        if (shared()) {
            shared()->begun.store(0);
        }
    }

    // After a round whose receiver has ended: the stages of the chunk that moved the cursor for
    // each code, the last chunk whose event came between the code's write and its move.
    void collect(const std::string& kind, const std::vector<Sent>& sent) {
        const marks::Shared* memory = shared();
        if (!memory) {
            return;
        }
        std::map<std::size_t, const marks::Record*> chunkOf;
        const std::int32_t begun = memory->begun.load();
        const std::int32_t kept = static_cast<std::int32_t>(marks::kRecordCount);
        for (std::int32_t n = std::max(1, begun - kept + 1); n <= begun; ++n) {
            const marks::Record& record = memory->records[static_cast<std::uint32_t>(n - 1) % kept];
            if (record.at[marks::kPortEvent] == 0 || record.at[marks::kAction] == 0) {
                continue;
            }
            const double event = seconds(record.at[marks::kPortEvent]);
            const auto after = std::upper_bound(sent.begin(), sent.end(), event,
                                                [](double t, const Sent& s) { return t < s.at; });
            if (after != sent.begin() && event <= std::prev(after)->seen) {
                chunkOf[static_cast<std::size_t>(after - sent.begin() - 1)] = &record;
            }
        }
        auto& rows = samples_[kind];
        for (const auto& [code, record] : chunkOf) {
            double previous = seconds(record->at[marks::kPortEvent]);
            rows[kWritten].push_back(previous - sent[code].at);
            for (int stage = marks::kHandOver; stage <= marks::kAction; ++stage) {
                if (record->at[stage] != 0) {
                    rows[stage].push_back(seconds(record->at[stage]) - previous);
                    previous = seconds(record->at[stage]);
                }
            }
            rows[kSeen].push_back(sent[code].seen - previous);
            rows[kWhole].push_back(sent[code].seen - sent[code].at);
            if (record->at[marks::kBack] != 0) {
                rows[kBackRow].push_back(seconds(record->at[marks::kBack]) - previous);
            }
        }
    }

    void print(const std::vector<std::string>& kinds) const {
        std::vector<std::string> shown;
        for (const std::string& kind : kinds) {
            if (samples_.count(kind) && !samples_.at(kind)[kWhole].empty()) {
                shown.push_back(kind);
            }
        }
        if (shown.empty()) {
            return;
        }
        const bool difference = samples_.count("keypilot") && samples_.count("floor");
        std::printf("where a chunk's time goes: median us over the chunks of all rounds (");
        for (const std::string& kind : shown) {
            std::printf("%s %zu%s", kind.c_str(), samples_.at(kind)[kWhole].size(),
                        kind == shown.back() ? ")\n" : ", ");
        }
        std::printf("  %-34s", "stage");
        for (const std::string& kind : shown) {
            std::printf(" %10s", kind.c_str());
        }
        std::printf("%s\n", difference ? "  keypilot-floor" : "");
        for (int row = 0; row < kRows; ++row) {
            std::printf("  %-34s", kLabels[row]);
            for (const std::string& kind : shown) {
                printCell(figure(kind, row));
            }
            if (difference) {
                // A stage that only one of them has counts whole.
                const double a = figure("keypilot", row);
                const double b = figure("floor", row);
                std::printf("     ");
                printCell(std::isnan(a) && std::isnan(b)
                              ? a
                              : (std::isnan(a) ? 0 : a) - (std::isnan(b) ? 0 : b));
            }
            std::printf("\n");
        }
        std::printf(
            "  The floor reads on its event thread, before the hand-over; Keypilot reads on the "
            "main\n"
            "  thread. A move is often seen here before the call that made it has returned to its\n"
            "  receiver (a negative last stage). Medians of the stages need not add up to the\n"
            "  median of the whole.\n");
        std::fflush(stdout);
    }

  private:
    // The rows: the stages' own indices in between.
    static constexpr int kWritten = marks::kPortEvent;
    static constexpr int kSeen = marks::kAction + 1;
    static constexpr int kWhole = kSeen + 1;
    static constexpr int kBackRow = kWhole + 1;
    static constexpr int kRows = kBackRow + 1;
    static constexpr const char* kLabels[kRows] = {"written -> port's event (the port)",
                                                   "event -> hand-over (event thread)",
                                                   "hand-over -> main thread",
                                                   "main thread -> read from the port",
                                                   "the link's reader",
                                                   "status (the phone heard)",
                                                   "action",
                                                   "action's end -> move seen here",
                                                   "written -> move seen (the whole)",
                                                   "then back to the event thread"};

    marks::Shared* shared() const {
        return static_cast<marks::Shared*>(const_cast<void*>(view_.get()));
    }
    double seconds(std::int64_t counter) const { return static_cast<double>(counter) / frequency_; }
    // A row's median in microseconds; NaN when the receiver has no such stage.
    double figure(const std::string& kind, int row) const {
        const auto& v = samples_.at(kind)[row];
        return v.empty() ? std::nan("") : median(v) * 1e6;
    }
    static void printCell(double value) {
        if (std::isnan(value)) {
            std::printf(" %10s", "-");
        } else {
            std::printf(" %10.1f", value);
        }
    }

    KernelHandle mapping_;
    framework::MappedView view_;
    double frequency_ = 1;
    std::map<std::string, std::array<std::vector<double>, kRows>> samples_;
};

// The codes of one round through one receiver, which has ended when this returns; no samples
// when it failed.
std::vector<Sent> measure(const std::string& kind, const std::wstring& local,
                          const std::wstring& remote, int codes, double pollGap,
                          std::mt19937& random, int& lost) {
    Receiver receiver(kind, local);
    Phone phone(remote);
    if (!receiver.started() || !phone.isOpen()) {
        std::fprintf(stderr, "%s: cannot start or open %ls\n", kind.c_str(), remote.c_str());
        return {};
    }
    if (!waitUntilListening(phone, pollGap)) {
        std::fprintf(stderr, "%s never moved the cursor\n", kind.c_str());
        return {};
    }
    // Pauses between codes, uniform over a few of Wine's polling periods, so that a code meets
    // every phase of the port's polling alike.
    std::uniform_real_distribution<double> pause(0.002, 0.005);
    std::vector<Sent> sent;
    for (int i = 0; i < codes; ++i) {
        const POINT p = cursor();
        const double at = now();
        phone.write(nextCode(p));
        const double latency = waitForMove(p, at, 2.0, pollGap);
        if (latency < 0) {
            ++lost;
        } else {
            sent.push_back({at, at + latency});
        }
        pauseFor(pause(random));
    }
    return sent;
}

// One round; a negative median when the receiver failed.
RoundFigures round(const std::string& kind, const std::wstring& local, const std::wstring& remote,
                   int codes, double pollGap, std::mt19937& random, StageSplit& split) {
    int lost = 0;
    split.beginRound();
    const std::vector<Sent> sent = measure(kind, local, remote, codes, pollGap, random, lost);
    if (sent.empty()) {
        return {};
    }
    split.collect(kind, sent);
    std::vector<double> samples(sent.size());
    std::transform(sent.begin(), sent.end(), samples.begin(),
                   [](const Sent& s) { return (s.seen - s.at) * 1e6; });
    const RoundFigures figures{median(samples), percentile(samples, 0.1)};
    std::printf("  %-9s median %6.0f us  p10 %6.0f  p90 %6.0f  max %7.0f  lost %d\n", kind.c_str(),
                figures.median, figures.p10, percentile(samples, 0.9), percentile(samples, 1.0),
                lost);
    std::fflush(stdout);
    return figures;
}

// The median over the rounds of one figure for each receiver, its spread, and the ratios.
void summarize(const char* figure, const std::vector<std::string>& kinds,
               const std::map<std::string, std::vector<double>>& byKind) {
    std::printf("median of %zu round %ss (spread: lowest and highest round's):\n",
                byKind.begin()->second.size(), figure);
    for (const std::string& kind : kinds) {
        const auto& v = byKind.at(kind);
        std::printf("  %-9s %6.0f us  (%.0f .. %.0f)\n", kind.c_str(), median(v),
                    *std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end()));
    }
    auto ratio = [&](const char* a, const char* b) {
        if (byKind.count(a) && byKind.count(b)) {
            std::printf("  %s / %s = %.3f\n", a, b, median(byKind.at(a)) / median(byKind.at(b)));
        }
    };
    ratio("keypilot", "reference");
    ratio("keypilot", "echo");
    ratio("keypilot", "floor");
    ratio("floor", "reference");
    ratio("baseline", "reference");
    ratio("baseline", "floor");
    ratio("keypilot", "baseline");
}

std::vector<std::string> split(const std::string& list) {
    std::vector<std::string> items;
    std::stringstream in(list);
    for (std::string item; std::getline(in, item, ',');) {
        items.push_back(item);
    }
    return items;
}

// The pause between two looks at the cursor or the phone's end.
double pollGapSeconds() {
    const char* gap = std::getenv("LATENCY_BENCH_POLL_US");
    return (gap ? std::atof(gap) : 20.0) * 1e-6;
}

int compare(const std::wstring& local, const std::wstring& remote, int rounds, int codes,
            const std::vector<std::string>& kinds) {
    // Wine's debug channels for the receivers alone, to count their calls (figures taken so are
    // no latencies).
    if (const char* trace = std::getenv("LATENCY_BENCH_TRACE")) {
        SetEnvironmentVariableW(L"WINEDEBUG", framework::fromUtf8(trace).c_str());
    }
    const double pollGap = pollGapSeconds();
    SetCursorPos(400, 300);
    std::mt19937 random(1);
    std::map<std::string, std::vector<double>> medians;
    std::map<std::string, std::vector<double>> lowest;
    StageSplit split;
    for (int r = 1; r <= rounds; ++r) {
        std::printf("round %d of %d, %d codes each\n", r, rounds, codes);
        for (const std::string& kind : kinds) {
            const RoundFigures figures = round(kind, local, remote, codes, pollGap, random, split);
            if (figures.median < 0) {
                return 1;
            }
            medians[kind].push_back(figures.median);
            lowest[kind].push_back(figures.p10);
        }
    }
    summarize("median", kinds, medians);
    // The fastest tenth: the receiver's own work, with less of the time the port's polling adds
    // (which varies with the machine's load).
    summarize("p10", kinds, lowest);
    split.print(kinds);
    return 0;
}

// The CPU a receiver's process takes over a 60 Hz stream of moves; negative when it failed.
double streamRound(const std::string& kind, const std::wstring& local, const std::wstring& remote,
                   double seconds) {
    Receiver receiver(kind, local);
    Phone phone(remote);
    if (!receiver.started() || !phone.isOpen() || !waitUntilListening(phone, 20e-6)) {
        std::fprintf(stderr, "%s: did not start or never moved the cursor\n", kind.c_str());
        return -1;
    }
    SetCursorPos(400, 300);
    const double before = receiver.cpuSeconds();
    const double start = now();
    int frames = 0;
    // Small circles: right, down, left, up, so that the cursor stays where it is on the whole.
    const char* moves[] = {"MV+004+000", "MV+000+004", "MV-004+000", "MV+000-004"};
    while (now() - start < seconds) {
        phone.write(moves[frames % 4], 10);
        ++frames;
        const double next = start + frames / 60.0;
        while (now() < next) {
            Sleep(1);
        }
    }
    // The last moves are still taken in.
    Sleep(200);
    const double used = receiver.cpuSeconds() - before;
    const POINT p = cursor();
    std::printf("  %-9s %d moves over %.1f s: CPU %.3f s (%.2f %% of a core)%s\n", kind.c_str(),
                frames, now() - start, used, 100.0 * used / (now() - start),
                p.x == 400 && p.y == 300 ? "" : ", the cursor did NOT end where it began");
    std::fflush(stdout);
    return used;
}

int stream(const std::wstring& local, const std::wstring& remote, double seconds, int rounds) {
    std::map<std::string, std::vector<double>> cpu;
    for (int r = 1; r <= rounds; ++r) {
        std::printf("stream round %d of %d\n", r, rounds);
        for (const std::string kind : {"keypilot", "reference"}) {
            const double used = streamRound(kind, local, remote, seconds);
            if (used < 0) {
                return 1;
            }
            cpu[kind].push_back(used);
        }
    }
    const double keypilot = median(cpu["keypilot"]);
    const double reference = median(cpu["reference"]);
    std::printf(
        "median CPU over the stream: keypilot %.3f s, reference %.3f s, keypilot / "
        "reference = %.2f\n",
        keypilot, reference, keypilot / reference);
    return 0;
}

// --- the hello's round trip --------------------------------------------------------------------

// Seconds from a hello written at the phone's end until a whole line has come back; negative
// when none came within `timeout`. The line is kept in `answer`.
double helloRoundTrip(Phone& phone, double timeout, double pollGap, std::string& answer) {
    static const std::string hello = *phonelink::encodeMessage(phonelink::Message::hello(3));
    const double at = now();
    phone.write(hello.data(), static_cast<DWORD>(hello.size()));
    answer = phone.readLine(timeout, pollGap);
    const double took = now() - at;
    return !answer.empty() && answer.back() == '\n' ? took : -1;
}

// Hellos until one is answered: the receiver listens. Answers to earlier ones still on their
// way are let in and dropped.
bool waitUntilAnswering(Phone& phone, double pollGap) {
    std::string answer;
    for (int attempt = 0; attempt < 60; ++attempt) {
        if (helloRoundTrip(phone, 0.5, pollGap, answer) >= 0) {
            while (!phone.readLine(0.3, pollGap).empty()) {
            }
            return true;
        }
    }
    return false;
}

// One round of hellos through one receiver; a negative median when it failed.
double helloRound(const std::string& kind, const std::wstring& local, const std::wstring& remote,
                  int hellos, double pollGap, std::mt19937& random) {
    Receiver receiver(kind, local);
    Phone phone(remote);
    if (!receiver.started() || !phone.isOpen() || !waitUntilAnswering(phone, pollGap)) {
        std::fprintf(stderr, "%s: did not start or never answered a hello\n", kind.c_str());
        return -1;
    }
    std::uniform_real_distribution<double> pause(0.002, 0.005);
    std::vector<double> samples;
    std::string answer;
    std::size_t answerBytes = 0;
    int lost = 0;
    for (int i = 0; i < hellos; ++i) {
        const double took = helloRoundTrip(phone, 2.0, pollGap, answer);
        if (took < 0) {
            ++lost;
        } else {
            samples.push_back(took * 1e6);
            answerBytes = answer.size();
        }
        pauseFor(pause(random));
    }
    if (samples.empty()) {
        return -1;
    }
    std::printf(
        "  %-9s median %6.0f us  p10 %6.0f  p90 %6.0f  max %7.0f  lost %d  (answers of %zu "
        "bytes)\n",
        kind.c_str(), median(samples), percentile(samples, 0.1), percentile(samples, 0.9),
        percentile(samples, 1.0), lost, answerBytes);
    std::fflush(stdout);
    return median(samples);
}

int helloTrips(const std::wstring& local, const std::wstring& remote, int rounds, int hellos) {
    std::printf(
        "hello round trip: \"HI03\" written at the phone's end (%ls) until the answer's LF has "
        "arrived there;\n"
        "keypilot: Keypilot.exe on %ls (read, the link's reader, the answer with the PC's name\n"
        "and the master volume, its writer thread); echo: a bare overlapped reader that writes "
        "one\n"
        "fixed line of the same shape for any chunk\n",
        remote.c_str(), local.c_str());
    const std::vector<std::string> kinds{"keypilot", "echo"};
    const double pollGap = pollGapSeconds();
    std::mt19937 random(1);
    std::map<std::string, std::vector<double>> medians;
    for (int r = 1; r <= rounds; ++r) {
        std::printf("round %d of %d, %d hellos each\n", r, rounds, hellos);
        for (const std::string& kind : kinds) {
            const double figure = helloRound(kind, local, remote, hellos, pollGap, random);
            if (figure < 0) {
                return 1;
            }
            medians[kind].push_back(figure);
        }
    }
    summarize("median", kinds, medians);
    return 0;
}

// One round: each kind of flood, then the code behind it; the code's delays in ms, by kind.
std::map<std::string, double> floodRound(const std::wstring& local, const std::wstring& remote,
                                         const std::vector<std::string>& kinds, int count,
                                         double pollGap) {
    std::map<std::string, double> delays;
    Receiver receiver("keypilot", local);
    Phone phone(remote);
    if (!receiver.started() || !phone.isOpen() || !waitUntilListening(phone, pollGap)) {
        std::fprintf(stderr, "keypilot: did not start or never moved the cursor\n");
        return delays;
    }
    for (const std::string& kind : kinds) {
        std::string flood;
        for (int i = 0; i < count; ++i) {
            flood += kind;
        }
        phone.write(flood.data(), static_cast<DWORD>(flood.size()));
        pauseFor(0.05);
        const POINT from = cursor();
        const double sent = now();
        phone.write(nextCode(from));
        const double took = waitForMove(from, sent, 30.0, pollGap);
        delays[kind] = took < 0 ? -1 : took * 1e3;
        // What the flood sent back, and whatever it still holds, is let go before the next.
        while (!phone.readLine(0.3, pollGap).empty()) {
        }
    }
    return delays;
}

int floods(const std::wstring& local, const std::wstring& remote, int rounds, int count) {
    std::printf(
        "a code behind a flood: %d hellos, signs of life or levels in one write at the phone's "
        "end (%ls),\nthen 50 ms later a code, until the cursor has moved (Keypilot.exe on %ls)\n",
        count, remote.c_str(), local.c_str());
    const std::vector<std::string> kinds{"PI", "HI04", "VL0050"};
    const double pollGap = pollGapSeconds();
    std::map<std::string, std::vector<double>> delays;
    for (int r = 1; r <= rounds; ++r) {
        const auto round = floodRound(local, remote, kinds, count, pollGap);
        if (round.size() != kinds.size()) {
            return 1;
        }
        std::printf("round %d of %d:", r, rounds);
        for (const std::string& kind : kinds) {
            std::printf("  after %s x%d %8.1f ms", kind.c_str(), count, round.at(kind));
            delays[kind].push_back(round.at(kind));
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    for (const std::string& kind : kinds) {
        std::printf("median: the code after %d x %-6s %8.1f ms (goal: within 20 ms)\n", count,
                    kind.c_str(), median(delays[kind]));
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::vector<std::wstring> a(argv, argv + argc);
    if (a.size() == 5 && a[1] == L"receive") {
        return receive(a[2], a[3], a[4]);
    }
    if (a.size() >= 4 && a[1] == L"compare") {
        const int rounds = a.size() > 4 ? std::stoi(a[4]) : 7;
        const int codes = a.size() > 5 ? std::stoi(a[5]) : 200;
        const std::string kinds =
            a.size() > 6 ? framework::toUtf8(a[6]) : "keypilot,reference,floor";
        return compare(a[2], a[3], rounds, codes, split(kinds));
    }
    if (a.size() >= 4 && a[1] == L"stream") {
        return stream(a[2], a[3], a.size() > 4 ? std::stod(a[4]) : 10.0,
                      a.size() > 5 ? std::stoi(a[5]) : 3);
    }
    if (a.size() >= 4 && a[1] == L"hello") {
        return helloTrips(a[2], a[3], a.size() > 4 ? std::stoi(a[4]) : 7,
                          a.size() > 5 ? std::stoi(a[5]) : 100);
    }
    if (a.size() >= 4 && a[1] == L"flood") {
        return floods(a[2], a[3], a.size() > 4 ? std::stoi(a[4]) : 5,
                      a.size() > 5 ? std::stoi(a[5]) : 1000);
    }
    std::fprintf(stderr,
                 "usage: latency_bench compare <local> <remote> [rounds] [codes] [receivers]\n"
                 "       latency_bench stream <local> <remote> [seconds] [rounds]\n"
                 "       latency_bench hello <local> <remote> [rounds] [hellos]\n"
                 "       latency_bench flood <local> <remote> [rounds] [count]\n"
                 "       latency_bench receive <reference|floor|echo> <port> <stop event>\n");
    return 2;
}
