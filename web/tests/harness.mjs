// What the page tests and the end-to-end test share: Debian's Chromium, the page on 127.0.0.1,
// the stand-in serial port, waiting with deadlines, and a counted result line.
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';
import { serve } from '../server.mjs';
import { installFakeSerial, removeSerial } from './fake-serial.js';

// Served from deep inside the host, as a static host might: every path in the page is relative.
export const served = [];
export const startServer = () =>
  serve(fileURLToPath(new URL('../remote', import.meta.url)), {
    base: '/some/folder/remote/',
    onServe: (path, bytes) => served.push({ path, bytes }),
  });

// Flags for a machine without network: nothing that phones home or downloads at start.
export const launchBrowser = () =>
  chromium.launch({
    executablePath: process.env.KEYPILOT_CHROMIUM || '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });

// The remote at a phone's size in a fresh profile. serial: 'granted' (port A chosen on an earlier
// visit), 'fresh' (none chosen yet), 'none' (no Web Serial), or the names of the ports granted
// (['B', 'A']); keypilot: what the PC answers (4, 3, 2 or 'silent', see fake-serial.js). With
// clock, time stands still once the page has loaded and moves only by page.clock.runFor. `errors` collects what the page
// throws or logs as an error, a refusal by its Content-Security-Policy among them.
export async function openRemote(browser, url, options = {}) {
  const { serial = 'granted', locale = 'en-US', clock = false, serviceWorkers = 'block', forward, keypilot = 4 } = options;
  const context = await browser.newContext({ locale, viewport: { width: 390, height: 844 }, hasTouch: true, serviceWorkers });
  if (forward) await context.exposeBinding('__forwardWrite', (_, bytes) => forward(bytes));
  if (serial === 'none') await context.addInitScript(removeSerial);
  else {
    const granted = Array.isArray(serial) ? serial : serial === 'granted' ? ['A'] : [];
    await context.addInitScript(installFakeSerial, { granted, forward: !!forward, keypilot });
  }
  options.onContext?.(context);
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  page.on('console', (message) => message.type() === 'error' && errors.push(message.text()));
  if (clock) await page.clock.install({ time: new Date('2030-01-01T08:00:00Z') });
  await page.goto(url);
  if (clock) await page.clock.pauseAt(new Date('2030-01-01T09:00:00Z'));
  return { context, page, errors };
}

export const serialLog = (page) => page.evaluate(() => structuredClone(window.__serial.log));
export const codes = async (page) => (await serialLog(page)).writes.map((bytes) => String.fromCharCode(...bytes));
// The writes but the signs of life that an idle connected page sends, and its hellos.
export const presses = async (page) => (await codes(page)).filter((code) => code !== 'PI' && !/^HI\d\d$/.test(code));
export const statusText = (page) => page.locator('#status').innerText();
export const button = (page, name) => page.getByRole('button', { name, exact: true });
export const status = (page, pattern) =>
  waitFor(`status ${pattern}`, async () => pattern.test(await statusText(page)));
// Connected, and the link's version agreed (or given up on): presses go out at once from here on.
export const agreed = async (page, pattern = /^Connected/) => {
  await status(page, pattern);
  return waitFor('the version agreed', () => page.evaluate(() => document.body.dataset.speaks));
};

// Polls check() until it gives a truthy value, which it returns; fails after the deadline.
export async function waitFor(what, check, timeoutMs = 5000) {
  const deadline = Date.now() + timeoutMs;
  for (let last; ; await new Promise((resume) => setTimeout(resume, 25))) {
    try {
      last = await check();
      if (last) return last;
    } catch (error) {
      last = error.message;
    }
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what} (last: ${JSON.stringify(last)})`);
  }
}

const tests = [];
export const test = (name, body) => tests.push({ name, body });

// Runs the tests in turn and prints "N passed, M failed"; resolves to true when all passed.
// KEYPILOT_TEST_ONLY=text runs only the tests whose names contain that text.
export async function runTests(timeoutMs = 90000) {
  let passed = 0;
  const only = process.env.KEYPILOT_TEST_ONLY;
  if (only) tests.splice(0, tests.length, ...tests.filter((t) => t.name.includes(only)));
  for (const { name, body } of tests) {
    const started = Date.now();
    let timer;
    const timeout = new Promise((_, fail) => {
      timer = setTimeout(() => fail(new Error(`no result within ${timeoutMs / 1000} s`)), timeoutMs);
    });
    try {
      await Promise.race([body(), timeout]);
      passed += 1;
      console.log(`ok    ${name} (${Date.now() - started} ms)`);
    } catch (error) {
      console.log(`FAIL  ${name}\n      ${String(error?.stack ?? error).replaceAll('\n', '\n      ')}`);
    } finally {
      clearTimeout(timer);
    }
  }
  console.log(`${passed} passed, ${tests.length - passed} failed`);
  return passed === tests.length;
}
