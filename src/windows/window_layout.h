// Where the settings window's controls sit, in client pixels at 96 DPI, and their scaling; the
// DPI handling both of the program's windows share.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

namespace app {

// Control identifiers; OK and Cancel use the dialog identifiers so Enter and Esc reach them.
enum ControlId : int {
    kOkButton = IDOK,
    kCancelButton = IDCANCEL,
    kProgramEdit = 1001,
    kBrowseButton,
    kSpeedSlider,
    kPortList,
    kPortGroup,
    kSpeedGroup,
    kProgramGroup,
    kTitleLabel,
    kDescriptionLabel,
    kStatusPicture,
    kSpeedScaleLabel,
    kHelpLabel,
    kPhoneButtonsButton,
};

struct ControlRect {
    int id;
    RECT bounds;  // left, top, right, bottom in client pixels at 96 DPI
};

constexpr SIZE kClientSize96{410, 331};
constexpr int kBannerHeight = 93;
constexpr RECT kLogoRect96{11, 1, 11 + 97, 1 + 90};

// Every control's rectangle at 96 DPI (positions inside group boxes already made absolute).
const ControlRect* controlRects(int& count);
RECT controlRect96(int id);

// The extent of a control's text drawn with the font it has been given: on one line, or wrapped
// at wrapWidth pixels when that is above 0.
SIZE measureText(HWND control, int wrapWidth = 0);

struct Layout {
    std::vector<ControlRect> rects;  // client pixels at the layout's DPI
    SIZE client;
};

// The fixed layout scaled to dpi, widened where a text needs more room than its control has:
// the control grows, its group box with it, and the window grows to the right, each control
// keeping its place beside its neighbours; the description may take more lines of the banner.
// textExtent(id, wrapWidth) gives the text's extent as measureText does. Where every text
// fits, the result is the fixed layout.
Layout fitLayout(UINT dpi, const std::function<SIZE(int id, int wrapWidth)>& textExtent);

int scaleForDpi(int value, UINT dpi);
RECT scaleForDpi(const RECT& r, UINT dpi);

// Centres the window on the work area of the monitor with the cursor, its top inside it: where a
// window the user called up from the tray first opens.
void centreOnCursorMonitor(HWND window);

// The window's DPI now; 96 where the system tells none.
UINT dpiOf(HWND window);

// Answers WM_DPICHANGED: applyDpi lays the window out at the new DPI and sizes it, then the
// window moves to the place Windows suggests, keeping the size its layout gave it.
LRESULT onDpiChanged(HWND window, WPARAM wParam, LPARAM lParam,
                     const std::function<void(UINT dpi)>& applyDpi);

}  // namespace app
