// The page's table of the link's codes (web/remote/codes.js) agrees with Keypilot's: the twelve
// codes, the frames (opcode, size) and the keys, each by the name Keypilot's table gives it, and
// the limits: the largest move, the longest text, and signs of life often enough for Keypilot's
// silences (web/remote/outbox.js). Keypilot's keptFrameLifetimeMs has no counterpart here: the
// page writes every frame whole in one write.
//   node web/tests/table.mjs <json file>        Keypilot's table as link_table or phone --table prints it
//   node web/tests/table.mjs --run <program>    runs the program (build/native/tools/phone/link_table) for it
// Prints "N passed, M failed"; exits 1 on a disagreement, 2 when the table cannot be read.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import {
  COMMANDS, FRAMES, KEYS, MAX_LEVEL, MAX_OFFSET, MAX_TEXT_BYTES, NEWEST_VERSION, confirmButton, hello, key, move,
  pressButton, scroll, setVolume, typing,
} from '../remote/codes.js';
import { BEAT_MS, HELD_BEAT_MS } from '../remote/outbox.js';

function readTable(args) {
  if (args[0] === '--run' && args.length === 2) return execFileSync(args[1], { encoding: 'utf8' });
  if (args.length === 1 && !args[0].startsWith('-')) return readFileSync(args[0], 'utf8');
  throw new Error('usage: node web/tests/table.mjs <json file> | --run <program>');
}

let table;
try {
  table = JSON.parse(readTable(process.argv.slice(2)));
} catch (error) {
  console.error(`table: ${error.message}`);
  process.exit(2);
}

const byName = (entries, name, value) => Object.fromEntries(entries.map((e) => [e[name], value(e)]));
const checks = {
  'the version': () => assert.equal(NEWEST_VERSION, table.version),
  'the twelve codes': () => assert.deepEqual(COMMANDS, byName(table.codes, 'name', (e) => e.code)),
  'the frames': () =>
    assert.deepEqual(
      byName(Object.entries(FRAMES).map(([kind, f]) => ({ kind, ...f })), 'kind', (f) => [f.opcode, f.units, !!f.lengthPrefixed]),
      byName(table.frames, 'kind', (f) => [f.opcode, f.units, f.lengthPrefixed]),
    ),
  'the keys': () =>
    assert.deepEqual(
      byName(Object.keys(KEYS).map((name) => ({ name })), 'name', ({ name }) => key(name)),
      byName(table.keys, 'name', (k) => FRAMES.key.opcode + k.id),
    ),
  'the limits': () =>
    assert.deepEqual(
      { maxOffset: MAX_OFFSET, maxTextBytes: MAX_TEXT_BYTES },
      { maxOffset: table.limits.maxOffset, maxTextBytes: table.limits.maxTextBytes },
    ),
  // The longest text goes in one frame of the longest size; a byte more takes a second frame.
  'the longest text the page makes': () => {
    const longest = 'x'.repeat(table.limits.maxTextBytes);
    assert.deepEqual(typing(longest).map((f) => f.length), [table.limits.longestFrameChars]);
    assert.equal(typing(`${longest}x`).length, 2);
  },
  // One sign of life may be lost without Keypilot taking the phone for gone or letting go of a
  // held button.
  'signs of life within Keypilot\'s silences': () => {
    assert.ok(2 * BEAT_MS < table.limits.pingingSilenceMs, `beat ${BEAT_MS} ms`);
    assert.ok(2 * HELD_BEAT_MS < table.limits.heldButtonSilenceMs, `held beat ${HELD_BEAT_MS} ms`);
  },
  // What the page writes is as long as Keypilot's table says the frame is.
  'the sizes of the frames the page makes': () => {
    const units = byName(table.frames, 'opcode', (f) => f.units);
    const most = table.limits.maxOffset;
    const frames = [move(-most, most), scroll(0, 120), key('playpause'), hello(NEWEST_VERSION), setVolume(MAX_LEVEL),
      pressButton('9999'), confirmButton('0001', 'A1B2C3')];
    for (const frame of frames) {
      assert.equal(frame.length, 2 * units[frame.slice(0, 2)], frame);
    }
    const [text] = typing('é');
    assert.equal(text.length, 2 * units[text.slice(0, 2)] + 2 * 2, text);
  },
};

let passed = 0;
for (const [name, check] of Object.entries(checks)) {
  try {
    check();
    passed += 1;
    console.log(`ok    ${name}`);
  } catch (error) {
    console.log(`FAIL  ${name}\n      ${String(error.message).replaceAll('\n', '\n      ')}`);
  }
}
const total = Object.keys(checks).length;
console.log(`${passed} passed, ${total - passed} failed`);
process.exit(passed === total ? 0 : 1);
