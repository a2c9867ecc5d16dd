// Command latency as a user feels it: a code written at the phone's end until the cursor has
// moved, for Keypilot.exe and two minimal receivers, one after the other on the same port pair:
//   latency_bench compare <local> <remote> [rounds] [codes] [receivers]
//       <rounds> rounds of each receiver in turn (default 7), <codes> codes a round (default
//       200), receivers a comma list of keypilot, reference and floor (default all three), and
//       baseline: another build of Keypilot.exe, named by LATENCY_BENCH_BASELINE (a Windows
//       path), to compare two builds in one run; prints each round's figures, then for each
//       receiver the median of the round medians, and of the round 10th percentiles, with their
//       spread, and the ratios
//   latency_bench stream <local> <remote> [seconds] [rounds]
//       a touchpad's stream of moves, one "MV" frame every 1/60 s for <seconds> (default 10),
//       to Keypilot.exe and to the reference, <rounds> times each in turn (default 3); prints the
//       CPU time each receiver's process took over the stream, the medians and their ratio
//   latency_bench receive <reference|floor> <port> <stop event name>
//       one receiver, started by compare. reference: one thread waits for the port's event,
//       reads and moves the cursor. floor: the same, except that the reading thread hands the
//       chunk to the main thread and waits until it has been handled there.
// The cursor is watched from this process by polling GetCursorPos; LATENCY_BENCH_POLL_US sets
// the pause between polls (default 20 us), so that the polling does not crowd the wineserver
// that every receiver needs too. LATENCY_BENCH_TRACE sets WINEDEBUG for the receivers alone.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "framework/handle.h"
#include "framework/text.h"

namespace {

using bench::now;
using framework::KernelHandle;

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

  private:
    HANDLE stop_;
    KernelHandle device_;
    KernelHandle waitEvent_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    KernelHandle readEvent_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    OVERLAPPED wait_{};
    OVERLAPPED read_{};
};

int receiveInPlace(PortReader& reader) {
    char buffer[64];
    DWORD size = 0;
    while (reader.next(buffer, sizeof buffer, size)) {
        moveFor(buffer, size);
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
        auto* chunk = reinterpret_cast<HandOver*>(lParam);
        moveFor(chunk->buffer, chunk->size);
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
        PostMessageW(args->window, kChunkMessage, 0, reinterpret_cast<LPARAM>(args->chunk));
        WaitForSingleObject(args->chunk->handled.get(), INFINITE);
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
                              OPEN_EXISTING, 0, nullptr)) {}
    bool isOpen() const { return bool(handle_); }
    void write(const char* code) { write(code, 2); }
    void write(const char* bytes, DWORD size) {
        DWORD written = 0;
        WriteFile(handle_.get(), bytes, size, &written, nullptr);
    }

  private:
    KernelHandle handle_;
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

// One round; a negative median when the receiver failed.
RoundFigures round(const std::string& kind, const std::wstring& local, const std::wstring& remote,
                   int codes, double pollGap, std::mt19937& random) {
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
    std::vector<double> samples;
    int lost = 0;
    for (int i = 0; i < codes; ++i) {
        const POINT p = cursor();
        const double sent = now();
        phone.write(nextCode(p));
        const double latency = waitForMove(p, sent, 2.0, pollGap);
        if (latency < 0) {
            ++lost;
        } else {
            samples.push_back(latency * 1e6);
        }
        pauseFor(pause(random));
    }
    if (samples.empty()) {
        return {};
    }
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

int compare(const std::wstring& local, const std::wstring& remote, int rounds, int codes,
            const std::vector<std::string>& kinds) {
    // Wine's debug channels for the receivers alone, to count their calls (figures taken so are
    // no latencies).
    if (const char* trace = std::getenv("LATENCY_BENCH_TRACE")) {
        SetEnvironmentVariableW(L"WINEDEBUG", framework::fromUtf8(trace).c_str());
    }
    const char* gap = std::getenv("LATENCY_BENCH_POLL_US");
    const double pollGap = (gap ? std::atof(gap) : 20.0) * 1e-6;
    SetCursorPos(400, 300);
    std::mt19937 random(1);
    std::map<std::string, std::vector<double>> medians;
    std::map<std::string, std::vector<double>> lowest;
    for (int r = 1; r <= rounds; ++r) {
        std::printf("round %d of %d, %d codes each\n", r, rounds, codes);
        for (const std::string& kind : kinds) {
            const RoundFigures figures = round(kind, local, remote, codes, pollGap, random);
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
    std::fprintf(stderr,
                 "usage: latency_bench compare <local> <remote> [rounds] [codes] [receivers]\n"
                 "       latency_bench stream <local> <remote> [seconds] [rounds]\n"
                 "       latency_bench receive <reference|floor> <port> <stop event>\n");
    return 2;
}
