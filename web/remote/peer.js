// What the page knows of the Keypilot at the other end: the link's version both speak, and from a
// Keypilot that answers (version 3 on), the PC's name and its master volume.
//
// Each new link starts with the page's hello, in a write of its own; nothing else goes until the
// answer comes or ANSWER_WAIT_MS have passed. Then both speak the lower of the two versions. A
// Keypilot that does not answer is older: the version the page's address names is spoken then,
// or SILENT_VERSION. A version 1 Keypilot reads every byte as codes, so a page told it speaks 1
// says no hello at all. An answer that comes late still counts: the PC is plainly there.
import { MAX_LEVEL, NEWEST_VERSION, hello, setVolume } from './codes.js';

export const ANSWER_WAIT_MS = 1500;
export const SILENT_VERSION = 2;

// A level as the PC reports it: 0..MAX_LEVEL, or null for a PC without a master volume;
// undefined when the field is not one of those (it is then left as it was).
const level = (value) =>
  value === null || (Number.isInteger(value) && value >= 0 && value <= MAX_LEVEL) ? value : undefined;
const flag = (value) => (value === null || typeof value === 'boolean' ? value : undefined);

export class Peer extends EventTarget {
  #connection;
  #outbox;
  #given;
  #timer = 0;
  #linked = false;
  // version: spoken on this link, null while being agreed; keypilot: the version Keypilot
  // answered with, null before an answer; name, volume, muted: null while unknown.
  #state;

  // given: the version the page's address names (?v=N, remembered from an earlier visit), or null.
  constructor(connection, outbox, given) {
    super();
    this.#connection = connection;
    this.#outbox = outbox;
    this.#given = given;
    this.#state = { version: given === null ? NEWEST_VERSION : Math.min(given, NEWEST_VERSION) };
    this.#forget();
    connection.addEventListener('change', () => this.#onChange());
    connection.addEventListener('message', (event) => this.#onMessage(event.data));
    // A page out of sight sends no signs of life, so Keypilot may have stopped talking to it.
    document.addEventListener('visibilitychange', () => {
      if (document.visibilityState === 'visible' && this.#linked && this.#state.version >= 3) {
        this.#outbox.send(hello(NEWEST_VERSION));
      }
    });
  }

  get state() {
    return this.#state;
  }

  // Sets the PC's master level in per cent; only a Keypilot of version 3 or later knows how.
  setVolume(percent) {
    if (!this.#linked || this.#state.version < 3) return false;
    this.#state.volume = percent;
    return this.#outbox.sendLatest(setVolume(percent));
  }

  #forget() {
    Object.assign(this.#state, { keypilot: null, name: null, volume: null, muted: null });
  }

  #onChange() {
    const linked = this.#connection.state.status === 'connected';
    if (linked === this.#linked) return;
    this.#linked = linked;
    clearTimeout(this.#timer);
    this.#forget();
    if (linked && this.#given === 1) {
      this.#settle(1);
      return;
    }
    if (linked) {
      this.#state.version = null;
      this.#outbox.greet(hello(NEWEST_VERSION));
      this.#timer = setTimeout(() => this.#settle(Math.min(this.#given ?? SILENT_VERSION, NEWEST_VERSION)), ANSWER_WAIT_MS);
    }
    this.#changed();
  }

  #onMessage(message) {
    if (!this.#linked) return;
    if (message.type === 'hello') {
      const { version } = message;
      if (!Number.isInteger(version) || version < 1) return;
      this.#state.keypilot = version;
      this.#state.name = typeof message.name === 'string' && message.name !== '' ? message.name : null;
      this.#take(message);
      this.#settle(Math.min(version, NEWEST_VERSION));
    } else if (message.type === 'volume' && this.#state.keypilot !== null) {
      this.#take(message);
      this.#changed();
    }
  }

  #take({ volume, muted }) {
    if (level(volume) !== undefined) this.#state.volume = volume;
    if (flag(muted) !== undefined) this.#state.muted = muted;
  }

  #settle(version) {
    clearTimeout(this.#timer);
    this.#state.version = version;
    this.#outbox.settle();
    this.#changed();
  }

  #changed() {
    this.dispatchEvent(new Event('change'));
  }
}
