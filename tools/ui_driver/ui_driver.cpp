// Drives a running Keypilot from outside, the way the shell and the user would: for the
// screenshot script and for trying things by hand.
//   ui_driver dblclick [id]    double click on the tray icon (opens the settings window)
//   ui_driver rightclick [id]  right button on the tray icon (opens the tray menu)
//   ui_driver rect             prints the settings window's rectangle, with its dropped-down
//                              port list when that is open: left top width height
//   ui_driver droplist         drops the settings window's port list down
//   ui_driver cursor x y       puts the mouse cursor there
//   ui_driver cancel           closes the port list and presses Cancel in the settings window
//   ui_driver close            ends Keypilot the way its exit item does
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

constexpr UINT kTrayCallback = WM_USER + 1024;

int usage() {
    std::fwprintf(stderr,
                  L"usage: ui_driver dblclick|rightclick [id] | rect | droplist | cancel | close | "
                  L"cursor x y\n");
    return 2;
}

HWND find(const wchar_t* cls) {
    for (int i = 0; i < 100; ++i) {
        if (HWND w = FindWindowW(cls, nullptr)) {
            return w;
        }
        Sleep(100);
    }
    return nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return usage();
    }
    const wchar_t* command = argv[1];
    if (!std::wcscmp(command, L"dblclick") || !std::wcscmp(command, L"rightclick")) {
        HWND tray = find(L"KeypilotTrayIconHandler");
        if (!tray) {
            std::fwprintf(stderr, L"ui_driver: no Keypilot tray icon\n");
            return 1;
        }
        WPARAM id = argc > 2 ? static_cast<WPARAM>(_wtoi(argv[2])) : 1;
        bool dbl = !std::wcscmp(command, L"dblclick");
        if (dbl) {
            PostMessageW(tray, kTrayCallback, id, WM_LBUTTONDOWN);
            PostMessageW(tray, kTrayCallback, id, WM_LBUTTONUP);
            PostMessageW(tray, kTrayCallback, id, WM_LBUTTONDBLCLK);
            PostMessageW(tray, kTrayCallback, id, WM_LBUTTONUP);
        } else {
            PostMessageW(tray, kTrayCallback, id, WM_RBUTTONDOWN);
            PostMessageW(tray, kTrayCallback, id, WM_RBUTTONUP);
        }
        return 0;
    }
    if (!std::wcscmp(command, L"rect")) {
        HWND main = find(L"KeypilotMainWindow");
        RECT r{};
        if (!main || !GetWindowRect(main, &r)) {
            return 1;
        }
        // A dropped-down list is a window of its own, above the desktop.
        DWORD keypilot = 0;
        GetWindowThreadProcessId(main, &keypilot);
        for (HWND list = FindWindowExW(nullptr, nullptr, L"ComboLBox", nullptr); list;
             list = FindWindowExW(nullptr, list, L"ComboLBox", nullptr)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(list, &owner);
            RECT dropped{};
            if (owner == keypilot && IsWindowVisible(list) && GetWindowRect(list, &dropped)) {
                UnionRect(&r, &r, &dropped);
            }
        }
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }
    if (!std::wcscmp(command, L"droplist")) {
        HWND main = find(L"KeypilotMainWindow");
        HWND ports = main ? FindWindowExW(main, nullptr, L"ComboBox", nullptr) : nullptr;
        return ports && SendMessageW(ports, CB_SHOWDROPDOWN, TRUE, 0) ? 0 : 1;
    }
    if (!std::wcscmp(command, L"cancel")) {
        HWND main = find(L"KeypilotMainWindow");
        if (HWND ports = main ? FindWindowExW(main, nullptr, L"ComboBox", nullptr) : nullptr) {
            SendMessageW(ports, CB_SHOWDROPDOWN, FALSE, 0);
        }
        return main && PostMessageW(main, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0) ? 0 : 1;
    }
    if (!std::wcscmp(command, L"close")) {
        HWND main = find(L"KeypilotMainWindow");
        return main && PostMessageW(main, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    if (!std::wcscmp(command, L"cursor") && argc == 4) {
        return SetCursorPos(_wtoi(argv[2]), _wtoi(argv[3])) ? 0 : 1;
    }
    return usage();
}
