// SPDX-License-Identifier: MIT
// harness.mjs -- the browser tests' shared parts: a static server on
// 127.0.0.1 (at the root or under a path, and one that can go offline),
// Debian's Chromium headless through puppeteer-core, a phone's screen, and
// reads of the terminal's own buffer.
import http from 'node:http';
import fs from 'node:fs';
import path from 'node:path';
import os from 'node:os';
import puppeteer from 'puppeteer-core';

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
  '.wasm': 'application/wasm', '.svg': 'image/svg+xml', '.webmanifest': 'application/manifest+json' };

// The folder at base (a path ending in '/'), a folder by its index.html;
// with offline set, every request is dropped as a lost network drops it.
export function serve(dir, base = '/') {
  dir = path.resolve(dir);
  const state = { offline: false };
  const srv = http.createServer((req, res) => {
    if (state.offline) return req.socket.destroy();
    const at = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    let file = path.join(dir, at.slice(base.length - 1));
    if (fs.existsSync(file) && fs.statSync(file).isDirectory()) file = path.join(file, 'index.html');
    if (!at.startsWith(base) || !file.startsWith(dir) || !fs.existsSync(file)) {
      res.writeHead(404);
      return res.end();
    }
    res.writeHead(200, { 'content-type': TYPES[path.extname(file)] || 'application/octet-stream' });
    res.end(fs.readFileSync(file));
  });
  return new Promise(r => srv.listen(0, '127.0.0.1', () =>
    r(Object.assign(state, { url: `http://127.0.0.1:${srv.address().port}${base}`,
      close: () => { srv.closeAllConnections(); srv.close(); } }))));
}

// A phone's screen, as Chromium emulates one: touch, no mouse.
export const phone = (width, height) => ({
  viewport: { width, height, deviceScaleFactor: 2, isMobile: true, hasTouch: true, isLandscape: width > height },
  userAgent: 'Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like Gecko) ' +
    'Chrome/120.0 Mobile Safari/537.36',
});

// Chromium on url; device (phone()) emulated from the first load on.
export async function launch(url, device) {
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--user-data-dir=' + fs.mkdtempSync(path.join(os.tmpdir(), 'zelvane-chromium-'))],
    defaultViewport: { width: 1400, height: 800 },
  });
  const page = await browser.newPage();
  const errors = [];
  page.on('console', m => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', e => errors.push(String(e)));
  if (device) await page.emulate(device);
  await page.goto(url);
  return { browser, page, errors };
}

// config.conf as the player saved it, in the page's storage; then a fresh
// start of the page.
export async function playWith(page, conf) {
  await page.evaluate(c => { localStorage.setItem('zelvane.config.conf', c); }, conf);
  await page.reload();
}

// The terminal's rows as text.
export function screenText(page) {
  return page.evaluate(() => {
    const term = window.zvTerm, b = term.buffer.active, out = [];
    for (let y = 0; y < term.rows; y++) out.push(b.getLine(b.viewportY + y).translateToString(true));
    return out.join('\n');
  });
}

// The first glyph of board cell (x, y), with its colours (-1: the
// terminal's own): cells are two columns wide.
export const cell = (page, x, y) => glyphAt(page, 2 * x, y);

export function glyphAt(page, col, row) {
  return page.evaluate((col, row) => {
    const c = window.zvTerm.buffer.active.getLine(row)?.getCell(col);
    return c ? { ch: c.getChars(), fg: c.isFgDefault() ? -1 : c.getFgColor(),
      bg: c.isBgDefault() ? -1 : c.getBgColor() } : null;
  }, col, row);
}

// The first glyph of text on the screen, with its colours; null when the
// text is not there.
export async function find(page, text) {
  const at = await page.evaluate(text => {
    const term = window.zvTerm, b = term.buffer.active;
    for (let row = 0; row < term.rows; row++) {
      const line = b.getLine(b.viewportY + row), cols = [];
      let s = '';
      for (let col = 0; col < term.cols; col++) {
        const ch = line.getCell(col).getChars();
        if (ch) { cols.push(...Array(ch.length).fill(col)); s += ch; } // a wide glyph's second half is ''
      }
      const i = s.indexOf(text);
      if (i >= 0) return { col: cols[i], row };
    }
    return null;
  }, text);
  return at && glyphAt(page, at.col, at.row);
}

export const KEY = { LEFT: '\x1b[D', RIGHT: '\x1b[C', UP: '\x1b[A', DOWN: '\x1b[B', SPACE: ' ', ENTER: '\r' };
// Keys as the terminal's onData hands them.
export const send = (page, s) => page.evaluate(s => window.zvTerm.input(s), s);

export const sleep = ms => new Promise(r => setTimeout(r, ms));

// Polls until test(page) holds; throws with the screen after ms.
export async function waitFor(page, what, test, ms = 10000) {
  const end = Date.now() + ms;
  while (!(await test(page))) {
    if (Date.now() > end) throw new Error(`no ${what} in time:\n${await screenText(page)}`);
    await sleep(20);
  }
}

export const waitText = (page, text, ms) =>
  waitFor(page, JSON.stringify(text), async p => (await screenText(p)).includes(text), ms);

export const exists = (page, name) =>
  page.evaluate(n => { try { window.zelvane.FS.stat('/' + n); return true; } catch (e) { return false; } }, name);

// The settings the native game tests play with: one colour, no timer, no
// flashing, straight into the game; over changes some of them.
export function configText(over = {}) {
  const s = { width: 8, height: 22, b_type: 1, b_num: 3, max_f: 1000, first_speed: 1 << 30,
    add_speed: 1, max_speed: 1 << 30, debug: 0, help_line: 0, fask_s: 1, s_twi: 0, b_drop: 1,
    twinkle: 1, twi_num: 0, ...over };
  return Object.entries(s).map(([k, v]) => `${k}=${v}\n`).join('');
}
