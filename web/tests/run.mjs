// The remote page's tests, in Debian's headless Chromium with a stand-in serial port.
//   node web/tests/run.mjs      prints "N passed, M failed"; exits 1 when a test failed
import assert from 'node:assert/strict';
import {
  launchBrowser,
  openRemote,
  runTests,
  served,
  serialLog,
  startServer,
  statusText,
  test,
  waitFor,
  writtenCodes,
} from './harness.mjs';

const SERIAL_PORT_SERVICE = '00001101-0000-1000-8000-00805f9b34fb';
const CODES = {
  Up: '02',
  Down: '08',
  Left: '04',
  Right: '06',
  Click: '05',
  Escape: '01',
  'Page up': '11',
  'Page down': '09',
  'Volume up': '07',
  'Volume down': '10',
  'Start menu': '03',
  'Run program': '00',
};

const server = await startServer();
const browser = await launchBrowser();
const open = (options) => openRemote(browser, server.url, options);
const button = (page, name) => page.getByRole('button', { name, exact: true });
const connected = (page) => waitFor('"Connected"', async () => (await statusText(page)) === 'Connected');
const opens = async (page) => (await serialLog(page)).opens.length;

async function done({ context, errors }) {
  await context.close();
  assert.deepEqual(errors, [], 'the page reported errors');
}

test('Connect asks for the Bluetooth serial port, opens it at 9600 baud, and the next visit opens it unasked', async () => {
  const remote = await open({ serial: 'fresh' });
  const { page } = remote;
  await waitFor('the reason', async () => /press Connect/.test(await statusText(page)));
  await button(page, 'Right').click(); // not connected: dropped, never sent later

  await button(page, 'Connect').click();
  await connected(page);
  const log = await serialLog(page);
  assert.deepEqual(log.requests, [
    {
      allowedBluetoothServiceClassIds: [SERIAL_PORT_SERVICE],
      filters: [{ bluetoothServiceClassId: SERIAL_PORT_SERVICE }],
    },
  ]);
  assert.deepEqual(log.opens, [{ baudRate: 9600, ok: true }]);
  assert.deepEqual(log.writes, []);

  await page.reload();
  await connected(page);
  assert.deepEqual((await serialLog(page)).requests, []);
  // The keyboard (or a screen reader) presses a button once as well.
  await button(page, 'Escape').focus();
  await page.keyboard.press('Enter');
  await waitFor('Escape', async () => (await writtenCodes(page)).length === 1);
  assert.deepEqual(await writtenCodes(page), ['01']);
  await done(remote);
});

test('every button writes its code as one write and nothing else', async () => {
  const remote = await open();
  const { page } = remote;
  await connected(page);
  const expected = [];
  for (const [name, code] of Object.entries(CODES)) {
    await button(page, name).click();
    expected.push(code);
    await waitFor(name, async () => (await writtenCodes(page)).length >= expected.length);
  }
  // Each press's click follows it; a second write would show up here.
  await button(page, 'Up').click();
  expected.push('02');
  await waitFor('Up', async () => (await writtenCodes(page)).length >= expected.length);
  assert.deepEqual(await writtenCodes(page), expected);
  await done(remote);
});

