#include "framework/main_thread_call.h"

#include <deque>
#include <exception>
#include <mutex>

#include "framework/handle.h"
#include "framework/hidden_window.h"

namespace framework {
namespace {

constexpr UINT kWakeMessage = WM_APP + 0x3A1;

struct Request {
    const std::function<void()>* call;
    std::exception_ptr error;
    KernelHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

struct MainThreadCalls {
    DWORD mainThreadId = 0;
    std::mutex lock;
    std::deque<Request*> queue;
    // Signalled while the queue holds requests, so waits on the main thread can notice them.
    KernelHandle pending{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HWND wakeWindow = nullptr;
};

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
    Request request{&call, nullptr};
    {
        std::lock_guard guard(s.lock);
        s.queue.push_back(&request);
        SetEvent(s.pending.get());
    }
    PostMessageW(s.wakeWindow, kWakeMessage, 0, 0);
    WaitForSingleObject(request.done.get(), INFINITE);
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
                ResetEvent(s.pending.get());
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
        SetEvent(request->done.get());
    }
}

DWORD waitServingMainThreadCalls(HANDLE handle, DWORD timeoutMs) {
    auto& s = state();
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
