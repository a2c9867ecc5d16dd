// Helpers for tests that run real windows, timers and menus on the test's own thread.
#pragma once

#include <windows.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "framework/handle.h"

namespace traytest {

// Dispatches the thread's messages until cond holds or timeoutMs has passed; returns cond().
inline bool pumpUntil(const std::function<bool()>& cond, DWORD timeoutMs = 5000) {
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (cond()) {
            return true;
        }
        ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            return cond();
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE,
                                  static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 10)),
                                  QS_ALLINPUT);
    }
}

// Dispatches messages for a while: only for showing that something does NOT happen.
inline void pumpFor(DWORD ms) {
    pumpUntil([] { return false; }, ms);
}

// A 16x16 icon of one colour, so a test can tell pictures apart.
inline framework::Icon solidIcon(COLORREF colour) {
    constexpr int size = 16;
    BITMAPV5HEADER header{};
    header.bV5Size = sizeof header;
    header.bV5Width = size;
    header.bV5Height = -size;
    header.bV5Planes = 1;
    header.bV5BitCount = 32;
    header.bV5Compression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    framework::GdiObject colourBitmap{CreateDIBSection(
        screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0)};
    ReleaseDC(nullptr, screen);
    auto* pixels = static_cast<DWORD*>(bits);
    DWORD value =
        0xFF000000u | (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
    for (int i = 0; i < size * size; ++i) {
        pixels[i] = value;
    }
    std::vector<BYTE> maskBits(size * size / 8, 0);
    framework::GdiObject mask{CreateBitmap(size, size, 1, 1, maskBits.data())};
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = static_cast<HBITMAP>(colourBitmap.get());
    info.hbmMask = static_cast<HBITMAP>(mask.get());
    return framework::Icon{CreateIconIndirect(&info)};
}

// The colour of an icon's centre pixel (CLR_INVALID for no icon).
inline COLORREF iconColour(HICON icon) {
    if (!icon) {
        return CLR_INVALID;
    }
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) {
        return CLR_INVALID;
    }
    framework::GdiObject colourBitmap{info.hbmColor};
    framework::GdiObject mask{info.hbmMask};
    BITMAP bm{};
    GetObjectW(info.hbmColor, sizeof bm, &bm);
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = bm.bmWidth;
    header.biHeight = -bm.bmHeight;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    std::vector<DWORD> pixels(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
    HDC screen = GetDC(nullptr);
    int lines = GetDIBits(screen, info.hbmColor, 0, bm.bmHeight, pixels.data(),
                          reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (lines == 0) {
        return CLR_INVALID;
    }
    DWORD p = pixels[static_cast<size_t>(bm.bmHeight / 2) * bm.bmWidth + bm.bmWidth / 2];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

// Closes whatever menu is open once the thread's menu loop runs, then lets go of itself.
inline void endMenuSoon() {
    SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        EndMenu();
    });
}

}  // namespace traytest
