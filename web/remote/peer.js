// What the page knows of Keypilot: the version both speak; from 3 the PC's name and volume; from 4
// its buttons, a press to confirm, one that did nothing. A link starts with the hello alone, then
// waits ANSWER_WAIT_MS at most; both speak the lower version. A silent Keypilot is older: the
// address's version or SILENT_VERSION; told 1 (every byte a code), no hello. A late answer counts.
import { BUTTON_ID, MAX_LEVEL, NEWEST_VERSION, TOKEN, confirmButton, hello, pressButton, setVolume } from './codes.js';

export const ANSWER_WAIT_MS = 1500;
export const SILENT_VERSION = 2;
// The step ends this much before Keypilot's seconds, so a last-moment Confirm counts.
export const CONFIRM_MARGIN_MS = 300;

// A level as the PC reports it: 0..MAX_LEVEL, or null for a PC without a master volume;
// undefined for anything else (left as it was).
const level = (value) =>
  value === null || (Number.isInteger(value) && value >= 0 && value <= MAX_LEVEL) ? value : undefined;
const flag = (value) => (value === null || typeof value === 'boolean' ? value : undefined);

// The PC's buttons in order, less any the page could not press or name (an id not of four digits
// or listed before, no name).
const text = (value, pattern) => typeof value === 'string' && pattern.test(value);
const buttonsOf = (list) =>
  list.filter((b, at) => text(b?.id, BUTTON_ID) && text(b.name, /./) && list.findIndex((c) => c?.id === b.id) === at);

export class Peer extends EventTarget {
  #connection;
  #outbox;
  #given;
  #timer = 0;
  #linked = false;
  #confirmTimer = 0;
  // version: spoken on this link (null until agreed); keypilot: the version it answered with;
  // name, volume, muted; buttons: the PC's list ({ id, name, confirm }); confirmation: { id, name,
  // token, seconds } while a press waits for it; failure: the last { id, reason } of a press that
  // did nothing. Each is null while unknown.
  #state;

  // given: the version the address names (?v=N, remembered from an earlier visit), or null.
  constructor(connection, outbox, given) {
    super();
    this.#connection = connection;
    this.#outbox = outbox;
    this.#given = given;
    this.#state = { version: given === null ? NEWEST_VERSION : Math.min(given, NEWEST_VERSION), buttons: null };
    this.#forget();
    connection.addEventListener('change', () => this.#onChange());
    connection.addEventListener('message', (event) => this.#onMessage(event.data));
    // A page out of sight sends no signs of life: Keypilot may have stopped talking to it.
    document.addEventListener('visibilitychange', () => {
      if (document.visibilityState === 'visible' && this.#linked && this.#state.version >= 3) {
        this.#outbox.send(hello(NEWEST_VERSION));
      }
    });
  }

  get state() {
    return this.#state;
  }

  // Sets the PC's master level in per cent; only a Keypilot of version 3 or later can.
  setVolume(percent) {
    if (!this.#linked || this.#state.version < 3) return false;
    this.#state.volume = percent;
    return this.#outbox.sendLatest(setVolume(percent));
  }

  // Presses a button of the PC's list; one that needs confirming is answered with a token.
  pressButton(id) {
    if (!this.#linked || this.#state.version < 4) return false;
    return this.#outbox.send(pressButton(id));
  }

  // Sends the confirmation that waits, once, while its time lasts.
  confirm() {
    const waiting = this.#state.confirmation;
    if (waiting === null) return false;
    this.#endConfirmation();
    return this.#linked && this.#outbox.send(confirmButton(waiting.id, waiting.token));
  }

  cancelConfirmation() {
    if (this.#state.confirmation !== null) this.#endConfirmation();
  }

  #endConfirmation() {
    clearTimeout(this.#confirmTimer);
    this.#state.confirmation = null;
    this.#changed();
  }

  #forget() {
    clearTimeout(this.#confirmTimer);
    Object.assign(this.#state, { keypilot: null, name: null, volume: null, muted: null, confirmation: null, failure: null });
  }

  #onChange() {
    const linked = this.#connection.state.status === 'connected';
    if (linked === this.#linked) return;
    this.#linked = linked;
    clearTimeout(this.#timer);
    this.#forget();
    // A list stays, dimmed, while the link is down; a new link may be to another PC's ids.
    if (linked) this.#state.buttons = null;
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
      return;
    }
    // Only what follows the answer to this link's hello comes from a Keypilot talking to the page.
    if (this.#state.keypilot === null) return;
    if (message.type === 'volume') {
      this.#take(message);
      this.#changed();
    } else if (message.type === 'buttons' && Array.isArray(message.buttons)) {
      this.#state.buttons = buttonsOf(message.buttons);
      this.#changed();
    } else if (message.type === 'confirm') {
      this.#ask(message);
    } else if (message.type === 'failed') {
      this.#state.failure = message;
      this.#changed();
    }
  }

  // A press to confirm, asked by the listed name: unnamed, the user could not tell what it is.
  #ask({ id, token, seconds }) {
    const button = this.#state.buttons?.find((b) => b.id === id);
    if (!button || !text(token, TOKEN) || !(Number.isInteger(seconds) && seconds > 0)) return;
    clearTimeout(this.#confirmTimer);
    this.#state.confirmation = { id, name: button.name, token, seconds };
    this.#confirmTimer = setTimeout(() => this.#endConfirmation(), seconds * 1000 - CONFIRM_MARGIN_MS);
    this.#changed();
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
