// The program a user types into, for app_bench's typing figures: a window of its own process
// whose only child holds the keyboard focus whenever the window is active. It takes the
// foreground when it starts, and ends when its window is closed.
//   type_target [edit|plain]
// edit: a multi-line edit control (the default). plain: a bare window that keeps the characters
// it is given and does nothing else, so that what Wine takes to deliver key input shows apart
// from what the edit control takes to show each character.
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <string>

namespace {

// app_bench finds the window by this class, and what is typed into as its only child.
constexpr wchar_t kClassName[] = L"KeypilotBenchTypeTarget";
constexpr wchar_t kPlainClassName[] = L"KeypilotBenchPlainText";

HWND child = nullptr;
bool plain = false;

// The plain child's text: it answers the text messages as an edit control does.
std::wstring plainText;

LRESULT CALLBACK plainProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CHAR:
            plainText += static_cast<wchar_t>(wParam);
            return 0;
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(plainText.size());
        case WM_GETTEXT: {
            if (wParam == 0) {
                return 0;
            }
            const std::size_t copied = std::min<std::size_t>(plainText.size(), wParam - 1);
            auto* buffer = reinterpret_cast<wchar_t*>(lParam);
            std::wmemcpy(buffer, plainText.data(), copied);
            buffer[copied] = L'\0';
            return static_cast<LRESULT>(copied);
        }
        case WM_SETTEXT:
            plainText = lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"";
            return TRUE;
        default:
            return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

LRESULT CALLBACK procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE:
            // The edit control scrolls, so that it takes text beyond what it shows.
            child = CreateWindowExW(
                0, plain ? kPlainClassName : L"EDIT", L"",
                WS_CHILD | WS_VISIBLE | (plain ? 0 : WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL), 0,
                0, 300, 200, hwnd, nullptr, GetModuleHandleW(nullptr), nullptr);
            return child ? 0 : -1;
        case WM_SIZE:
            MoveWindow(child, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
            return 0;
        case WM_SETFOCUS:
            SetFocus(child);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

bool registerClass(const wchar_t* name, WNDPROC windowProcedure) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = name;
    return RegisterClassW(&windowClass) != 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    plain = argc > 1 && std::wcscmp(argv[1], L"plain") == 0;
    if (!registerClass(kClassName, procedure) || !registerClass(kPlainClassName, plainProcedure)) {
        return 1;
    }
    HWND window =
        CreateWindowExW(0, kClassName, L"Typing target", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 480, 300,
                        320, 240, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!window) {
        return 1;
    }
    SetForegroundWindow(window);
    SetFocus(child);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
