// What the page tests and the end-to-end test share: Debian's Chromium, the page on 127.0.0.1,
// the stand-in serial port, waiting with deadlines, and a counted result line.
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';
import { serve } from '../server.mjs';
import { installFakeSerial, removeSerial } from './fake-serial.js';

export const REMOTE_DIR = fileURLToPath(new URL('../remote', import.meta.url));
// The page is served from a folder deep inside the host, as a static host might: every path in
// it has to be relative.
export const BASE = '/some/folder/remote/';
export const PHONE = { width: 390, height: 844 };

// For a machine without network: nothing that phones home or downloads at start.
const FLAGS = [
  '--headless',
  '--no-sandbox',
  '--disable-gpu',
  '--disable-quic',
  '--no-first-run',
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
];

export function launchBrowser() {
  return chromium.launch({
    executablePath: process.env.KEYPILOT_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: FLAGS,
  });
}

// Every file the server sends, for the size check.
export const served = [];
export function startServer() {
  return serve(REMOTE_DIR, { base: BASE, onServe: (path, bytes) => served.push({ path, bytes }) });
}

// A phone-sized page of the remote in a fresh profile. serial: 'fresh' (Web Serial, no port
// granted yet), 'granted' (a port chosen on an earlier visit), 'none' (no Web Serial).
// Errors the page throws or logs (a CSP refusal among them) are collected in `errors`.
export async function openRemote(browser, url, options = {}) {
  const { serial = 'granted', locale = 'en-US', clock = false, serviceWorkers = 'block' } = options;
  const context = await browser.newContext({
    locale,
    viewport: PHONE,
    deviceScaleFactor: options.deviceScaleFactor ?? 1,
    hasTouch: true,
    serviceWorkers,
  });
  if (options.forward) await context.exposeBinding('__forwardWrite', (_, bytes) => options.forward(bytes));
  if (serial === 'none') await context.addInitScript(removeSerial);
  else await context.addInitScript(installFakeSerial, { granted: serial === 'granted', forward: !!options.forward });
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (error) => errors.push(`pageerror: ${error.message}`));
  page.on('console', (message) => {
    if (message.type() === 'error') errors.push(`console: ${message.text()}`);
  });
  // The fake clock stands still from the end of the load on: only runFor moves it.
  if (clock) await page.clock.install({ time: new Date('2030-01-01T08:00:00Z') });
  await page.goto(url);
  if (clock) await page.clock.pauseAt(new Date('2030-01-01T09:00:00Z'));
  return { context, page, errors };
}

export const serialLog = (page) => page.evaluate(() => structuredClone(window.__serial.log));
export const writtenCodes = async (page) =>
  (await serialLog(page)).writes.map((bytes) => String.fromCharCode(...bytes));
export const statusText = (page) => page.locator('#status').innerText();

// Polls check() until it returns a truthy value, or fails with the last value after the deadline.
export async function waitFor(what, check, timeoutMs = 5000) {
  const deadline = Date.now() + timeoutMs;
  let last;
  for (;;) {
    try {
      last = await check();
      if (last) return last;
    } catch (error) {
      last = error;
    }
    if (Date.now() > deadline) {
      throw new Error(`timed out waiting for ${what} (last: ${last instanceof Error ? last.message : JSON.stringify(last)})`);
    }
    await new Promise((resume) => setTimeout(resume, 25));
  }
}

const tests = [];
export function test(name, body) {
  tests.push({ name, body });
}

// Runs the tests one after another and prints "N passed, M failed"; true when all passed.
export async function runTests(timeoutMs = 90000) {
  let passed = 0;
  let failed = 0;
  for (const { name, body } of tests) {
    const started = Date.now();
    let timer;
    try {
      await Promise.race([
        body(),
        new Promise((_, fail) => {
          timer = setTimeout(() => fail(new Error(`no result within ${timeoutMs / 1000} s`)), timeoutMs);
        }),
      ]);
      passed += 1;
      console.log(`ok    ${name} (${Date.now() - started} ms)`);
    } catch (error) {
      failed += 1;
      console.log(`FAIL  ${name}\n      ${String(error?.stack ?? error).replaceAll('\n', '\n      ')}`);
    } finally {
      clearTimeout(timer);
    }
  }
  console.log(`${passed} passed, ${failed} failed`);
  return failed === 0;
}
