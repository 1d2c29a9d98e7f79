// SPDX-License-Identifier: MIT
// sw.js -- the page's service worker: keeps the page's files, so that after
// the first visit the game loads and plays with no network. The network
// comes first whenever it answers, so a new build served is what the next
// visit gets; the kept copy answers only when the network does not.
'use strict';

const CACHE = 'zelvane';
// Filled in by the build (cmake/web.cmake): the page's folder, file by file.
const FILES = ['./', '@ZELVANE_PAGE_FILES@'];

self.addEventListener('install', e => {
  e.waitUntil(caches.open(CACHE)
    .then(c => c.addAll(FILES.map(f => new Request(f, { cache: 'reload' }))))
    .then(() => self.skipWaiting()));
});

self.addEventListener('activate', e => { e.waitUntil(self.clients.claim()); });

self.addEventListener('fetch', e => {
  const req = e.request;
  if (req.method !== 'GET' || new URL(req.url).origin !== location.origin) return;
  e.respondWith(fetch(req).then(res => {
    if (res.ok) {
      const copy = res.clone();
      e.waitUntil(caches.open(CACHE).then(c => c.put(req, copy)));
    }
    return res;
  }).catch(() => caches.open(CACHE).then(c => c.match(req, { ignoreSearch: true }))
    .then(hit => hit || Response.error())));
});
