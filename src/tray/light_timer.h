// A timer that needs no window of its own: every LightTimer of the process shares one hidden
// window, which exists from the first timer's construction to the last one's destruction.
// Main thread only: ticks arrive as WM_TIMER through the creating thread's message loop.
#pragma once

#include <windows.h>

#include <functional>

namespace tray {

class LightTimer {
  public:
    using TimerEvent = std::function<void(LightTimer& sender)>;

    LightTimer();
    LightTimer(unsigned interval, TimerEvent onTimer);
    LightTimer(const LightTimer&) = delete;
    LightTimer& operator=(const LightTimer&) = delete;
    ~LightTimer();

    // Whether the timer is wanted. It may stay true while no system timer runs (interval 0 or
    // no callback): the suspended state.
    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled);

    // Milliseconds; 0 means no system timer can run. Writing the current value changes nothing.
    unsigned interval() const { return interval_; }
    void setInterval(unsigned interval);

    // Removing the callback suspends a running timer; assigning one does not restart it.
    const TimerEvent& onTimer() const { return onTimer_; }
    void setOnTimer(TimerEvent onTimer);

    // A one-shot timer stops itself (Enabled false) before its callback runs.
    bool oneShot() const { return oneShot_; }
    void setOneShot(bool oneShot) { oneShot_ = oneShot; }

    // Starts (or restarts) the system timer; false when the interval is 0 or SetTimer refused.
    bool activate();
    // Kills the system timer, clearing Enabled when asked; false when no system timer was set.
    bool deactivate(bool clearEnabled);

    // The identifier given to SetTimer: a small number that leads back to this timer through the
    // shared window's table, never reused while the shared window lives.
    UINT_PTR timerId() const { return timerId_; }

    // The shared window (null while no timer exists), the number of timers and of system timers
    // started and not yet killed.
    static HWND handlerWindow();
    static int userCount();
    static int runningCount();

  private:
    friend struct LightTimerAccess;
    UINT_PTR timerId_ = 0;
    bool enabled_ = false;
    unsigned interval_ = 1000;
    bool oneShot_ = false;
    TimerEvent onTimer_;
};

}  // namespace tray
