// The application object: title, the hidden application window that owns the main window and
// gives the program its taskbar button, the message loop, the process-pending-messages step,
// and the display of errors that leave a window's handler.
#pragma once

#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace framework {

class Application {
  public:
    // Sees each message of the application window first; returning true consumes it (result in
    // the last argument).
    using MessageHook =
        std::function<bool(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)>;

    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Creates the application window (hidden) and makes the calling thread the main thread.
    void initialize();

    const std::wstring& title() const { return title_; }
    void setTitle(const std::wstring& title);
    // The hidden, unowned top-level window captioned with the title.
    HWND handle() const { return window_; }

    // Whether run() shows the main window when the loop starts.
    bool showMainWindowOnRun() const { return showMainWindowOnRun_; }
    void setShowMainWindowOnRun(bool show) { showMainWindowOnRun_ = show; }
    HWND mainWindow() const { return mainWindow_; }
    void setMainWindow(HWND window) { mainWindow_ = window; }
    // A window whose keyboard input gets dialog handling (Tab, Enter, Esc) in the loop.
    void setDialogWindow(HWND window) { dialogWindow_ = window; }

    // Runs the message loop until a quit message is seen. Returns the quit code.
    int run();
    // Fetches and dispatches every waiting message until the queue is empty. A quit message is
    // not dispatched but noted: the loop ends once the current handler has returned.
    void processMessages();
    // Asks the loop to end (posts a quit message).
    void terminate(int exitCode = 0);
    // True once a quit message has been seen.
    bool terminated() const { return terminated_; }

    // Shows an error that left a handler: its text with a full stop added when the last
    // character sorts after the full stop, the title as caption, the error icon. At most one box
    // is up at a time: an error that comes while one is up is dropped.
    void showException(const std::exception& e);
    // Replaceable, so tests can see errors instead of message boxes.
    using ExceptionHandler = std::function<void(const std::exception&)>;
    ExceptionHandler setExceptionHandler(ExceptionHandler handler);
    void handleException(const std::exception& e);
    // Runs fn and hands whatever it throws to handleException: a standard exception as it is,
    // anything else as an Exception with a fixed text. Nothing leaves it, so window procedures
    // and callbacks need no catch of their own.
    template <class F>
    void guard(F&& fn) noexcept {
        try {
            fn();
        } catch (...) {
            // The handler of last resort: every error of a handler ends here.
            handleCurrentException();
        }
    }

    int addMessageHook(MessageHook hook);
    void removeMessageHook(int id);

    // The text shown for an exception message (full stop rule applied).
    static std::wstring displayText(std::wstring message);

  private:
    friend Application& application();
    Application() = default;
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    // Inside a catch block: hands the exception being handled to handleException.
    void handleCurrentException() noexcept;
    bool dispatch(MSG& msg);

    std::wstring title_;
    HWND window_ = nullptr;
    HWND mainWindow_ = nullptr;
    HWND dialogWindow_ = nullptr;
    bool showMainWindowOnRun_ = true;
    bool terminated_ = false;
    int exitCode_ = 0;
    ExceptionHandler exceptionHandler_;
    std::atomic<bool> exceptionBoxUp_{false};
    std::vector<std::pair<int, MessageHook>> hooks_;
    int nextHookId_ = 1;
};

// The program's one application object.
Application& application();

}  // namespace framework
