// A stand-in for navigator.serial, put into the page before its scripts run. A headless browser
// has no Bluetooth serial port, and a real one could not be made to drop its link on cue.
// There are two PCs' ports, A and B; the chooser picks A unless pick('B') was called.
// window.__serial.log holds requests (requestPort options), opens ({ port, baudRate, ok }), closes
// and writes (each write's bytes; ports[name].writes has each port's own); drop({ failOpens })
// closes port A's link under the page while the device stays connected and refuses the next opens;
// unplug() and plug() take A away (connected false, "disconnect") and bring it back ("connect").
// hold(name) keeps that port's next open() under way until release(name), as a Bluetooth port's
// open can take seconds; holding(name) tells whether one is held now. A granted port is A, chosen
// on an earlier visit; with forward, each write also goes to the test through window.__forwardWrite.
// What the PC answers, port A only: keypilot 3 answers a hello (HInn) with its hello line and a
// level (VLnnnn) with a volume line, from window.__serial.pc ({ name, volume, muted, language });
// keypilot 2 and 'silent' answer nothing. feed(text) hands the page's reader any bytes (a string's
// UTF-8, or an array of bytes), pcVolume(volume, muted) is a change made on the PC. unread()
// gives what port A was written since the last unread(), joined as a Keypilot's read would find it
// when the writes came too close together to be told apart.
export function installFakeSerial({ granted = false, forward = false, keypilot = 3 }) {
  if (!window.isSecureContext) return;
  const log = { requests: [], opens: [], closes: 0, writes: [], ports: {} };
  const pc = { name: 'DESKTOP-7Q2', language: 'en', volume: 42, muted: false };
  let unread = '';
  // The browser remembers a granted port across visits.
  let remembered = granted || sessionStorage.getItem('fake-serial-granted') === 'yes';
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
          if (this.#name === 'A') this.#answer(String.fromCharCode(...chunk));
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
      unread += written;
      if (keypilot !== 3) return;
      const volume = () => ({ volume: pc.volume, muted: pc.muted });
      for (const [frame, level] of written.matchAll(/HI\d\d|VL(\d{4})/g)) {
        if (level !== undefined) pc.volume = Number(level);
        const line = frame.startsWith('HI') ? { type: 'hello', version: 3, name: pc.name, language: pc.language, ...volume() }
          : { type: 'volume', ...volume() };
        this.feed(`${JSON.stringify(line)}\n`);
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
    getPorts = async () => (remembered ? [port] : []);

    async requestPort(options) {
      log.requests.push(JSON.parse(JSON.stringify(options)));
      remembered = true;
      sessionStorage.setItem('fake-serial-granted', 'yes');
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
