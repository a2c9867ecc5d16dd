// End to end: the page drives Keypilot under Wine. The stand-in port hands each write to this
// process, which writes it into the phone's end (COM6, a pseudo-terminal) of a testbed in
// <build>/web-testbed, where Keypilot listens on COM5; what Keypilot writes back on COM6 goes to
// the page's reader, as a phone's Bluetooth port hands it over. One testbed and one Keypilot serve
// every case; both stop at the end.
//   node web/tests/e2e.mjs [windows build folder]   (Keypilot, cursor and launch_marker built; default build/windows)
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { closeSync, constants, copyFileSync, existsSync, mkdirSync, openSync, readFileSync, rmSync, writeSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { ReadStream } from 'node:tty';
import { fileURLToPath } from 'node:url';
import { setVolume } from '../remote/codes.js';
import { agreed, button, launchBrowser, openRemote, runTests, startServer, status, statusText, test, waitFor } from './harness.mjs';

const root = fileURLToPath(new URL('../..', import.meta.url));
const build = resolve(process.argv[2] ?? join(root, 'build/windows'));
const testbed = join(build, 'web-testbed');
const [keypilotExe, cursorExe, markerExe] = ['src/app/Keypilot.exe', 'tools/cursor/cursor.exe', 'tests/app/launch_marker.exe']
  .map((f) => join(build, f));
const STEP = 20;
const script = (name) => join(root, 'scripts', name);
const wine = (...args) =>
  execFileSync(script('wine-run.sh'), [testbed, ...args], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'inherit'] });
const cursor = () => wine(cursorExe).trim().split(/\s+/).map(Number);
const same = (a, b) => a.join() === b.join();
const KEYPILOT_KEY = 'HKCU\\Software\\Corvane\\Keypilot';
const setting = (name, value) => wine('reg', 'add', KEYPILOT_KEY, '/v', name, '/t', 'REG_SZ', '/d', value, '/f');

// The user's buttons as the "Phone buttons" window stores them, there before Keypilot starts: two
// that start the same marker program, told apart only by their arguments, so that a press by the
// wrong id starts the program too, and is caught by what it was started with. The marker leaves
// "<its path>.ran" holding its command line (UTF-16); its folder has a blank, which Keypilot quotes.
const marker = { windows: 'C:\\keypilot e2e\\marker.exe', linux: join(testbed, 'prefix/drive_c/keypilot e2e/marker.exe') };
const BUTTONS = [
  { id: '0007', name: 'Marker one', value: `program|Marker one|${marker.windows}|--button one|` },
  { id: '0003', name: 'Marker 100%', value: `program|Marker 100%25|${marker.windows}|--button "two 100%25"|` },
];
const markerRan = () => {
  try {
    return readFileSync(`${marker.linux}.ran`).toString('utf16le');
  } catch {
    return '';
  }
};

// The PC's host name as Windows keeps it (the NetBIOS name beside it is cut and in capitals).
const hostName = () =>
  wine('reg', 'query', 'HKLM\\System\\CurrentControlSet\\Services\\Tcpip\\Parameters', '/v', 'Hostname')
    .match(/Hostname\s+REG_SZ\s+(.*\S)/)[1];

// The cursor's position once it has stood still for five readings in a row.
async function stillCursor() {
  let last = cursor();
  let still = 0;
  await waitFor('the cursor to stand still', () => {
    const now = cursor();
    still = same(now, last) ? still + 1 : 0;
    last = now;
    return still >= 5;
  }, 15000);
  return last;
}

// The phone's end of the link. written: each write into it, as text; heard: every byte Keypilot
// wrote back, which also goes to the reader of the page open now.
function phoneEnd(path) {
  const out = openSync(path, constants.O_WRONLY | constants.O_NOCTTY);
  const input = new ReadStream(openSync(path, constants.O_RDONLY | constants.O_NOCTTY));
  const end = {
    written: [],
    heard: Buffer.alloc(0),
    page: null,
    write(bytes) {
      end.written.push(typeof bytes === 'string' ? bytes : String.fromCharCode(...bytes));
      writeSync(out, Buffer.from(bytes));
    },
    // Keypilot's whole lines so far of that type; every line must be JSON.
    lines: (type) =>
      end.heard.toString('utf8').split('\n').slice(0, -1).map((line) => JSON.parse(line)).filter((m) => m.type === type),
    close() {
      input.destroy();
      closeSync(out);
    },
  };
  input.on('data', (bytes) => {
    end.heard = Buffer.concat([end.heard, bytes]);
    // Lost only when that page has closed meanwhile.
    end.page?.evaluate((b) => window.__serial.feed(b), [...bytes]).catch(() => {});
  });
  return end;
}

