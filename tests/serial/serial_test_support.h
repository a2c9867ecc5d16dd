// Helpers for the serial port tests under Wine: the testbed's paired ports, the far end of a pair,
// a spy over the Win32 serial calls, and running a Linux command of the testbed. Waiting for a
// condition is tests/support's pumpUntil.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "framework/handle.h"
#include "framework/main_thread_call.h"
#include "framework/text.h"
#include "serial/comm_api.h"
#include "wine_test_support.h"

namespace serial::test {

struct PortPair {
    std::wstring local;   // opened by the component
    std::wstring remote;  // written like a phone would
};

// KEYPILOT_TEST_PORTS="COM5:COM6,COM7:COM8,...": pair i of the testbed.
inline PortPair testbedPair(std::size_t index) {
    const char* env = std::getenv("KEYPILOT_TEST_PORTS");
    std::string list = env ? env : "COM5:COM6,COM7:COM8,COM11:COM12,COM21:COM22";
    std::vector<std::string> pairs;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        if (comma == std::string::npos)
            comma = list.size();
        pairs.push_back(list.substr(start, comma - start));
        start = comma + 1;
    }
    const std::string& p = pairs.at(index);
    const std::size_t colon = p.find(':');
    return {framework::fromUtf8(p.substr(0, colon)), framework::fromUtf8(p.substr(colon + 1))};
}

// The phone's end of a link: a plain blocking handle.
class FarEnd {
  public:
    explicit FarEnd(const std::wstring& port) {
        handle_.reset(CreateFileW((L"\\\\.\\" + port).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
        if (handle_) {
            DCB dcb{};
            dcb.DCBlength = sizeof dcb;
            GetCommState(handle_.get(), &dcb);
            dcb.BaudRate = 9600;
            dcb.ByteSize = 8;
            dcb.fBinary = TRUE;
            SetCommState(handle_.get(), &dcb);
        }
    }
    bool valid() const { return handle_.valid(); }
    bool write(const std::string& bytes) {
        DWORD written = 0;
        return WriteFile(handle_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                         nullptr) &&
               written == bytes.size();
    }

  private:
    framework::KernelHandle handle_;
};

// Forwards every call to Win32 and writes down what it saw; single calls can be overridden.
class SpyCommApi : public CommApi {
  public:
    std::mutex lock;
    std::vector<std::string> calls;
    std::vector<DWORD> masks;
    DCB lastDcb{};
    COMMTIMEOUTS lastTimeouts{};
    HANDLE opened = INVALID_HANDLE_VALUE;
    std::atomic<int> setCommStateCalls{0};
    std::atomic<int> completedWaits{0};
    // Waits the device has taken on (counted once the driver has them).
    std::atomic<int> startedWaits{0};
    // Questions whether the device still answers.
    std::atomic<int> stateQueries{0};
    std::function<BOOL(HANDLE, DCB*)> setCommStateOverride;

    void note(std::string call) {
        std::lock_guard g(lock);
        calls.push_back(std::move(call));
    }
    std::vector<std::string> snapshot() {
        std::lock_guard g(lock);
        return calls;
    }

    HANDLE openDevice(const std::wstring& path) override {
        opened = CommApi::openDevice(path);
        note("open");
        return opened;
    }
    BOOL setCommState(HANDLE device, DCB* dcb) override {
        lastDcb = *dcb;
        ++setCommStateCalls;
        note("setCommState");
        if (setCommStateOverride)
            return setCommStateOverride(device, dcb);
        return CommApi::setCommState(device, dcb);
    }
    BOOL getCommState(HANDLE device, DCB* dcb) override {
        ++stateQueries;
        return CommApi::getCommState(device, dcb);
    }
    BOOL setCommTimeouts(HANDLE device, COMMTIMEOUTS* timeouts) override {
        lastTimeouts = *timeouts;
        note("setCommTimeouts");
        return CommApi::setCommTimeouts(device, timeouts);
    }
    BOOL setupComm(HANDLE device, DWORD in, DWORD out) override {
        note("setupComm");
        return CommApi::setupComm(device, in, out);
    }
    BOOL setCommMask(HANDLE device, DWORD mask) override {
        {
            std::lock_guard g(lock);
            masks.push_back(mask);
        }
        note("setCommMask");
        return CommApi::setCommMask(device, mask);
    }
    BOOL waitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* o) override {
        BOOL ok = CommApi::waitCommEvent(device, mask, o);
        DWORD error = GetLastError();
        ++startedWaits;
        SetLastError(error);
        return ok;
    }
    BOOL getOverlappedResult(HANDLE device, OVERLAPPED* o, DWORD* count, BOOL wait) override {
        BOOL ok = CommApi::getOverlappedResult(device, o, count, wait);
        if (ok)
            ++completedWaits;
        return ok;
    }
    BOOL purgeComm(HANDLE device, DWORD flags) override {
        note(flags & PURGE_RXABORT ? "purgeAbort" : "purgeClear");
        return CommApi::purgeComm(device, flags);
    }
    BOOL clearCommError(HANDLE device, DWORD* errors, COMSTAT* status) override {
        note("clearCommError");
        return CommApi::clearCommError(device, errors, status);
    }
};

inline std::wstring envText(const char* name) {
    const char* v = std::getenv(name);
    return v ? framework::fromUtf8(v) : std::wstring();
}

// A Unix path as Wine's Z: drive shows it.
inline std::wstring dosPath(const std::wstring& unixPath) {
    std::wstring p = L"Z:" + unixPath;
    for (auto& c : p)
        if (c == L'/')
            c = L'\\';
    return p;
}

inline std::string readWholeFile(const std::wstring& path) {
    framework::KernelHandle f(CreateFileW(path.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
    if (!f)
        return {};
    std::string text(4096, '\0');
    DWORD read = 0;
    ReadFile(f.get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    text.resize(read);
    return text;
}

inline bool writeWholeFile(const std::wstring& path, const std::string& text) {
    framework::KernelHandle f(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                          CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return f && WriteFile(f.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Runs a shell command of the host (Wine starts Unix programs itself) and waits until it has
// finished; its standard output comes back. Wine cannot wait on such a process, so the command
// writes a marker file when it is done.
inline std::string runHostCommand(const std::string& command, DWORD timeoutMs = 20000) {
    static int counter = 0;
    const std::wstring testbed = envText("KEYPILOT_TESTBED_DIR");
    const std::string base = framework::toUtf8(testbed) + "/serial-host-" +
                             std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(++counter);
    const std::wstring done = dosPath(framework::fromUtf8(base + ".done"));
    const std::wstring out = dosPath(framework::fromUtf8(base + ".out"));
    // The whole script is one argument in double quotes; quotes inside it are escaped.
    std::wstring script;
    for (wchar_t c : framework::fromUtf8(command)) {
        if (c == L'"')
            script += L'\\';
        script += c;
    }
    std::wstring line = L"/bin/sh -c \"(" + script + L") > '" + framework::fromUtf8(base) +
                        L".out' 2>&1; touch '" + framework::fromUtf8(base) + L".done'\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi))
        return "<could not start /bin/sh>";
    framework::KernelHandle process(pi.hProcess), thread(pi.hThread);
    testing_support::pumpUntil(
        [&] { return GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, timeoutMs);
    std::string result = readWholeFile(out);
    DeleteFileW(done.c_str());
    DeleteFileW(out.c_str());
    return result;
}

}  // namespace serial::test
