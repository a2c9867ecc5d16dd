// All the page writes: one write of whole frames at a time, what is made meanwhile in the next.
// Motion is summed, never lost, at most once an animation frame. A sign of life after 2 s of
// silence, sooner while a button is held (Keypilot lets go after 1.5 s). A greeting goes alone and
// holds the rest until settle(): a Keypilot that does not know it drops the chunk that holds it.
import { MAX_OFFSET, PING, move, scroll } from './codes.js';

export const BEAT_MS = 2000;
export const HELD_BEAT_MS = 500;
// A write carries at most this many characters of waiting frames (always at least one frame).
const MOST_PER_WRITE = 2048;

const clamp = (value) => Math.max(-MAX_OFFSET, Math.min(MAX_OFFSET, value));

export class Outbox {
  #connection;
  #encoder = new TextEncoder();
  #queue = [];
  #motion = { move: [0, 0], scroll: [0, 0] };
  #writing = false;
  #greeting = null; // a frame to write on its own, next
  #held = false; // nothing else is written until settle()
  #frameAsked = false;
  #beatMs = BEAT_MS;
  #beatTimer = 0;
  #lastWrite = 0;

  // beat: whether signs of life are sent (the twelve codes of version 1 have none).
  constructor(connection, { beat = true } = {}) {
    this.#connection = connection;
    this.#beatMs = beat ? BEAT_MS : 0;
    connection.addEventListener('change', () => {
      if (this.#connected) {
        this.#lastWrite = -Infinity; // a sign of life at once: Keypilot hears the phone is there
        this.#scheduleBeat(0);
      } else {
        this.clear(); // nothing made while the link was down arrives later
      }
    });
    document.addEventListener('visibilitychange', () => this.#scheduleBeat(0));
  }

  get #connected() {
    return this.#connection.state.status === 'connected';
  }

  // A remote key's press, dropped while the link is down or a frame waits: repeats piled up on a
  // slow link would arrive after the key was let go. Kept while a greeting is unsettled: few, and
  // all made before the first could be written.
  press(frame) {
    if (!this.#connected || (this.#queue.length > 0 && !this.#held)) return false;
    return this.send(frame);
  }

  // A frame that must arrive (a click, a release, a key, a text): kept in order until written.
  send(frame) {
    if (!this.#connected) return false;
    this.#seal();
    this.#queue.push(frame);
    this.#pump(false);
    return true;
  }

  // A state to set (a level): only the newest counts, so one still waiting is replaced.
  sendLatest(frame) {
    const opcode = frame.slice(0, 2);
    const stale = this.#queue.findIndex((waiting) => waiting.startsWith(opcode));
    if (stale >= 0) this.#queue.splice(stale, 1);
    return this.send(frame);
  }

  // Writes `frame` on its own, then holds all else back until settle().
  greet(frame) {
    if (!this.#connected) return false;
    this.#greeting = frame;
    this.#held = true;
    this.#pump(false);
    return true;
  }

  settle() {
    if (!this.#held) return;
    this.#held = false;
    this.#pump(false);
    if (this.#hasMotion()) this.#askFrame();
  }

  moveBy(dx, dy) {
    this.#add(this.#motion.move, dx, dy);
  }

  scrollBy(dx, dy) {
    this.#add(this.#motion.scroll, dx, dy);
  }

  // Signs of life every BEAT_MS, or every HELD_BEAT_MS while a button is held.
  holding(held) {
    if (this.#beatMs === 0) return;
    this.#beatMs = held ? HELD_BEAT_MS : BEAT_MS;
    this.#scheduleBeat(0);
  }

  clear() {
    this.#greeting = null;
    this.#held = false;
    this.#queue.length = 0;
    this.#motion = { move: [0, 0], scroll: [0, 0] };
  }

  #add(sum, dx, dy) {
    if (!this.#connected || (dx === 0 && dy === 0)) return;
    sum[0] += dx;
    sum[1] += dy;
    this.#askFrame();
  }

  #askFrame() {
    if (this.#frameAsked) return;
    this.#frameAsked = true;
    requestAnimationFrame(() => {
      this.#frameAsked = false;
      this.#pump(true);
    });
  }

  // The motion so far, as frames at most MAX_OFFSET each way; the rest waits for a later one.
  #takeMotion() {
    const frames = [];
    for (const [name, encode] of [['move', move], ['scroll', scroll]]) {
      const sum = this.#motion[name];
      if (sum[0] === 0 && sum[1] === 0) continue;
      const [dx, dy] = sum.map(clamp);
      frames.push(encode(dx, dy));
      sum[0] -= dx;
      sum[1] -= dy;
    }
    return frames;
  }

  // A frame made now follows the motion made before it, so that motion is queued first.
  #seal() {
    this.#queue.push(...this.#takeMotion());
  }

  #hasMotion() {
    return Object.values(this.#motion).some(([dx, dy]) => dx !== 0 || dy !== 0);
  }

  async #pump(onFrame) {
    if (this.#writing || !this.#connected) return;
    if (this.#greeting !== null) {
      const greeting = this.#greeting;
      this.#greeting = null;
      await this.#write([greeting]);
      return;
    }
    if (this.#held) return;
    const frames = onFrame ? this.#takeMotion() : [];
    let length = frames.join('').length;
    let taken = 0;
    while (taken < this.#queue.length && (taken === 0 || length + this.#queue[taken].length <= MOST_PER_WRITE)) {
      length += this.#queue[taken].length;
      taken += 1;
    }
    frames.unshift(...this.#queue.splice(0, taken));
    if (frames.length === 0) return;
    await this.#write(frames);
  }

  async #write(frames) {
    this.#writing = true;
    await this.#connection.send(this.#encoder.encode(frames.join('')));
    this.#writing = false;
    this.#lastWrite = performance.now();
    this.#scheduleBeat();
    if (this.#greeting !== null || this.#queue.length > 0) this.#pump(false);
    if (this.#hasMotion()) this.#askFrame();
  }

  #scheduleBeat(delay) {
    clearTimeout(this.#beatTimer);
    if (this.#beatMs === 0 || !this.#connected || document.visibilityState !== 'visible') return;
    const wait = delay ?? this.#beatMs;
    this.#beatTimer = setTimeout(() => {
      const since = performance.now() - this.#lastWrite;
      if (since < this.#beatMs) this.#scheduleBeat(this.#beatMs - since);
      else if (!this.#writing && !this.#held && this.#queue.length === 0) this.send(PING);
      else this.#scheduleBeat();
    }, wait);
  }
}
