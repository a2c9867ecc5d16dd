// Wires the page: texts, the views and their controls, the link to Keypilot, the status line, the
// screen wake lock and the offline copy.
import { bindButton } from './buttons.js';
import { COMMANDS, MUTE, NEWEST_VERSION, RIGHT_CLICK, key, scroll, typing } from './codes.js';
import { Connection } from './connection.js';
import { chooseLanguage } from './language.js';
import { Outbox } from './outbox.js';
import { bindPcButtons } from './pcbuttons.js';
import { Peer } from './peer.js';
import { bindTouchpad } from './touchpad.js';
import { bindTabs } from './views.js';
import { bindVolume } from './volume.js';

// The remote's keys and their codes; the moving ones repeat while held.
const KEYS = {
  up: { code: COMMANDS.up, repeats: true },
  down: { code: COMMANDS.down, repeats: true },
  left: { code: COMMANDS.left, repeats: true },
  right: { code: COMMANDS.right, repeats: true },
  click: { code: COMMANDS.click },
  escape: { code: COMMANDS.esc },
  pageUp: { code: COMMANDS.pgup },
  pageDown: { code: COMMANDS.pgdn },
  volumeUp: { code: COMMANDS.volup, repeats: true },
  volumeDown: { code: COMMANDS.voldown, repeats: true },
  start: { code: COMMANDS.start },
  run: { code: COMMANDS.launch },
};

// The other views' buttons, each with its frame. A wheel notch is 120 units.
const ACTIONS = {
  rightClick: { frame: RIGHT_CLICK },
  scrollUp: { frame: scroll(0, 120), repeats: true },
  scrollDown: { frame: scroll(0, -120), repeats: true },
  enter: { frame: key('return') },
  backspace: { frame: key('backspace'), repeats: true },
  tab: { frame: key('tab') },
  playPause: { frame: key('playpause') },
  nextTrack: { frame: key('nexttrack') },
  prevTrack: { frame: key('prevtrack') },
  mute: { frame: MUTE },
  startShow: { frame: key('slideshow') },
  nextSlide: { frame: key('nextslide') },
  prevSlide: { frame: key('prevslide') },
  endShow: { frame: key('endslideshow') },
  black: { frame: key('black') },
};

const VERSION_KEY = 'keypilot-protocol';
const SPEED_KEY = 'keypilot-pointer-speed';
const CONNECTED_KEY = 'keypilot-connected-before';
const SERVICE_KEY = 'keypilot-service';

const stored = (name) => {
  try {
    return localStorage.getItem(name);
  } catch {
    return null; // storage refused: the page works, it only forgets
  }
};
const store = (name, value) => {
  try {
    localStorage.setItem(name, value);
  } catch {
    // As above.
  }
};

// The link's version as this or the last address gave it (?v=N, from Keypilot's phone setup), or
// null: for a Keypilot not answering the hello.
function givenVersion() {
  const given = new URLSearchParams(location.search).get('v');
  if (given !== null && /^[1-9][0-9]{0,5}$/.test(given)) store(VERSION_KEY, given);
  const version = Number(stored(VERSION_KEY) ?? NaN);
  return Number.isInteger(version) && version >= 1 ? version : null;
}

// The most of the PC's name the status line shows.
const NAME_SHOWN = 32;
const shortName = (name) => {
  const characters = [...name];
  return characters.length > NAME_SHOWN ? `${characters.slice(0, NAME_SHOWN - 1).join('')}…` : name;
};

const text = chooseLanguage(navigator.languages?.length ? navigator.languages : [navigator.language]);
const given = givenVersion();
const keyButtons = [...document.querySelectorAll('[data-key]')];
const actionButtons = [...document.querySelectorAll('[data-action]')];
const typeButton = document.getElementById('type');
const surface = document.getElementById('surface');
// All that acts on the PC, off while the link is down.
const controls = [...keyButtons, ...actionButtons, typeButton, surface];
const connectButton = document.getElementById('connect');

function applyTexts() {
  document.documentElement.lang = text.lang;
  document.title = text.title;
  document.getElementById('heading').textContent = text.heading;
  for (const button of keyButtons) button.setAttribute('aria-label', text.buttons[button.dataset.key]);
  for (const caption of document.querySelectorAll('[data-caption]')) {
    caption.textContent = text.captions[caption.dataset.caption];
  }
  // An action's button is named as its action, unless it names another label; else as its caption
  // or tab.
  for (const element of document.querySelectorAll('[data-label], [data-action]')) {
    const name = element.dataset.label ?? element.dataset.action;
    element.setAttribute('aria-label', text.labels[name] ?? text.captions[name] ?? text.tabs[name]);
  }
  for (const element of document.querySelectorAll('[data-text]')) {
    const [name, index] = element.dataset.text.split('.');
    element.textContent = index === undefined ? text[name] : text[name][index];
  }
  for (const tab of document.querySelectorAll('[role="tab"]')) tab.textContent = text.tabs[tab.dataset.view];
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
  for (const control of controls) {
    if (control instanceof HTMLButtonElement) control.disabled = true;
    else control.setAttribute('aria-disabled', 'true');
  }
  document.body.classList.add('no-serial');
  showStatus('disconnected', text.status.unsupported);
}

function describe({ status, reason, retryInMs }, { keypilot, name }) {
  if (status === 'connected' && keypilot !== null) {
    return name === null ? text.status.connectedToKeypilot(keypilot) : text.status.connectedTo(shortName(name), keypilot);
  }
  if (status !== 'disconnected') return text.status[status];
  const why = text.status[reason] ?? text.status.lost;
  return retryInMs > 0 ? `${why} ${text.status.retryIn(Math.round(retryInMs / 1000))}` : why;
}

