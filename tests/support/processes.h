// Other programs as the tests start and watch them: a started process and its end, jobs that keep
// what a program starts from outliving the test, and the windows a process makes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "framework/handle.h"

namespace testing_support {

struct Process {
    framework::KernelHandle handle;
    DWORD id = 0;
    // Waits for the end while serving messages: the process may send messages to the test's
    // windows (key presses, broadcasts) and wait for an answer. STILL_ACTIVE when it runs on.
    DWORD exitCode(DWORD waitMs) const;
};

struct StartOptions {
    // The executable, started without arguments.
    std::wstring exe;
    // The current folder it starts in (the test's when empty).
    std::wstring folder;
    // A job it runs in, with everything it starts.
    HANDLE job = nullptr;
    // Sees the process's id before its first instruction runs.
    std::function<void(DWORD id)> beforeRun;
};

// An empty Process when it cannot be started.
Process startProcess(const StartOptions& options);

// A job whose processes all end when it is closed.
framework::KernelHandle processJob();
// How many processes have run in the job so far, ended ones included.
DWORD processesStartedIn(HANDLE job);
// The executables of the processes running in the job, by process id.
std::vector<std::pair<DWORD, std::wstring>> programsRunningIn(HANDLE job);

// A top-level window of that process with that class (and caption, when given).
HWND windowOf(DWORD pid, const wchar_t* cls, const wchar_t* caption = nullptr);

// Counts the windows one process makes, as the system reports them to this thread while it
// serves its messages.
class WindowsMadeBy {
  public:
    explicit WindowsMadeBy(DWORD id);
    ~WindowsMadeBy();
    WindowsMadeBy(const WindowsMadeBy&) = delete;
    WindowsMadeBy& operator=(const WindowsMadeBy&) = delete;
    bool watching() const { return hook_ != nullptr; }

    static inline int count = 0;

  private:
    static void CALLBACK made(HWINEVENTHOOK, DWORD, HWND, LONG object, LONG, DWORD, DWORD);
    HWINEVENTHOOK hook_;
};

}  // namespace testing_support
