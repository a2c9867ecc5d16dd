// End to end: the page drives Keypilot under Wine: Right on the remote, then a drag on the touchpad. The stand-in port hands each write to this
// process, which writes it into the phone's end (COM6, a pseudo-terminal) of a testbed in
// <build>/web-testbed; Keypilot listens on COM5 and moves the cursor. The testbed stops at the end.
//   node web/tests/e2e.mjs [windows build folder]   (Keypilot and cursor built; default build/windows)
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { closeSync, constants, existsSync, openSync, writeSync } from 'node:fs';
import { join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { button, launchBrowser, openRemote, runTests, startServer, status, test, waitFor } from './harness.mjs';

const root = fileURLToPath(new URL('../..', import.meta.url));
const build = resolve(process.argv[2] ?? join(root, 'build/windows'));
const testbed = join(build, 'web-testbed');
const [keypilotExe, cursorExe] = ['src/app/Keypilot.exe', 'tools/cursor/cursor.exe'].map((f) => join(build, f));
const STEP = 20;
const script = (name) => join(root, 'scripts', name);
const wine = (...args) =>
  execFileSync(script('wine-run.sh'), [testbed, ...args], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'inherit'] });
const cursor = () => wine(cursorExe).trim().split(/\s+/).map(Number);
const same = (a, b) => a.join() === b.join();

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

if (![keypilotExe, cursorExe].every(existsSync)) {
  console.error(`e2e: build ${keypilotExe} and ${cursorExe} first (cmake --build --preset windows --target Keypilot cursor)`);
  process.exit(2);
}
const server = await startServer();
const browser = await launchBrowser();

test('pressing Right, then a drag on the touchpad, moves the cursor of Keypilot under Wine', async () => {
  execFileSync(script('testbed.sh'), ['start', testbed], { stdio: ['ignore', 'inherit', 'inherit'] });
  let keypilot;
  let phone = -1;
  let remote;
  const written = [];
  try {
    for (const [name, value] of [['com', '4'], ['mouse', String(STEP)]]) { // COM5, 20-pixel steps
      wine('reg', 'add', 'HKCU\\Software\\Corvane\\Keypilot', '/v', name, '/t', 'REG_SZ', '/d', value, '/f');
    }
    keypilot = spawn(script('wine-run.sh'), [testbed, keypilotExe], { stdio: 'ignore' });
    phone = openSync(join(testbed, 'pty/COM6'), constants.O_WRONLY | constants.O_NOCTTY);
    remote = await openRemote(browser, server.url, { forward: (bytes) => {
      written.push(String.fromCharCode(...bytes));
      writeSync(phone, Buffer.from(bytes));
    } });
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
    const mark = written.length;
    await finger('touchStart', 100, 40);
    for (let i = 1; i <= 30; i += 1) await finger('touchMove', 100 - i, 40 + 2 * i);
    await finger('touchEnd');
    const sent = () =>
      written.slice(mark).join('').match(/MV[+-]\d{3}[+-]\d{3}/g)?.reduce(
        (sum, m) => [sum[0] + Number(m.slice(2, 6)), sum[1] + Number(m.slice(6))], [0, 0]) ?? [0, 0];
    await waitFor('the drag to be written', () => same(sent(), [-30, 60]), 10000);
    await waitFor('the cursor to move', () => !same(cursor(), after), 10000);
    const dragged = await stillCursor();
    assert.deepEqual(dragged, [after[0] - 30, after[1] + 60], `the drag took the cursor from ${after} to ${dragged}`);
    assert.deepEqual(remote.errors, []);
  } finally {
    await remote?.context.close();
    if (phone >= 0) closeSync(phone);
    execFileSync(script('testbed.sh'), ['stop', testbed], { stdio: ['ignore', 'inherit', 'inherit'] });
    if (keypilot?.exitCode === null) keypilot.kill();
  }
});

let ok = false;
try {
  ok = await runTests(180000);
} finally {
  await browser.close();
  await server.close();
}
process.exit(ok ? 0 : 1);
