// Takes the README's pictures of the remote page at a phone's size (390 x 844), connected, in
// English and in Russian: docs/remote-en.png and docs/remote-ru.png (the Remote view), and
// docs/remote-touchpad-en.png, docs/remote-keyboard-ru.png, docs/remote-media-en.png and
// docs/remote-buttons-en.png (the stand-in PC's list).
//   node web/tests/screenshots.mjs [folder]    (default: docs)
import { fileURLToPath } from 'node:url';
import { join } from 'node:path';
import { launchBrowser, openRemote, startServer, status } from './harness.mjs';

const folder = process.argv[2] ?? fileURLToPath(new URL('../../docs', import.meta.url));
const server = await startServer();
const browser = await launchBrowser();
try {
  for (const [lang, locale, connected, view, tab] of [
    ['en', 'en-US', 'Connected to'],
    ['ru', 'ru-RU', 'Подключено к'],
    ['en', 'en-US', 'Connected to', 'touchpad', 'Touchpad'],
    ['ru', 'ru-RU', 'Подключено к', 'keyboard', 'Клавиатура'],
    ['en', 'en-US', 'Connected to', 'media', 'Media'],
    ['en', 'en-US', 'Connected to', 'buttons', 'Buttons'],
  ]) {
    const { page, context, errors } = await openRemote(browser, server.url, { locale });
    await status(page, new RegExp(`^${connected} `));
    if (tab) await page.getByRole('tab', { name: tab }).click();
    await page.evaluate(() => document.fonts.ready);
    const file = join(folder, view ? `remote-${view}-${lang}.png` : `remote-${lang}.png`);
    await page.screenshot({ path: file });
    await context.close();
    if (errors.length) throw new Error(errors.join('\n'));
    console.log(`screenshots: ${file}`);
  }
} finally {
  await browser.close();
  await server.close();
}
