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
