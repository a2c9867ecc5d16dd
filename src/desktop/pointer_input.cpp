#include "desktop/pointer_input.h"

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

DWORD buttonFlag(MouseButton button, ButtonHalf action) {
    if (button == MouseButton::Left) {
        return action == ButtonHalf::Down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    }
    return action == ButtonHalf::Down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP;
}

template <std::size_t N>
bool insertAll(std::array<INPUT, N>& inputs, UINT count = N) {
    return count == 0 || SendInput(count, inputs.data(), sizeof(INPUT)) == count;
}

}  // namespace

bool moveCursorBy(int dx, int dy) {
    POINT p;
    return GetCursorPos(&p) && SetCursorPos(p.x + dx, p.y + dy);
}

bool sendButton(MouseButton button, ButtonHalf action) {
    std::array<INPUT, 1> input{mouseInput(buttonFlag(button, action))};
    return insertAll(input);
}

bool clickButton(MouseButton button) {
    std::array<INPUT, 2> inputs{mouseInput(buttonFlag(button, ButtonHalf::Down)),
                                mouseInput(buttonFlag(button, ButtonHalf::Up))};
    return insertAll(inputs);
}

bool turnWheel(int dx, int dy) {
    std::array<INPUT, 2> inputs{};
    UINT count = 0;
    if (dy != 0) {
        inputs[count++] = mouseInput(MOUSEEVENTF_WHEEL, dy);
    }
    if (dx != 0) {
        inputs[count++] = mouseInput(MOUSEEVENTF_HWHEEL, dx);
    }
    return insertAll(inputs, count);
}

void LeftButtonHold::press() {
    if (held_) {
        return;
    }
    held_ = sendButton(MouseButton::Left, ButtonHalf::Down);
    if (held_ && onHeldChanged) {
        onHeldChanged(true);
    }
}

void LeftButtonHold::release() {
    if (!held_) {
        return;
    }
    held_ = false;
    sendButton(MouseButton::Left, ButtonHalf::Up);
    if (onHeldChanged) {
        onHeldChanged(false);
    }
}

}  // namespace app
