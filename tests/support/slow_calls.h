// Slow calls for the tests and the benchmark of the main thread's answers: a port's device open, a
// read of the port catalogue, a shell call and a launch's file checks and process start, each
// standing in for a driver, SetupAPI, a shell extension or a share that takes seconds. Each notes
// the thread it ran on and holds for 3 s, or until the test lets it go, then does what the real
// call would (the open, the catalogue and the launch) or nothing (the shell, which under Wine might
// start a browser).
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
#include "ports/port_catalogue.h"
#include "serial/comm_api.h"
#include "wine_test_support.h"

namespace testing_support {

class SlowCalls : public std::enable_shared_from_this<SlowCalls> {
  public:
    enum Kind { kOpen, kCatalogue, kShell, kLaunch, kKinds };
    static constexpr DWORD kHoldMs = 3000;

    SlowCalls() : released_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

    // Runs as a call of this kind.
    void hold(Kind kind) {
        {
            std::lock_guard guard(lock_);
            threads_[kind].push_back(GetCurrentThreadId());
            ++holding_[kind];
        }
        WaitForSingleObject(released_.get(), kHoldMs);
        std::lock_guard guard(lock_);
        --holding_[kind];
        ++done_[kind];
    }
    // Lets every hold, now and later, go on at once.
    void release() { SetEvent(released_.get()); }
    // Whether a call of each of these kinds holds now.
    bool allHolding(std::initializer_list<Kind> kinds = {kOpen, kCatalogue, kShell}) {
        std::lock_guard guard(lock_);
        return std::all_of(kinds.begin(), kinds.end(),
                           [this](Kind kind) { return holding_[kind] > 0; });
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

    // The stand-ins, which keep this object for as long as a call of theirs may run.
    std::shared_ptr<serial::CommApi> commApi() {
        struct SlowOpen : serial::CommApi {
            std::shared_ptr<SlowCalls> calls;
            HANDLE openDevice(const std::wstring& path) override {
                calls->hold(kOpen);
                return CommApi::openDevice(path);
            }
        };
        auto api = std::make_shared<SlowOpen>();
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
    std::mutex lock_;
    framework::KernelHandle released_;
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
