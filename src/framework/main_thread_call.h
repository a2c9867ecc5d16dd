// Hands a call from another thread to the main thread and waits until it has run there.
#pragma once

#include <windows.h>

#include <functional>

namespace framework {

// Makes the calling thread the main thread (the Application does this; tests may too).
void initMainThreadCalls();
bool isMainThread();

// Runs call on the main thread and blocks until it has run. An exception raised by the call is
// raised again here. On the main thread itself the call simply runs. The main thread runs
// handed-over calls from its message loop, from processMessages, and while it waits in
// waitServingMainThreadCalls.
void runOnMainThread(const std::function<void()>& call);

// Main thread: runs every call handed over so far; true when at least one ran.
bool runPendingMainThreadCalls();

// Main thread: waits for handle to be signalled, running handed-over calls and messages sent
// from other threads meanwhile. Returns WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED.
DWORD waitServingMainThreadCalls(HANDLE handle, DWORD timeoutMs = INFINITE);

}  // namespace framework