// The screen stays on while connected and shown; the browser drops the lock when the page hides,
// so it is asked for again when it comes back.
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

// The keys work only while connected, else dimmed and aria-disabled; a screen reader is told why
// once: when they go off, or at the first press of one that is off.
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
    for (const control of controls) control.setAttribute('aria-disabled', String(!on));
    said = false;
    note.textContent = '';
    if (!on && wasOn) say();
  };
  return { set, say };
}

// A first visit, until the first link is up, shows how to connect in place of the status.
function showHelp(state) {
  if (state.status === 'connected') store(CONNECTED_KEY, 'yes');
  const help = state.status === 'disconnected' && state.reason === 'notChosen' && stored(CONNECTED_KEY) === null;
  document.getElementById('help').hidden = !help;
  document.getElementById('status-text').hidden = help;
}

// What the link's version lacks (all but the remote in 1, the slider before 3, the PC's buttons
// before 4) says in its place that it needs a newer Keypilot.
function showVersion(version) {
  for (const view of document.querySelectorAll('.view[data-needs]')) {
    const older = version < Number(view.dataset.needs);
    view.classList.toggle('needs-newer', older);
    for (const part of view.children) part.hidden = part.classList.contains('newer') !== older;
  }
  const level = document.querySelector('.level');
  level.hidden = version < 3;
  level.nextElementSibling.hidden = version >= 3;
}

function bindTyping(outbox, keys) {
  const field = document.getElementById('text');
  document.getElementById('typing').addEventListener('submit', (event) => {
    event.preventDefault();
    if (typeButton.getAttribute('aria-disabled') === 'true') {
      keys.say();
      return;
    }
    if (field.value === '') return;
    for (const frame of typing(field.value)) outbox.send(frame);
    field.value = '';
  });
}

function bindSpeed() {
  const slider = document.getElementById('speed');
  const kept = Number(stored(SPEED_KEY));
  if (kept >= Number(slider.min) && kept <= Number(slider.max)) slider.value = String(kept);
  slider.addEventListener('change', () => store(SPEED_KEY, slider.value));
  return () => Number(slider.value);
}

function startRemote(serial) {
  const connection = new Connection(serial, {
    preferred: stored(SERVICE_KEY),
    remember: (service) => store(SERVICE_KEY, service),
  });
  const outbox = new Outbox(connection, { beat: given !== 1 });
  const peer = new Peer(connection, outbox, given);
  const showVolume = bindVolume(document.getElementById('volume'), document.getElementById('volume-level'), {
    set: (level) => peer.setVolume(level),
  });
  const muteButton = document.querySelector('[data-action="mute"]');
  const keys = keySwitch();
  const touchpad = bindTouchpad(surface, {
    outbox,
    speed: bindSpeed(),
    off: () => surface.getAttribute('aria-disabled') === 'true',
    onRefused: keys.say,
  });
  const showPcButtons = bindPcButtons(
    document.getElementById('pc-buttons'),
    document.getElementById('pc-buttons-note'),
    document.getElementById('pc-failed'),
    document.getElementById('confirm'),
    {
      text: text.pcButtons,
      press: (id) => peer.pressButton(id),
      confirm: () => peer.confirm(),
      cancel: () => peer.cancelConfirmation(),
      onRefused: keys.say,
    },
  );
  const render = () => {
    const { state } = connection;
    const pc = peer.state;
    const on = state.status === 'connected';
    showStatus(state.status, describe(state, pc));
    showHelp(state);
    connectButton.classList.toggle('quiet', on);
    keys.set(on);
    if (!on) touchpad.end();
    // Until agreed, the views stay as the last link (or the address) had them.
    if (pc.version !== null) {
      document.body.dataset.speaks = String(pc.version);
      showVersion(pc.version);
    } else {
      delete document.body.dataset.speaks;
    }
    showVolume({ volume: pc.volume, on: on && pc.version >= 3 });
    if (pc.muted === null) muteButton.removeAttribute('aria-pressed');
    else muteButton.setAttribute('aria-pressed', String(pc.muted));
    showPcButtons({ ...pc, on });
  };
  connection.addEventListener('change', render);
  peer.addEventListener('change', render);
  render();
  for (const button of keyButtons) {
    const { code, repeats = false } = KEYS[button.dataset.key];
    bindButton(button, { repeats, onPress: () => outbox.press(code), onRefused: keys.say });
  }
  // Hidden where the link's version lacks them, so bound either way.
  for (const button of actionButtons) {
    const { frame, repeats = false } = ACTIONS[button.dataset.action];
    const send = repeats ? () => outbox.press(frame) : () => outbox.send(frame);
    bindButton(button, { repeats, onPress: send, onRefused: keys.say });
  }
  bindTyping(outbox, keys);
  connectButton.addEventListener('click', () => connection.choose());
  keepScreenAwake(connection);
  connection.start();
}

applyTexts();
bindTabs(document.getElementById('tabs'));
showVersion(given ?? NEWEST_VERSION);
if ('serial' in navigator && navigator.serial) {
  startRemote(navigator.serial);
} else {
  showUnsupported();
}
// The offline copy's worker: the Trusted Types policy lets no other script address pass.
const workerUrl = window.trustedTypes
  ? window.trustedTypes.createPolicy('remote', { createScriptURL: (url) => (url === 'sw.js' ? url : '') })
      .createScriptURL('sw.js')
  : 'sw.js';
navigator.serviceWorker?.register(workerUrl).catch(() => {});