if (![keypilotExe, cursorExe, markerExe].every(existsSync)) {
  console.error(`e2e: build ${keypilotExe}, ${cursorExe} and ${markerExe} first (cmake --build --preset windows --target Keypilot cursor launch_marker)`);
  process.exit(2);
}
const server = await startServer();
const browser = await launchBrowser();
let phone;

// The remote as a phone's browser opens it on the phone's end: what it reads comes from Keypilot only.
const openPhone = () =>
  openRemote(browser, server.url, {
    keypilot: 'silent',
    forward: (bytes) => phone.write(bytes),
    onContext: (context) => context.on('page', (page) => (phone.page = page)),
  });
// Keypilot takes seconds to open its port under Wine: it has once a hello said on the phone's end
// gets its answer.
const keypilotListening = () =>
  waitFor('Keypilot to answer on COM5', () => {
    const answers = phone.lines('hello').length;
    phone.write('HI03');
    return waitFor('an answer', () => phone.lines('hello').length > answers, 1500).catch(() => false);
  }, 40000);
async function closePhone(remote) {
  phone.page = null;
  await remote?.context.close();
}

test('pressing Right, then a drag on the touchpad, moves the cursor of Keypilot under Wine', async () => {
  let remote;
  try {
    remote = await openPhone();
    const { page } = remote;
    await status(page, /^Connected/);

    // Keypilot answers once it has opened its port: press until the cursor moves.
    await waitFor('Keypilot to answer on COM5', async () => {
      const before = cursor();
      await button(page, 'Right').click();
      return waitFor('a move', () => !same(cursor(), before), 1500).catch(() => false);
    }, 40000);

    const before = await stillCursor();
    await button(page, 'Right').click();
    await waitFor('the cursor to move', () => !same(cursor(), before), 10000);
    const after = await stillCursor();
    assert.deepEqual(after, [before[0] + STEP, before[1]], `the cursor went from ${before} to ${after}`);

    // A slow drag, down and to the left, at speed 1: the cursor goes as far as the moves sent say.
    await page.getByRole('tab', { name: 'Touchpad' }).click();
    await page.getByRole('slider', { name: 'Pointer speed' }).fill('1');
    const box = await page.getByRole('application', { name: 'Touchpad' }).boundingBox();
    const cdp = await page.context().newCDPSession(page);
    let time = Date.now() / 1000;
    const finger = (type, x, y) => {
      time += 0.02;
      const touchPoints = type === 'touchEnd' ? [] : [{ x: box.x + x, y: box.y + y, id: 1 }];
      return cdp.send('Input.dispatchTouchEvent', { type, touchPoints, timestamp: time });
    };
    const mark = phone.written.length;
    await finger('touchStart', 100, 40);
    for (let i = 1; i <= 30; i += 1) await finger('touchMove', 100 - i, 40 + 2 * i);
    await finger('touchEnd');
    const sent = () =>
      phone.written.slice(mark).join('').match(/MV[+-]\d{3}[+-]\d{3}/g)?.reduce(
        (sum, m) => [sum[0] + Number(m.slice(2, 6)), sum[1] + Number(m.slice(6))], [0, 0]) ?? [0, 0];
    await waitFor('the drag to be written', () => same(sent(), [-30, 60]), 10000);
    await waitFor('the cursor to move', () => !same(cursor(), after), 10000);
    const dragged = await stillCursor();
    assert.deepEqual(dragged, [after[0] - 30, after[1] + 60], `the drag took the cursor from ${after} to ${dragged}`);
    assert.deepEqual(remote.errors, []);
  } finally {
    await closePhone(remote);
  }
});

