#include "framework/hidden_window.h"

namespace framework {

HWND createHiddenWindow(const wchar_t* className, WNDPROC procedure, HWND parent, DWORD exStyle) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (!GetClassInfoExW(instance, className, &wc)) {
        wc = WNDCLASSEXW{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = procedure;
        wc.hInstance = instance;
        wc.lpszClassName = className;
        if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            return nullptr;
        }
    }
    DWORD style = parent == HWND_MESSAGE ? 0 : WS_POPUP;
    return CreateWindowExW(exStyle, className, L"", style, 0, 0, 0, 0, parent, nullptr, instance,
                           nullptr);
}

}  // namespace framework
