// A stand-in for navigator.serial, put into the page before its scripts run. A headless browser
// has no Bluetooth serial port, and a real one could not be made to drop its link on cue.
// window.__serial.log holds requests (requestPort options), opens ({ baudRate, ok }), closes and
// writes (each write's bytes); drop({ failOpens }) closes the link under the page while the device
// stays connected and refuses the next opens; unplug() and plug() take the device away (connected
// false, "disconnect") and bring it back ("connect"). A granted port is one chosen on an earlier
// visit; with forward, each write also goes to the test through window.__forwardWrite.
export function installFakeSerial({ granted = false, forward = false }) {
  if (!window.isSecureContext) return;
  const log = { requests: [], opens: [], closes: 0, writes: [] };
  // The browser remembers a granted port across visits.
  let remembered = granted || sessionStorage.getItem('fake-serial-granted') === 'yes';
  const lost = () => new DOMException('The device has been lost.', 'NetworkError');

  class FakeSerialPort extends EventTarget {
    connected = true;
    failOpens = 0;
    #open = false;
    #controllers = {};

    async open(options) {
      if (this.#open) throw new DOMException('The port is already open.', 'InvalidStateError');
      const ok = this.connected && this.failOpens === 0;
      log.opens.push({ baudRate: options?.baudRate, ok });
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
          return forward ? window.__forwardWrite(Array.from(chunk)) : undefined;
        },
      });
      this.#open = true;
    }

    async close() {
      if (!this.#open) throw new DOMException('The port is already closed.', 'InvalidStateError');
      if (this.readable?.locked || this.writable?.locked) throw new TypeError('The streams are locked.');
      this.#open = false;
      this.readable = this.writable = null;
      log.closes += 1;
    }

    // Both streams fail as a lost link makes them fail; the port stays open until closed.
    breakLink() {
      for (const controller of Object.values(this.#controllers)) controller.error(lost());
      this.readable = this.writable = null;
    }
  }

  const port = new FakeSerialPort();
  class FakeSerial extends EventTarget {
    getPorts = async () => (remembered ? [port] : []);

    async requestPort(options) {
      log.requests.push(JSON.parse(JSON.stringify(options)));
      remembered = true;
      sessionStorage.setItem('fake-serial-granted', 'yes');
      return port;
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

// A browser without Web Serial: Firefox, Safari, an older Chrome.
export const removeSerial = () => delete Navigator.prototype.serial;
