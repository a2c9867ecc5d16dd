#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "tray/light_timer.h"
#include "wine_test_support.h"

using testing_support::pumpUntil;
using testing_support::waitForTimerTicks;
using tray::LightTimer;

namespace {

// A WM_TIMER is generated for an expired system timer and vanishes when the timer is killed, so
// a pending one shows that the timer was left alone.
bool timerMessagePending(const LightTimer& timer) {
    MSG msg;
    return PeekMessageW(&msg, LightTimer::handlerWindow(), WM_TIMER, WM_TIMER, PM_NOREMOVE) &&
           msg.wParam == timer.timerId();
}

// Polls cond with a deadline, leaving the thread's messages in the queue.
bool waitWithoutDispatching(const std::function<bool()>& cond, DWORD timeoutMs = 5000) {
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!cond()) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_TIMER);
    }
    return true;
}

TEST(LightTimerTest, SameIntervalKeepsTheRunningTimerAndANewOneRestartsIt) {
    int ticks = 0;
    LightTimer timer(30, [&](LightTimer&) { ++ticks; });
    ASSERT_TRUE(timer.activate());
    EXPECT_EQ(LightTimer::runningCount(), 1);
    ASSERT_TRUE(waitWithoutDispatching([&] { return timerMessagePending(timer); }));

    timer.setInterval(30);
    EXPECT_TRUE(timerMessagePending(timer));

    timer.setInterval(60000);
    EXPECT_FALSE(timerMessagePending(timer));
    EXPECT_TRUE(timer.enabled());
    EXPECT_EQ(LightTimer::runningCount(), 1);

    timer.setInterval(20);
    int before = ticks;
    EXPECT_TRUE(pumpUntil([&] { return ticks >= before + 2; }));
}

TEST(LightTimerTest, IntervalZeroSuspendsAndANewIntervalResumes) {
    int ticks = 0;
    LightTimer timer(20, [&](LightTimer&) { ++ticks; });
    timer.setEnabled(true);
    ASSERT_TRUE(pumpUntil([&] { return ticks >= 1; }));

    timer.setInterval(0);
    EXPECT_TRUE(timer.enabled());
    EXPECT_EQ(LightTimer::runningCount(), 0);
    int frozen = ticks;
    ASSERT_TRUE(waitForTimerTicks(20, 2));
    EXPECT_EQ(ticks, frozen);
    EXPECT_FALSE(timer.activate());  // nothing can run at interval 0

    timer.setInterval(20);
    EXPECT_EQ(LightTimer::runningCount(), 1);
    EXPECT_TRUE(pumpUntil([&] { return ticks > frozen; }));

    timer.setEnabled(false);
    EXPECT_FALSE(timer.enabled());
    EXPECT_EQ(LightTimer::runningCount(), 0);
}

TEST(LightTimerTest, RemovingTheCallbackSuspendsAndAssigningOneDoesNotRestart) {
    int ticks = 0;
    LightTimer timer(20, [&](LightTimer&) { ++ticks; });
    timer.setEnabled(true);
    timer.setOnTimer(nullptr);
    EXPECT_TRUE(timer.enabled());
    EXPECT_EQ(LightTimer::runningCount(), 0);
    timer.setOnTimer([&](LightTimer&) { ++ticks; });
    EXPECT_EQ(LightTimer::runningCount(), 0);
    timer.setEnabled(true);
    EXPECT_EQ(LightTimer::runningCount(), 1);
    EXPECT_TRUE(pumpUntil([&] { return ticks >= 1; }));
}

TEST(LightTimerTest, OneShotTicksOncePerActivate) {
    int ticks = 0;
    bool enabledDuringTick = true;
    LightTimer timer(15, [&](LightTimer& t) {
        ++ticks;
        enabledDuringTick = t.enabled();
    });
    timer.setOneShot(true);
    ASSERT_TRUE(timer.activate());
    ASSERT_TRUE(pumpUntil([&] { return ticks == 1; }));
    EXPECT_FALSE(enabledDuringTick);
    EXPECT_FALSE(timer.enabled());
    EXPECT_EQ(LightTimer::runningCount(), 0);
    ASSERT_TRUE(waitForTimerTicks(15, 2));
    EXPECT_EQ(ticks, 1);

    ASSERT_TRUE(timer.activate());
    ASSERT_TRUE(pumpUntil([&] { return ticks == 2; }));
    ASSERT_TRUE(waitForTimerTicks(15, 2));
    EXPECT_EQ(ticks, 2);
}

TEST(LightTimerTest, EachTickReachesItsOwnTimerAndAStaleIdentifierNone) {
    int ticksA = 0, ticksB = 0;
    LightTimer a(1000, [&](LightTimer&) { ++ticksA; });
    auto b = std::make_unique<LightTimer>(1000, [&](LightTimer&) { ++ticksB; });
    HWND window = LightTimer::handlerWindow();
    UINT_PTR staleId = b->timerId();
    SendMessageW(window, WM_TIMER, a.timerId(), 0);
    EXPECT_EQ(ticksA, 1);
    EXPECT_EQ(ticksB, 0);
    b.reset();
    SendMessageW(window, WM_TIMER, staleId, 0);
    EXPECT_EQ(ticksA, 1);
    EXPECT_EQ(ticksB, 0);
}

TEST(LightTimerTest, ATimerMayDestroyItselfInItsOwnTick) {
    auto timer = std::make_unique<LightTimer>();
    int ticks = 0;
    timer->setInterval(10);
    timer->setOnTimer([&](LightTimer&) {
        ++ticks;
        timer.reset();
    });
    timer->setEnabled(true);
    ASSERT_TRUE(pumpUntil([&] { return timer == nullptr; }));
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(LightTimer::handlerWindow(), nullptr);
    EXPECT_EQ(LightTimer::runningCount(), 0);
}

TEST(LightTimerTest, SharedWindowLivesFromTheFirstTimerToTheLast) {
    ASSERT_EQ(LightTimer::handlerWindow(), nullptr);
    auto first = std::make_unique<LightTimer>();
    HWND window = LightTimer::handlerWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindow(window));
    {
        LightTimer second;
        EXPECT_EQ(LightTimer::handlerWindow(), window);
        EXPECT_EQ(LightTimer::userCount(), 2);
    }
    EXPECT_EQ(LightTimer::handlerWindow(), window);
    first->setEnabled(true);
    first.reset();
    EXPECT_EQ(LightTimer::handlerWindow(), nullptr);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(LightTimer::userCount(), 0);
    EXPECT_EQ(LightTimer::runningCount(), 0);

    LightTimer again;
    EXPECT_NE(LightTimer::handlerWindow(), nullptr);
    EXPECT_TRUE(IsWindow(LightTimer::handlerWindow()));
}

}  // namespace
