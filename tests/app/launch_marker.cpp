// Started by the launch command in tests: leaves "<own path>.ran" holding its command line, and
// "<own path>.dir" holding the folder it was started in.
#include <windows.h>

namespace {

bool leave(const wchar_t* path, const wchar_t* text) {
    HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    WriteFile(f, text, static_cast<DWORD>(lstrlenW(text) * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(f);
    return true;
}

}  // namespace

int wmain() {
    wchar_t path[MAX_PATH + 8];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    wchar_t folder[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, folder);
    // The folder first: a test that has seen the command line may read the folder at once.
    lstrcpyW(path + n, L".dir");
    if (!leave(path, folder)) {
        return 1;
    }
    lstrcpyW(path + n, L".ran");
    return leave(path, GetCommandLineW()) ? 0 : 1;
}
