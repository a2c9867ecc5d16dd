// What the page knows of the Keypilot at the other end: the link's version both speak, from a
// Keypilot that answers (version 3 on), the PC's name and its master volume, and from version 4
// the buttons made on the PC and a press it wants confirmed.
//
// Each new link starts with the page's hello, in a write of its own; nothing else goes until the
// answer comes or ANSWER_WAIT_MS have passed. Then both speak the lower of the two versions. A
// Keypilot that does not answer is older: the version the page's address names is spoken then,
// or SILENT_VERSION. A version 1 Keypilot reads every byte as codes, so a page told it speaks 1
// says no hello at all. An answer that comes late still counts: the PC is plainly there.
import { BUTTON_ID, MAX_LEVEL, NEWEST_VERSION, TOKEN, confirmButton, hello, pressButton, setVolume } from './codes.js';

export const ANSWER_WAIT_MS = 1500;
export const SILENT_VERSION = 2;
// Keypilot takes a confirmation within the seconds it gives from sending its token; the page's
// step ends this much sooner, so that a Confirm at its last moment still arrives in time.
export const CONFIRM_MARGIN_MS = 300;

// A level as the PC reports it: 0..MAX_LEVEL, or null for a PC without a master volume;
// undefined when the field is not one of those (it is then left as it was).
const level = (value) =>
  value === null || (Number.isInteger(value) && value >= 0 && value <= MAX_LEVEL) ? value : undefined;
const flag = (value) => (value === null || typeof value === 'boolean' ? value : undefined);

// The PC's buttons in order, but for one the page could not press or name (no id of four digits,
// no name, an id listed before).
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
  // version: spoken on this link, null while being agreed; keypilot: the version Keypilot
  // answered with, null before an answer; name, volume, muted: null while unknown; buttons: the
  // PC's list ({ id, name, confirm }), null before one; confirmation: { id, name, token, seconds,
  // ms } (ms its time here) while a press waits to be confirmed, else null.
  #state;

  // given: the version the page's address names (?v=N, remembered from an earlier visit), or null.
  constructor(connection, outbox, given) {
    super();
    this.#connection = connection;
    this.#outbox = outbox;
    this.#given = given;
    this.#state = { version: given === null ? NEWEST_VERSION : Math.min(given, NEWEST_VERSION), buttons: null };
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

  // Presses a button of the PC's list; Keypilot answers one that needs confirming with a token.
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
    Object.assign(this.#state, { keypilot: null, name: null, volume: null, muted: null, confirmation: null });
  }

  #onChange() {
    const linked = this.#connection.state.status === 'connected';
    if (linked === this.#linked) return;
    this.#linked = linked;
    clearTimeout(this.#timer);
    this.#forget();
    // A list stays, dimmed, while the link is down; a new link may be to another PC, whose ids
    // name other buttons.
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
    // Only what follows the answer to this link's hello comes from a Keypilot that talks to the page.
    if (this.#state.keypilot === null) return;
    if (message.type === 'volume') {
      this.#take(message);
      this.#changed();
    } else if (message.type === 'buttons' && Array.isArray(message.buttons)) {
      this.#state.buttons = buttonsOf(message.buttons);
      this.#changed();
    } else if (message.type === 'confirm') {
      this.#ask(message);
    }
  }

  // A press that Keypilot wants confirmed, shown by the name the list gives: a button the page
  // cannot name is not offered, as the user could not tell what they would confirm.
  #ask({ id, token, seconds }) {
    const button = this.#state.buttons?.find((b) => b.id === id);
    if (!button || !text(token, TOKEN) || !(Number.isInteger(seconds) && seconds > 0)) return;
    clearTimeout(this.#confirmTimer);
    const ms = seconds * 1000 - CONFIRM_MARGIN_MS;
    this.#state.confirmation = { id, name: button.name, token, seconds, ms };
    this.#confirmTimer = setTimeout(() => this.#endConfirmation(), ms);
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
