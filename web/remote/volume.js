// The PC's master volume as a slider: dragged, at most one level an animation frame, the last
// always, not moved under the finger. A report unlike the level just sent may predate it: it shows
// after a short settling time.

// Longer than a level's round trip over a slow Bluetooth link.
export const SETTLE_MS = 500;

export function bindVolume(slider, readout, { set }) {
  let dragging = false;
  let pending = null; // a position not yet sent
  let sent = null; // the level the PC was last given or last reported, as far as the page knows
  let frameAsked = false;
  let settleUntil = 0; // until then, a report of another level than the one sent may be stale
  let lateTimer = 0;

  const flush = () => {
    if (pending === null) return;
    const level = pending;
    pending = null;
    if (level !== sent && set(level)) {
      sent = level;
      settleUntil = performance.now() + SETTLE_MS;
    }
  };
  const show = (level) => {
    readout.textContent = level === null ? '–' : `${level} %`;
  };

  slider.addEventListener('pointerdown', () => {
    dragging = true;
  });
  for (const type of ['pointerup', 'pointercancel']) {
    slider.addEventListener(type, () => {
      dragging = false;
    });
  }
  slider.addEventListener('input', () => {
    pending = Number(slider.value);
    show(pending);
    if (frameAsked) return;
    frameAsked = true;
    requestAnimationFrame(() => {
      frameAsked = false;
      flush();
    });
  });
  // When the finger lets go (or a key moved it): the last position at once, unless the PC is
  // known to be there already.
  slider.addEventListener('change', () => {
    dragging = false;
    pending = Number(slider.value);
    flush();
  });

  // volume: 0..100, or null when the PC has none or it is unknown; on: whether it can be set now.
  const report = ({ volume, on }) => {
    clearTimeout(lateTimer);
    slider.disabled = !on || volume === null;
    if (dragging || pending !== null) {
      sent = null; // the PC moved meanwhile: the finger's last position must go
      return;
    }
    const wait = settleUntil - performance.now();
    if (volume !== sent && wait > 0) {
      lateTimer = setTimeout(() => report({ volume, on }), wait);
      return;
    }
    sent = volume;
    if (volume !== null) slider.value = String(volume);
    show(volume);
  };
  return report;
}
