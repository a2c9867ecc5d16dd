#include "app/window_layout.h"

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

int scaleForDpi(int value, UINT dpi) {
    return MulDiv(value, static_cast<int>(dpi), 96);
}

RECT scaleForDpi(const RECT& r, UINT dpi) {
    return RECT{scaleForDpi(r.left, dpi), scaleForDpi(r.top, dpi), scaleForDpi(r.right, dpi),
                scaleForDpi(r.bottom, dpi)};
}

}  // namespace app
