#include "windows/window_layout.h"

#include <algorithm>
#include <string>

#include "framework/handle.h"

namespace app {
namespace {

constexpr RECT at(int left, int top, int width, int height) {
    return RECT{left, top, left + width, top + height};
}

// Group boxes: port at (13,106), speed at (202,106), program at (13,179); their controls count
// from the box's corner.
constexpr ControlRect kRects[] = {
    {kTitleLabel, at(115, 16, 95, 23)},
    {kDescriptionLabel, at(116, 40, 256, 33)},
    {kStatusPicture, at(370, 8, 32, 32)},
    {kProgramGroup, at(13, 179, 385, 105)},
    {kProgramEdit, at(13 + 16, 179 + 32, 321, 21)},
    {kBrowseButton, at(13 + 347, 179 + 30, 24, 24)},
    {kHelpLabel, at(13 + 16, 179 + 64, 342, 13)},
    {kSpeedGroup, at(202, 106, 196, 65)},
    {kSpeedSlider, at(202 + 9, 106 + 23, 176, 15)},
    {kSpeedScaleLabel, at(202 + 15, 106 + 40, 165, 13)},
    {kCancelButton, at(322, 295, 75, 25)},
    {kOkButton, at(234, 295, 75, 25)},
    {kPortGroup, at(13, 106, 174, 65)},
    {kPortList, at(13 + 16, 106 + 25, 144, 21)},
    {kPhoneButtonsButton, at(13, 295, 120, 25)},
};

}  // namespace

const ControlRect* controlRects(int& count) {
    count = static_cast<int>(sizeof kRects / sizeof kRects[0]);
    return kRects;
}

RECT controlRect96(int id) {
    for (const auto& r : kRects) {
        if (r.id == id) {
            return r.bounds;
        }
    }
    return RECT{};
}

SIZE measureText(HWND control, int wrapWidth) {
    int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), length + 1)));
    auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    framework::WindowDeviceContext dc{control};
    framework::SelectedObject selected{
        dc.get(), font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT)};
    RECT r{0, 0, wrapWidth, 0};
    UINT format = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS;
    format |= wrapWidth > 0 ? DT_WORDBREAK : DT_SINGLELINE;
    DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &r, format);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

