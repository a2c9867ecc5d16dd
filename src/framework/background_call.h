// A slow call made on a thread of its own, so that the main thread never waits for it: a device
// open that a Bluetooth driver holds for seconds, a read of the port catalogue that asks SetupAPI
// and the Bluetooth stack. When the call is done, its result is kept and a message is posted to a
// window of the main thread, where the result is taken. Let go of before that, the thread drops
// the result (closing what it owns) and ends by itself: nothing ever waits for it.
#pragma once

#include <windows.h>

#include <process.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <utility>

#include "framework/handle.h"

namespace framework {

// Runs work on a thread of its own, started through the C runtime as a plain Windows thread, and
// gives the thread's handle: signalled once the thread has ended; letting it go leaves the thread
// to run alone, with no bookkeeping of a thread library that a thread ending early could race.
// work must not raise. Raises std::system_error when no thread can be started; what work holds is
// then let go of on the calling thread.
template <class Work>
KernelHandle startThread(Work work) {
    auto owned = std::make_unique<Work>(std::move(work));
    const auto entry = [](void* context) -> unsigned {
        const std::unique_ptr<Work> ownWork(static_cast<Work*>(context));
        try {
            (*ownWork)();
        } catch (...) {
            // The thread's boundary, for a work that raised after all: it ends the thread.
        }
        return 0;
    };
    KernelHandle thread(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, entry, owned.get(), 0, nullptr)));
    if (!thread) {
        throw std::system_error(errno, std::generic_category(), "_beginthreadex");
    }
    static_cast<void>(owned.release());  // the thread's now
    return thread;
}

template <class Result>
class BackgroundCall {
  public:
    // Starts call; once it is done, message is posted to window with id as its wParam. A call
    // that raises gives ifRaised: nothing may leave the thread. Raises std::system_error when
    // no thread can be started.
    BackgroundCall(std::function<Result()> call, Result ifRaised, HWND window, UINT message,
                   WPARAM id)
        : BackgroundCall([call = std::move(call)](const std::function<bool()>&) { return call(); },
                         std::move(ifRaised), window, message, id) {}
    // The same for a call of several steps, which asks wanted() between them: false once the
    // owner has let go, so that the call stops before a step that nobody waits for any more.
    BackgroundCall(std::function<Result(const std::function<bool()>& wanted)> call, Result ifRaised,
                   HWND window, UINT message, WPARAM id)
        : shared_(std::make_shared<Shared>()) {
        // Its handle is let go of at once: nothing waits for the thread, which ends by itself.
        startThread([shared = shared_, call = std::move(call), ifRaised = std::move(ifRaised),
                     window, message, id]() mutable {
            std::optional<Result> result;
            try {
                const std::function<bool()> wanted = [&shared] {
                    std::lock_guard guard(shared->lock);
                    return !shared->abandoned;
                };
                result.emplace(call(wanted));
            } catch (...) {
                // The thread's boundary: the call failed, and the owner is told so.
                result.emplace(std::move(ifRaised));
            }
            std::lock_guard guard(shared->lock);
            if (shared->abandoned) {
                return;  // the result goes here, unused
            }
            shared->result = std::move(result);
            // The owner's window lives as long as the owner has not let go.
            PostMessageW(window, message, id, 0);
        });
    }
    // Lets go: a result not taken yet, or still to come, is dropped.
    ~BackgroundCall() {
        std::lock_guard guard(shared_->lock);
        shared_->abandoned = true;
        shared_->result.reset();
    }
    BackgroundCall(const BackgroundCall&) = delete;
    BackgroundCall& operator=(const BackgroundCall&) = delete;

    // The call's result once it is done (the message has been posted); nothing before.
    std::optional<Result> take() {
        std::lock_guard guard(shared_->lock);
        return std::exchange(shared_->result, std::nullopt);
    }

  private:
    // What the thread and the owner share; the last of the two to let go frees it.
    struct Shared {
        std::mutex lock;
        bool abandoned = false;
        std::optional<Result> result;
    };
    std::shared_ptr<Shared> shared_;
};

}  // namespace framework
