#include "framework/main_thread_call.h"

#include <deque>
#include <exception>
#include <mutex>
#include <utility>

#include "framework/handle.h"
#include "framework/hidden_window.h"
#include "framework/scope_exit.h"
#include "framework/spare_event.h"

namespace framework {
namespace {

constexpr UINT kWakeMessage = WM_APP + 0x3A1;

struct Request {
    const std::function<void()>* call;
    std::exception_ptr error;
    HANDLE done;
};

struct MainThreadCalls {
    DWORD mainThreadId = 0;
    std::mutex lock;
    std::deque<Request*> queue;
    // Signalled while the queue holds requests and the main thread waits in
    // waitServingMainThreadCalls, so that the wait notices them. Outside such waits the wake
    // message alone is enough, so the event is left alone: two fewer system calls a hand-over.
    KernelHandle pending{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    bool pendingSignalled = false;
    int waits = 0;
    HWND wakeWindow = nullptr;
    // The event that tells a handing thread that its call has run, kept from one hand-over to
    // the next. Auto-reset: the handing thread's wait takes the signal, so it comes back unset.
    SpareEvent spareDone;
};

// With the lock held.
void signalPending(MainThreadCalls& s) {
    if (s.waits > 0 && !s.pendingSignalled && !s.queue.empty()) {
        SetEvent(s.pending.get());
        s.pendingSignalled = true;
    }
}

MainThreadCalls& state() {
    static MainThreadCalls calls;
    return calls;
}

LRESULT CALLBACK wakeWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kWakeMessage) {
        runPendingMainThreadCalls();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace

void initMainThreadCalls() {
    auto& s = state();
    s.mainThreadId = GetCurrentThreadId();
    if (s.wakeWindow) {
        return;
    }
    s.wakeWindow = createHiddenWindow(L"KeypilotMainThreadCalls", wakeWindowProc, HWND_MESSAGE);
}

bool isMainThread() {
    return GetCurrentThreadId() == state().mainThreadId;
}

void runOnMainThread(const std::function<void()>& call) {
    if (isMainThread()) {
        call();
        return;
    }
    auto& s = state();
    KernelHandle done = s.spareDone.take();
    if (!done) {
        done.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    }
    Request request{&call, nullptr, done.get()};
    {
        std::lock_guard guard(s.lock);
        s.queue.push_back(&request);
        signalPending(s);
    }
    PostMessageW(s.wakeWindow, kWakeMessage, 0, 0);
    WaitForSingleObject(request.done, INFINITE);
    s.spareDone.give(std::move(done));
    if (request.error) {
        std::rethrow_exception(request.error);
    }
}

bool runPendingMainThreadCalls() {
    auto& s = state();
    bool ran = false;
    for (;;) {
        Request* request = nullptr;
        {
            std::lock_guard guard(s.lock);
            if (s.queue.empty()) {
                if (s.pendingSignalled) {
                    ResetEvent(s.pending.get());
                    s.pendingSignalled = false;
                }
                return ran;
            }
            request = s.queue.front();
            s.queue.pop_front();
        }
        try {
            (*request->call)();
        } catch (...) {
            // Whatever the call throws belongs to the thread that handed it over: raised there.
            request->error = std::current_exception();
        }
        ran = true;
        SetEvent(request->done);
    }
}

DWORD waitServingMainThreadCalls(HANDLE handle, DWORD timeoutMs) {
    auto& s = state();
    {
        std::lock_guard guard(s.lock);
        ++s.waits;
        // Calls handed over before this wait began count too.
        signalPending(s);
    }
    ScopeExit leave([&s] {
        std::lock_guard guard(s.lock);
        --s.waits;
    });
    HANDLE handles[2] = {handle, s.pending.get()};
    DWORD start = GetTickCount();
    for (;;) {
        DWORD left = INFINITE;
        if (timeoutMs != INFINITE) {
            DWORD spent = GetTickCount() - start;
            if (spent >= timeoutMs) {
                return WAIT_TIMEOUT;
            }
            left = timeoutMs - spent;
        }
        DWORD r = MsgWaitForMultipleObjects(2, handles, FALSE, left, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0) {
            return WAIT_OBJECT_0;
        }
        if (r == WAIT_OBJECT_0 + 1) {
            runPendingMainThreadCalls();
        } else if (r == WAIT_OBJECT_0 + 2) {
            // Delivers messages sent from other threads without touching posted ones.
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        } else if (r == WAIT_TIMEOUT) {
            return WAIT_TIMEOUT;
        } else {
            return WAIT_FAILED;
        }
    }
}

}  // namespace framework
