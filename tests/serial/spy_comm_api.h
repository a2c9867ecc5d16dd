// A spy over the Win32 serial calls of the serial port component, for the tests under Wine.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "framework/main_thread_call.h"
#include "serial/comm_api.h"

namespace serial::test {

// Forwards every call to Win32 and writes down what it saw; single calls can be overridden.
class SpyCommApi : public CommApi {
  public:
    std::mutex lock;
    std::vector<std::string> calls;
    // The calls made on the main thread.
    std::vector<std::string> mainThreadCalls;
    // How long the device's close takes, as a Bluetooth driver's may.
    DWORD closeMs = 0;
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
        if (framework::isMainThread()) {
            mainThreadCalls.push_back(call);
        }
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
        if (setCommStateOverride) {
            return setCommStateOverride(device, dcb);
        }
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
        if (ok) {
            ++completedWaits;
        }
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
    BOOL getCommModemStatus(HANDLE device, DWORD* status) override {
        if (framework::isMainThread()) {
            std::lock_guard g(lock);
            mainThreadCalls.emplace_back("getCommModemStatus");
        }
        return CommApi::getCommModemStatus(device, status);
    }
    BOOL closeDevice(HANDLE device) override {
        Sleep(closeMs);
        const BOOL closed = CommApi::closeDevice(device);
        note("close");
        return closed;
    }
};

}  // namespace serial::test
