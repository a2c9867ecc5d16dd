// Slow calls for the tests and the benchmark of the main thread's answers: a port's device open,
// the opened device's set-up, the port's close, a read of the port catalogue, a shell call, a
// launch's file checks and process start and a call of the Bluetooth service's, each standing in
// for a driver, SetupAPI, a shell extension, a share or a radio that takes seconds. Each notes the
// thread it ran on and holds for 3 s, or until the test lets it go, then does what the real call
// would (the port's calls, the catalogue and the launch) or nothing (the shell, which under Wine
// might start a browser). A step of several device calls (the set-up, the close) holds once, at
// the one call that matters most, and notes the threads of the others.
#pragma once

#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "desktop/launch_program.h"
#include "desktop/shell_runner.h"
#include "framework/handle.h"
#include "hanging_write_comm_api.h"
#include "ports/port_catalogue.h"
#include "serial/comm_api.h"
#include "wine_test_support.h"

namespace testing_support {

class SlowCalls : public std::enable_shared_from_this<SlowCalls> {
  public:
    // The set-up holds at SetupComm, its first call; the close at the device's own close, after
    // which a new open of the port may come.
    enum Kind { kOpen, kCatalogue, kShell, kSetUp, kClose, kLaunch, kBluetooth, kKinds };
    static constexpr DWORD kHoldMs = 3000;

    SlowCalls() {
        for (auto& released : released_) {
            released.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        }
    }

    // Runs as a call of this kind.
    void hold(Kind kind) {
        note(kind);
        {
            std::lock_guard guard(lock_);
            ++holding_[kind];
        }
        WaitForSingleObject(released_[kind].get(), kHoldMs);
        std::lock_guard guard(lock_);
        --holding_[kind];
        ++done_[kind];
    }
    // Notes a call of this kind that does not hold.
    void note(Kind kind) {
        std::lock_guard guard(lock_);
        threads_[kind].push_back(GetCurrentThreadId());
    }
    // Lets every hold, now and later, go on at once.
    void release() {
        for (auto& released : released_) {
            SetEvent(released.get());
        }
    }
    // The same for the calls of one kind.
    void release(Kind kind) { SetEvent(released_[kind].get()); }
    // Whether a call of each kind holds now; by default of those that a start makes at once.
    bool allHolding(std::initializer_list<Kind> kinds = {kOpen, kCatalogue, kShell}) {
        std::lock_guard guard(lock_);
        return std::all_of(kinds.begin(), kinds.end(), [this](Kind k) { return holding_[k] > 0; });
    }
    // The port's opens and closes of its device so far (kOpen, kClose), in the order the system
    // made them: the order that Windows enforces and Wine does not.
    std::vector<Kind> deviceCalls() {
        std::lock_guard guard(lock_);
        return deviceCalls_;
    }
    int done(Kind kind) {
        std::lock_guard guard(lock_);
        return done_[kind];
    }
    // The threads the calls of this kind ran on.
    std::vector<DWORD> threads(Kind kind) {
        std::lock_guard guard(lock_);
        return threads_[kind];
    }