Layout fitLayout(UINT dpi, const std::function<SIZE(int id, int wrapWidth)>& textExtent) {
    auto s = [dpi](int v) { return scaleForDpi(v, dpi); };
    Layout out;
    for (const auto& r : kRects) {
        out.rects.push_back({r.id, scaleForDpi(r.bounds, dpi)});
    }
    out.client = SIZE{s(kClientSize96.cx), s(kClientSize96.cy)};
    auto rect = [&](int id) -> RECT& {
        return std::find_if(out.rects.begin(), out.rects.end(),
                            [id](const ControlRect& r) { return r.id == id; })
            ->bounds;
    };
    auto width = [](const RECT& r) { return static_cast<int>(r.right - r.left); };
    auto shift = [](RECT& r, int dx) {
        r.left += dx;
        r.right += dx;
    };
    // Room a text needs: a group box's caption sits inside its frame, a button's text inside
    // its edges.
    auto need = [&](int id, int padding) {
        return static_cast<int>(textExtent(id, 0).cx) + s(padding);
    };
    const int groupPadding = 24;
    const int groupInset = 6;

    int portExtra = std::max(0, need(kPortGroup, groupPadding) - width(rect(kPortGroup)));
    int scaleNeed = need(kSpeedScaleLabel, 2);
    int speedInner = width(rect(kSpeedGroup)) - 2 * s(groupInset);
    int speedExtra = std::max(
        {0, need(kSpeedGroup, groupPadding) - width(rect(kSpeedGroup)), scaleNeed - speedInner});
    int helpNeed = need(kHelpLabel, 2);
    int helpRoom =
        static_cast<int>(rect(kProgramGroup).right - rect(kHelpLabel).left) - s(groupInset);
    int programExtra = std::max(
        {0, need(kProgramGroup, groupPadding) - width(rect(kProgramGroup)), helpNeed - helpRoom});
    // The foot's row: the phone buttons' button at the left, OK and Cancel of one width at the
    // right, each pair the gap apart.
    RECT& cancel = rect(kCancelButton);
    RECT& ok = rect(kOkButton);
    RECT& phoneButtons = rect(kPhoneButtonsButton);
    const int gap = static_cast<int>(cancel.left - ok.right);
    const int buttonWidth = std::max({width(cancel), need(kCancelButton, 16), need(kOkButton, 16)});
    const int phoneButtonsWidth = std::max(width(phoneButtons), need(kPhoneButtonsButton, 16));
    const int footExtra = std::max(
        0, static_cast<int>(phoneButtons.left) + phoneButtonsWidth + 2 * gap + 2 * buttonWidth +
               static_cast<int>(out.client.cx - cancel.right) - static_cast<int>(out.client.cx));
    const int extra = std::max({portExtra + speedExtra, programExtra, footExtra});
    out.client.cx += extra;

    shift(rect(kStatusPicture), extra);
    rect(kPortGroup).right += portExtra;
    RECT& speed = rect(kSpeedGroup);
    speed.left += portExtra;
    speed.right += extra;
    rect(kSpeedSlider).left += portExtra;
    rect(kSpeedSlider).right += extra;
    RECT& scale = rect(kSpeedScaleLabel);
    int scaleWidth = std::max(width(scale), scaleNeed);
    scale.left = speed.left + (width(speed) - scaleWidth) / 2;
    scale.right = scale.left + scaleWidth;
    rect(kProgramGroup).right += extra;
    rect(kProgramEdit).right += extra;
    shift(rect(kBrowseButton), extra);
    RECT& help = rect(kHelpLabel);
    help.right = help.left + std::max(width(help), helpNeed);

    // OK and Cancel keep one width and their gap, at the window's right edge.
    phoneButtons.right = phoneButtons.left + phoneButtonsWidth;
    cancel.right += extra;
    cancel.left = cancel.right - buttonWidth;
    ok.right = cancel.left - gap;
    ok.left = ok.right - buttonWidth;

    // One line of text is never cut at its foot, whatever the rounding of the scaled edges.
    for (int id : {kTitleLabel, kSpeedScaleLabel, kHelpLabel, kOkButton, kCancelButton,
                   kPhoneButtonsButton}) {
        RECT& r = rect(id);
        r.bottom = std::max(r.bottom, r.top + textExtent(id, 0).cy);
    }

    RECT& title = rect(kTitleLabel);
    title.right = title.left + std::max(width(title), need(kTitleLabel, 2));
    // The description wraps: more lines down to the banner's edge, then wider up to the
    // window's margin.
    RECT& description = rect(kDescriptionLabel);
    const int top = static_cast<int>(description.top);
    int lowest = s(kBannerHeight) - s(2);
    int widest = static_cast<int>(out.client.cx - description.left) - s(8);
    int w = width(description);
    int h = static_cast<int>(textExtent(kDescriptionLabel, w).cy);
    while (top + h > lowest && w < widest) {
        w = std::min(widest, w + s(8));
        h = static_cast<int>(textExtent(kDescriptionLabel, w).cy);
    }
    description.right = description.left + w;
    description.bottom = std::max(static_cast<int>(description.bottom), std::min(lowest, top + h));
    return out;
}

int scaleForDpi(int value, UINT dpi) {
    return MulDiv(value, static_cast<int>(dpi), 96);
}

RECT scaleForDpi(const RECT& r, UINT dpi) {
    return RECT{scaleForDpi(r.left, dpi), scaleForDpi(r.top, dpi), scaleForDpi(r.right, dpi),
                scaleForDpi(r.bottom, dpi)};
}

void centreOnCursorMonitor(HWND window) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    POINT cursor{};
    GetCursorPos(&cursor);
    RECT work{};
    if (GetMonitorInfoW(MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY), &info)) {
        work = info.rcWork;
    } else {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    }
    RECT r;
    GetWindowRect(window, &r);
    SetWindowPos(window, nullptr, work.left + (work.right - work.left - (r.right - r.left)) / 2,
                 work.top + std::max(0L, (work.bottom - work.top - (r.bottom - r.top)) / 2), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

UINT dpiOf(HWND window) {
    UINT dpi = GetDpiForWindow(window);
    return dpi ? dpi : 96;
}

LRESULT onDpiChanged(HWND window, WPARAM wParam, LPARAM lParam,
                     const std::function<void(UINT dpi)>& applyDpi) {
    applyDpi(HIWORD(wParam));
    const auto* suggested = reinterpret_cast<const RECT*>(lParam);
    SetWindowPos(window, nullptr, suggested->left, suggested->top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
}

}  // namespace app
