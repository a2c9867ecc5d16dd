// Keeps a copy of the page, so that it opens without a network after the first visit. The copy
// is taken from what the browser has just loaded where it can ('force-cache'), so the first visit
// fetches each file once. Every
// answer comes from the copy at once and the copy is renewed behind it, so a new version of the
// page shows from the visit after the one that fetched it. Every path is relative to this file:
// the page works from any folder of any host.
const CACHE = 'keypilot-remote';
const FILES = [
  './',
  'style.css',
  'app.js',
  'buttons.js',
  'connection.js',
  'language.js',
  'manifest.webmanifest',
  'icons/icon-192.png',
  'icons/icon-512.png',
  'icons/icon-maskable.png',
];

self.addEventListener('install', (event) => {
  event.waitUntil(
    caches
      .open(CACHE)
      .then((cache) => cache.addAll(FILES.map((file) => new Request(file, { cache: 'force-cache' }))))
      .then(() => self.skipWaiting()),
  );
});

self.addEventListener('activate', (event) => {
  event.waitUntil(self.clients.claim());
});

self.addEventListener('fetch', (event) => {
  const { request } = event;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
  event.respondWith(
    (async () => {
      const cache = await caches.open(CACHE);
      // The page itself is kept once, under './', whichever name it was opened by.
      const cached =
        (await cache.match(request, { ignoreSearch: true })) ||
        (request.mode === 'navigate' ? await cache.match('./') : undefined);
      const fresh = fetch(request).then((response) => {
        if (response.ok) cache.put(request, response.clone());
        return response;
      });
      if (!cached) return fresh;
      event.waitUntil(fresh.catch(() => {}));
      return cached;
    })(),
  );
});
