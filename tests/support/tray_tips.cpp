#include "tray_tips.h"

#include <windows.h>

#include <commctrl.h>

#include "framework/handle.h"

namespace testing_support {
namespace {

constexpr SIZE_T kTextChars = 1024;

bool isClass(HWND window, const wchar_t* name) {
    wchar_t cls[64] = {};
    GetClassNameW(window, cls, 64);
    return lstrcmpiW(cls, name) == 0;
}

// The texts of a tooltip control's tools that belong to the taskbar. The control lives in the
// shell's process, so the tool records and their texts are placed and read in its memory.
void collectTips(HWND tooltip, std::vector<std::wstring>& tips) {
    DWORD pid = 0;
    GetWindowThreadProcessId(tooltip, &pid);
    framework::KernelHandle shell{OpenProcess(
        PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
        FALSE, pid)};
    if (!shell) {
        return;
    }
    const SIZE_T bytes = sizeof(TTTOOLINFOW) + kTextChars * sizeof(wchar_t);
    auto* remote = static_cast<char*>(
        VirtualAllocEx(shell.get(), nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!remote) {
        return;
    }
    auto* remoteText = reinterpret_cast<wchar_t*>(remote + sizeof(TTTOOLINFOW));
    const auto count = static_cast<int>(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.lpszText = remoteText;
        const wchar_t none = L'\0';
        WriteProcessMemory(shell.get(), remote, &tool, sizeof tool, nullptr);
        WriteProcessMemory(shell.get(), remoteText, &none, sizeof none, nullptr);
        if (!SendMessageW(tooltip, TTM_ENUMTOOLSW, static_cast<WPARAM>(i),
                          reinterpret_cast<LPARAM>(remote))) {
            continue;
        }
        std::wstring text(kTextChars, L'\0');
        if (!ReadProcessMemory(shell.get(), remote, &tool, sizeof tool, nullptr) ||
            !ReadProcessMemory(shell.get(), remoteText, text.data(),
                               (kTextChars - 1) * sizeof(wchar_t), nullptr)) {
            continue;
        }
        if (isClass(tool.hwnd, L"Shell_TrayWnd")) {
            text.resize(static_cast<size_t>(lstrlenW(text.c_str())));
            tips.push_back(text);
        }
    }
    VirtualFreeEx(shell.get(), remote, 0, MEM_RELEASE);
}

}  // namespace

std::vector<std::wstring> trayTips() {
    std::vector<std::wstring> tips;
    for (HWND w = FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr); w;
         w = FindWindowExW(nullptr, w, TOOLTIPS_CLASSW, nullptr)) {
        collectTips(w, tips);
    }
    return tips;
}

}  // namespace testing_support
