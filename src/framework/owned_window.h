// The window procedure shared by classes whose every window belongs to one object.
#pragma once

#include <windows.h>

#include "framework/application.h"
#include "framework/exception.h"
#include "framework/hidden_window.h"

namespace framework {

// The object comes as CreateWindowExW's last argument, is kept in the window's user data and told
// its window (Owner::attachWindow), then handles each message (Owner::handleMessage) under the
// application's guard, so that no error leaves the procedure. Messages before WM_NCCREATE, and
// those after the owner cleared the user data, go to DefWindowProcW.
template <class Owner>
LRESULT CALLBACK ownedWindowProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* created = static_cast<Owner*>(create->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
        created->attachWindow(hwnd);
    }
    auto* owner = reinterpret_cast<Owner*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!owner) {
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

// Registers className on first use and makes a message-only window of it that belongs to owner;
// raises when it cannot.
template <class Owner>
void createOwnedMessageWindow(const wchar_t* className, Owner* owner) {
    registerWindowClass(className, &ownedWindowProcedure<Owner>);
    if (!CreateWindowExW(0, className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         GetModuleHandleW(nullptr), owner)) {
        raiseLastOSError();
    }
}

}  // namespace framework
