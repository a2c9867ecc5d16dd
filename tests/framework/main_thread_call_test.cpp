#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "framework/handle.h"
#include "framework/main_thread_call.h"

namespace {

TEST(MainThreadCallTest, CallRunsOnTheMainThreadAndErrorsComeBack) {
    framework::initMainThreadCalls();
    DWORD mainId = GetCurrentThreadId();
    std::atomic<DWORD> ranOn{0};
    std::atomic<bool> rethrown{false};
    framework::KernelHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::thread worker([&] {
        framework::runOnMainThread([&] { ranOn = GetCurrentThreadId(); });
        try {
            framework::runOnMainThread([] { throw std::runtime_error("handler failed"); });
        } catch (const std::runtime_error&) {
            rethrown = true;
        }
        SetEvent(done.get());
    });
    ASSERT_EQ(framework::waitServingMainThreadCalls(done.get(), 10000), WAIT_OBJECT_0);
    worker.join();
    EXPECT_EQ(ranOn.load(), mainId);
    EXPECT_TRUE(rethrown);
}

}  // namespace

// Hand-overs from two threads at once, many in a row, some queued while the main thread is not
// waiting: each returns only after its own call has run, and a wait that begins after a call was
// queued still serves it.
TEST(MainThreadCallTest, EveryHandOverReturnsAfterItsOwnCallHasRun) {
    framework::initMainThreadCalls();
    constexpr int kCalls = 200;
    std::atomic<int> early{0};
    std::atomic<int> finished{0};
    auto work = [&] {
        for (int i = 0; i < kCalls; ++i) {
            bool ran = false;
            framework::runOnMainThread([&] { ran = true; });
            if (!ran) {
                ++early;
            }
        }
        ++finished;
    };
    std::thread first(work);
    std::thread second(work);
    const DWORD start = GetTickCount();
    while (finished < 2 && GetTickCount() - start < 20000) {
        framework::waitServingMainThreadCalls(GetCurrentThread(), 1);
        // Busy between the waits, serving nothing, so that calls also arrive while no wait runs.
        for (const DWORD busy = GetTickCount(); GetTickCount() - busy < 2;) {
        }
    }
    const bool allFinished = finished == 2;
    if (!allFinished) {
        // Serve what is left so the threads can be joined.
        while (finished < 2) {
            framework::runPendingMainThreadCalls();
        }
    }
    first.join();
    second.join();
    EXPECT_TRUE(allFinished);
    EXPECT_EQ(early.load(), 0);
}
