// Keypilot's start-up time to its message loop, with the catalogues embedded against the same
// program without any, under LANG=en_US.UTF-8 (so the embedded one translates its interface).
// Each start is timed from CreateProcess until the program's main window answers a message,
// then the program is closed as its exit item does. The two alternate; prints the median
// of each and their ratio.
//   i18n_startup_bench <with catalogues.exe> <without.exe> [rounds]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Search {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK findMainWindow(HWND w, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    wchar_t cls[64] = {};
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == search->pid && GetClassNameW(w, cls, 64) &&
        !std::wcscmp(cls, L"KeypilotMainWindow")) {
        search->found = w;
        return FALSE;
    }
    return TRUE;
}

// Milliseconds to the message loop; below 0 when the program did not get there.
double startOnce(const std::wstring& exe) {
    std::wstring line = L"\"" + exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        std::fwprintf(stderr, L"%ls: cannot start (error %lu)\n", exe.c_str(), GetLastError());
        return -1;
    }
    // The main window exists before the loop starts; a message sent to it returns once the
    // program serves messages.
    Search search{pi.dwProcessId, nullptr};
    bool served = false;
    for (int i = 0; i < 30000 && !search.found; ++i) {
        EnumWindows(findMainWindow, reinterpret_cast<LPARAM>(&search));
        if (!search.found) {
            Sleep(1);
        }
    }
    if (search.found) {
        DWORD_PTR result = 0;
        served = SendMessageTimeoutW(search.found, WM_NULL, 0, 0, SMTO_BLOCK, 30000, &result) != 0;
    }
    QueryPerformanceCounter(&end);
    if (search.found) {
        PostMessageW(search.found, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, 10000);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    if (!served) {
        std::fwprintf(stderr, L"%ls: %ls\n", exe.c_str(),
                      search.found ? L"never served its messages" : L"no main window");
        return -1;
    }
    return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fwprintf(stderr,
                      L"usage: i18n_startup_bench <with catalogues.exe> <without.exe> "
                      L"[rounds]\n");
        return 2;
    }
    int rounds = argc > 3 ? _wtoi(argv[3]) : 15;
    SetEnvironmentVariableW(L"LANG", L"en_US.UTF-8");
    std::vector<double> with, without;
    for (int round = 0; round < rounds; ++round) {
        double a = startOnce(argv[1]);
        double b = startOnce(argv[2]);
        if (a < 0 || b < 0) {
            std::fwprintf(stderr, L"a start did not reach its message loop\n");
            return 1;
        }
        with.push_back(a);
        without.push_back(b);
    }
    std::printf(
        "start-up to the message loop, median of %d alternating starts (LANG=en_US.UTF-8)\n",
        rounds);
    std::printf("embedded catalogues %8.1f ms\nnone                %8.1f ms\nratio %.3f\n",
                median(with), median(without), median(with) / median(without));
    return 0;
}
