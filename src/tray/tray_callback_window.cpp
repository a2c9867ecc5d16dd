#include "tray/tray_callback_window.h"

#include <memory>
#include <unordered_map>
#include <vector>

#include "framework/application.h"
#include "framework/handle.h"
#include "framework/hidden_window.h"
#include "tray/tray_icon.h"

namespace tray {

struct TrayIconAccess {
    static void callback(TrayIcon& icon, UINT shellMessage) { icon.handleCallback(shellMessage); }
};

namespace {

// The version of the common controls from which the shell announces a recreated taskbar.
constexpr DWORD kTaskbarCreatedVersion = 0x00040047;  // 4.71

DWORD commonControlsVersion() {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(L"comctl32.dll", &ignored);
    if (size == 0) {
        return 0;
    }
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(L"comctl32.dll", 0, size, block.data())) {
        return 0;
    }
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof *info) {
        return 0;
    }
    // The high word is the major version, the low word the minor one.
    return info->dwFileVersionMS;
}

UINT registerTaskbarCreated() {
    if (commonControlsVersion() < kTaskbarCreatedVersion) {
        return 0;
    }
    return RegisterWindowMessageW(L"TaskbarCreated");
}

// Registered while the program starts, before any window exists.
const UINT registeredAtStart = taskbarCreatedMessage();

// The hidden window shared by all tray icons. The shell hands back a 32-bit icon identifier,
// too narrow for a 64-bit pointer, so each icon gets a small number and the table maps it back;
// an identifier whose icon has gone finds nothing.
struct TrayHandler {
    framework::Window window;
    int userCount = 0;
    UINT nextId = 1;
    std::unordered_map<UINT, TrayIcon*> icons;
};

std::unique_ptr<TrayHandler>& trayHandler() {
    static std::unique_ptr<TrayHandler> handler;
    return handler;
}

LRESULT CALLBACK callbackWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_TRAYICON_CALLBACK:
            if (TrayIcon* icon = trayIconById(static_cast<UINT>(wParam))) {
                framework::application().guard(
                    [&] { TrayIconAccess::callback(*icon, static_cast<UINT>(lParam)); });
            }
            return 0;
        case WM_DESTROY:
        case WM_CLOSE:
        case WM_QUERYENDSESSION:
        case WM_QUIT:
        case WM_ENDSESSION:
        case WM_NCDESTROY:
            // The window lives exactly as long as the last tray icon, whatever else happens.
            return 1;
        default:
            return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

HWND createCallbackWindow() {
    // Top-level, so that the shell's "TaskbarCreated" broadcast reaches it.
    return framework::createHiddenWindow(L"KeypilotTrayIconHandler", callbackWindowProc);
}

}  // namespace

UINT taskbarCreatedMessage() {
    static const UINT message = registerTaskbarCreated();
    return message;
}

bool isTaskbarCreated(UINT msg) {
    UINT taskbarCreated = taskbarCreatedMessage();
    return taskbarCreated != 0 && msg == taskbarCreated;
}

UINT acquireTrayHandler(TrayIcon* icon) {
    (void)registeredAtStart;
    auto& handler = trayHandler();
    if (!handler) {
        handler = std::make_unique<TrayHandler>();
        handler->window.reset(createCallbackWindow());
    }
    ++handler->userCount;
    UINT id = handler->nextId++;
    handler->icons.emplace(id, icon);
    return id;
}

void releaseTrayHandler(UINT id) {
    auto& handler = trayHandler();
    if (!handler) {
        return;
    }
    handler->icons.erase(id);
    if (handler->userCount > 0) {
        --handler->userCount;
    }
    if (handler->userCount == 0) {
        handler.reset();
    }
}

TrayIcon* trayIconById(UINT id) {
    const auto& handler = trayHandler();
    if (!handler) {
        return nullptr;
    }
    auto found = handler->icons.find(id);
    return found == handler->icons.end() ? nullptr : found->second;
}

HWND TrayIcon::callbackWindow() {
    const auto& handler = trayHandler();
    return handler ? handler->window.get() : nullptr;
}

}  // namespace tray
