// The link to Keypilot: one Bluetooth serial port kept open, the PC's COM port (SPP) or Keypilot's
// own service. Lines come as "message" events; the reader always runs (an ended read shows a drop
// at once). A dropped link reopens after a growing pause, or at the device's "connect" once gone;
// only choose() asks the user.
import { LineReader } from './lines.js';

// The Bluetooth serial-port service (SPP) of a PC's incoming COM port.
export const SERIAL_PORT_SERVICE = '00001101-0000-1000-8000-00805f9b34fb';
// Keypilot's own service, needing no COM port (docs/protocol.md).
export const KEYPILOT_SERVICE = 'c82e084b-74a8-46d0-b560-61536123c42b';
const SERVICES = [SERIAL_PORT_SERVICE, KEYPILOT_SERVICE];
export const BAUD_RATE = 9600;
// Pauses before each new try while the device is there; the last one repeats.
export const RETRY_PAUSES_MS = [1000, 2000, 4000, 10000];

// The Bluetooth service a port reaches; undefined where the browser does not say.
const serviceOf = (port) => port.getInfo?.().bluetoothServiceClassId;

export class Connection extends EventTarget {
  #serial;
  #port = null; // the port the user chose, the one to keep open
  #link = null; // { port, writer, reader, watching } while a port is open
  #opening = null; // the port whose open() is under way
  #state = { status: 'disconnected', reason: 'notChosen', retryInMs: 0 };
  #retries = 0;
  #retryTimer = 0;
  #preferred;
  #remember;

  // preferred: the service used last; remember(service) gets each opened port's service.
  constructor(serial, { preferred, remember }) {
    super();
    this.#serial = serial;
    this.#preferred = preferred;
    this.#remember = remember;
    serial.addEventListener('connect', (event) => this.#onDeviceBack(event.target));
    serial.addEventListener('disconnect', (event) => this.#onDeviceGone(event.target));
  }

  // { status: 'connected' | 'connecting' | 'disconnected', reason, retryInMs }
  get state() {
    return this.#state;
  }

  // Opens a port granted on an earlier visit, of the service used last first: a PC may have both
  // granted, and the last one used worked.
  async start() {
    let ports = [];
    try {
      ports = await this.#serial.getPorts();
    } catch {
      // Treated as no port granted yet: Connect asks.
    }
    if (ports.length > 0 && !this.#port) {
      this.#port = ports.find((port) => serviceOf(port) === this.#preferred) ?? ports[0];
      await this.#open();
    }
  }

  // Asks the user for the PC (needs a user gesture), then opens it. The last choice wins: an
  // earlier one, open or opening, is closed.
  async choose() {
    let port;
    try {
      port = await this.#serial.requestPort({
        allowedBluetoothServiceClassIds: SERVICES,
        filters: SERVICES.map((service) => ({ bluetoothServiceClassId: service })),
      });
    } catch (error) {
      // NotFoundError: the chooser closed without a choice. A port in use stays in use.
      if (!this.#port) this.#set('disconnected', error?.name === 'NotFoundError' ? 'cancelled' : 'blocked');
      return;
    }
    if (port === this.#port && this.#state.status !== 'disconnected') return;
    this.#port = port;
    this.#retries = 0;
    clearTimeout(this.#retryTimer);
    this.#set('connecting');
    await this.#closeStaleLink();
    if (port === this.#port) await this.#open();
  }

  // One code as one write, dropped while the link is down or a write is under way: a press must
  // never arrive later than it was made.
  async send(bytes) {
    const link = this.#link;
    if (this.#state.status !== 'connected' || !link || link.port !== this.#port || link.writing) return false;
    link.writing = true;
    try {
      await link.writer.write(bytes);
      return true;
    } catch {
      return false; // the reader sees the loss and reconnects
    } finally {
      link.writing = false;
    }
  }

  #set(status, reason = '', retryInMs = 0) {
    this.#state = { status, reason, retryInMs };
    this.dispatchEvent(new Event('change'));
  }

  // Opens the chosen port at once; another still opening is closed when its open ends.
  async #open() {
    const port = this.#port;
    if (!port || this.#opening === port || this.#link?.port === port) return;
    clearTimeout(this.#retryTimer);
    this.#opening = port;
    this.#set('connecting');
    try {
      await port.open({ baudRate: BAUD_RATE });
    } catch (error) {
      if (this.#opening === port) this.#opening = null;
      if (port !== this.#port) return;
      // Still open from a loss whose close failed: closed, so that the next try opens.
      if (error?.name === 'InvalidStateError') await port.close().catch(() => {});
      this.#afterLoss('noAnswer');
      return;
    }
    if (this.#opening === port) this.#opening = null;
    if (port !== this.#port) {
      await port.close().catch(() => {});
      return;
    }
    this.#retries = 0;
    if (serviceOf(port)) this.#remember(serviceOf(port));
    const link = { port, writer: port.writable.getWriter(), reader: null, writing: false, watching: null };
    this.#link = link;
    this.#set('connected');
    link.watching = this.#watch(link);
  }

  // Reads until the link ends, from no half line: one left by the link before is not its first.
  async #watch(link) {
    const { port } = link;
    const lines = new LineReader((message) => {
      if (this.#link === link) this.dispatchEvent(new MessageEvent('message', { data: message }));
    });
    while (this.#link === link && port.readable) {
      const reader = port.readable.getReader();
      link.reader = reader;
      try {
        for (let read = await reader.read(); !read.done; read = await reader.read()) {
          if (read.value) lines.push(read.value);
        }
        break; // closed on purpose
      } catch {
        // A framing or overrun error leaves a new readable stream; a lost link leaves none.
        lines.skipLine();
      } finally {
        reader.releaseLock();
        link.reader = null;
      }
    }
    if (this.#link !== link) return;
    this.#link = null;
    await this.#release(link);
    if (port === this.#port) this.#afterLoss('lost');
  }

  #afterLoss(reason) {
    const port = this.#port;
    if (!port) return;
    if (port.connected === false) {
      this.#set('disconnected', 'gone');
      return;
    }
    const pause = RETRY_PAUSES_MS[Math.min(this.#retries, RETRY_PAUSES_MS.length - 1)];
    this.#retries += 1;
    clearTimeout(this.#retryTimer);
    this.#retryTimer = setTimeout(() => this.#open(), pause);
    this.#set('disconnected', reason, pause);
  }

  #onDeviceBack(port) {
    if (port !== this.#port || this.#state.status === 'connected') return;
    this.#retries = 0;
    this.#open();
  }

  #onDeviceGone(port) {
    if (port !== this.#port) return;
    clearTimeout(this.#retryTimer);
    // An open link ends its reader too, closing the port; until then it counts.
    if (this.#state.status !== 'connected') this.#set('disconnected', 'gone');
  }

  async #release({ port, writer }) {
    try {
      writer.releaseLock();
    } catch {
      // A write in flight keeps the lock until it fails with the link.
    }
    await port.close().catch(() => {});
  }

  // Closes the open link when its port is no longer the chosen one.
  async #closeStaleLink() {
    const link = this.#link;
    if (!link || link.port === this.#port) return;
    this.#link = null;
    await link.reader?.cancel().catch(() => {});
    await link.watching;
    await this.#release(link);
  }
}