test('holding repeats after 400 ms, then every 120 ms, and stops on release, leaving and cancel', async () => {
  const remote = await open({ clock: true });
  const { page } = remote;
  await connected(page);
  const count = async () => (await writtenCodes(page)).length;
  const expectWrites = async (n, why) => assert.equal(await count(), n, why);
  const centre = async (name) => {
    const box = await button(page, name).boundingBox();
    return { x: box.x + box.width / 2, y: box.y + box.height / 2 };
  };

  let at = await centre('Right');
  await page.mouse.move(at.x, at.y);
  await page.mouse.down();
  await expectWrites(1, 'the press itself');
  await page.clock.runFor(399);
  await expectWrites(1, 'no repeat before 400 ms');
  await page.clock.runFor(1);
  await expectWrites(2, 'the first repeat at 400 ms');
  await page.clock.runFor(119);
  await expectWrites(2, 'no second repeat before 520 ms');
  await page.clock.runFor(1);
  await expectWrites(3, 'the second repeat at 520 ms');
  await page.clock.runFor(240);
  await expectWrites(5, 'every 120 ms after');
  await page.mouse.up();
  await page.clock.runFor(2000);
  await expectWrites(5, 'nothing after the release');

  // A mouse that leaves the button while held.
  at = await centre('Volume up');
  await page.mouse.move(at.x, at.y);
  await page.mouse.down();
  await page.clock.runFor(400);
  await expectWrites(7);
  await page.mouse.move(5, 5);
  await page.clock.runFor(2000);
  await expectWrites(7, 'nothing after leaving');
  await page.mouse.up();

  // A finger that slides off: a touch pointer is captured unless the page lets it go.
  const touch = await page.context().newCDPSession(page);
  const finger = (type, point) =>
    touch.send('Input.dispatchTouchEvent', { type, touchPoints: point ? [{ ...point, id: 1 }] : [] });
  at = await centre('Down');
  await finger('touchStart', at);
  await page.clock.runFor(400);
  await expectWrites(9);
  for (const step of [1, 2, 3, 4, 5]) await finger('touchMove', { x: at.x, y: at.y - 40 * step });
  await page.clock.runFor(2000);
  await expectWrites(9, 'nothing after the finger left');
  await finger('touchEnd');

  // A touch the browser takes over (a system gesture, say).
  at = await centre('Left');
  await finger('touchStart', at);
  await page.clock.runFor(400);
  await expectWrites(11);
  await finger('touchCancel');
  await page.clock.runFor(2000);
  await expectWrites(11, 'nothing after the cancel');

  // Click does not repeat, and a long press opens no menu.
  at = await centre('Click');
  await page.mouse.move(at.x, at.y);
  await page.mouse.down();
  await page.clock.runFor(2000);
  await page.mouse.up();
  const held = await button(page, 'Click').evaluate((element) =>
    element.dispatchEvent(new MouseEvent('contextmenu', { bubbles: true, cancelable: true })),
  );
  assert.equal(held, false, 'the context menu was not refused');
  assert.deepEqual(await writtenCodes(page), ['06', '06', '06', '06', '06', '07', '07', '08', '08', '04', '04', '05']);
  await done(remote);
});

test('a link that closes while the device stays connected is reopened unasked, after 1, 2, 4, then 10 s', async () => {
  const remote = await open({ clock: true });
  const { page } = remote;
  await connected(page);
  await page.evaluate(() => window.__serial.drop({ failOpens: 4 }));
  await waitFor('the loss', async () => /link was lost.*1 s/.test(await statusText(page)));
  await button(page, 'Right').click(); // not connected: dropped, never sent later
  // Each pause, then the open that follows it; the first four are refused.
  let tries = 1;
  for (const pause of [1000, 2000, 4000, 10000, 10000]) {
    await page.clock.runFor(pause - 1);
    assert.equal(await opens(page), tries, `no try before ${pause} ms`);
    await page.clock.runFor(1);
    tries += 1;
    await waitFor(`try ${tries}`, async () => (await opens(page)) === tries);
  }
  await connected(page);
  await button(page, 'Right').click();
  await waitFor('Right', async () => (await writtenCodes(page)).length > 0);
  const log = await serialLog(page);
  assert.deepEqual(log.requests, [], 'the user was asked again');
  assert.deepEqual(log.opens.map((o) => o.ok), [true, false, false, false, false, true]);
  assert.equal(log.closes, 1, 'the lost port was not closed before it was opened again');
  assert.deepEqual(await writtenCodes(page), ['06']);
  await done(remote);
});

