// The pointer from the phone's touchpad: the cursor placed absolutely, clicks, the wheel, and the
// left button held for a drag, all as real input through the system's input queue.
#pragma once

namespace app {

// Places the cursor dx, dy pixels from where it is, with SetCursorPos: a relative mouse move
// would add the user's pointer acceleration to the phone's own. The system keeps it on the screen.
void moveCursorBy(int dx, int dy);

enum class MouseButton { Left, Right };
// A press and release at the cursor, in one call so that no other input comes between them.
void clickButton(MouseButton button);

// Turns the wheel: dy vertically (positive away from the user), dx horizontally (positive right),
// in wheel units (120 a notch). A zero axis sends nothing.
void turnWheel(int dx, int dy);

// The left button held by Keypilot for a drag. It only ever releases what it pressed itself, so
// the user's own mouse is never let go of under their hand.
class LeftButtonHold {
  public:
    LeftButtonHold() = default;
    // Lets go of a held button.
    ~LeftButtonHold() { release(); }
    LeftButtonHold(const LeftButtonHold&) = delete;
    LeftButtonHold& operator=(const LeftButtonHold&) = delete;

    // Presses the button unless Keypilot holds it already.
    void press();
    // Releases the button if Keypilot holds it.
    void release();
    bool held() const { return held_; }

  private:
    bool held_ = false;
};

}  // namespace app