test('the page names the PC Keypilot runs on, and its slider sets the level that Keypilot\'s mixer reads back', async () => {
  let remote;
  try {
    await keypilotListening();
    const answered = phone.lines('hello').length;
    remote = await openPhone();
    const { page } = remote;
    await agreed(page, /^Connected to /);
    const [answer] = phone.lines('hello').slice(answered);
    assert.equal(answer?.name, hostName(), 'the name in the answer is not the PC\'s host name in Wine');
    assert.equal(await statusText(page), `Connected to ${answer.name} — Keypilot ${answer.version}`);
    assert.ok(Number.isInteger(answer.volume), `no master volume under Wine: ${JSON.stringify(answer)}`);

    await page.getByRole('tab', { name: 'Media' }).click();
    const slider = page.getByRole('slider', { name: 'Volume' });
    const shown = async () => `${await slider.inputValue()} ${await page.locator('#volume-level').textContent()}`;
    const at = (level) => `${level} ${level} %`;
    await waitFor('the slider at the PC\'s level', async () => (await shown()) === at(answer.volume));

    // Under Wine only Keypilot's own process sees the level it set: its reports after a move are
    // what its mixer reads back. They must come to the level where the page's slider was let go.
    const reports = phone.lines('volume').length;
    const reported = () => phone.lines('volume').slice(reports).map((m) => m.volume);
    await slider.evaluate((input) => input.addEventListener('change', () => (window.letGo = Number(input.value))));
    const readBack = async (how) => {
      const level = await page.evaluate(() => window.letGo);
      await waitFor(`Keypilot to read back ${level}`, () => reported().at(-1) === level)
        .catch(() => assert.fail(`${how} to ${level}; Keypilot read back ${reported().join(', ') || 'nothing'}`));
      await waitFor('the page to show it', async () => (await shown()) === at(level));
      return level;
    };
    const box = await slider.boundingBox();
    const y = box.y + box.height / 2;
    const x = (level) => box.x + 8 + ((box.width - 16) * level) / 100;
    const goal = answer.volume >= 50 ? 20 : 80;
    await page.mouse.move(x(answer.volume), y);
    await page.mouse.down();
    for (let step = 1; step <= 20; step += 1) await page.mouse.move(x(answer.volume + ((goal - answer.volume) * step) / 20), y);
    await page.mouse.up();
    const dragged = await readBack('dragged');
    assert.ok(Math.abs(dragged - goal) <= 5, `the drag ended at ${dragged}, not near ${goal}`);
    // A step by a key goes only as the last position: no frame comes between its input and its end.
    await slider.press('ArrowLeft');
    assert.equal(await readBack('stepped'), dragged - 1);

    // A level set without the page moves the slider only through what Keypilot reads back.
    phone.write(setVolume(answer.volume));
    await waitFor('Keypilot to read back the level set without the page', () => reported().at(-1) === answer.volume);
    await waitFor('the slider to follow', async () => (await shown()) === at(answer.volume));
    assert.deepEqual(remote.errors, []);
  } finally {
    await closePhone(remote);
  }
});

test('a button stored in Keypilot shows by its name in the page\'s Buttons view, and a tap on it starts its program under Wine', async () => {
  let remote;
  try {
    await keypilotListening();
    rmSync(`${marker.linux}.ran`, { force: true });
    remote = await openPhone();
    const { page } = remote;
    await agreed(page, /^Connected to /);
    await page.getByRole('tab', { name: 'Buttons' }).click();
    const shown = () => page.locator('#view-buttons button').allTextContents();
    await waitFor('the PC\'s buttons', async () => (await shown()).length > 0);
    assert.deepEqual(await shown(), BUTTONS.map((b) => b.name));

    await button(page, 'Marker 100%').click();
    const ran = await waitFor('the marker to be started', markerRan, 15000);
    assert.equal(ran, `"${marker.windows}" --button "two 100%"`);
    assert.deepEqual(remote.errors, []);
  } finally {
    await closePhone(remote);
  }
});

let ok = false;
let keypilot;
try {
  execFileSync(script('testbed.sh'), ['start', testbed], { stdio: ['ignore', 'inherit', 'inherit'] });
  // Only what this run stores: a prefix kept from an earlier run may hold other buttons.
  try {
    wine('reg', 'delete', KEYPILOT_KEY, '/f');
  } catch {
    // Not there yet: a new prefix.
  }
  setting('com', '4'); // COM5
  setting('mouse', String(STEP));
  for (const { id, value } of BUTTONS) setting(id, value);
  setting('buttons', BUTTONS.map((b) => b.id).join());
  setting('lastButton', '0009');
  mkdirSync(dirname(marker.linux), { recursive: true });
  copyFileSync(markerExe, marker.linux);
  keypilot = spawn(script('wine-run.sh'), [testbed, keypilotExe], { stdio: 'ignore' });
  phone = phoneEnd(join(testbed, 'pty/COM6'));
  ok = await runTests(180000);
} finally {
  phone?.close();
  await browser.close();
  await server.close();
  execFileSync(script('testbed.sh'), ['stop', testbed], { stdio: ['ignore', 'inherit', 'inherit'] });
  if (keypilot?.exitCode === null) keypilot.kill();
}
process.exit(ok ? 0 : 1);
