#include "windows/dialog_window.h"

#include <commdlg.h>

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

#include "framework/application.h"
#include "framework/exception.h"
#include "framework/hidden_window.h"
#include "windows/resources/resource.h"
#include "windows/window_layout.h"

namespace app {
namespace {

constexpr const wchar_t* kBrowseFilterName = uiText(L"Приложения (*.exe,*.com,*.bat)");
constexpr std::wstring_view kBrowseFilterPatterns = L"*.exe;*.com;*.bat";

}  // namespace

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

std::optional<std::wstring> askForProgram(HWND owner) {
    std::vector<wchar_t> file(32768, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    // Description and patterns, each ending in NUL, and a NUL after the last pair.
    std::wstring filter = tr(kBrowseFilterName);
    filter += L'\0';
    filter += kBrowseFilterPatterns;
    filter += L'\0';
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.Flags =
        OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&ofn)) {
        return std::nullopt;
    }
    return std::wstring(file.data());
}

void takeDialogKeys(HWND window, bool active) {
    auto& app = framework::application();
    // The window being left hears of it before the one being activated: the settings window
    // gets the keys back unless another window takes them.
    app.setDialogWindow(active ? window : app.mainWindow());
}

void copyToClipboard(HWND owner, const std::wstring& text) {
    if (!OpenClipboard(owner)) {
        return;
    }
    EmptyClipboard();
    struct GlobalMemoryDeleter {
        void operator()(void* memory) const { GlobalFree(memory); }
    };
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    std::unique_ptr<void, GlobalMemoryDeleter> memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (memory) {
        if (void* target = GlobalLock(memory.get())) {
            std::copy_n(text.c_str(), text.size() + 1, static_cast<wchar_t*>(target));
            GlobalUnlock(memory.get());
            // The clipboard owns the memory once it has taken it.
            if (SetClipboardData(CF_UNICODETEXT, memory.get())) {
                (void)memory.release();
            }
        }
    }
    CloseClipboard();
}

}  // namespace app
