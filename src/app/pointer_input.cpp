#include "app/pointer_input.h"

#include <windows.h>

#include <array>

namespace app {
namespace {

INPUT mouseInput(DWORD flags, int data = 0) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    // Negative wheel turns travel as the two's complement, as the system reads them back.
    input.mi.mouseData = static_cast<DWORD>(data);
    return input;
}

}  // namespace

void moveCursorBy(int dx, int dy) {
    POINT p;
    if (!GetCursorPos(&p)) {
        return;
    }
    SetCursorPos(p.x + dx, p.y + dy);
}

void clickButton(MouseButton button) {
    const bool left = button == MouseButton::Left;
    std::array<INPUT, 2> inputs{mouseInput(left ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_RIGHTDOWN),
                                mouseInput(left ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_RIGHTUP)};
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void turnWheel(int dx, int dy) {
    std::array<INPUT, 2> inputs{};
    UINT count = 0;
    if (dy != 0) {
        inputs[count++] = mouseInput(MOUSEEVENTF_WHEEL, dy);
    }
    if (dx != 0) {
        inputs[count++] = mouseInput(MOUSEEVENTF_HWHEEL, dx);
    }
    if (count > 0) {
        SendInput(count, inputs.data(), sizeof(INPUT));
    }
}

void LeftButtonHold::press() {
    if (held_) {
        return;
    }
    INPUT input = mouseInput(MOUSEEVENTF_LEFTDOWN);
    held_ = SendInput(1, &input, sizeof(INPUT)) == 1;
}

void LeftButtonHold::release() {
    if (!held_) {
        return;
    }
    held_ = false;
    INPUT input = mouseInput(MOUSEEVENTF_LEFTUP);
    SendInput(1, &input, sizeof(INPUT));
}

}  // namespace app
