// The one way a window finds the object it belongs to: the window procedure shared by classes
// whose every window belongs to one object, and the handle such an object keeps.
#pragma once

#include <windows.h>

#include <utility>

#include "framework/application.h"
#include "framework/hidden_window.h"

namespace framework {

template <class Owner>
LRESULT CALLBACK ownedWindowProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The handle of a window whose procedure is ownedWindowProcedure. It destroys the window with
// itself, and lets go of it when the window goes first (its parent destroyed, say), so that it
// never destroys a handle the system may have given to another window since.
class OwnedWindow {
  public:
    OwnedWindow() = default;
    ~OwnedWindow() { destroy(); }
    OwnedWindow(const OwnedWindow&) = delete;
    OwnedWindow& operator=(const OwnedWindow&) = delete;

    HWND get() const { return window_; }
    explicit operator bool() const { return window_ != nullptr; }

    // The window's last messages go past the owner, which may be half destroyed by then: an
    // owner's members are destroyed before this handle when it is declared first.
    void destroy() {
        if (HWND window = std::exchange(window_, nullptr)) {
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            DestroyWindow(window);
        }
    }

  private:
    template <class Owner>
    friend LRESULT CALLBACK ownedWindowProcedure(HWND, UINT, WPARAM, LPARAM);
    HWND window_ = nullptr;
};

// The owner comes as CreateWindowExW's last argument and is kept in the window's user data; its
// OwnedWindow (Owner::ownedWindow()) holds the handle from WM_NCCREATE on, and each message goes
// to Owner::handleMessage under the application's guard, so that no error leaves the procedure.
// Messages before WM_NCCREATE, and after the owner let go of the window or the window's
// WM_NCDESTROY, go to DefWindowProcW.
template <class Owner>
LRESULT CALLBACK ownedWindowProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* created = static_cast<Owner*>(create->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
        created->ownedWindow().window_ = hwnd;
    }
    auto* owner = reinterpret_cast<Owner*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!owner) {
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        owner->ownedWindow().window_ = nullptr;
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    LRESULT result = 0;
    bool handled = false;
    application().guard([&] {
        result = owner->handleMessage(msg, wParam, lParam);
        handled = true;
    });
    return handled ? result : 0;
}

// A message-only window of the class (registered on first use) that belongs to owner; null when
// the system refuses.
template <class Owner>
HWND createOwnedMessageWindow(const wchar_t* className, Owner& owner) {
    if (!registerWindowClass(className, &ownedWindowProcedure<Owner>)) {
        return nullptr;
    }
    return CreateWindowExW(0, className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleW(nullptr), &owner);
}

}  // namespace framework
