#include "app/dialog_window.h"

#include "app/resources/resource.h"
#include "app/settings_window.h"
#include "app/window_layout.h"
#include "framework/exception.h"
#include "framework/hidden_window.h"

namespace app {

HWND createDialogWindow(const wchar_t* className, WNDPROC procedure, const std::wstring& caption,
                        DWORD style, DWORD exStyle, HWND owner, void* param) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    framework::registerWindowClass(className, procedure,
                                   LoadIconW(instance, MAKEINTRESOURCEW(IDI_KEYPILOT)),
                                   reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    HWND hwnd = CreateWindowExW(exStyle, className, caption.c_str(), style, CW_USEDEFAULT,
                                CW_USEDEFAULT, 10, 10, owner, nullptr, instance, param);
    if (!hwnd) {
        framework::raiseLastOSError();
    }
    return hwnd;
}

HWND makeControl(HWND parent, const wchar_t* className, const std::wstring& text, DWORD style,
                 int id, DWORD exStyle) {
    return CreateWindowExW(exStyle, className, text.c_str(), WS_CHILD | style, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
}

framework::GdiObject setMessageFont(HWND window, UINT dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
    framework::GdiObject font{CreateFontIndirectW(&metrics.lfMessageFont)};
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    }
    return font;
}

void setClientSize(HWND window, int width, int height, UINT dpi) {
    RECT frame{0, 0, width, height};
    AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)), FALSE,
                             static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)), dpi);
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(window, nullptr, TRUE);
}

std::wstring windowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::optional<LRESULT> answerDialogMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam,
                                           const std::function<void(UINT dpi)>& applyDpi) {
    switch (msg) {
        case DM_GETDEFID:
            return MAKELRESULT(IDOK, DC_HASDEFID);
        case WM_ACTIVATE: {
            const bool active = LOWORD(wParam) != WA_INACTIVE;
            takeDialogKeys(window, active);
            const LRESULT result = DefWindowProcW(window, msg, wParam, lParam);
            // The system gives the focus to the window itself, where no key does anything.
            if (active && GetFocus() == window) {
                SetFocus(GetNextDlgTabItem(window, nullptr, FALSE));
            }
            return result;
        }
        case WM_DPICHANGED:
            return onDpiChanged(window, wParam, lParam, applyDpi);
        default:
            return std::nullopt;
    }
}

}  // namespace app
