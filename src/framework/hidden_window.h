// Hidden windows that exist only to receive messages (timers, shell callbacks, notifications).
#pragma once

#include <windows.h>

namespace framework {

// Registers the class on first use and creates an invisible window of it. With parent
// HWND_MESSAGE the window is message-only; without a parent it is a hidden top-level popup,
// which also receives broadcasts such as "TaskbarCreated". Returns null on failure.
HWND createHiddenWindow(const wchar_t* className, WNDPROC procedure, HWND parent = nullptr,
                        DWORD exStyle = 0);

}  // namespace framework
