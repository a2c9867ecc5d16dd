#include "wine_test_support.h"

#include "framework/application.h"
#include "framework/main_thread_call.h"

namespace testing_support {

bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        framework::runPendingMainThreadCalls();
        framework::application().processMessages();
        if (done()) {
            return true;
        }
        if (GetTickCount() - start >= timeoutMs) {
            return done();
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void pumpFor(DWORD ms) {
    pumpUntil([] { return false; }, ms);
}

std::wstring environment(const wchar_t* name) {
    wchar_t buffer[4096];
    DWORD n = GetEnvironmentVariableW(name, buffer, 4096);
    return (n > 0 && n < 4096) ? std::wstring(buffer, n) : std::wstring();
}

std::vector<std::pair<std::wstring, std::wstring>> portPairs() {
    std::vector<std::pair<std::wstring, std::wstring>> pairs;
    std::wstring list = environment(L"KEYPILOT_TEST_PORTS");
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(L',', start);
        if (end == std::wstring::npos) {
            end = list.size();
        }
        std::wstring item = list.substr(start, end - start);
        size_t colon = item.find(L':');
        if (colon != std::wstring::npos) {
            pairs.emplace_back(item.substr(0, colon), item.substr(colon + 1));
        }
        start = end + 1;
    }
    return pairs;
}

PhoneLink::PhoneLink(const std::wstring& port) {
    std::wstring path = L"\\\\.\\" + port;
    handle_ = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                          nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) {
        return;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(handle_, &dcb);
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    SetCommState(handle_, &dcb);
}

PhoneLink::~PhoneLink() {
    if (handle_ != INVALID_HANDLE_VALUE) {
        CloseHandle(handle_);
    }
}

bool PhoneLink::send(std::string_view bytes) {
    DWORD written = 0;
    return WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

LRESULT CALLBACK KeyRecorder::procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_KEYDOWN || msg == WM_KEYUP) {
        keys.push_back({msg, wParam, lParam});
        if (msg == WM_KEYDOWN && onKeyDown) {
            onKeyDown();
        }
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

KeyRecorder::KeyRecorder() {
    keys.clear();
    onKeyDown = nullptr;
    WNDCLASSW wc{};
    wc.lpfnWndProc = procedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KeypilotTestKeyRecorder";
    RegisterClassW(&wc);
    hwnd_ = CreateWindowExW(0, wc.lpszClassName, L"recorder", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 500,
                            300, 240, 180, nullptr, nullptr, wc.hInstance, nullptr);
}

KeyRecorder::~KeyRecorder() {
    onKeyDown = nullptr;
    DestroyWindow(hwnd_);
}

bool KeyRecorder::takeForeground() const {
    return pumpUntil([&] {
        SetForegroundWindow(hwnd_);
        return GetForegroundWindow() == hwnd_;
    });
}

void deleteUserKey(const wchar_t* path) {
    RegDeleteTreeW(HKEY_CURRENT_USER, path);
}

}  // namespace testing_support