test('a device that goes away is waited for, and reopened unasked when it is back', async () => {
  const remote = await open({ clock: true });
  const { page } = remote;
  await connected(page);
  await page.evaluate(() => window.__serial.unplug());
  await waitFor('out of reach', async () => /out of reach/.test(await statusText(page)));
  await page.clock.runFor(60000);
  assert.equal(await opens(page), 1, 'it tried to open a device that is gone');
  await page.evaluate(() => window.__serial.plug());
  await connected(page);
  await button(page, 'Right').click();
  await waitFor('Right', async () => (await writtenCodes(page)).length > 0);
  assert.deepEqual((await serialLog(page)).requests, []);
  assert.deepEqual(await writtenCodes(page), ['06']);
  await done(remote);
});

test('without Web Serial the page says what works instead and throws nothing', async () => {
  const remote = await open({ serial: 'none' });
  const { page } = remote;
  const notice = page.locator('#unsupported');
  await notice.waitFor();
  const text = await notice.innerText();
  for (const part of ['Chrome 138', 'Android', 'docs/phone.md', 'iPhone']) assert.match(text, new RegExp(part));
  assert.equal(await button(page, 'Connect').count(), 0, 'Connect is offered');
  const box = await button(page, 'Right').boundingBox();
  await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2);
  assert.match(await statusText(page), /Not available/);
  await done(remote);
});

test('a Russian browser gets Russian text; another language gets English', async () => {
  const remote = await open({ locale: 'ru-RU' });
  const { page } = remote;
  await waitFor('"Подключено"', async () => (await statusText(page)) === 'Подключено');
  for (const name of ['Вверх', 'Вниз', 'Влево', 'Вправо', 'Щелчок', 'Клавиша Esc', 'Страница вверх',
    'Страница вниз', 'Громче', 'Тише', 'Меню «Пуск»', 'Запуск программы', 'Подключить']) {
    assert.equal(await button(page, name).count(), 1, name);
  }
  assert.equal(await page.getByRole('button', { name: /^[A-Za-z ]+$/ }).count(), 0, 'an English name is left');
  assert.equal(await page.evaluate(() => [document.documentElement.lang, document.title].join()), 'ru,Пульт Keypilot');
  await done(remote);

  const unsupported = await open({ locale: 'ru-RU', serial: 'none' });
  assert.match(await unsupported.page.locator('#unsupported').innerText(), /Chrome 138.*Android.*iPhone/s);
  assert.match(await statusText(unsupported.page), /недоступно/);
  await done(unsupported);

  const german = await open({ locale: 'de-DE' });
  await connected(german.page);
  assert.equal(await button(german.page, 'Right').count(), 1);
  await done(german);
});

test('the first load stays on its own origin and under 150 kB, and the page then opens offline', async () => {
  const remote = await open({ serviceWorkers: 'allow' });
  const { page, context } = remote;
  const elsewhere = [];
  const failed = [];
  context.on('request', (request) => {
    if (!request.url().startsWith(new URL(server.url).origin)) elsewhere.push(request.url());
  });
  context.on('response', (response) => response.ok() || failed.push(`${response.status()} ${response.url()}`));
  served.length = 0;
  await page.reload();
  await connected(page);
  const state = await page.evaluate(async () => (await navigator.serviceWorker.ready).active.state);
  assert.ok(['activating', 'activated'].includes(state), state);
  await waitFor('the manifest and every icon', () => served.filter((f) => /webmanifest|maskable|512/.test(f.path)).length >= 3);
  assert.deepEqual(elsewhere, []);
  assert.deepEqual(failed, []);
  const files = new Map(served.map((f) => [f.path.replace(/\/$/, '/index.html'), f.bytes]));
  const total = [...files.values()].reduce((sum, bytes) => sum + bytes, 0);
  console.log(`      first load: ${total} bytes in ${files.size} files (${served.reduce((s, f) => s + f.bytes, 0)} bytes sent in ${served.length} answers)`);
  for (const [path, bytes] of [...files].sort((a, b) => b[1] - a[1])) console.log(`        ${String(bytes).padStart(6)}  ${path}`);
  assert.ok(total < 150000, `${total} bytes`);

  await context.setOffline(true);
  await page.reload();
  await connected(page);
  assert.equal(await button(page, 'Right').count(), 1);
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
