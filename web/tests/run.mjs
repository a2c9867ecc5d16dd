// The remote page's tests, in Debian's headless Chromium with a stand-in serial port.
//   node web/tests/run.mjs      prints "N passed, M failed"; exits 1 when a test failed
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { appendFileSync, cpSync, mkdtempSync, readFileSync, renameSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { serve } from '../server.mjs';
import { setVolume } from '../remote/codes.js';
import { languages } from '../remote/language.js';
import { ANSWER_WAIT_MS } from '../remote/peer.js';
import { FAILURE_SHOWN_MS } from '../remote/pcbuttons.js';
import { agreed, button, codes, launchBrowser, openRemote, presses, runTests, served, serialLog, startServer, status,
  statusText, test, waitFor } from './harness.mjs';

const SERIAL_PORT = '00001101-0000-1000-8000-00805f9b34fb';
const KEYPILOT = 'c82e084b-74a8-46d0-b560-61536123c42b';
const CODES = { Up: '02', Down: '08', Left: '04', Right: '06', Click: '05', Escape: '01', 'Page up': '11',
  'Page down': '09', 'Volume up': '07', 'Volume down': '10', 'Start menu': '03', 'Run program': '00' };

const server = await startServer();
const browser = await launchBrowser();
const open = (options = {}) => openRemote(browser, options.url ?? server.url, options);
const NAMED = /^Connected to DESKTOP-7Q2 — Keypilot 4$/;
const connected = (page) => agreed(page);
const writes = (page, n) => waitFor(`${n} writes`, async () => (await presses(page)).length >= n);
const opens = async (page) => (await serialLog(page)).opens.length;
async function done({ context, errors }) {
  await context.close();
  assert.deepEqual(errors, [], 'the page reported errors');
}

test('Connect asks for the Bluetooth serial port or Keypilot\'s service, opens it at 9600 baud; the next visit opens it unasked', async () => {
  const remote = await open({ serial: 'fresh' });
  const { page } = remote;
  await status(page, /press Connect/);
  // Not connected: the keys are marked off, a press is dropped and never sent later, and a screen
  // reader hears why once, however often they are pressed.
  const keysOff = () => page.getByRole('button', { disabled: true }).count();
  const note = page.locator('#keys-off');
  assert.equal(await keysOff(), 12);
  await page.evaluate(() => {
    window.said = [];
    const note = document.getElementById('keys-off');
    new MutationObserver(() => window.said.push(note.textContent)).observe(note, { childList: true, subtree: true, characterData: true });
  });
  await button(page, 'Right').click({ force: true });
  await button(page, 'Up').click({ force: true });
  await button(page, 'Up').press('Enter');
  await waitFor('the note', async () => (await note.textContent()) !== '');
  assert.deepEqual(await page.evaluate(() => window.said), ['The keys work once the remote is connected.']);
  assert.equal(await note.getAttribute('aria-live'), 'polite');
  await button(page, 'Connect').click();
  await connected(page);
  assert.equal(await keysOff(), 0);
  const filter = {
    allowedBluetoothServiceClassIds: [SERIAL_PORT, KEYPILOT],
    filters: [{ bluetoothServiceClassId: SERIAL_PORT }, { bluetoothServiceClassId: KEYPILOT }],
  };
  const log = await serialLog(page);
  assert.deepEqual(log.requests, [filter]);
  assert.deepEqual(log.opens, [{ port: 'A', baudRate: 9600, ok: true }]);
  assert.equal(log.closes, 0);
  assert.deepEqual(await presses(page), []);

  await page.reload();
  await connected(page);
  assert.deepEqual((await serialLog(page)).requests, []);
  await button(page, 'Escape').press('Enter'); // the keyboard, or a screen reader, presses once too
  await writes(page, 1);
  assert.deepEqual(await presses(page), ['01']);
  await done(remote);
});

test('every button writes its code as one write and nothing else', async () => {
  const remote = await open();
  const { page } = remote;
  await connected(page);
  const names = [...Object.keys(CODES), 'Up']; // a press's own click, were it sent, shows up as a second Up
  for (const [i, name] of names.entries()) {
    await button(page, name).click();
    await writes(page, i + 1);
  }
  assert.deepEqual(await presses(page), names.map((name) => CODES[name]));
  await done(remote);
});

test('holding repeats after 400 ms, then every 120 ms, and stops on release, leaving and cancel', async () => {
  const remote = await open({ clock: true });
  const { page } = remote;
  await connected(page);
  const after = async (ms, n, why) => {
    await page.clock.runFor(ms);
    assert.equal((await presses(page)).length, n, why);
  };
  const centre = async (name) => {
    const box = await button(page, name).boundingBox();
    return { x: box.x + box.width / 2, y: box.y + box.height / 2 };
  };
  const mouseDown = async (name) => {
    const at = await centre(name);
    await page.mouse.move(at.x, at.y);
    await page.mouse.down();
  };
  const touch = await page.context().newCDPSession(page);
  const finger = (type, at) => touch.send('Input.dispatchTouchEvent', { type, touchPoints: at ? [{ ...at, id: 1 }] : [] });

  await mouseDown('Right');
  await after(0, 1, 'the press itself');
  await after(399, 1, 'a repeat before 400 ms');
  await after(1, 2, 'no repeat at 400 ms');
  await after(119, 2, 'a repeat before 520 ms');
  await after(1, 3, 'no repeat at 520 ms');
  await after(240, 5, 'not every 120 ms');
  await page.mouse.up();
  await after(2000, 5, 'repeats after the release');

  // A finger sliding off: a touch pointer stays captured by its button unless the page lets it go.
  const down = await centre('Down');
  await finger('touchStart', down);
  await after(400, 7);
  for (const step of [1, 2, 3, 4, 5]) await finger('touchMove', { x: down.x, y: down.y - 40 * step });
  await after(2000, 7, 'repeats after the finger left');
  await finger('touchEnd');

  await finger('touchStart', await centre('Left'));
  await after(400, 9);
  await finger('touchCancel');
  await after(2000, 9, 'repeats after the touch was cancelled');

  await mouseDown('Click');
  await after(2000, 10, 'Click repeated');
  await page.mouse.up();
  const shown = await button(page, 'Click').evaluate((element) =>
    element.dispatchEvent(new MouseEvent('contextmenu', { bubbles: true, cancelable: true })));
  assert.equal(shown, false, 'a long press may open the context menu');
  assert.deepEqual(await presses(page), ['06', '06', '06', '06', '06', '08', '08', '04', '04', '05']);
  await done(remote);
});

test('the PC chosen last ends up open and takes the presses, whichever open ends first', async () => {
  for (const last of ['B', 'A']) { // the open that ends last
    const remote = await open({ serial: 'fresh' });
    const { page } = remote;
    const held = (name) => waitFor(`${name}'s open to be held`, () => page.evaluate((n) => window.__serial.holding(n), name));
    await page.evaluate(() => {
      window.__serial.hold('A');
      window.__serial.hold('B');
    });
    await button(page, 'Connect').click();
    await held('A');
    await page.evaluate(() => window.__serial.pick('B'));
    await button(page, 'Connect').click();
    await held('B');
    const first = last === 'B' ? 'A' : 'B';
    await page.evaluate((name) => window.__serial.release(name), first);
    await waitFor(`${first}'s open to end`, async () => (await opens(page)) === 1);
    await page.evaluate((name) => window.__serial.release(name), last);
    await connected(page);
    await waitFor('A to be closed', async () => (await serialLog(page)).closes === 1);
    await button(page, 'Right').click();
    await writes(page, 1);
    const { ports } = await serialLog(page);
    const pressesOf = ({ open, writes }) =>
      ({ open, writes: writes.map((w) => String.fromCharCode(...w)).filter((c) => c !== 'PI' && c !== 'HI04') });
    assert.deepEqual([pressesOf(ports.A), pressesOf(ports.B)], [{ open: false, writes: [] }, { open: true, writes: ['06'] }]);
    await done(remote);
  }
});

// Every control of every view fits on the screen without scrolling, upright and on its side, in
// either language, with the first visit's help and with the longest line the status can show (the
// slider then in its place the note that it needs a newer Keypilot), the most buttons the PC can
// list with the longest names, and the confirmation of one. The PC's buttons may scroll in their
// own box: at least a row of them shows, and each is whole across and tall enough for a finger.
test('every view fits without scrolling at 360 x 640, 390 x 844, 640 x 360 and 844 x 390', async () => {
  const sizes = [[360, 640], [390, 844], [640, 360], [844, 390]];
  for (const locale of ['en-US', 'ru-RU']) {
    const text = languages[locale.slice(0, 2)].status;
    const longest = Object.values(text)
      .filter((line) => typeof line === 'string')
      .map((line) => `${line} ${text.retryIn(10)}`)
      .concat(text.connectedTo(`${'Ж'.repeat(31)}…`, 4))
      .reduce((a, b) => (b.length > a.length ? b : a));
    // 30 names of 24 characters: wide letters, one word, and words that wrap.
    const names = ['Ш'.repeat(24), 'W'.repeat(24), 'Перезагрузить компьютер!', 'Show the desktop, please'];
    const buttons = Array.from({ length: 30 }, (_, i) =>
      ({ id: String(i + 1).padStart(4, '0'), name: names[i % names.length], confirm: i === 29 }));
    const remote = await open({ serial: 'fresh', locale });
    const { page } = remote;
    await waitFor('the help', () => page.locator('#help').isVisible());
    for (const status of ['help', 'longest', 'confirm']) {
      if (status === 'longest') {
        await page.evaluate((list) => Object.assign(window.__serial.pc, { buttons: list, seconds: 600 }), buttons);
        await page.locator('#connect').click();
        await agreed(page, /^(Connected|Подключено) /);
        await page.evaluate((line) => {
          document.getElementById('help').hidden = true;
          Object.assign(document.getElementById('status-text'), { hidden: false, textContent: line });
          document.querySelector('.level').hidden = true;
          document.querySelector('.level + .later').hidden = false;
        }, longest);
      } else if (status === 'confirm') {
        await page.getByRole('tab').last().click();
        await page.locator('.pc-button').last().click();
        await waitFor('the confirmation', () => page.getByRole('dialog').isVisible());
      }
      for (const [width, height] of sizes) {
        await page.setViewportSize({ width, height });
        // A confirmation is modal: the tabs wait behind it.
        for (const tab of status === 'confirm' ? [page.getByRole('tab').last()] : await page.getByRole('tab').all()) {
          if (status !== 'confirm') await tab.click();
          const misfits = await page.evaluate(() => {
            const { innerWidth: w, innerHeight: h } = window;
            const wrong = [];
            const page = document.scrollingElement;
            if (page.scrollWidth > w || page.scrollHeight > h) wrong.push(`the page is ${page.scrollWidth} x ${page.scrollHeight}`);
            const controls = [...document.querySelectorAll('button, input, .surface, #help, #status, .pc-buttons-area, #confirm-name')]
              .filter((c) => c.checkVisibility());
            for (const control of controls) {
              const r = control.getBoundingClientRect();
              const least = control.matches('.surface') ? 120 : control.matches('button, input') ? 40 : 0;
              const listed = control.matches('.pc-button');
              const list = control.matches('.pc-buttons-area') && control.querySelector('.pc-button') && r.height < 56;
              if (r.left < 0 || (!listed && (r.top < 0 || r.bottom > h)) || r.right > w || r.width < least ||
                r.height < least || control.scrollWidth > control.clientWidth + 1 || list ||
                (listed && control.scrollHeight > control.clientHeight + 1)) {
                const name = control.ariaLabel ?? control.labels?.[0]?.textContent ?? control.textContent;
                wrong.push(`${name.slice(0, 40)} at ${Math.round(r.left)},${Math.round(r.top)} ${Math.round(r.width)} x ${Math.round(r.height)}`);
              }
            }
            return controls.length > 4 ? wrong : ['hardly any controls shown'];
          });
          assert.deepEqual(misfits, [], `${locale} at ${width} x ${height}, ${await tab.textContent()}, ${status}`);
        }
      }
    }
    await done(remote);
  }
});

test('a link that closes while the device stays connected is reopened unasked, after 1, 2, 4, then 10 s', async () => {
  const remote = await open({ clock: true });
  const { page } = remote;
  await connected(page);
  await page.evaluate(() => window.__serial.drop({ failOpens: 4 }));
  await status(page, /link was lost.*1 s/);
  assert.equal(await page.locator('#keys-off').textContent(), 'The keys work once the remote is connected.');
  await button(page, 'Right').click({ force: true }); // not connected: dropped, and never sent later
  for (const [i, pause] of [1000, 2000, 4000, 10000, 10000].entries()) {
    await page.clock.runFor(pause - 1);
    assert.equal(await opens(page), i + 1, `a try before ${pause} ms`);
    await page.clock.runFor(1);
    await waitFor(`try ${i + 1}`, async () => (await opens(page)) === i + 2);
  }
  await connected(page);
  await button(page, 'Right').click();
  await writes(page, 1);
  const log = await serialLog(page);
  assert.deepEqual(log.requests, [], 'the user was asked again');
  assert.deepEqual(log.opens.map((o) => o.ok), [true, false, false, false, false, true]);
  assert.equal(log.closes, 1, 'the lost port was not closed before it was opened again');
  assert.deepEqual(await presses(page), ['06']);
  await done(remote);
});

test('a device that goes away is waited for, and reopened unasked when it is back', async () => {
  const remote = await open({ clock: true });
  const { page } = remote;
  await connected(page);
  await page.evaluate(() => window.__serial.unplug());
  await status(page, /out of reach/);
  await page.clock.runFor(60000);
  assert.equal(await opens(page), 1, 'it tried to open a device that is gone');
  await page.evaluate(() => window.__serial.plug());
  await connected(page);
  await button(page, 'Right').click();
  await writes(page, 1);
  assert.deepEqual((await serialLog(page)).requests, []);
  assert.deepEqual(await presses(page), ['06']);
  await done(remote);
});

test('without Web Serial the page says what works instead and throws nothing', async () => {
  const remote = await open({ serial: 'none' });
  const { page } = remote;
  const text = await page.locator('#unsupported').innerText();
  assert.match(text, /Chrome 138 .*Android.*docs\/phone\.md.*iPhone cannot/s);
  assert.match(await statusText(page), /Not available/);
  assert.equal(await button(page, 'Connect').count(), 0, 'Connect is offered');
  await button(page, 'Right').click({ force: true });
  await done(remote);
});

test('a Russian browser gets Russian text; another language gets English', async () => {
  const remote = await open({ locale: 'ru-RU' });
  const { page } = remote;
  await status(page, /^Подключено к DESKTOP-7Q2 — Keypilot 4$/);
  const names = await page.getByRole('button').evaluateAll((all) => all.map((b) => b.ariaLabel ?? b.textContent));
  assert.deepEqual(names.sort(), ['Вверх', 'Влево', 'Вниз', 'Вправо', 'Громче', 'Запуск программы', 'Клавиша Esc',
    'Меню «Пуск»', 'Подключить', 'Страница вверх', 'Страница вниз', 'Тише', 'Щелчок']);
  assert.equal(await page.evaluate(() => `${document.documentElement.lang} ${document.title}`), 'ru Пульт Keypilot');
  await done(remote);

  const unsupported = await open({ locale: 'ru-RU', serial: 'none' });
  assert.match(await unsupported.page.locator('#unsupported').innerText(), /^Этот браузер.*Chrome 138.*iPhone/s);
  await done(unsupported);
  const german = await open({ locale: 'de-DE' });
  await connected(german.page);
  await done(german);
});

test('the offline copy is one set named by a hash of the page: a stale hash fails the check, and a new version replaces the whole set or nothing', async () => {
  const root = mkdtempSync(join(tmpdir(), 'keypilot-offline-'));
  const folder = join(root, 'remote');
  cpSync(fileURLToPath(new URL('../remote', import.meta.url)), folder, { recursive: true });
  const tool = fileURLToPath(new URL('../update-offline.mjs', import.meta.url));
  const run = (...args) => spawnSync(process.execPath, [tool, ...args, folder], { encoding: 'utf8' });
  const version = () => /const VERSION = '(\w+)'/.exec(readFileSync(join(folder, 'sw.js'), 'utf8'))[1];
  const copy = await serve(folder, { base: '/copy/' });
  const remote = await open({ serviceWorkers: 'allow', url: copy.url });
  try {
    assert.equal(run('--check').status, 0, 'the committed hash is stale: run node web/update-offline.mjs');
    const first = version();
    const { page, context } = remote;
    await page.evaluate(() => navigator.serviceWorker.ready);
    const sets = () => page.evaluate(() => caches.keys());
    const inSet = (file) => page.evaluate(async (f) => (await (await caches.match(f)).text()).includes('// changed'), file);
    // Asks the browser to look for a new worker; resolves to how the new one's install ended.
    const update = () =>
      page.evaluate(async () => {
        const registration = await navigator.serviceWorker.getRegistration();
        const found = new Promise((resolve) => registration.addEventListener('updatefound', resolve, { once: true }));
        await registration.update();
        await found;
        const worker = registration.installing;
        await new Promise((resolve) => {
          const ended = () => ['redundant', 'activated'].includes(worker.state) && resolve();
          worker.addEventListener('statechange', ended);
          ended();
        });
        return worker.state;
      });
    assert.deepEqual(await sets(), [`keypilot-remote-${first}`]);

    appendFileSync(join(folder, 'app.js'), '// changed\n');
    const stale = run('--check');
    assert.equal(stale.status, 1);
    assert.match(stale.stderr, /offline set in .*sw\.js is stale/);
    assert.equal(run().status, 0);
    assert.equal(run('--check').status, 0);
    const second = version();
    assert.notEqual(second, first);

    // One file cannot be fetched: the new set is not kept, and the old one goes on answering whole.
    renameSync(join(folder, 'language.js'), join(root, 'language.js'));
    assert.equal(await update(), 'redundant');
    assert.deepEqual(await sets(), [`keypilot-remote-${first}`]);
    assert.equal(await inSet('app.js'), false);

    renameSync(join(root, 'language.js'), join(folder, 'language.js'));
    assert.equal(await update(), 'activated');
    assert.deepEqual(await sets(), [`keypilot-remote-${second}`]);
    assert.equal(await inSet('app.js'), true);
    await context.setOffline(true);
    await page.reload();
    await connected(page);
  } finally {
    await done(remote);
    await copy.close();
    rmSync(root, { recursive: true, force: true });
  }
});

test('the first load stays on its own origin and under 150 kB, and the page then opens offline', async () => {
  const wrong = [];
  const onContext = (context) => {
    context.on('response', (r) => (r.ok() && r.url().startsWith(server.url)) || wrong.push(`${r.status()} ${r.url()}`));
    context.on('requestfailed', (r) => wrong.push(`failed ${r.url()}`));
  };
  served.length = 0;
  const remote = await open({ serviceWorkers: 'allow', onContext });
  const { page, context } = remote;
  await connected(page);
  await page.evaluate(() => navigator.serviceWorker.ready); // after the worker has fetched its copy
  assert.deepEqual(wrong, [], JSON.stringify(wrong));
  // Every byte the server sent, the service worker's own fetches included.
  const total = served.reduce((sum, f) => sum + f.bytes, 0);
  console.log(`      first load: ${total} bytes in ${served.length} fetches:`);
  for (const f of [...served].sort((a, b) => b.bytes - a.bytes)) console.log(`      ${String(f.bytes).padStart(8)}  ${f.path}`);
  assert.ok(total < 150000, `${total} bytes`);

  await context.setOffline(true);
  await page.reload();
  await connected(page);
  await done(remote);
});

// The page's frames as Keypilot reads them, written out here on their own: a write that does not
// parse into whole frames is a fault of the page.
const KEY_IDS = ['EN', 'BS', 'TB', 'ES', 'PP', 'NX', 'PV', 'F5', 'RT', 'LT', 'BK'];
// With an older version they are read as a Keypilot of that version reads them (version 2 knows
// no HI or VL, version 3 no BT or CF).
function frames(write, version = 4) {
  const out = [];
  const grammar =
    /^(?:(0\d|1[01])|(PI|CL|CR|DN|UP|MU)|(MV|SC)([+-]\d{3})([+-]\d{3})|KY(..)|TX(\d{4})|(HI\d\d|VL(?:00\d\d|0100))|(BT|CF)(?!0000)\d{4})/;
  for (let at = 0; at < write.length;) {
    const m = grammar.exec(write.slice(at));
    if (!m || (m[6] && !KEY_IDS.includes(m[6])) || (m[8] && version < 3) || (m[9] && version < 4)) {
      throw new Error(`not a frame at ${at} of ${JSON.stringify(write)}`);
    }
    at += m[0].length;
    if (m[7]) {
      const n = Number(m[7]);
      const hex = write.slice(at, at + 2 * n);
      if (n < 1 || n > 1000 || !/^(?:[0-9A-F]{2})+$/.test(hex) || hex.length !== 2 * n) throw new Error(`bad text frame in ${write}`);
      const text = new TextDecoder('utf-8', { fatal: true }).decode(Uint8Array.from(hex.match(/../g), (h) => parseInt(h, 16)));
      out.push({ frame: 'TX', text });
      at += 2 * n;
    } else if (m[3]) {
      out.push({ frame: m[3], dx: Number(m[4]), dy: Number(m[5]) });
    } else if (m[9] === 'CF') {
      const token = write.slice(at, at + 6);
      if (!/^[0-9A-F]{6}$/.test(token)) throw new Error(`bad confirmation in ${write}`);
      out.push({ frame: m[0] + token });
      at += 6;
    } else {
      out.push({ frame: m[0] });
    }
  }
  return out;
}
// Counts animation frames and notes the frame of each write in window.writeFrames.
const countFrames = (page) =>
  page.evaluate(() => {
    window.frame = 0;
    window.writeFrames = [];
    const tick = () => {
      window.frame += 1;
      requestAnimationFrame(tick);
    };
    requestAnimationFrame(tick);
    const { writes } = window.__serial.log;
    const push = writes.push.bind(writes);
    Object.defineProperty(writes, 'push', {
      value: (...w) => {
        window.writeFrames.push(window.frame);
        return push(...w);
      },
    });
  });
const allFrames = async (page) => (await codes(page)).flatMap((write) => frames(write));
const sum = (list, kind) => list.filter((f) => f.frame === kind).reduce((s, f) => [s[0] + f.dx, s[1] + f.dy], [0, 0]);
// Every write is whole two-character units of printable ASCII, and whole frames.
async function wellFormed(page) {
  for (const write of await codes(page)) {
    assert.match(write, /^(?:[\x20-\x7e]{2})+$/, `a write that is not whole printable units: ${JSON.stringify(write)}`);
    frames(write);
  }
}

test('five views by tabs; each button of the touchpad, keyboard and media views writes its own frame, a long text in several', async () => {
  const remote = await open();
  const { page } = remote;
  await connected(page);
  const tabs = await page.getByRole('tab').allTextContents();
  assert.deepEqual(tabs, ['Remote', 'Touchpad', 'Keyboard', 'Media', 'Buttons']);
  assert.equal(await page.getByRole('tab', { selected: true }).textContent(), 'Remote');
  const expected = {
    Touchpad: { 'Right click': 'CR', 'Scroll up': 'SC+000+120', 'Scroll down': 'SC+000-120' },
    Keyboard: { Enter: 'KYEN', Backspace: 'KYBS', Tab: 'KYTB' },
    Media: { 'Play/pause': 'KYPP', 'Next track': 'KYNX', 'Previous track': 'KYPV', Mute: 'MU', 'Start slideshow': 'KYF5',
      'Next slide': 'KYRT', 'Previous slide': 'KYLT', 'End slideshow': 'KYES', 'Black screen': 'KYBK' },
  };
  for (const [view, buttons] of Object.entries(expected)) {
    await page.getByRole('tab', { name: view }).click();
    assert.equal(await button(page, 'Up').isVisible(), false, 'the remote shows under another view');
    for (const [name, code] of Object.entries(buttons)) {
      const before = (await presses(page)).length;
      await button(page, name).click();
      await waitFor(`${name} to write`, async () => (await presses(page)).length > before);
      assert.deepEqual((await presses(page)).slice(before), [code], name);
    }
  }
  await page.getByRole('tab', { name: 'Touchpad' }).click();
  assert.equal(await page.getByRole('application', { name: 'Touchpad' }).count(), 1);
  assert.equal(await page.getByRole('slider', { name: 'Pointer speed' }).count(), 1);

  // Each text frame is whole UTF-8 of at most 1000 bytes: no character, no surrogate pair is cut.
  await page.getByRole('tab', { name: 'Keyboard' }).click();
  const field = page.getByRole('textbox', { name: 'Text to type' });
  for (const text of ['Привет, мир 😀', `${'ж'.repeat(499)}😀${'я😀'.repeat(300)}!`]) {
    const before = (await allFrames(page)).length;
    await field.fill(text);
    await button(page, 'Type').click();
    await waitFor('the text frames', async () => (await allFrames(page)).slice(before).map((f) => f.text ?? '').join('') === text);
    assert.equal(await field.inputValue(), '');
  }
  const texts = (await allFrames(page)).filter((f) => f.frame === 'TX');
  assert.ok(texts.length >= 4, `${texts.length} text frames`);
  await wellFormed(page);
  await done(remote);
});

// Touches through the browser's own input, as a phone's finger gives them.
async function fingers(page) {
  const cdp = await page.context().newCDPSession(page);
  const box = await page.getByRole('application', { name: 'Touchpad' }).boundingBox();
  const at = (x, y, id = 1) => ({ x: box.x + x, y: box.y + y, id });
  // Each event's time is given, so that the speed of a drag does not depend on the machine's load.
  let time = Date.now() / 1000;
  const send = (type, points, ms = 0) => {
    time += ms / 1000;
    return cdp.send('Input.dispatchTouchEvent', { type, touchPoints: points, timestamp: time });
  };
  return { at, send };
}

test('the touchpad: a slow drag moves exactly the finger times the speed, a quick one further, at most one write a frame; taps click', async () => {
  const remote = await open();
  const { page } = remote;
  await connected(page);
  await page.getByRole('tab', { name: 'Touchpad' }).click();
  await page.getByRole('slider', { name: 'Pointer speed' }).fill('1');
  await countFrames(page);
  const { at, send } = await fingers(page);
  const drag = async (steps, step, ms) => {
    await send('touchStart', [at(20, 20)]);
    for (let i = 1; i <= steps; i += 1) await send('touchMove', [at(20 + step * i, 20 + (step / 2) * i)], ms);
    await send('touchEnd', []);
    const before = await allFrames(page);
    await new Promise((resume) => setTimeout(resume, 200));
    return before;
  };
  const moved = async (since) => sum((await allFrames(page)).slice(since), 'MV');
  let mark = (await allFrames(page)).length;
  await drag(40, 2, 20); // 2.2 pixels in 20 ms: slow
  await waitFor('the slow drag', async () => (await moved(mark))[0] === 80);
  assert.deepEqual(await moved(mark), [80, 40]);
  mark = (await allFrames(page)).length;
  // Sent at once, as a quick finger's events come: the browser hands them over together.
  const slowWrites = (await codes(page)).length;
  await send('touchStart', [at(20, 20)]);
  await Promise.all(Array.from({ length: 40 }, (_, i) => send('touchMove', [at(22 + 2 * i, 21 + i)], 1)));
  await send('touchEnd', []);
  await waitFor('the quick drag', async () => (await moved(mark))[0] > 0);
  const quick = await moved(mark);
  assert.ok(quick[0] >= 120 && quick[1] >= 60, `a quick 80 x 40 swipe went ${quick}`);

  const log = await codes(page);
  const frameOf = await page.evaluate(() => window.writeFrames);
  const moveFrames = frameOf.filter((_, i) => log[i].includes('MV'));
  assert.equal(new Set(moveFrames).size, moveFrames.length, `two moves in one frame: ${frameOf} ${log}`);
  const quickMoves = log.slice(slowWrites).filter((w) => w.includes('MV')).length;
  assert.ok(quickMoves < 40, `each of the quick drag's 40 finger events was written on its own: ${log.slice(slowWrites)}`);

  // A tap is a left click; two fingers tapping are a right click; two dragging down scroll up.
  mark = (await allFrames(page)).length;
  await send('touchStart', [at(50, 50)]);
  await send('touchEnd', []);
  await send('touchStart', [at(50, 50), at(90, 50, 2)]);
  await send('touchEnd', []);
  await send('touchStart', [at(50, 20), at(90, 20, 2)]);
  for (let y = 25; y <= 80; y += 5) await send('touchMove', [at(50, y), at(90, y, 2)]);
  await send('touchEnd', []);
  await waitFor('the scroll', async () => sum((await allFrames(page)).slice(mark), 'SC')[1] === 240);
  const kinds = (await allFrames(page)).slice(mark).map((f) => f.frame).filter((f) => f !== 'PI');
  assert.deepEqual([...new Set(kinds)], ['CL', 'CR', 'SC']);
  assert.equal(sum((await allFrames(page)).slice(mark), 'SC')[0], 0);
  await wellFormed(page);
  await done(remote);
});

test('a long press then a drag holds the left button, with a sign of life every 0.5 s, until the finger lifts', async () => {
  const remote = await open({ clock: true });
  const { page } = remote;
  await connected(page);
  await page.getByRole('tab', { name: 'Touchpad' }).click();
  await page.getByRole('slider', { name: 'Pointer speed' }).fill('1');
  const { at, send } = await fingers(page);
  await send('touchStart', [at(20, 20)]);
  const mark = (await allFrames(page)).length;
  await page.clock.runFor(600);
  await waitFor('DN', async () => (await allFrames(page)).some((f) => f.frame === 'DN'));
  for (let x = 22; x <= 60; x += 2) {
    await send('touchMove', [at(x, 20)], 100);
    await page.clock.runFor(100);
  }
  await page.clock.runFor(1000);
  const held = (await allFrames(page)).slice(mark);
  await send('touchEnd', []);
  await waitFor('UP', async () => (await allFrames(page)).some((f) => f.frame === 'UP'));
  const all = (await allFrames(page)).slice(mark).map((f) => f.frame);
  assert.deepEqual(all.filter((f) => f !== 'PI' && f !== 'MV'), ['DN', 'UP']);
  assert.ok(all.indexOf('MV') > all.indexOf('DN') && all.lastIndexOf('MV') < all.indexOf('UP'), all.join(' '));
  // Chromium hands over no move for the first step after a long press (inside its touch slop).
  assert.ok([38, 40].includes(sum(held, 'MV')[0]), `a 40-pixel drag moved ${sum(held, 'MV')}`);
  // 3 s held, and the writes come at most 0.5 s apart: at least 5 signs of life or moves.
  assert.ok(held.filter((f) => f.frame === 'PI').length >= 2, held.map((f) => f.frame).join(' '));
  await done(remote);
});

test('an idle connected page writes a sign of life at least every 2.5 s; with v=1 none, and the other views need a newer Keypilot', async () => {
  const remote = await open({ clock: true });
  const { page } = remote;
  await connected(page);
  for (let i = 0; i < 5; i += 1) {
    const before = (await codes(page)).length;
    await page.clock.runFor(2500);
    await waitFor('a sign of life', async () => (await codes(page)).slice(before).includes('PI'));
  }
  assert.deepEqual([...new Set(await codes(page))], ['HI04', 'PI']);
  await done(remote);

  const old = await open({ clock: true, url: `${server.url}?v=1` });
  for (const url of [`${server.url}?v=1`, server.url]) { // remembered when not given again
    await old.page.goto(url);
    await connected(old.page);
    await old.page.clock.runFor(10000);
    await button(old.page, 'Right').click();
    await writes(old.page, 1);
    assert.deepEqual(await codes(old.page), ['06']);
    for (const view of ['Touchpad', 'Keyboard', 'Media', 'Buttons']) {
      await old.page.getByRole('tab', { name: view }).click();
      assert.match(await old.page.locator('.view:not([hidden])').innerText(), /needs? a newer Keypilot/);
      assert.equal(await old.page.locator('.view:not([hidden]) :is(button, input, .surface)').filter({ visible: true }).count(), 0);
    }
    await old.page.getByRole('tab', { name: 'Remote' }).click();
  }
  await old.page.goto(`${server.url}?v=2`);
  await connected(old.page);
  await old.page.clock.runFor(2500);
  await waitFor('a sign of life', async () => (await codes(old.page)).includes('PI'));
  await done(old);
});

test('a first visit shows how to connect, until the first link is up', async () => {
  const remote = await open({ serial: 'fresh' });
  const { page } = remote;
  const help = page.locator('#help');
  await waitFor('the help', () => help.isVisible());
  assert.deepEqual(await help.locator('li').allTextContents(),
    ['On the PC, open Keypilot’s “Connect a phone”.', 'Here, press Connect.', 'Pick the PC.']);
  await button(page, 'Connect').click();
  await connected(page);
  assert.equal(await help.isVisible(), false);
  await page.evaluate(() => sessionStorage.clear()); // the browser forgot the port: not a first visit still
  await page.reload();
  await status(page, /press Connect/);
  assert.equal(await help.isVisible(), false);
  await done(remote);
});

// The phone's screen goes off and on again: the page is hidden, then shown.
const hideAndShow = (page) =>
  page.evaluate(() => {
    for (const state of ['hidden', 'visible']) {
      Object.defineProperty(document, 'visibilityState', { value: state, configurable: true });
      document.dispatchEvent(new Event('visibilitychange'));
    }
  });
// The Media view of a page that a Keypilot of version 4 has answered.
async function openMedia() {
  const remote = await open();
  const { page } = remote;
  await agreed(page, NAMED);
  await page.getByRole('tab', { name: 'Media' }).click();
  return { remote, page, slider: page.getByRole('slider', { name: 'Volume' }) };
}
const speaks = (page) => page.evaluate(() => document.body.dataset.speaks ?? null);
const levels = async (page) => (await allFrames(page)).map((f) => f.frame).filter((f) => f.startsWith('VL'));

test('the PC\'s name shows in the status line, in English and Russian, cut when long; the slider and the mute key follow the PC', async () => {
  const { remote, page, slider } = await openMedia();
  const shown = async () =>
    [await slider.inputValue(), await page.locator('#volume-level').textContent(), await slider.isEnabled(),
      await button(page, 'Mute').getAttribute('aria-pressed')].join(' ');
  assert.equal(await speaks(page), '4');
  assert.equal(await shown(), '42 42 % true false');
  await page.evaluate(() => window.__serial.pcVolume(7, true));
  await waitFor('the PC\'s change', async () => (await shown()) === '7 7 % true true');
  await page.evaluate(() => window.__serial.pcVolume(null, null)); // the PC lost its master volume
  await waitFor('no volume', async () => (await shown()) === '7 – false ');
  // Out of sight the page sends no signs of life and Keypilot stops telling it; back in sight it
  // says hello again and catches up.
  await page.evaluate(() => Object.assign(window.__serial.pc, { volume: 15, muted: false }));
  await hideAndShow(page);
  await waitFor('the state caught up', async () => (await shown()) === '15 15 % true false');
  await done(remote);

  const ru = await open({ locale: 'ru-RU', serial: 'fresh' });
  await ru.page.evaluate(() => {
    window.__serial.pc.name = `Кабинет «Б» ${'ж'.repeat(40)}`;
  });
  await button(ru.page, 'Подключить').click();
  await agreed(ru.page, /^Подключено к /);
  assert.equal(await statusText(ru.page), `Подключено к Кабинет «Б» ${'ж'.repeat(19)}… — Keypilot 4`);
  await ru.page.getByRole('tab', { name: 'Медиа' }).click();
  assert.equal(await ru.page.getByRole('slider', { name: 'Громкость' }).inputValue(), '42');
  await done(ru);
});

test('the volume slider sets the level: at most one VL an animation frame while dragged, the last position always, and the PC does not move it under the finger', async () => {
  const { remote, page, slider } = await openMedia();
  // Many positions within one frame, and the finger lets go: one level goes, the last.
  await slider.evaluate((input) => {
    for (let level = 43; level <= 60; level += 1) {
      input.value = String(level);
      input.dispatchEvent(new Event('input', { bubbles: true }));
    }
    input.dispatchEvent(new Event('change', { bubbles: true }));
  });
  await waitFor('a level', async () => (await levels(page)).length > 0);
  await page.evaluate(() => new Promise((resume) => requestAnimationFrame(() => requestAnimationFrame(resume))));
  assert.deepEqual(await levels(page), ['VL0060']);

  // A drag by the mouse, with the PC's own change coming in before the button is let go.
  await countFrames(page);
  const before = (await codes(page)).length;
  const box = await slider.boundingBox();
  const y = box.y + box.height / 2;
  await page.mouse.move(box.x + 2, y);
  await page.mouse.down();
  for (let step = 1; step <= 30; step += 1) await page.mouse.move(box.x + 2 + ((box.width - 4) * step) / 40, y);
  const final = await slider.inputValue();
  await page.evaluate(() => window.__serial.pcVolume(5, true));
  await waitFor('the PC\'s mute', async () => (await button(page, 'Mute').getAttribute('aria-pressed')) === 'true');
  assert.equal(await slider.inputValue(), final, 'the PC moved the slider under the finger');
  await page.mouse.up();
  await waitFor('the last position', async () => (await levels(page)).at(-1) === setVolume(Number(final)));
  assert.equal(await page.evaluate(() => window.__serial.pc.volume), Number(final));
  const written = (await codes(page)).slice(before);
  const frameOf = (await page.evaluate(() => window.writeFrames)).slice(-written.length);
  // The position where the finger lets go may follow the last frame's in that same frame.
  const dragFrames = frameOf.filter((_, i) => written[i].includes('VL')).slice(0, -1);
  assert.ok(dragFrames.length >= 3, `${written}`);
  assert.equal(new Set(dragFrames).size, dragFrames.length, `two levels in one frame: ${frameOf} ${written}`);

  // A report that left the PC before the level just sent arrived does not pull the slider back:
  // the PC's answer to that level comes after it, and only a report left alone shows, once settled.
  const stale = (level) => page.evaluate((volume) => window.__serial.feed(`${JSON.stringify({ type: 'volume', volume, muted: true })}\n`), level);
  await slider.evaluate((input) => {
    window.shownLevels = [];
    new MutationObserver(() => window.shownLevels.push(document.querySelector('#volume-level').textContent))
      .observe(document.querySelector('#volume-level'), { childList: true, characterData: true, subtree: true });
    // On its way already when the level goes: the page reads it after the level is sent and
    // before the stand-in's answer to it.
    window.__serial.feed(`${JSON.stringify({ type: 'volume', volume: 77, muted: true })}\n`);
    input.value = '31';
    input.dispatchEvent(new Event('change', { bubbles: true }));
  });
  await waitFor('the PC\'s answer', async () => (await page.evaluate(() => window.__serial.pc.volume)) === 31);
  await page.waitForTimeout(700); // past the settling time: a late stale report would show by now
  const seen = await page.evaluate(() => window.shownLevels);
  assert.ok(seen.every((text) => text === '31 %'), `the slider went back: ${seen}`);
  await stale(64);
  await waitFor('a report left alone', async () => (await slider.inputValue()) === '64');
  await wellFormed(page);
  await done(remote);
});

test('the version both speak: a version 3 answer; with no answer within 1.5 s ?v=N, else 2; garbage is no answer and is never a fault', async () => {
  const levelShown = (page) => page.evaluate(() => !document.querySelector('.level').hidden);
  for (const [query, version] of [['', 2], ['?v=2', 2], ['?v=3', 3], ['?v=1', 1]]) {
    const remote = await open({ clock: true, keypilot: 'silent', url: server.url + query, serial: 'fresh' });
    const { page } = remote;
    await button(page, 'Connect').click(); // once the clock stands still
    await status(page, /^Connected$/);
    await button(page, 'Right').click();
    if (version > 1) {
      await page.clock.runFor(ANSWER_WAIT_MS - 1);
      assert.equal(await speaks(page), null, query);
      assert.deepEqual(await codes(page), ['HI04'], `${query}: not the hello alone`);
      await page.clock.runFor(1);
    }
    await agreed(page, /^Connected$/);
    assert.equal(await speaks(page), String(version), query);
    await writes(page, 1);
    assert.deepEqual(await presses(page), ['06'], query);
    await page.clock.runFor(10000);
    await hideAndShow(page); // a hello again only where Keypilot may answer it
    await page.clock.runFor(100);
    assert.equal((await codes(page)).filter((w) => w.includes('HI')).length, Math.max(0, version - 1), query);
    assert.equal(await levelShown(page), version >= 3, query);
    await page.getByRole('tab', { name: 'Media' }).click();
    assert.match(await page.locator('.view:not([hidden])').innerText(), version === 1 ? /needs a newer Keypilot/ : /./);
    if (version === 2) assert.match(await page.locator('.volume').innerText(), /slider needs a newer Keypilot/);
    await done(remote);
  }

  const remote = await open({ clock: true, keypilot: 'silent', serial: 'fresh' });
  const { page } = remote;
  await button(page, 'Connect').click();
  await status(page, /^Connected$/);
  const feed = (pieces) => page.evaluate((all) => all.forEach((piece) => window.__serial.feed(piece)), pieces);
  const hello = (name) => JSON.stringify({ type: 'hello', version: 3, name, language: 'en', volume: 42, muted: false });
  const line = (bytes) => `${hello('x'.repeat(bytes - hello('').length - 1))}\n`; // `bytes` long with its LF
  await feed([[0x7b, 0xff, 0xfe, 0x7d, 0x0a], 'not JSON\n', '[3]\nnull\n', '{"type":"hello","version":"3","name":"A"}\n',
    '{"type":"hello","name":"B"}\n', '{"version":3,"name":"C"}\n', line(4097)]);
  await page.clock.runFor(ANSWER_WAIT_MS);
  await agreed(page, /^Connected$/);
  assert.equal(await speaks(page), '2');
  // Still reading, in the same chunk as more garbage: an unknown type, then the longest line there
  // is, in two pieces, late.
  const longest = line(4096);
  await feed([`not JSON\n{"type":"weather","version":9,"name":"D"}\n${longest.slice(0, 1000)}`, longest.slice(1000)]);
  await agreed(page, /^Connected to x{31}… — Keypilot 3$/);
  assert.equal(await speaks(page), '3');
  await button(page, 'Right').click();
  await writes(page, 1);
  assert.deepEqual(await presses(page), ['06']);
  await done(remote);
});

test('against a Keypilot of version 2 no press is lost to the hello: the presses made while it waits arrive after it, whole', async () => {
  const remote = await open({ clock: true, keypilot: 2, serial: 'fresh' });
  const { page } = remote;
  await button(page, 'Connect').click();
  await status(page, /^Connected$/);
  // A Keypilot of version 2 acts on a chunk whole or drops it whole; what the page wrote so far is
  // taken as one chunk, as writes that come close together can be.
  const acted = [];
  const dropped = [];
  const read = async () => {
    const chunk = await page.evaluate(() => window.__serial.unread());
    if (chunk === '') return;
    try {
      acted.push(...frames(chunk, 2).map((f) => f.frame).filter((f) => f !== 'PI'));
    } catch {
      dropped.push(chunk);
    }
  };
  await button(page, 'Right').click();
  await page.getByRole('tab', { name: 'Media' }).click();
  await button(page, 'Mute').click();
  await page.getByRole('tab', { name: 'Remote' }).click();
  await button(page, 'Up').click();
  await read();
  await page.clock.runFor(ANSWER_WAIT_MS);
  await waitFor('the presses', async () => {
    await read();
    return acted.length >= 3;
  });
  assert.deepEqual(dropped, ['HI04']);
  assert.deepEqual(acted, ['06', 'MU', '02']);
  assert.equal(await speaks(page), '2');
  await done(remote);
});

// The PC's buttons: only what BT and CF frames carry goes out, by the ids of the list last sent.
const pressesOfButtons = async (page) => (await presses(page)).filter((w) => /^(BT|CF)/.test(w));

test('the Buttons view shows the PC\'s list in its order by its names, follows a new one, and a tap presses by id; with Keypilot 3 it says the PC\'s buttons need a newer Keypilot', async () => {
  const remote = await open();
  const { page } = remote;
  await agreed(page, NAMED);
  await page.getByRole('tab', { name: 'Buttons' }).click();
  const shown = () => page.locator('#view-buttons button').allTextContents();
  assert.deepEqual(await shown(), ['Lock', 'Show desktop', 'Task manager', 'Sleep']);
  await button(page, 'Show desktop').click();
  // A list changed on the PC replaces the one shown; what could not be pressed or named is left out.
  await page.evaluate(() =>
    window.__serial.pcButtons([{ id: '0009', name: 'Спать' }, { id: '0001', name: 'Lock' }, { id: '0000', name: 'Zero' },
      { id: '0009', name: 'Twice' }, { id: '0010' }, { id: 11, name: 'Number' }]));
  await waitFor('the new list', async () => (await shown()).join() === 'Спать,Lock');
  await button(page, 'Lock').click();
  await waitFor('two presses', async () => (await pressesOfButtons(page)).length >= 2);
  assert.deepEqual(await pressesOfButtons(page), ['BT0002', 'BT0001']);
  assert.deepEqual(await page.evaluate(() => window.__serial.pc.pressed), ['0002', '0001']);
  await wellFormed(page);
  await done(remote);

  const old = await open({ keypilot: 3 });
  await agreed(old.page, /— Keypilot 3$/);
  await old.page.getByRole('tab', { name: 'Buttons' }).click();
  assert.equal(await old.page.locator('#view-buttons').innerText(), 'The PC’s buttons need a newer Keypilot on the PC.');
  await done(old);
});

test('a press Keypilot wants confirmed asks by the button\'s name: Confirm within its seconds sends the token once; after them, Cancel or Esc nothing', async () => {
  const remote = await open({ clock: true });
  const { page } = remote;
  await agreed(page, NAMED);
  await page.getByRole('tab', { name: 'Buttons' }).click();
  const dialog = page.getByRole('dialog');
  const ask = async () => {
    await button(page, 'Sleep').click();
    await waitFor('the confirmation', () => dialog.isVisible());
  };
  const gone = () => waitFor('no confirmation', async () => !(await dialog.isVisible()));
  await ask();
  assert.equal(await page.locator('#confirm-name').textContent(), 'Sleep');
  assert.equal(await page.locator('#confirm-note').textContent(), 'Confirm within 3 s.');
  await page.clock.runFor(2500);
  await button(page, 'Confirm').click();
  await gone();
  // Left alone, the step ends before Keypilot stops taking its token.
  await ask();
  await page.clock.runFor(3000);
  await gone();
  await ask();
  await button(page, 'Cancel').click();
  await gone();
  await ask();
  await page.keyboard.press('Escape');
  await gone();
  await page.clock.runFor(5000);
  // The fake's tokens count up from A1B2C3, one a press.
  assert.deepEqual(await pressesOfButtons(page), ['BT0006', 'CF0006A1B2C4', 'BT0006', 'BT0006', 'BT0006']);
  assert.deepEqual(await page.evaluate(() => window.__serial.pc.confirmed), ['0006A1B2C4']);
  await done(remote);
});

test('a press Keypilot says did nothing is told by the button\'s name and why, in the page\'s language, for a while; an unknown reason says less, an unlisted id nothing', async () => {
  for (const [locale, connectedTo, said] of [
    ['en-US', NAMED, '“Show desktop”: not found on the PC.'],
    ['ru-RU', /^Подключено/, '«Show desktop»: не найдено.'],
  ]) {
    const remote = await open({ locale, clock: true });
    const { page } = remote;
    await agreed(page, connectedTo);
    await page.evaluate(() => Object.assign(window.__serial.pc.failing, { '0002': 'notFound', '0004': 'somethingNew' }));
    await page.getByRole('tab').last().click();
    const note = page.getByRole('status').and(page.locator('#pc-failed'));
    await page.locator('.pc-button', { hasText: 'Show desktop' }).click();
    await waitFor('the failure', () => note.isVisible());
    assert.equal(await note.innerText(), said);
    await page.clock.runFor(FAILURE_SHOWN_MS);
    await waitFor('the failure gone', async () => !(await note.isVisible()));
    if (locale === 'en-US') {
      await page.evaluate(() => window.__serial.feed('{"type":"failed","id":"0099","reason":"busy"}\n'));
      await button(page, 'Task manager').click();
      await waitFor('the failure', () => note.isVisible());
      assert.equal(await note.innerText(), '“Task manager”: did not work.');
    }
    await done(remote);
  }
});

// Chrome keeps every port the user granted; a PC offering both services may have both granted.
test('of the ports granted, the next visit opens the one of the service used last', async () => {
  const remote = await open({ serial: 'granted' });
  const { page } = remote;
  await agreed(page, NAMED);
  await page.evaluate(() => window.__serial.pick('B'));
  await button(page, 'Connect').click();
  await waitFor('Keypilot\'s service open', async () => (await serialLog(page)).ports.B.open);
  await page.reload();
  await agreed(page, NAMED);
  const { opens, requests } = await serialLog(page);
  assert.deepEqual([opens, requests], [[{ port: 'B', baudRate: 9600, ok: true }], []]);
  await done(remote);
});

let ok = false;
try {
  ok = await runTests();
} finally {
  await browser.close();
  await server.close();
}
process.exit(ok ? 0 : 1);
