// Wires the page together: texts, buttons, the link to Keypilot, the status line, the screen
// wake lock and the offline copy.
import { bindButton } from './buttons.js';
import { Connection } from './connection.js';
import { chooseLanguage } from './language.js';

// Each button's code, as Keypilot reads it; the moving ones repeat while held.
const KEYS = {
  up: { code: '02', repeats: true },
  down: { code: '08', repeats: true },
  left: { code: '04', repeats: true },
  right: { code: '06', repeats: true },
  click: { code: '05' },
  escape: { code: '01' },
  pageUp: { code: '11' },
  pageDown: { code: '09' },
  volumeUp: { code: '07', repeats: true },
  volumeDown: { code: '10', repeats: true },
  start: { code: '03' },
  run: { code: '00' },
};

const text = chooseLanguage(navigator.languages?.length ? navigator.languages : [navigator.language]);
const keyButtons = [...document.querySelectorAll('[data-key]')];
const connectButton = document.getElementById('connect');

function applyTexts() {
  document.documentElement.lang = text.lang;
  document.title = text.title;
  document.getElementById('heading').textContent = text.heading;
  for (const button of keyButtons) button.setAttribute('aria-label', text.buttons[button.dataset.key]);
  for (const caption of document.querySelectorAll('[data-caption]')) {
    caption.textContent = text.captions[caption.dataset.caption];
  }
  connectButton.textContent = text.buttons.connect;
}

function showStatus(status, line) {
  document.body.dataset.status = status;
  document.getElementById('status-text').textContent = line;
}

function showUnsupported() {
  const notice = document.getElementById('unsupported');
  notice.textContent = text.unsupported;
  notice.hidden = false;
  connectButton.hidden = true;
  for (const button of keyButtons) button.disabled = true;
  document.body.classList.add('no-serial');
  showStatus('disconnected', text.status.unsupported);
}

function describe({ status, reason, retryInMs }) {
  if (status !== 'disconnected') return text.status[status];
  const why = text.status[reason] ?? text.status.lost;
  return retryInMs > 0 ? `${why} ${text.status.retryIn(Math.round(retryInMs / 1000))}` : why;
}

// The screen stays on while the remote is connected and showing; the browser drops the lock
// whenever the page is hidden, so it is asked for again when the page comes back.
function keepScreenAwake(connection) {
  let lock = null;
  let asking = false;
  const update = async () => {
    const wanted = connection.state.status === 'connected' && document.visibilityState === 'visible';
    if (wanted && !lock && !asking && navigator.wakeLock) {
      asking = true;
      try {
        lock = await navigator.wakeLock.request('screen');
        lock.addEventListener('release', () => {
          lock = null;
        });
      } catch {
        lock = null; // refused (battery saver, say): the remote works without it
      }
      asking = false;
      if (lock && connection.state.status !== 'connected') update();
    } else if (!wanted && lock) {
      const held = lock;
      lock = null;
      held.release().catch(() => {});
    }
  };
  connection.addEventListener('change', update);
  document.addEventListener('visibilitychange', update);
}

// The keys work only while connected; otherwise they are dimmed and marked aria-disabled, and a
// screen reader is told why once: when they go off, or at the first press of one that is off.
function keySwitch() {
  const note = document.getElementById('keys-off');
  let on = null;
  let said = false;
  const say = () => {
    if (said) return;
    said = true;
    note.textContent = text.keysOff;
  };
  const set = (wanted) => {
    if (wanted === on) return;
    const wasOn = on;
    on = wanted;
    for (const button of keyButtons) button.setAttribute('aria-disabled', String(!on));
    said = false;
    note.textContent = '';
    if (!on && wasOn) say();
  };
  return { set, say };
}

function startRemote(serial) {
  const connection = new Connection(serial);
  const encoder = new TextEncoder();
  const keys = keySwitch();
  const render = () => {
    const { state } = connection;
    showStatus(state.status, describe(state));
    connectButton.classList.toggle('quiet', state.status === 'connected');
    keys.set(state.status === 'connected');
  };
  connection.addEventListener('change', render);
  render();
  for (const button of keyButtons) {
    const { code, repeats = false } = KEYS[button.dataset.key];
    const bytes = encoder.encode(code);
    bindButton(button, { repeats, onPress: () => connection.send(bytes), onRefused: keys.say });
  }
  connectButton.addEventListener('click', () => connection.choose());
  keepScreenAwake(connection);
  connection.start();
}

applyTexts();
if ('serial' in navigator && navigator.serial) {
  startRemote(navigator.serial);
} else {
  showUnsupported();
}
// The service worker keeps a copy of the page so that it opens without a network. The page
// allows no script address that does not pass this policy (Trusted Types): only the worker's own.
const workerUrl = window.trustedTypes
  ? window.trustedTypes.createPolicy('remote', { createScriptURL: (url) => (url === 'sw.js' ? url : '') })
      .createScriptURL('sw.js')
  : 'sw.js';
navigator.serviceWorker?.register(workerUrl).catch(() => {});
