// The site kept for visits without a network. The page registers this worker once every
// file of the show has come; it then keeps a copy of the site in a cache named by the build,
// asking the server only whether each file is still the one the browser has (so nothing is
// downloaded a second time), and drops the caches of other builds.
//
// Every request goes to the network first, so that a visitor never sees an old build while
// the server has a new one; the copy answers only when the network does not.
'use strict';

const BUILD = '' /* @BUILD@ */;
const FILES = [] /* @FILES@ */;
const CACHE = `nork-velandor-${BUILD}`;

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(CACHE)
    .then((cache) => cache.addAll(FILES.map((name) => new Request(name, { cache: 'no-cache' }))))
    .then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys()
    .then((names) => Promise.all(names.filter((n) => n.startsWith('nork-velandor-') && n !== CACHE)
      .map((n) => caches.delete(n))))
    .then(() => self.clients.claim()));
});

// The copy of a request: the test parameters in an address do not make it another file.
function kept(request) {
  return caches.open(CACHE).then((cache) => cache.match(request, { ignoreSearch: true })
    .then((r) => r || (request.mode === 'navigate' ? cache.match('./') : undefined)));
}

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
  event.respondWith(fetch(request).catch((e) => kept(request).then((r) => r || Promise.reject(e))));
});
