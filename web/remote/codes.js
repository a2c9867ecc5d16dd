// The link's codes (docs/protocol.md) in printable two-character units: version 1 the twelve codes,
// 2 frames, 3 the hello and volume, 4 the PC's buttons. web/tests/table.mjs checks them.

export const NEWEST_VERSION = 4;

// Version 1: the twelve codes, named as Keypilot's table names them.
export const COMMANDS = {
  launch: '00',
  esc: '01',
  up: '02',
  start: '03',
  left: '04',
  click: '05',
  right: '06',
  volup: '07',
  down: '08',
  pgdn: '09',
  voldown: '10',
  pgup: '11',
};

// Version 2: each frame's opcode and its size in units (for a text, the units before its bytes).
export const FRAMES = {
  ping: { opcode: 'PI', units: 1 },
  move: { opcode: 'MV', units: 5 },
  scroll: { opcode: 'SC', units: 5 },
  leftClick: { opcode: 'CL', units: 1 },
  rightClick: { opcode: 'CR', units: 1 },
  leftDown: { opcode: 'DN', units: 1 },
  leftUp: { opcode: 'UP', units: 1 },
  key: { opcode: 'KY', units: 2 },
  mute: { opcode: 'MU', units: 1 },
  text: { opcode: 'TX', units: 3, lengthPrefixed: true },
  // Version 3.
  hello: { opcode: 'HI', units: 2 },
  setVolume: { opcode: 'VL', units: 3 },
  // Version 4.
  pressButton: { opcode: 'BT', units: 3 },
  confirmButton: { opcode: 'CF', units: 6 },
};

// The keys a KY frame names.
export const KEYS = {
  return: 'EN',
  backspace: 'BS',
  tab: 'TB',
  endslideshow: 'ES',
  playpause: 'PP',
  nexttrack: 'NX',
  prevtrack: 'PV',
  slideshow: 'F5',
  nextslide: 'RT',
  prevslide: 'LT',
  black: 'BK',
};

// The largest offset of a move or a scroll, and the most UTF-8 bytes of one text frame.
export const MAX_OFFSET = 999;
export const MAX_TEXT_BYTES = 1000;

export const PING = FRAMES.ping.opcode;
export const LEFT_CLICK = FRAMES.leftClick.opcode;
export const RIGHT_CLICK = FRAMES.rightClick.opcode;
export const LEFT_DOWN = FRAMES.leftDown.opcode;
export const LEFT_UP = FRAMES.leftUp.opcode;
export const MUTE = FRAMES.mute.opcode;

export const key = (name) => FRAMES.key.opcode + KEYS[name];

// "+012", "-999": a sign and three digits. The caller keeps offsets within MAX_OFFSET.
const offset = (value) => (value < 0 ? '-' : '+') + String(Math.abs(value)).padStart(3, '0');
export const move = (dx, dy) => FRAMES.move.opcode + offset(dx) + offset(dy);
export const scroll = (dx, dy) => FRAMES.scroll.opcode + offset(dx) + offset(dy);
// "HI03": the sender's version in two digits.
export const hello = (version) => FRAMES.hello.opcode + String(version).padStart(2, '0');
// "VL0042": the master level in per cent, four digits so the frame stays whole units.
export const MAX_LEVEL = 100;
export const setVolume = (level) => FRAMES.setVolume.opcode + String(level).padStart(4, '0');
// "BT0006": a press of the PC's button 0006 (0001-9999); "CF0006A1B2C3": its confirmation, with
// Keypilot's token.
export const BUTTON_ID = /^(?!0000)[0-9]{4}$/;
export const TOKEN = /^[0-9A-F]{6}$/;
export const pressButton = (id) => FRAMES.pressButton.opcode + id;
export const confirmButton = (id, token) => FRAMES.confirmButton.opcode + id + token;

// The frames typing `text`, each at most MAX_TEXT_BYTES of UTF-8, split between characters.
export function typing(text) {
  const encoder = new TextEncoder();
  const frames = [];
  let hex = '';
  let bytes = 0;
  const flush = () => {
    if (bytes === 0) return;
    frames.push(FRAMES.text.opcode + String(bytes).padStart(4, '0') + hex);
    hex = '';
    bytes = 0;
  };
  for (const character of text) { // by code point: a surrogate pair stays whole
    const encoded = encoder.encode(character); // a lone surrogate becomes U+FFFD, valid UTF-8
    if (bytes + encoded.length > MAX_TEXT_BYTES) flush();
    for (const byte of encoded) hex += byte.toString(16).toUpperCase().padStart(2, '0');
    bytes += encoded.length;
  }
  flush();
  return frames;
}
