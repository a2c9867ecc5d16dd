// Started by the launch command in tests: leaves "<own path>.ran" holding its command line.
#include <windows.h>

int wmain() {
    wchar_t path[MAX_PATH + 8];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    lstrcpyW(path + n, L".ran");
    HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        return 1;
    }
    const wchar_t* line = GetCommandLineW();
    DWORD written = 0;
    WriteFile(f, line, static_cast<DWORD>(lstrlenW(line) * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(f);
    return 0;
}
