// Runs a program or opens a document or an address through the shell, off the main thread: the
// shell may hand the call to extensions that take their time, and it needs COM initialised on the
// thread that calls it, which the main thread never does. Each call gets a thread of its own that
// initialises COM as a single-threaded apartment (without OLE1 DDE), makes the call and ends;
// nothing waits for it.
#pragma once

#include <functional>
#include <string>

namespace app {

class ShellRunner {
  public:
    // What the thread calls once COM is ready: ShellExecuteExW with "open", unless a test stands
    // in (Wine has no handler for ms-settings:, and an https address may start a browser).
    using Execute = std::function<void(const std::wstring& file, const std::wstring& parameters)>;

    ShellRunner();

    // Taken by each call as it starts, so a test may replace it at any time.
    Execute execute;

    // Starts the call and returns at once. Raises std::system_error when no thread can be
    // started.
    void run(const std::wstring& file, const std::wstring& parameters = {}) const;
};

}  // namespace app
