// The page's copy for use offline: one set of every file, named by a version that changes with any
// of them (so the browser installs the new worker), kept only when every fetch (past the browser's
// cache) came; older sets go once it takes over. Relative paths: any folder of any host.
// The offline set, written by web/update-offline.mjs:
const VERSION = 'b3ad84649731bdc7';
const FILES = [
  'app.js',
  'buttons.js',
  'codes.js',
  'connection.js',
  'icons/icon-192.png',
  'icons/icon-512.png',
  'icons/icon-maskable.png',
  './',
  'language.js',
  'lines.js',
  'manifest.webmanifest',
  'outbox.js',
  'pcbuttons.js',
  'peer.js',
  'style.css',
  'touchpad.js',
  'views.js',
  'volume.js',
];
// (end of the offline set)
const PREFIX = 'keypilot-remote-';
const SET = PREFIX + VERSION;

self.addEventListener('install', (event) => {
  event.waitUntil(
    (async () => {
      const requests = FILES.map((file) => new Request(file, { cache: 'no-cache' }));
      const cache = await caches.open(SET);
      try {
        await cache.addAll(requests); // all or nothing
      } catch (error) {
        await caches.delete(SET);
        throw error;
      }
      await self.skipWaiting();
    })(),
  );
});

self.addEventListener('activate', (event) => {
  event.waitUntil(
    (async () => {
      for (const name of await caches.keys()) {
        if (name.startsWith(PREFIX) && name !== SET) await caches.delete(name);
      }
      await self.clients.claim();
    })(),
  );
});

// Answers from the set; what is not in it (nothing the page asks for) comes from the network.
self.addEventListener('fetch', (event) => {
  const { request } = event;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
  event.respondWith(
    (async () => {
      const cache = await caches.open(SET);
      // The page itself is kept once, under './', whichever name it was opened by.
      const cached =
        (await cache.match(request, { ignoreSearch: true })) ||
        (request.mode === 'navigate' ? await cache.match('./') : undefined);
      return cached ?? fetch(request);
    })(),
  );
});
