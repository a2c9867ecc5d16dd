#include "tray_tips.h"

#include <windows.h>

#include <commctrl.h>

#include "framework/handle.h"

namespace testing_support {

std::vector<std::wstring> trayTips() {
    std::vector<std::wstring> tips;
    for (HWND tooltip = FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr); tooltip;
         tooltip = FindWindowExW(nullptr, tooltip, TOOLTIPS_CLASSW, nullptr)) {
        // The control lives in another process: its tool records and their texts are placed and
        // read in that process's memory.
        DWORD pid = 0;
        GetWindowThreadProcessId(tooltip, &pid);
        framework::KernelHandle owner{
            OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid)};
        struct Record {
            TTTOOLINFOW tool;
            wchar_t text[1024];
        };
        auto* remote = owner
                           ? static_cast<Record*>(VirtualAllocEx(
                                 owner.get(), nullptr, sizeof(Record), MEM_COMMIT, PAGE_READWRITE))
                           : nullptr;
        if (!remote) {
            continue;
        }
        const auto count = static_cast<int>(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            Record record{};
            record.tool.cbSize = sizeof record.tool;
            record.tool.lpszText = remote->text;
            WriteProcessMemory(owner.get(), remote, &record, sizeof record, nullptr);
            if (SendMessageW(tooltip, TTM_ENUMTOOLSW, static_cast<WPARAM>(i),
                             reinterpret_cast<LPARAM>(remote)) &&
                ReadProcessMemory(owner.get(), remote, &record, sizeof record, nullptr)) {
                wchar_t cls[32] = {};
                GetClassNameW(record.tool.hwnd, cls, 32);
                record.text[1023] = L'\0';
                if (!lstrcmpiW(cls, L"Shell_TrayWnd")) {
                    tips.emplace_back(record.text);
                }
            }
        }
        VirtualFreeEx(owner.get(), remote, 0, MEM_RELEASE);
    }
    return tips;
}

}  // namespace testing_support
