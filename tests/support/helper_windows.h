// Windows of the test process that stand for other programs' windows and record the keys they get:
// a plain one, one that hangs inside a key, and one whose focused child is an edit control.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <ostream>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "framework/handle.h"
#include "testbed.h"

namespace testing_support {

// The cursor's position on the screen.
POINT cursor();

// A visible window that records the key messages it receives, for checking what reaches the
// foreground window, and the mouse buttons and wheel turns it gets. onKeyDown runs inside the
// WM_KEYDOWN handler.
class KeyRecorder {
  public:
    struct Key {
        UINT msg;
        WPARAM vk;
        LPARAM lParam;
        bool operator==(const Key&) const = default;
        friend std::ostream& operator<<(std::ostream& out, const Key& key) {
            return out << (key.msg == WM_KEYDOWN ? "down " : "up ") << key.vk << " " << key.lParam;
        }
    };
    KeyRecorder();
    ~KeyRecorder();
    KeyRecorder(const KeyRecorder&) = delete;
    KeyRecorder& operator=(const KeyRecorder&) = delete;
    HWND handle() const { return hwnd_; }
    // Wine may hand the foreground over a little later than asked: ask until it has.
    bool takeForeground() const;
    // Puts the cursor on the middle of the window, where a click reaches it.
    void pointAt() const;
    // Sends a code from the phone and waits until its key down and key up have arrived.
    static bool pressFrom(PortEnd& phone, std::string_view code);
    // Waits until this many keys have arrived.
    static bool waitForKeys(std::size_t count);
    // What a plain press of each key brings: key down, key up, no flags, in order.
    static std::vector<Key> presses(std::initializer_list<WPARAM> vks);

    static inline std::vector<Key> keys;
    // Button downs and ups ({msg, 0, 0}) and wheel turns ({msg, signed delta, 0}), in order.
    static inline std::vector<Key> mouse;
    static inline std::function<void()> onKeyDown;

  private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
};

// A foreground window on a thread of its own that stops answering when it gets a key: its thread
// waits until release() (or at most half a minute), like a program that hangs.
class HangingWindow {
  public:
    HangingWindow();
    ~HangingWindow();
    HangingWindow(const HangingWindow&) = delete;
    HangingWindow& operator=(const HangingWindow&) = delete;
    bool takeForeground() const;
    bool released() const { return WaitForSingleObject(release_.get(), 0) == WAIT_OBJECT_0; }
    void release() { SetEvent(release_.get()); }
    // The key messages it has taken, in order: {msg, vk}.
    std::vector<std::pair<UINT, WPARAM>> keys();

  private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void run();
    framework::KernelHandle release_, ready_;
    HWND hwnd_ = nullptr;
    std::mutex lock_;
    std::vector<std::pair<UINT, WPARAM>> keys_;
    std::thread thread_;
};

// A window with a focused child edit control that records the keys the edit control gets.
class EditWindow {
  public:
    EditWindow();
    ~EditWindow() { DestroyWindow(top_); }
    EditWindow(const EditWindow&) = delete;
    EditWindow& operator=(const EditWindow&) = delete;
    HWND edit() const { return edit_; }
    bool takeFocus() const;

    // {msg, vk} of each key message, in order.
    static inline std::vector<std::pair<UINT, WPARAM>> keys;

  private:
    static LRESULT CALLBACK editProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND top_ = nullptr;
    HWND edit_ = nullptr;
    static inline WNDPROC original_ = nullptr;
};

}  // namespace testing_support
