// Stands in for a Bluetooth driver whose open blocks for seconds (an outgoing port dialling the
// phone, a driver that is going away), which a pseudo-terminal cannot do. Once held, an open made
// off the main thread (of the one port asked for, or of any) waits until the test lets it go on;
// other opens, and every other call, go to Win32 as they are. The test may hand the waiting open a
// stand-in device of its own, to see what the program does with it.
#pragma once

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <chrono>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "framework/handle.h"
#include "framework/main_thread_call.h"
#include "serial/comm_api.h"

namespace testing_support {

class HeldOpenCommApi : public serial::CommApi {
  public:
    // A test that goes wrong does not wait for ever.
    static constexpr auto kLongestHold = std::chrono::seconds(30);

    ~HeldOpenCommApi() override { release(nullptr); }

    void hold(const std::wstring& port = {}) {
        std::lock_guard guard(lock_);
        held_ = true;
        heldPort_ = port;
    }
    // Whether an open waits now.
    bool holding() {
        std::lock_guard guard(lock_);
        return waiting_ > 0;
    }
    // Lets the waiting open go on, with the real device, or with `device` (handed over) instead;
    // later opens no longer wait.
    void release(HANDLE device = nullptr) {
        std::lock_guard guard(lock_);
        held_ = false;
        standIn_ = device;
        released_.notify_all();
    }
    // Whether the port was ever given this device to set up.
    bool setUp(HANDLE device) {
        std::lock_guard guard(lock_);
        return std::find(setUp_.begin(), setUp_.end(), device) != setUp_.end();
    }

    HANDLE openDevice(const std::wstring& path) override {
        {
            std::unique_lock guard(lock_);
            const bool thisPort = heldPort_.empty() || path.ends_with(L"\\" + heldPort_);
            if (held_ && thisPort && !framework::isMainThread()) {
                ++waiting_;
                released_.wait_for(guard, kLongestHold, [this] { return !held_; });
                --waiting_;
                if (HANDLE device = std::exchange(standIn_, nullptr)) {
                    return device;
                }
            }
        }
        return CommApi::openDevice(path);
    }
    BOOL setupComm(HANDLE device, DWORD inQueue, DWORD outQueue) override {
        {
            std::lock_guard guard(lock_);
            setUp_.push_back(device);
        }
        return CommApi::setupComm(device, inQueue, outQueue);
    }

  private:
    std::mutex lock_;
    std::condition_variable released_;
    bool held_ = false;
    std::wstring heldPort_;
    int waiting_ = 0;
    HANDLE standIn_ = nullptr;
    std::vector<HANDLE> setUp_;
};

// A handle that stands in for a device: the test sees when whoever holds it closes it.
class StandInDevice {
  public:
    StandInDevice() { CreatePipe(reader_.put(), &writer_, nullptr, 0); }
    ~StandInDevice() {
        if (writer_) {
            CloseHandle(writer_);
        }
    }
    StandInDevice(const StandInDevice&) = delete;
    StandInDevice& operator=(const StandInDevice&) = delete;

    HANDLE handle() const { return writer_; }
    // Gives the handle away: closing it is the new holder's job.
    HANDLE handOver() { return std::exchange(writer_, nullptr); }
    bool closed() const {
        DWORD available = 0;
        return !PeekNamedPipe(reader_.get(), nullptr, 0, nullptr, &available, nullptr) &&
               GetLastError() == ERROR_BROKEN_PIPE;
    }

  private:
    framework::KernelHandle reader_;
    HANDLE writer_ = nullptr;
};

}  // namespace testing_support
