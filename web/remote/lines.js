// What Keypilot writes back (docs/protocol.md): LF-ended lines of UTF-8 JSON objects with a "type",
// at most MOST_LINE_BYTES, in pieces not cut at lines. Any other line (noise, too long, a half line
// from before the link) is dropped up to its LF.

export const MOST_LINE_BYTES = 4096;
const LF = 0x0a;

export class LineReader {
  #onMessage;
  #parts = [];
  #size = 0;
  #skipping = false; // the line under way has grown too long: it goes, up to its LF
  #decoder = new TextDecoder('utf-8', { fatal: true });

  // onMessage(message) gets each object with a "type" string; the reader knows no types.
  constructor(onMessage) {
    this.#onMessage = onMessage;
  }

  push(bytes) {
    for (let start = 0; start <= bytes.length;) {
      const lf = bytes.indexOf(LF, start);
      const end = lf < 0 ? bytes.length : lf;
      if (!this.#skipping && end > start) {
        this.#size += end - start;
        // A piece is kept as a copy: the stream may hand the same buffer over again.
        this.#parts.push(bytes.slice(start, end));
        if (this.#size + 1 > MOST_LINE_BYTES) this.#drop(true);
      }
      if (lf < 0) return;
      if (!this.#skipping) this.#take();
      this.#drop(false);
      start = lf + 1;
    }
  }

  // Bytes were lost (a framing or overrun error): the line under way is not to be trusted.
  skipLine() {
    this.#drop(true);
  }

  #drop(skipping) {
    this.#parts = [];
    this.#size = 0;
    this.#skipping = skipping;
  }

  #take() {
    if (this.#size === 0) return;
    const line = new Uint8Array(this.#size);
    let at = 0;
    for (const part of this.#parts) {
      line.set(part, at);
      at += part.length;
    }
    let message;
    try {
      message = JSON.parse(this.#decoder.decode(line));
    } catch {
      return; // not UTF-8, or not JSON
    }
    if (message !== null && typeof message === 'object' && !Array.isArray(message) && typeof message.type === 'string') {
      this.#onMessage(message);
    }
  }
}
