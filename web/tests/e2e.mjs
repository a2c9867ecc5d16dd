// End to end: the page in Chromium drives Keypilot running under Wine. The stand-in serial port
// hands each write to this process, which writes it into the phone's end of the testbed's link
// (COM6, a pseudo-terminal); Keypilot listens on the other end, COM5, and moves the cursor.
//   node web/tests/e2e.mjs <windows build folder>   (Keypilot and cursor built; default build/windows)
// The testbed runs in <build>/web-testbed and is stopped at the end.
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { closeSync, constants, existsSync, openSync, writeSync } from 'node:fs';
import { join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { launchBrowser, openRemote, runTests, startServer, statusText, test, waitFor } from './harness.mjs';

const root = fileURLToPath(new URL('../..', import.meta.url));
const build = resolve(process.argv[2] ?? join(root, 'build/windows'));
const testbed = join(build, 'web-testbed');
const keypilotExe = join(build, 'src/app/Keypilot.exe');
const cursorExe = join(build, 'tools/cursor/cursor.exe');
const STEP = 20;

const script = (name) => join(root, 'scripts', name);
const wine = (...args) =>
  execFileSync(script('wine-run.sh'), [testbed, ...args], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'inherit'] });
const cursor = () => wine(cursorExe).trim().split(/\s+/).map(Number);
const same = (a, b) => a[0] === b[0] && a[1] === b[1];

// Waits until the cursor has stood still for a few readings in a row, and gives its position.
async function settledCursor() {
  let last = cursor();
  let still = 0;
  await waitFor('the cursor to stand still', async () => {
    const now = cursor();
    still = same(now, last) ? still + 1 : 0;
    last = now;
    return still >= 5;
  }, 15000);
  return last;
}

for (const file of [keypilotExe, cursorExe]) {
  if (!existsSync(file)) {
    console.error(`e2e: ${file} is missing (cmake --build --preset windows --target Keypilot cursor)`);
    process.exit(2);
  }
}

const server = await startServer();
const browser = await launchBrowser();

test('pressing Right on the page moves the cursor of Keypilot under Wine', async () => {
  execFileSync(script('testbed.sh'), ['start', testbed], { stdio: ['ignore', 'inherit', 'inherit'] });
  let keypilot = null;
  let phone = -1;
  let remote = null;
  try {
    const settings = 'HKCU\\Software\\Corvane\\Keypilot';
    wine('reg', 'add', settings, '/v', 'com', '/t', 'REG_SZ', '/d', '4', '/f'); // COM5
    wine('reg', 'add', settings, '/v', 'mouse', '/t', 'REG_SZ', '/d', String(STEP), '/f');
    keypilot = spawn(script('wine-run.sh'), [testbed, keypilotExe], { stdio: 'ignore' });

    phone = openSync(join(testbed, 'pty/COM6'), constants.O_WRONLY | constants.O_NOCTTY);
    remote = await openRemote(browser, server.url, { forward: (bytes) => writeSync(phone, Buffer.from(bytes)) });
    const { page } = remote;
    await waitFor('"Connected"', async () => (await statusText(page)) === 'Connected');
    const right = page.getByRole('button', { name: 'Right', exact: true });

    // Keypilot answers once it has opened its port: press until the cursor moves.
    await waitFor('Keypilot to answer on COM5', async () => {
      const before = cursor();
      await right.click();
      return waitFor('a move', () => !same(cursor(), before), 1500).then(() => true, () => false);
    }, 40000);

    const before = await settledCursor();
    await right.click();
    const after = await waitFor('the cursor to move', () => {
      const now = cursor();
      return !same(now, before) && now;
    });
    assert.deepEqual(after, [before[0] + STEP, before[1]], `the cursor went from ${before} to ${after}`);
    assert.deepEqual(await settledCursor(), after, 'the cursor moved on after the one press');
    assert.deepEqual(remote.errors, []);
  } finally {
    await remote?.context.close();
    if (phone >= 0) closeSync(phone);
    execFileSync(script('testbed.sh'), ['stop', testbed], { stdio: ['ignore', 'inherit', 'inherit'] });
    if (keypilot && keypilot.exitCode === null) keypilot.kill();
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
