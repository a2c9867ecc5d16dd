#include "framework/hidden_window.h"

namespace framework {

bool registerWindowClass(const wchar_t* className, WNDPROC procedure, HICON icon,
                         HBRUSH background) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(instance, className, &wc)) {
        return true;
    }
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = className;
    return RegisterClassExW(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND createHiddenWindow(const wchar_t* className, WNDPROC procedure, HWND parent, DWORD exStyle) {
    if (!registerWindowClass(className, procedure)) {
        return nullptr;
    }
    DWORD style = parent == HWND_MESSAGE ? 0 : WS_POPUP;
    return CreateWindowExW(exStyle, className, L"", style, 0, 0, 0, 0, parent, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

}  // namespace framework
