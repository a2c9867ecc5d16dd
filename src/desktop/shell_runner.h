// Runs a program or opens a document or an address through the shell, off the main thread: the
// shell may hand the call to extensions that take their time, and it needs COM initialised on the
// thread that calls it, which the main thread never does. The calls are made one after another on
// one thread (CallQueue) that initialises COM as a single-threaded apartment (without OLE1 DDE);
// while one is made, only the newest few wait, so that a phone pressing an address button again
// and again neither starts a thread for each press nor queues them without end. Each call's
// result comes back on the main thread.
#pragma once

#include <windows.h>

#include <concepts>
#include <cstddef>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>

#include "desktop/call_queue.h"

namespace app {

class ShellRunner {
  public:
    // What the queue's thread calls once COM is ready, in place of ShellExecuteExW, when a test
    // stands in (Wine has no handler for ms-settings:, and an https address may start a browser).
    // It gives ERROR_SUCCESS or the shell's error; a stand-in that gives nothing counts as a call
    // that worked. Empty: the shell itself.
    class Execute {
      public:
        Execute() = default;
        template <class F>
        requires(!std::same_as<std::remove_cvref_t<F>, Execute> &&
                 std::invocable<F&, const std::wstring&, const std::wstring&>)
            Execute(F call) {  // NOLINT(google-explicit-constructor): a stand-in is a plain lambda
            using Result = std::invoke_result_t<F&, const std::wstring&, const std::wstring&>;
            if constexpr (std::is_void_v<Result>) {
                call_ = [call = std::move(call)](const std::wstring& file,
                                                 const std::wstring& parameters) mutable {
                    call(file, parameters);
                    return static_cast<DWORD>(ERROR_SUCCESS);
                };
            } else {
                call_ = std::move(call);
            }
        }
        explicit operator bool() const { return static_cast<bool>(call_); }
        DWORD operator()(const std::wstring& file, const std::wstring& parameters) const {
            return call_(file, parameters);
        }

      private:
        std::function<DWORD(const std::wstring&, const std::wstring&)> call_;
    };

    // A call's result: ERROR_SUCCESS, the shell's error, or CallQueue::kNotRun for a call that
    // newer ones pushed out of the queue.
    using Done = CallQueue::Done;

    // The calls that wait while one is made; an older one goes when a newer one comes.
    static constexpr std::size_t kWaitingCalls = 4;

    // Taken by each call as it is queued, so a test may replace it at any time.
    Execute execute;

    // Queues the call and returns at once; done (may be empty) gets its result later. A caller
    // that takes the result tells the user of a failure itself, so the shell shows no message of
    // its own then; without done, the shell does.
    void run(const std::wstring& file, const std::wstring& parameters = {}, Done done = {});

  private:
    CallQueue queue_{kWaitingCalls, true};
};

}  // namespace app
