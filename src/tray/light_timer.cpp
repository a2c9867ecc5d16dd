#include "tray/light_timer.h"

#include <memory>
#include <unordered_map>

#include "framework/application.h"
#include "framework/handle.h"
#include "framework/hidden_window.h"

namespace tray {

// Reaches the private state of a timer from the shared window's procedure.
struct LightTimerAccess {
    static void tick(LightTimer& timer) {
        if (timer.oneShot_) {
            timer.deactivate(true);
        }
        // The callback may destroy its own timer: run a copy so the function outlives it.
        LightTimer::TimerEvent callback = timer.onTimer_;
        if (callback) {
            callback(timer);
        }
    }
};

namespace {

// The hidden window shared by all timers. A 64-bit pointer would make a poor timer identifier,
// so each timer gets a small number, and the table maps it back; an identifier whose timer has
// gone finds nothing.
struct TimerHandler {
    framework::Window window;
    int userCount = 0;
    int runningCount = 0;
    UINT_PTR nextId = 1;
    std::unordered_map<UINT_PTR, LightTimer*> timers;
};

std::unique_ptr<TimerHandler>& timerHandler() {
    static std::unique_ptr<TimerHandler> handler;
    return handler;
}

LRESULT CALLBACK handlerWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != WM_TIMER) {
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    TimerHandler* handler = timerHandler().get();
    if (!handler) {
        return 0;
    }
    auto found = handler->timers.find(static_cast<UINT_PTR>(wParam));
    if (found == handler->timers.end()) {
        return 0;
    }
    LightTimer& timer = *found->second;
    framework::application().guard([&] { LightTimerAccess::tick(timer); });
    return 0;
}

HWND createHandlerWindow() {
    return framework::createHiddenWindow(L"KeypilotLightTimer", handlerWindowProc);
}

UINT_PTR acquireTimerHandler(LightTimer* timer) {
    auto& handler = timerHandler();
    if (!handler) {
        handler = std::make_unique<TimerHandler>();
        handler->window.reset(createHandlerWindow());
    }
    ++handler->userCount;
    UINT_PTR id = handler->nextId++;
    handler->timers.emplace(id, timer);
    return id;
}

void releaseTimerHandler(UINT_PTR id) {
    auto& handler = timerHandler();
    if (!handler) {
        return;
    }
    handler->timers.erase(id);
    if (handler->userCount > 0) {
        --handler->userCount;
    }
    if (handler->userCount == 0) {
        handler.reset();
    }
}

HWND windowOfHandler() {
    const auto& handler = timerHandler();
    return handler ? handler->window.get() : nullptr;
}

}  // namespace

LightTimer::LightTimer() : LightTimer(1000, nullptr) {}

LightTimer::LightTimer(unsigned interval, TimerEvent onTimer) : interval_(interval) {
    setOnTimer(std::move(onTimer));
    timerId_ = acquireTimerHandler(this);
}

LightTimer::~LightTimer() {
    if (enabled_) {
        deactivate(true);
    }
    releaseTimerHandler(timerId_);
}

void LightTimer::setEnabled(bool enabled) {
    if (enabled) {
        activate();
    } else {
        deactivate(true);
    }
}

void LightTimer::setInterval(unsigned interval) {
    if (interval == interval_) {
        return;
    }
    interval_ = interval;
    if (!enabled_) {
        return;
    }
    if (interval_ != 0) {
        activate();
    } else {
        deactivate(false);
    }
}

void LightTimer::setOnTimer(TimerEvent onTimer) {
    onTimer_ = std::move(onTimer);
    if (!onTimer_ && enabled_) {
        deactivate(false);
    }
}

bool LightTimer::activate() {
    if (interval_ == 0) {
        return false;
    }
    if (enabled_) {
        deactivate(true);
    }
    HWND window = windowOfHandler();
    if (!window || SetTimer(window, timerId_, interval_, nullptr) == 0) {
        return false;
    }
    enabled_ = true;
    ++timerHandler()->runningCount;
    return true;
}

bool LightTimer::deactivate(bool clearEnabled) {
    if (clearEnabled) {
        enabled_ = false;
    }
    HWND window = windowOfHandler();
    if (!window || !KillTimer(window, timerId_)) {
        return false;
    }
    auto& handler = timerHandler();
    if (handler->runningCount > 0) {
        --handler->runningCount;
    }
    return true;
}

HWND LightTimer::handlerWindow() {
    return windowOfHandler();
}

int LightTimer::userCount() {
    const auto& handler = timerHandler();
    return handler ? handler->userCount : 0;
}

int LightTimer::runningCount() {
    const auto& handler = timerHandler();
    return handler ? handler->runningCount : 0;
}

}  // namespace tray