    // The stand-ins, which keep this object for as long as a call of theirs may run. The port's
    // writes hang too, when asked, as HangingWriteCommApi's do.
    std::shared_ptr<HangingWriteCommApi> commApi() {
        struct SlowPort : HangingWriteCommApi {
            std::shared_ptr<SlowCalls> calls;
            HANDLE openDevice(const std::wstring& path) override {
                calls->hold(kOpen);
                HANDLE device = CommApi::openDevice(path);
                calls->made(kOpen);
                return device;
            }
            BOOL setupComm(HANDLE device, DWORD inQueue, DWORD outQueue) override {
                calls->hold(kSetUp);
                return CommApi::setupComm(device, inQueue, outQueue);
            }
            BOOL setCommState(HANDLE device, DCB* dcb) override {
                calls->note(kSetUp);
                return CommApi::setCommState(device, dcb);
            }
            BOOL setCommTimeouts(HANDLE device, COMMTIMEOUTS* timeouts) override {
                calls->note(kSetUp);
                return CommApi::setCommTimeouts(device, timeouts);
            }
            BOOL getCommModemStatus(HANDLE device, DWORD* status) override {
                calls->note(kSetUp);
                return CommApi::getCommModemStatus(device, status);
            }
            BOOL purgeComm(HANDLE device, DWORD flags) override {
                calls->note(kClose);
                return CommApi::purgeComm(device, flags);
            }
            BOOL closeDevice(HANDLE device) override {
                calls->hold(kClose);
                const BOOL closed = CommApi::closeDevice(device);
                calls->made(kClose);
                return closed;
            }
        };
        auto api = std::make_shared<SlowPort>();
        api->calls = shared_from_this();
        return api;
    }
    ports::PortSources sources(std::vector<std::wstring> names) {
        ports::PortSources sources;
        sources.registeredNames = [calls = shared_from_this(), names = std::move(names)] {
            calls->hold(kCatalogue);
            return names;
        };
        return sources;
    }
    app::ShellRunner::Execute shell() {
        return [calls = shared_from_this()](const std::wstring&, const std::wstring&) {
            calls->hold(kShell);
        };
    }
    // Each file check and each process start of a launch holds, then is made.
    app::LaunchSeams launch() {
        app::LaunchSeams seams;
        seams.exists = [calls = shared_from_this(), real = seams.exists](const std::wstring& path) {
            calls->hold(kLaunch);
            return real(path);
        };
        seams.createProcess = [calls = shared_from_this(), real = seams.createProcess](
                                  const std::wstring& application, const std::wstring& commandLine,
                                  const std::wstring& folder) {
            calls->hold(kLaunch);
            return real(application, commandLine, folder);
        };
        return seams;
    }

  private:
    // Keeps the last error of the call it follows.
    void made(Kind kind) {
        const DWORD error = GetLastError();
        {
            std::lock_guard guard(lock_);
            deviceCalls_.push_back(kind);
        }
        SetLastError(error);
    }

    std::mutex lock_;
    std::array<framework::KernelHandle, kKinds> released_;
    std::vector<Kind> deviceCalls_;
    std::array<std::vector<DWORD>, kKinds> threads_;
    std::array<int, kKinds> holding_{};
    std::array<int, kKinds> done_{};
};

// Sends WM_NULL to a window from a thread of its own every 10 ms, each waited for, and notes how
// long the longest took to be answered: what a user feels as the program's response.
class AnswerWatch {
  public:
    explicit AnswerWatch(HWND window)
        : thread_([this, window] {
              while (!stop_) {
                  const auto sent = std::chrono::steady_clock::now();
                  DWORD_PTR result = 0;
                  const bool ok =
                      SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result) != 0;
                  const auto took = std::chrono::duration<double, std::milli>(
                                        std::chrono::steady_clock::now() - sent)
                                        .count();
                  {
                      std::lock_guard guard(lock_);
                      longestMs_ = std::max(longestMs_, took);
                      (ok ? answered_ : failed_) += 1;
                  }
                  Sleep(10);
              }
              finished_ = true;
          }) {}
    ~AnswerWatch() { stop(); }
    AnswerWatch(const AnswerWatch&) = delete;
    AnswerWatch& operator=(const AnswerWatch&) = delete;

    // Serves this thread's messages until the last one sent is answered.
    void stop() {
        stop_ = true;
        pumpUntil([this] { return finished_.load(); }, 15000);
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    int answered() {
        std::lock_guard guard(lock_);
        return answered_;
    }
    int failed() {
        std::lock_guard guard(lock_);
        return failed_;
    }
    double longestMs() {
        std::lock_guard guard(lock_);
        return longestMs_;
    }

  private:
    std::mutex lock_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    int answered_ = 0;
    int failed_ = 0;
    double longestMs_ = 0;
    std::thread thread_;
};

}  // namespace testing_support
