// Test helper: types keys into another process's console, as a user at that console would.
//   console_keys <process id> <key>...   key: a virtual-key number, optionally ":<character>"
// Runs as its own process because attaching to a console means leaving one's own.
#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <cstdlib>
#include <cwchar>
#include <thread>
#include <vector>

#include "framework/handle.h"

int wmainImpl(int argc, wchar_t** argv) {
    if (argc < 3) {
        return 2;
    }
    DWORD pid = std::wcstoul(argv[1], nullptr, 10);
    std::vector<INPUT_RECORD> records;
    for (int i = 2; i < argc; ++i) {
        wchar_t* rest = nullptr;
        auto vk = static_cast<WORD>(std::wcstoul(argv[i], &rest, 0));
        wchar_t ch =
            (rest && *rest == L':') ? static_cast<wchar_t>(std::wcstoul(rest + 1, nullptr, 0)) : 0;
        for (BOOL down : {TRUE, FALSE}) {
            INPUT_RECORD r{};
            r.EventType = KEY_EVENT;
            r.Event.KeyEvent.bKeyDown = down;
            r.Event.KeyEvent.wRepeatCount = 1;
            r.Event.KeyEvent.wVirtualKeyCode = vk;
            r.Event.KeyEvent.uChar.UnicodeChar = ch;
            records.push_back(r);
        }
    }
    FreeConsole();
    // The target may still be creating its console.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!AttachConsole(pid)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return 3;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    framework::KernelHandle input(CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
    if (!input) {
        return 4;
    }
    DWORD written = 0;
    if (!WriteConsoleInputW(input.get(), records.data(), static_cast<DWORD>(records.size()),
                            &written) ||
        written != records.size()) {
        return 5;
    }
    return 0;
}

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    int result = argv ? wmainImpl(argc, argv) : 2;
    LocalFree(argv);
    return result;
}
