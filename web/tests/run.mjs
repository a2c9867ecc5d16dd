// The remote page's tests, in Debian's headless Chromium with a stand-in serial port.
//   node web/tests/run.mjs      prints "N passed, M failed"; exits 1 when a test failed
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { appendFileSync, cpSync, mkdtempSync, readFileSync, renameSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { serve } from '../server.mjs';
import { languages } from '../remote/language.js';
import { button, codes, launchBrowser, openRemote, runTests, served, serialLog, startServer, status, statusText,
  test, waitFor } from './harness.mjs';

const SERVICE = '00001101-0000-1000-8000-00805f9b34fb';
const CODES = { Up: '02', Down: '08', Left: '04', Right: '06', Click: '05', Escape: '01', 'Page up': '11',
  'Page down': '09', 'Volume up': '07', 'Volume down': '10', 'Start menu': '03', 'Run program': '00' };

const server = await startServer();
const browser = await launchBrowser();
const open = (options = {}) => openRemote(browser, options.url ?? server.url, options);
const connected = (page) => status(page, /^Connected$/);
const writes = (page, n) => waitFor(`${n} writes`, async () => (await codes(page)).length >= n);
const opens = async (page) => (await serialLog(page)).opens.length;
async function done({ context, errors }) {
  await context.close();
  assert.deepEqual(errors, [], 'the page reported errors');
}

test('Connect asks for the Bluetooth serial port, opens it at 9600 baud; the next visit opens it unasked', async () => {
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
  const filter = { allowedBluetoothServiceClassIds: [SERVICE], filters: [{ bluetoothServiceClassId: SERVICE }] };
  const log = await serialLog(page);
  assert.deepEqual(log.requests, [filter]);
  assert.deepEqual(log.opens, [{ port: 'A', baudRate: 9600, ok: true }]);
  assert.equal(log.closes, 0);
  assert.deepEqual(log.writes, []);

  await page.reload();
  await connected(page);
  assert.deepEqual((await serialLog(page)).requests, []);
  await button(page, 'Escape').press('Enter'); // the keyboard, or a screen reader, presses once too
  await writes(page, 1);
  assert.deepEqual(await codes(page), ['01']);
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
  assert.deepEqual(await codes(page), names.map((name) => CODES[name]));
  await done(remote);
});

test('holding repeats after 400 ms, then every 120 ms, and stops on release, leaving and cancel', async () => {
  const remote = await open({ clock: true });
  const { page } = remote;
  await connected(page);
  const after = async (ms, n, why) => {
    await page.clock.runFor(ms);
    assert.equal((await codes(page)).length, n, why);
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
  assert.deepEqual(await codes(page), ['06', '06', '06', '06', '06', '08', '08', '04', '04', '05']);
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
    assert.deepEqual(ports, { A: { open: false, writes: [] }, B: { open: true, writes: [[0x30, 0x36]] } });
    await done(remote);
  }
});

// Every button fits on the screen without scrolling, upright and on its side, in either language,
// with the longest line the status can show.
test('every control fits without scrolling at 360 x 640, 390 x 844, 640 x 360 and 844 x 390', async () => {
  const sizes = [[360, 640], [390, 844], [640, 360], [844, 390]];
  for (const locale of ['en-US', 'ru-RU']) {
    const text = languages[locale.slice(0, 2)].status;
    const longest = Object.values(text)
      .filter((line) => typeof line === 'string')
      .map((line) => `${line} ${text.retryIn(10)}`)
      .reduce((a, b) => (b.length > a.length ? b : a));
    const remote = await open({ serial: 'fresh', locale });
    const { page } = remote;
    await status(page, /./);
    await page.locator('#status-text').evaluate((element, line) => (element.textContent = line), longest);
    for (const [width, height] of sizes) {
      await page.setViewportSize({ width, height });
      const misfits = await page.evaluate(() => {
        const { innerWidth: w, innerHeight: h } = window;
        const wrong = [];
        const page = document.scrollingElement;
        if (page.scrollWidth > w || page.scrollHeight > h) wrong.push(`the page is ${page.scrollWidth} x ${page.scrollHeight}`);
        for (const control of document.querySelectorAll('button')) {
          const r = control.getBoundingClientRect();
          if (r.left < 0 || r.top < 0 || r.right > w || r.bottom > h || r.width < 40 || r.height < 40) {
            const name = control.ariaLabel ?? control.textContent;
            wrong.push(`${name} at ${Math.round(r.left)},${Math.round(r.top)} ${Math.round(r.width)} x ${Math.round(r.height)}`);
          }
        }
        return wrong;
      });
      assert.deepEqual(misfits, [], `${locale} at ${width} x ${height}`);
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
  assert.deepEqual(await codes(page), ['06']);
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
  assert.deepEqual(await codes(page), ['06']);
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
  await status(page, /^Подключено$/);
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

let ok = false;
try {
  ok = await runTests();
} finally {
  await browser.close();
  await server.close();
}
process.exit(ok ? 0 : 1);
