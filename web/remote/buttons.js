// Remote buttons act when pressed, the moving ones repeat while held, as a TV remote's do.
// One marked aria-disabled only calls onRefused.

export const FIRST_REPEAT_MS = 400;
export const REPEAT_MS = 120;
// A click this soon after a pointer press is that press's own; any other comes from the keyboard
// or a screen reader and presses the button once.
const POINTER_CLICK_MS = 1000;
const VIBRATION_MS = 12;

// A short buzz that the finger feels as the press.
export function buzz() {
  try {
    navigator.vibrate?.(VIBRATION_MS);
  } catch {
    // No vibration here; the press goes on.
  }
}

export function bindButton(button, { repeats, onPress, onRefused = () => {} }) {
  let pointerId = null;
  let timer = 0;
  let pointerEndedAt = -Infinity;
  const off = () => button.getAttribute('aria-disabled') === 'true';

  const repeat = () => {
    if (off()) return;
    onPress();
    timer = setTimeout(repeat, REPEAT_MS);
  };

  const stop = (event) => {
    if (pointerId === null || (event?.pointerId !== undefined && event.pointerId !== pointerId)) {
      return;
    }
    pointerId = null;
    clearTimeout(timer);
    button.classList.remove('pressed');
    pointerEndedAt = performance.now();
  };

  button.addEventListener('pointerdown', (event) => {
    if (!event.isPrimary || event.button !== 0 || pointerId !== null) return;
    if (off()) {
      onRefused();
      return;
    }
    pointerId = event.pointerId;
    button.classList.add('pressed');
    buzz();
    onPress();
    if (repeats) timer = setTimeout(repeat, FIRST_REPEAT_MS);
  });
  // A touch captures its pointer to its button, so a finger sliding off would repeat on. Chrome
  // captures after pointerdown, so it is let go once announced; that loss ends nothing.
  let releasing = false;
  button.addEventListener('gotpointercapture', (event) => {
    if (event.pointerId !== pointerId) return;
    releasing = true;
    event.target.releasePointerCapture(event.pointerId);
  });
  button.addEventListener('lostpointercapture', (event) => {
    if (releasing) releasing = false;
    else stop(event);
  });
  for (const type of ['pointerup', 'pointerleave', 'pointercancel']) button.addEventListener(type, stop);
  window.addEventListener('blur', () => stop());

  button.addEventListener('click', () => {
    if (pointerId !== null || performance.now() - pointerEndedAt < POINTER_CLICK_MS) return;
    if (off()) onRefused();
    else onPress();
  });
  // Android's long press would otherwise open a menu or select the label.
  button.addEventListener('contextmenu', (event) => event.preventDefault());
}
