#include "helper_windows.h"

#include "framework/hidden_window.h"
#include "wine_test_support.h"

namespace testing_support {

POINT cursor() {
    POINT p{};
    GetCursorPos(&p);
    return p;
}

LRESULT CALLBACK KeyRecorder::procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_KEYDOWN || msg == WM_KEYUP) {
        keys.push_back({msg, wParam, lParam});
        if (msg == WM_KEYDOWN && onKeyDown) {
            onKeyDown();
        }
        return 0;
    }
    switch (msg) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
            mouse.push_back({msg, 0, 0});
            break;
        case WM_MOUSEWHEEL:
        case WM_MOUSEHWHEEL:
            mouse.push_back(
                {msg, static_cast<WPARAM>(static_cast<INT_PTR>(GET_WHEEL_DELTA_WPARAM(wParam))),
                 0});
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

KeyRecorder::KeyRecorder() {
    keys.clear();
    mouse.clear();
    onKeyDown = nullptr;
    constexpr wchar_t kClassName[] = L"KeypilotTestKeyRecorder";
    framework::registerWindowClass(kClassName, procedure);
    hwnd_ = CreateWindowExW(0, kClassName, L"recorder", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 500, 300,
                            240, 180, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
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

void KeyRecorder::pointAt() const {
    RECT r{};
    GetWindowRect(hwnd_, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

bool KeyRecorder::pressFrom(PortEnd& phone, std::string_view code) {
    const std::size_t before = keys.size();
    return phone.send(code) && waitForKeys(before + 2);
}

bool KeyRecorder::waitForKeys(std::size_t count) {
    return pumpUntil([count] { return keys.size() >= count; });
}

std::vector<KeyRecorder::Key> KeyRecorder::presses(std::initializer_list<WPARAM> vks) {
    std::vector<Key> expected;
    for (WPARAM vk : vks) {
        expected.push_back({WM_KEYDOWN, vk, 0});
        expected.push_back({WM_KEYUP, vk, 0});
    }
    return expected;
}

HangingWindow::HangingWindow()
    : release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    thread_ = std::thread([this] { run(); });
    WaitForSingleObject(ready_.get(), 10000);
}

HangingWindow::~HangingWindow() {
    release();
    if (hwnd_) {
        PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    }
    thread_.join();
}

bool HangingWindow::takeForeground() const {
    return pumpUntil([&] {
        SetForegroundWindow(hwnd_);
        return GetForegroundWindow() == hwnd_;
    });
}

std::vector<std::pair<UINT, WPARAM>> HangingWindow::keys() {
    std::lock_guard guard(lock_);
    return keys_;
}

LRESULT CALLBACK HangingWindow::procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<HangingWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && (msg == WM_KEYDOWN || msg == WM_KEYUP)) {
        {
            std::lock_guard guard(self->lock_);
            self->keys_.emplace_back(msg, wParam);
        }
        if (msg == WM_KEYDOWN) {
            WaitForSingleObject(self->release_.get(), 30000);
        }
        return 0;
    }
    if (msg == WM_CLOSE) {
        DestroyWindow(hwnd);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void HangingWindow::run() {
    constexpr wchar_t kClassName[] = L"KeypilotTestHangingWindow";
    framework::registerWindowClass(kClassName, procedure);
    hwnd_ = CreateWindowExW(0, kClassName, L"hanging", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 520, 320,
                            200, 150, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetEvent(ready_.get());
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

EditWindow::EditWindow() {
    constexpr wchar_t kClassName[] = L"KeypilotTestEditHost";
    framework::registerWindowClass(kClassName, DefWindowProcW);
    top_ = CreateWindowExW(0, kClassName, L"editor", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 480, 300,
                           260, 160, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    edit_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 10, 10, 200, 80,
                            top_, nullptr, GetModuleHandleW(nullptr), nullptr);
    original_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        edit_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&EditWindow::editProcedure)));
    keys.clear();
}

bool EditWindow::takeFocus() const {
    return pumpUntil([&] {
        SetForegroundWindow(top_);
        SetFocus(edit_);
        return GetForegroundWindow() == top_ && GetFocus() == edit_;
    });
}

LRESULT CALLBACK EditWindow::editProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_KEYDOWN || msg == WM_KEYUP) {
        keys.emplace_back(msg, wParam);
    }
    return CallWindowProcW(original_, hwnd, msg, wParam, lParam);
}

}  // namespace testing_support
