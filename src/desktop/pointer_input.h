// The pointer from the phone's touchpad and the codes: the cursor placed absolutely, clicks, the
// wheel, and the left button held for a drag, all as real input through the system's input queue.
// Every mouse button that Keypilot presses or lets go of goes through sendButton, clickButton or
// LeftButtonHold, here.
//
// Errors: nothing here raises. Each call hands its events to one SendInput, so that no other
// input lands among them, and reports whether the system inserted every one. When it inserts
// fewer (another thread blocks input, or the desktop changes under the call), those after the
// last inserted one are dropped, not tried again: a retry would come later than the input around
// it. The command handler drops the answer: an input that did not go in has no effect. Only the
// held button acts on it (below). A window of a higher integrity level refuses the input without
// either answer telling.
#pragma once

#include <functional>

namespace app {

// Places the cursor dx, dy pixels from where it is, with SetCursorPos: a relative mouse move
// would add the user's pointer acceleration to the phone's own. The system keeps it on the screen.
// False when the cursor could not be read or placed.
bool moveCursorBy(int dx, int dy);

enum class MouseButton { Left, Right };
enum class ButtonHalf { Down, Up };

// One half of a click at the cursor: the button's down or its up.
bool sendButton(MouseButton button, ButtonHalf action);

// A press and release at the cursor, in one call so that no other input comes between them.
bool clickButton(MouseButton button);

// Turns the wheel: dy vertically (positive away from the user), dx horizontally (positive right),
// in wheel units (120 a notch). A zero axis sends nothing.
bool turnWheel(int dx, int dy);

// The left button held by Keypilot for a drag. It only ever releases what it pressed itself, so
// the user's own mouse is never let go of under their hand.
class LeftButtonHold {
  public:
    LeftButtonHold() = default;
    // Lets go of a held button.
    ~LeftButtonHold() { release(); }
    LeftButtonHold(const LeftButtonHold&) = delete;
    LeftButtonHold& operator=(const LeftButtonHold&) = delete;

    // Presses the button unless Keypilot holds it already. It counts as held only when its down
    // went in.
    void press();
    // Releases the button if Keypilot holds it. It counts as let go even when its up did not go
    // in: another up would then come at a time the user cannot foresee.
    void release();
    bool held() const { return held_; }

    // Told true when the button has been pressed and false when it has been let go, so that a
    // mark of it can outlive a Keypilot that is ended hard during a drag. Empty: nobody is told.
    std::function<void(bool held)> onHeldChanged;

  private:
    bool held_ = false;
};

}  // namespace app
