// A stand-in for navigator.serial, put into the page before its scripts run. A headless browser
// has no Bluetooth serial port, and a real one could not be made to drop its link on cue.
// There are two ports, A and B; A reaches its PC's serial port service, B Keypilot's own service
// (getInfo()); the chooser picks A unless pick('B') was called.
// window.__serial.log holds requests (requestPort options), opens ({ port, baudRate, ok }), closes
// and writes (each write's bytes; ports[name].writes has each port's own); drop({ failOpens })
// closes port A's link under the page while the device stays connected and refuses the next opens;
// unplug() and plug() take A away (connected false, "disconnect") and bring it back ("connect").
// hold(name) keeps that port's next open() under way until release(name), as a Bluetooth port's
// open can take seconds; holding(name) tells whether one is held now. The ports granted are the
// ones chosen on an earlier visit (granted: those, as names); with forward, each write also goes
// to the test through window.__forwardWrite.
// What the PC answers, on either port: keypilot 3 or 4 answers a hello (HInn) with its hello line
// (and 4 with its buttons line after it) and a level (VLnnnn) with a volume line, from
// window.__serial.pc ({ name, volume, muted, language, buttons, seconds }); keypilot 4 answers a
// press (BTnnnn) of a button that asks for a confirmation with a confirm line carrying a new token
// and pc.seconds, a press of a button that pc.failing names ({ id: reason }) with a failed line
// with that reason, and counts presses and confirmations in pc.pressed and pc.confirmed; keypilot 2
// and 'silent' answer nothing. feed(text) hands the page's reader of port A any bytes (a string's
// UTF-8, or an array of bytes), pcVolume(volume, muted) is a change made on the PC, pcButtons(list)
// a new list made there. unread() gives what port A was written since the last unread(), joined as
// a Keypilot's read would find it when the writes came too close together to be told apart.
export function installFakeSerial({ granted = [], forward = false, keypilot = 4 }) {
  if (!window.isSecureContext) return;
  const log = { requests: [], opens: [], closes: 0, writes: [], ports: {} };
  const pc = {
    name: 'DESKTOP-7Q2', language: 'en', volume: 42, muted: false, seconds: 3, pressed: [], confirmed: [], failing: {},
    buttons: [{ id: '0001', name: 'Lock' }, { id: '0002', name: 'Show desktop' }, { id: '0004', name: 'Task manager' },
      { id: '0006', name: 'Sleep', confirm: true }],
  };
  let tokens = 0xa1b2c3;
  let unread = '';
  // The browser remembers the ports granted across visits.
  const remembered = new Set([...granted, ...JSON.parse(sessionStorage.getItem('fake-serial-granted') ?? '[]')]);
  const services = { A: '00001101-0000-1000-8000-00805f9b34fb', B: 'c82e084b-74a8-46d0-b560-61536123c42b' };
  const lost = () => new DOMException('The device has been lost.', 'NetworkError');

  class FakeSerialPort extends EventTarget {
    connected = true;
    failOpens = 0;
    held = null; // { until: Promise, release() } while an open is held back
    holdNext = false;
    #name;
    #open = false;
    #opening = false;
    #controllers = {};

    constructor(name) {
      super();
      this.#name = name;
      log.ports[name] = { open: false, writes: [] };
    }

    get name() {
      return this.#name;
    }

    getInfo() {
      return { bluetoothServiceClassId: services[this.#name] };
    }

    async open(options) {
      if (this.#open || this.#opening) throw new DOMException('The port is already open.', 'InvalidStateError');
      if (this.holdNext) {
        this.holdNext = false;
        this.#opening = true;
        let release;
        this.held = { until: new Promise((resolve) => (release = resolve)), release };
        await this.held.until;
        this.held = null;
        this.#opening = false;
      }
      const ok = this.connected && this.failOpens === 0;
      log.opens.push({ port: this.#name, baudRate: options?.baudRate, ok });
      if (!ok) {
        this.failOpens = Math.max(0, this.failOpens - 1);
        throw new DOMException('Failed to open serial port.', 'NetworkError');
      }
      const controllers = (this.#controllers = {});
      this.readable = new ReadableStream({ start: (c) => (controllers.reader = c) });
      this.writable = new WritableStream({
        start: (c) => (controllers.writer = c),
        write: (chunk) => {
          log.writes.push(Array.from(chunk));
          log.ports[this.#name].writes.push(Array.from(chunk));
          this.#answer(String.fromCharCode(...chunk));
          return forward ? window.__forwardWrite(Array.from(chunk)) : undefined;
        },
      });
      this.#open = true;
      log.ports[this.#name].open = true;
    }

    async close() {
      if (!this.#open) throw new DOMException('The port is already closed.', 'InvalidStateError');
      if (this.readable?.locked || this.writable?.locked) throw new TypeError('The streams are locked.');
      this.#open = false;
      this.readable = this.writable = null;
      log.closes += 1;
      log.ports[this.#name].open = false;
    }

    feed(bytes) {
      this.#controllers.reader?.enqueue(typeof bytes === 'string' ? new TextEncoder().encode(bytes) : Uint8Array.from(bytes));
    }

    #answer(written) {
      if (this.#name === 'A') unread += written;
      if (keypilot !== 3 && keypilot !== 4) return;
      const volume = () => ({ volume: pc.volume, muted: pc.muted });
      const say = (line) => this.feed(`${JSON.stringify(line)}\n`);
      for (const [frame, level, id, token] of written.matchAll(/HI\d\d|VL(\d{4})|BT(\d{4})|CF(\d{4}[0-9A-F]{6})/g)) {
        if (frame.startsWith('HI')) {
          say({ type: 'hello', version: keypilot, name: pc.name, language: pc.language, ...volume() });
          if (keypilot === 4) say({ type: 'buttons', buttons: pc.buttons });
        } else if (level !== undefined) {
          pc.volume = Number(level);
          say({ type: 'volume', ...volume() });
        } else if (id !== undefined && keypilot === 4) {
          pc.pressed.push(id);
          if (Object.hasOwn(pc.failing, id)) say({ type: 'failed', id, reason: pc.failing[id] });
          else if (pc.buttons.find((b) => b.id === id)?.confirm) {
            tokens += 1;
            say({ type: 'confirm', id, token: tokens.toString(16).toUpperCase(), seconds: pc.seconds });
          }
        } else if (token !== undefined && keypilot === 4) {
          pc.confirmed.push(token);
        }
      }
    }

    // Both streams fail as a lost link makes them fail; the port stays open until closed.
    breakLink() {
      for (const controller of Object.values(this.#controllers)) controller.error(lost());
      this.readable = this.writable = null;
    }
  }

  const ports = { A: new FakeSerialPort('A'), B: new FakeSerialPort('B') };
  const port = ports.A;
  let picked = port;
  class FakeSerial extends EventTarget {
    getPorts = async () => Object.values(ports).filter((p) => remembered.has(p.name));

    async requestPort(options) {
      log.requests.push(JSON.parse(JSON.stringify(options)));
      remembered.add(picked.name);
      sessionStorage.setItem('fake-serial-granted', JSON.stringify([...remembered]));
      return picked;
    }
  }
  const serial = new FakeSerial();

  // The browser fires these at the port, and they reach navigator.serial with the port as target.
  const fire = (type) => {
    port.dispatchEvent(new Event(type));
    const event = new Event(type);
    Object.defineProperty(event, 'target', { value: port });
    serial.dispatchEvent(event);
  };
  Object.defineProperty(Navigator.prototype, 'serial', { get: () => serial, configurable: true });
  window.__serial = {
    log,
    pc,
    feed: (bytes) => port.feed(bytes),
    pcVolume(volume, muted) {
      Object.assign(pc, { volume, muted });
      port.feed(`${JSON.stringify({ type: 'volume', volume, muted })}\n`);
    },
    pcButtons(buttons) {
      pc.buttons = buttons;
      port.feed(`${JSON.stringify({ type: 'buttons', buttons })}\n`);
    },
    unread() {
      const chunk = unread;
      unread = '';
      return chunk;
    },
    drop({ failOpens = 0 } = {}) {
      port.failOpens = failOpens;
      port.breakLink();
    },
    unplug() {
      port.connected = false;
      port.breakLink();
      fire('disconnect');
    },
    plug() {
      port.connected = true;
      fire('connect');
    },
    pick(name) {
      picked = ports[name];
    },
    hold(name) {
      ports[name].holdNext = true;
    },
    holding: (name) => ports[name].held !== null,
    release(name) {
      ports[name].held.release();
    },
  };
}

// A browser without Web Serial: Firefox, Safari, an older Chrome.
export const removeSerial = () => delete Navigator.prototype.serial;
