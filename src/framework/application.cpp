#include "framework/application.h"

#include <algorithm>

#include "framework/exception.h"
#include "framework/hidden_window.h"
#include "framework/main_thread_call.h"
#include "framework/resource_strings.h"
#include "framework/scope_exit.h"

namespace framework {
namespace {

// A stable name, so that tools outside the program can find the window.
constexpr wchar_t kClassName[] = L"KeypilotApplication";

}  // namespace

Application& application() {
    static Application app;
    return app;
}

void Application::initialize() {
    if (window_) {
        return;
    }
    initMainThreadCalls();
    HINSTANCE instance = GetModuleHandleW(nullptr);
    // The taskbar button shows the program's own icon.
    registerWindowClass(kClassName, &Application::windowProc,
                        LoadIconW(instance, MAKEINTRESOURCEW(1)));
    // Zero-sized and never activated by itself: it exists for its caption and taskbar button.
    window_ = CreateWindowExW(0, kClassName, title_.c_str(),
                              WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                              GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2,
                              0, 0, nullptr, nullptr, instance, nullptr);
}

void Application::setTitle(const std::wstring& title) {
    title_ = title;
    if (window_) {
        SetWindowTextW(window_, title_.c_str());
    }
}

bool Application::dispatch(MSG& msg) {
    if (msg.message == WM_QUIT) {
        terminated_ = true;
        exitCode_ = static_cast<int>(msg.wParam);
        return false;
    }
    if (dialogWindow_ && IsDialogMessageW(dialogWindow_, &msg)) {
        return true;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
}

int Application::run() {
    if (showMainWindowOnRun_ && mainWindow_) {
        ShowWindow(mainWindow_, SW_SHOW);
    }
    MSG msg;
    while (!terminated_) {
        BOOL r = GetMessageW(&msg, nullptr, 0, 0);
        if (r == -1) {
            break;
        }
        if (r == 0) {
            terminated_ = true;
            exitCode_ = static_cast<int>(msg.wParam);
            break;
        }
        dispatch(msg);
    }
    return exitCode_;
}

void Application::processMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        dispatch(msg);
    }
}

void Application::terminate(int exitCode) {
    PostQuitMessage(exitCode);
}

std::wstring Application::displayText(std::wstring message) {
    if (message.empty()) {
        return message;
    }
    // A closing quote or bracket ends the text without ending the sentence.
    wchar_t last = message.back();
    if (last > L'.' || last == L'\'' || last == L'"') {
        message += L'.';
    }
    return message;
}

void Application::showException(const std::exception& e) {
    // The box's loop goes on serving timers and messages, whose handlers may fail again: one box
    // stands for them all.
    if (exceptionBoxUp_.exchange(true)) {
        return;
    }
    ScopeExit closed([this] { exceptionBoxUp_ = false; });
    MessageBoxW(window_, displayText(messageOf(e)).c_str(), title_.c_str(),
                MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

Application::ExceptionHandler Application::setExceptionHandler(ExceptionHandler handler) {
    std::swap(handler, exceptionHandler_);
    return handler;
}

void Application::handleException(const std::exception& e) {
    if (exceptionHandler_) {
        exceptionHandler_(e);
    } else {
        showException(e);
    }
}

void Application::handleCurrentException() noexcept {
    try {
        try {
            throw;
        } catch (const std::exception& e) {
            handleException(e);
        } catch (...) {
            // Not a standard exception: it carries no text that could be shown.
            handleException(Exception(loadResourceString(IDS_UNKNOWN_ERROR)));
        }
    } catch (...) {
        // Showing the error failed as well (no memory left, say): there is nowhere to report it.
    }
}

int Application::addMessageHook(MessageHook hook) {
    hooks_.emplace_back(nextHookId_, std::move(hook));
    return nextHookId_++;
}

void Application::removeMessageHook(int id) {
    std::erase_if(hooks_, [id](const auto& h) { return h.first == id; });
}

LRESULT CALLBACK Application::windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Application& app = application();
    if (hwnd == app.window_ || app.window_ == nullptr) {
        // A hook may remove itself while it runs: walk a copy.
        auto hooks = app.hooks_;
        for (auto& entry : hooks) {
            // A hook removed by an earlier one during this message is not called any more.
            int id = entry.first;
            auto& hook = entry.second;
            bool live = std::any_of(app.hooks_.begin(), app.hooks_.end(),
                                    [id](const auto& h) { return h.first == id; });
            if (!live) {
                continue;
            }
            LRESULT result = 0;
            bool consumed = false;
            app.guard([&] { consumed = hook(msg, wParam, lParam, result); });
            if (consumed) {
                return result;
            }
        }
    }
    switch (msg) {
        case WM_CLOSE:
            // Closing the application window ends the program, as the user expects from its
            // taskbar button.
            app.terminate(0);
            return 0;
        case WM_ENDSESSION:
            // The session ends: so does the loop, in case the process is not ended for us.
            if (wParam) {
                app.terminate(0);
            }
            return 0;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_RESTORE && app.mainWindow_) {
                ShowWindow(app.mainWindow_, SW_SHOW);
                return 0;
            }
            break;
        default:
            break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace framework
