// Helpers shared by the Windows tests: waiting with a deadline while messages are served, the
// bench's COM port pairs, and a writer for the phone's end of a link.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testing_support {

// Runs the message loop's work (posted and sent messages, hand-overs to the main thread) until
// done() holds or the deadline passes; returns done()'s last answer.
bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);
// Serves messages for the given time (for "nothing happens" checks after a quiet period).
void pumpFor(DWORD ms);

// The bench's port pairs: {program end, phone end}, e.g. {"COM5", "COM6"}.
std::vector<std::pair<std::wstring, std::wstring>> portPairs();
std::wstring environment(const wchar_t* name);

// The phone's end of a link: opened plainly, one WriteFile per send.
class PhoneLink {
  public:
    explicit PhoneLink(const std::wstring& port);
    ~PhoneLink();
    PhoneLink(const PhoneLink&) = delete;
    PhoneLink& operator=(const PhoneLink&) = delete;
    bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool send(std::string_view bytes);

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// A visible window that records the key messages it receives, for checking what reaches the
// foreground window. onKeyDown runs inside the WM_KEYDOWN handler.
class KeyRecorder {
  public:
    struct Key {
        UINT msg;
        WPARAM vk;
        LPARAM lParam;
    };
    KeyRecorder();
    ~KeyRecorder();
    KeyRecorder(const KeyRecorder&) = delete;
    KeyRecorder& operator=(const KeyRecorder&) = delete;
    HWND handle() const { return hwnd_; }
    // Wine may hand the foreground over a little later than asked: ask until it has.
    bool takeForeground() const;

    static inline std::vector<Key> keys;
    static inline std::function<void()> onKeyDown;

  private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
};

// Deletes a registry tree under HKEY_CURRENT_USER (missing is fine).
void deleteUserKey(const wchar_t* path);

}  // namespace testing_support
