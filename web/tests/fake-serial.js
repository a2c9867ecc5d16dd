// A stand-in for navigator.serial, installed into the page before its scripts run
// (page.addInitScript). A headless browser has no Bluetooth serial port to open, and a real one
// could not be made to drop its link on cue; this one records what the page asks and writes
// and can do both.
//
// window.__serial.log: requests (requestPort options), opens (baud rates; ok false when refused),
//   closes, writes (the bytes of each write, as arrays).
// window.__serial.drop({ failOpens }): the link closes under the page while the device stays
//   connected; the next failOpens opens are refused.
// window.__serial.unplug() / plug(): the device goes away (connected false, "disconnect") and
//   comes back (connected true, "connect").
// Options: granted (a port chosen on an earlier visit), forward (each write is also handed to
// the test through window.__forwardWrite, and completes when that does).
export function installFakeSerial({ granted = false, forward = false } = {}) {
  if (!window.isSecureContext) return;
  const SERIAL_PORT_SERVICE = '00001101-0000-1000-8000-00805f9b34fb';
  const log = { requests: [], opens: [], closes: 0, writes: [] };
  let remembered = granted;
  try {
    // The browser remembers a granted port across visits; so does the stand-in.
    remembered ||= sessionStorage.getItem('fake-serial-granted') === 'yes';
  } catch {
    // No storage in this frame.
  }

  const lost = () => new DOMException('The device has been lost.', 'NetworkError');

  class FakeSerialPort extends EventTarget {
    connected = true;
    failOpens = 0;
    #open = false;
    #streams = null;
    readable = null;
    writable = null;

    getInfo() {
      return { bluetoothServiceClassId: SERIAL_PORT_SERVICE };
    }

    async open(options) {
      if (this.#open) throw new DOMException('The port is already open.', 'InvalidStateError');
      const ok = this.connected && this.failOpens === 0;
      log.opens.push({ baudRate: options?.baudRate, ok });
      if (!ok) {
        this.failOpens = Math.max(0, this.failOpens - 1);
        throw new DOMException('Failed to open serial port.', 'NetworkError');
      }
      const streams = {};
      this.readable = new ReadableStream({ start: (c) => (streams.reader = c) });
      this.writable = new WritableStream({
        start: (c) => (streams.writer = c),
        write: (chunk) => {
          if (!(chunk instanceof Uint8Array)) throw new TypeError('a write takes bytes');
          const bytes = Array.from(chunk);
          log.writes.push(bytes);
          return forward ? window.__forwardWrite(bytes) : undefined;
        },
      });
      this.#streams = streams;
      this.#open = true;
    }

    async close() {
      if (!this.#open) throw new DOMException('The port is already closed.', 'InvalidStateError');
      if (this.readable?.locked || this.writable?.locked) {
        throw new TypeError('Cannot close a port while its streams are locked.');
      }
      this.#open = false;
      this.readable = null;
      this.writable = null;
      log.closes += 1;
    }

    async forget() {}

    // Both streams fail as they do for a lost link; the port stays open until closed.
    breakLink() {
      if (!this.#open || !this.readable) return;
      this.#streams.reader.error(lost());
      this.#streams.writer.error(lost());
      this.readable = null;
      this.writable = null;
    }
  }

  const port = new FakeSerialPort();

  class FakeSerial extends EventTarget {
    async getPorts() {
      return remembered ? [port] : [];
    }

    async requestPort(options) {
      log.requests.push(JSON.parse(JSON.stringify(options ?? {})));
      remembered = true;
      try {
        sessionStorage.setItem('fake-serial-granted', 'yes');
      } catch {
        // Remembered for this document only.
      }
      return port;
    }
  }
  const serial = new FakeSerial();

  // The browser fires the event at the port, and it reaches navigator.serial with the port as
  // its target.
  const fire = (type) => {
    port.dispatchEvent(new Event(type));
    const event = new Event(type);
    Object.defineProperty(event, 'target', { value: port });
    serial.dispatchEvent(event);
  };

  Object.defineProperty(Navigator.prototype, 'serial', { get: () => serial, configurable: true });
  window.__serial = {
    log,
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
  };
}

// For a browser without Web Serial (Firefox, Safari, an older Chrome).
export function removeSerial() {
  delete Navigator.prototype.serial;
}
