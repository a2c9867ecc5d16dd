// The touchpad: a finger moves, a tap clicks, two fingers right-click or scroll, a long press then
// a drag holds the left button.
import { LEFT_CLICK, LEFT_DOWN, LEFT_UP, RIGHT_CLICK } from './codes.js';

// A finger moving less than this (CSS pixels) in all is still; a tap is also short.
const SLOP = 10;
const TAP_MS = 300;
const LONG_PRESS_MS = 500;
// Pointer acceleration: up to this speed (CSS pixels a millisecond) the pointer moves the finger's
// movement times the chosen speed; faster, the factor grows to MAX_BOOST.
const EXACT_SPEED = 0.25;
const FULL_SPEED = 1.5;
const MAX_BOOST = 3;
// Wheel units (120 a notch) per CSS pixel of a two-finger drag: a notch per 30 pixels.
const WHEEL_PER_PIXEL = 4;

export const boost = (pixelsPerMs) =>
  pixelsPerMs <= EXACT_SPEED
    ? 1
    : Math.min(MAX_BOOST, 1 + ((MAX_BOOST - 1) * (pixelsPerMs - EXACT_SPEED)) / (FULL_SPEED - EXACT_SPEED));

// surface: the element; outbox: where frames go; speed(): the user's factor; off(): whether the
// link is down (a touch then only calls onRefused).
export function bindTouchpad(surface, { outbox, speed, off, onRefused }) {
  const fingers = new Map(); // pointerId → { x, y, t }
  let gesture = null; // { kind: 'one' | 'two', started, travel, held, twoTap }
  let longPress = 0;
  // The parts of a pixel not sent yet, so that slow movement adds up exactly.
  const rest = { move: [0, 0], scroll: [0, 0] };

  const whole = (name, dx, dy) => {
    const sum = rest[name];
    sum[0] += dx;
    sum[1] += dy;
    const out = sum.map(Math.trunc);
    sum[0] -= out[0];
    sum[1] -= out[1];
    return out;
  };

  const end = () => {
    clearTimeout(longPress);
    if (gesture?.held) {
      outbox.send(LEFT_UP);
      outbox.holding(false);
      surface.classList.remove('holding');
    }
    gesture = null;
    fingers.clear();
    rest.move = [0, 0];
    rest.scroll = [0, 0];
  };

  surface.addEventListener('pointerdown', (event) => {
    if (off()) {
      onRefused();
      return;
    }
    event.preventDefault();
    surface.setPointerCapture?.(event.pointerId);
    fingers.set(event.pointerId, { x: event.clientX, y: event.clientY, t: event.timeStamp });
    if (fingers.size === 1) {
      gesture = { kind: 'one', started: event.timeStamp, travel: 0, held: false, twoTap: false };
      longPress = setTimeout(() => {
        if (gesture?.kind !== 'one' || gesture.travel >= SLOP || off()) return;
        gesture.held = true;
        outbox.send(LEFT_DOWN);
        outbox.holding(true);
        surface.classList.add('holding');
        try {
          navigator.vibrate?.(20);
        } catch {
          // No vibration here; the drag goes on.
        }
      }, LONG_PRESS_MS);
    } else if (fingers.size === 2 && gesture && !gesture.held) {
      clearTimeout(longPress);
      gesture = { kind: 'two', started: event.timeStamp, travel: 0, held: false, twoTap: true };
    }
  });

  surface.addEventListener('pointermove', (event) => {
    const finger = fingers.get(event.pointerId);
    if (!finger || !gesture) return;
    const points = event.getCoalescedEvents?.() ?? [];
    let dx = 0;
    let dy = 0;
    let boosted = [0, 0];
    for (const point of points.length > 0 ? points : [event]) {
      const mx = point.clientX - finger.x;
      const my = point.clientY - finger.y;
      const distance = Math.hypot(mx, my);
      const factor = boost(distance / Math.max(1, point.timeStamp - finger.t));
      boosted = [boosted[0] + mx * factor, boosted[1] + my * factor];
      dx += mx;
      dy += my;
      finger.x = point.clientX;
      finger.y = point.clientY;
      finger.t = point.timeStamp;
    }
    gesture.travel += Math.hypot(dx, dy);
    if (gesture.travel >= SLOP) clearTimeout(longPress);
    if (gesture.kind === 'one' && fingers.size === 1) {
      const k = speed();
      outbox.moveBy(...whole('move', boosted[0] * k, boosted[1] * k));
    } else if (gesture.kind === 'two' && fingers.size === 2) {
      // Each finger gives half: the two move the page as one. Fingers going down show
      // what is above, as on the phone itself: the wheel turns up.
      const share = WHEEL_PER_PIXEL / 2;
      outbox.scrollBy(...whole('scroll', -dx * share, dy * share));
    }
  });

  const lift = (event) => {
    if (!fingers.delete(event.pointerId) || !gesture) return;
    const quick = event.timeStamp - gesture.started < TAP_MS && gesture.travel < SLOP;
    if (gesture.kind === 'one' && fingers.size === 0) {
      if (!gesture.held && quick && event.type === 'pointerup') outbox.send(LEFT_CLICK);
      end(); // a held button is released
    } else if (gesture.kind === 'two') {
      gesture.twoTap &&= quick && event.type === 'pointerup';
      if (fingers.size === 0) {
        if (gesture.twoTap) outbox.send(RIGHT_CLICK);
        end();
      }
    }
  };
  for (const type of ['pointerup', 'pointercancel']) surface.addEventListener(type, lift);
  window.addEventListener('blur', end);
  surface.addEventListener('contextmenu', (event) => event.preventDefault());
  return { end };
}
