// Where the settings window's controls sit, in client pixels at 96 DPI, and their scaling.
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

}  // namespace app
