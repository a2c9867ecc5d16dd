// Hidden windows that exist only to receive messages (timers, shell callbacks, notifications),
// and the registration of their window classes.
#pragma once

#include <windows.h>

namespace framework {

// Registers a window class of the executable on first use; later calls find it registered.
// icon: the class's picture (the taskbar shows it for a window of the class); background: the
// brush that erases its windows (none: the windows paint all of themselves). False when the
// system refuses.
bool registerWindowClass(const wchar_t* className, WNDPROC procedure, HICON icon = nullptr,
                         HBRUSH background = nullptr);

// Registers the class on first use and creates an invisible window of it. With parent
// HWND_MESSAGE the window is message-only; without a parent it is a hidden top-level popup,
// which also receives broadcasts such as "TaskbarCreated". Returns null on failure.
HWND createHiddenWindow(const wchar_t* className, WNDPROC procedure, HWND parent = nullptr,
                        DWORD exStyle = 0);

}  // namespace framework
