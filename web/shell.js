// SPDX-License-Identifier: MIT
// shell.js -- the page around the game: the terminal sized to the window,
// the touch keys, config.conf kept in the browser's storage with its
// editor, the debug log, and a new game once the program has ended.
'use strict';

const STORE = 'zelvane.config.conf';
const FONT_SIZE = 15, MIN_FONT_SIZE = 4;
// The debug log stops at this size, as a file-size limit stops it on a
// terminal; the page's memory stays bounded however long the game.
const LOG_CAP = 64 << 20;
const EFBIG = 22; // the file-size error, in the game's runtime's numbering
// A held arrow repeats as a held key does.
const REPEAT_DELAY_MS = 400, REPEAT_EVERY_MS = 80;
// The bytes each touch key sends: what the keyboard's key sends.
const PAD_KEYS = { left: '\x1b[D', right: '\x1b[C', up: '\x1b[A', down: '\x1b[B', space: ' ', enter: '\r' };

const $ = id => document.getElementById(id);
const termBox = $('term'), editor = $('config'), status = $('saved');
const again = $('again'), download = $('download');
const touch = matchMedia('(pointer: coarse)');

// Black is black, as on a console: the panel's background is colour 0.
const term = new Terminal({ fontFamily: 'monospace', fontSize: FONT_SIZE, cursorBlink: false,
  theme: { background: '#000000', black: '#000000' } });
const fit = new FitAddon.FitAddon();
term.loadAddon(fit);
term.open(termBox);
window.zvTerm = term; // for the tests
term.onTitleChange(t => { document.title = t; });

// ---- Turns for the page ----------------------------------------------------

// A message is not a timer: a wait resumed from one sets its next timer
// unclamped, where timers set from timers are held to 4 ms at least.
const channel = new MessageChannel();
let afterTurn = null;
channel.port1.onmessage = () => { const f = afterTurn; afterTurn = null; if (f) f(); };
function turn(f) { afterTurn = f; channel.port2.postMessage(0); }

// ---- What the game sees of the terminal ------------------------------------

// What the game's back end (sys_web.cpp) sees of the terminal: bytes to
// write, keys queued as they came, the size, and one wait at a time that a
// key, a resize or its deadline ends.
const zv = {
  chunks: [], first: 0, at: 0, // the keys: chunks[first] is read from at on
  resized: false, waiter: null, logCap: LOG_CAP,
  cols: () => term.cols, rows: () => term.rows,
  write(bytes) { term.write(bytes); },
  put(bytes) { if (bytes.length) this.chunks.push(bytes); },
  clear() { this.chunks = []; this.first = this.at = 0; },
  take(heap, to, cap) {
    let n = 0;
    while (n < cap && this.first < this.chunks.length) {
      const c = this.chunks[this.first], k = Math.min(cap - n, c.length - this.at);
      heap.set(c.subarray(this.at, this.at + k), to + n);
      n += k;
      this.at += k;
      if (this.at === c.length) { this.first++; this.at = 0; }
    }
    if (this.first === this.chunks.length) this.clear();
    return n;
  },
  wake(why) {
    if (this.waiter) this.waiter(why);
  },
  // ms on the game's clock of whole milliseconds: until it has moved on ms,
  // so that one sleep's lateness is not added to the next.
  wait(ms) {
    return new Promise(resolve => {
      const due = ms < 0 ? Infinity : Math.floor(performance.now()) + ms;
      let timer = null;
      const done = why => {
        if (timer !== null) clearTimeout(timer);
        this.waiter = null;
        resolve(why);
      };
      const check = () => {
        timer = null;
        if (this.waiter !== done) return;
        const left = due - performance.now();
        if (left <= 0) turn(() => { if (this.waiter === done) done(0); });
        else if (left >= 1) timer = setTimeout(check, left); // may come a fraction early
        else turn(check);
      };
      this.waiter = done;
      if (due !== Infinity) check();
    });
  },
};

const encoder = new TextEncoder();
// Keys from the keyboard and from the touch keys alike.
function input(s) {
  zv.put(encoder.encode(s));
  zv.wake(1);
}
term.onData(input);

// ---- The terminal's size -----------------------------------------------------

let playing = ''; // the config.conf the game plays with

// The last value config.conf gives key, or fallback; within lo..hi.
function setting(text, key, fallback, lo, hi) {
  const all = [...text.matchAll(new RegExp(`(?:^|\\s)${key}=(-?\\d+)`, 'g'))];
  const v = all.length ? Number(all[all.length - 1][1]) : fallback;
  return Math.min(hi, Math.max(lo, v));
}

// Columns and rows the game's screens need: 80 x 24 for the start-up
// screens, the well and its panel beside.
function neededSize() {
  const width = setting(playing, 'width', 12, 3, 100), height = setting(playing, 'height', 22, 4, 100);
  return { cols: Math.max(80, 2 * width + 25), rows: Math.max(24, height) };
}

const fits = (d, need) => d && d.cols >= need.cols && d.rows >= need.rows;

// The largest font up to the usual size at which the game's screens fit the
// window beside the controls; then as many columns and rows as fit.
function fitTerminal() {
  const need = neededSize();
  let size = FONT_SIZE;
  if (term.options.fontSize !== size) term.options.fontSize = size;
  let d = fit.proposeDimensions();
  if (!d || !d.cols) return;
  if (!fits(d, need)) {
    size = Math.max(MIN_FONT_SIZE, Math.floor(2 * size * Math.min(d.cols / need.cols, d.rows / need.rows)) / 2);
    for (;;) {
      term.options.fontSize = size;
      d = fit.proposeDimensions();
      if (fits(d, need) || size <= MIN_FONT_SIZE) break;
      size -= 0.5;
    }
  }
  const cols = Math.max(need.cols, d.cols), rows = Math.max(need.rows, d.rows);
  if (cols === term.cols && rows === term.rows) return;
  term.resize(cols, rows);
  zv.resized = true;
  zv.wake(2);
}
// The window, an orientation change, the controls coming and going.
new ResizeObserver(fitTerminal).observe(termBox);
touch.addEventListener('change', fitTerminal);

// ---- Touch keys --------------------------------------------------------------

// A press sends at once, as a key does; an arrow held repeats. Pointer
// events serve touch and mouse alike; a click without a pointer (a screen
// reader, the keyboard) sends once.
for (const b of document.querySelectorAll('#pad button')) {
  const bytes = PAD_KEYS[b.dataset.key];
  let timer = null;
  const stop = () => { clearTimeout(timer); timer = null; };
  b.addEventListener('pointerdown', e => {
    e.preventDefault(); // keeps the focus, and with it no keyboard, where it was
    stop();
    input(bytes);
    if (b.dataset.key === 'left' || b.dataset.key === 'right') {
      const repeat = () => { input(bytes); timer = setTimeout(repeat, REPEAT_EVERY_MS); };
      timer = setTimeout(repeat, REPEAT_DELAY_MS);
    }
  });
  for (const end of ['pointerup', 'pointercancel', 'pointerleave']) b.addEventListener(end, stop);
  b.addEventListener('click', e => { if (e.detail === 0) input(bytes); });
  b.addEventListener('contextmenu', e => e.preventDefault());
}

// A tap on the terminal focuses xterm.js's hidden textarea; on a touch
// screen it must not call up the on-screen keyboard over the game. A
// hardware keyboard still types into it.
function noScreenKeyboard() {
  if (touch.matches) term.textarea.setAttribute('inputmode', 'none');
  else term.textarea.removeAttribute('inputmode');
}
touch.addEventListener('change', noScreenKeyboard);
noScreenKeyboard();

// On a small screen the editor is behind a button, over the game.
$('settings').addEventListener('click', () => document.body.classList.add('editing'));
$('close').addEventListener('click', () => {
  document.body.classList.remove('editing');
  term.focus();
});

// ---- config.conf -------------------------------------------------------------

let game = null;
let sample = '';
let edited = false; // the editor holds text that is not saved

const say = text => { status.textContent = text; };

// What is stored, or null: nothing stored, or the storage cannot be read.
function stored() {
  try {
    return localStorage.getItem(STORE);
  } catch (e) {
    say('浏览器不让本页读取存储的数据，设置不会保留，本局用默认设置');
    return null;
  }
}

function setPlaying(text) {
  playing = text;
  if (game) game.FS.writeFile('/config.conf', text);
  fitTerminal();
}

function showStored(text) {
  editor.value = text;
  edited = false;
}

editor.addEventListener('input', () => { edited = true; });

$('save').addEventListener('click', () => {
  const text = editor.value;
  try {
    localStorage.setItem(STORE, text);
  } catch (e) {
    // The edit still plays in this page; the label says it is not kept.
    setPlaying(text);
    say(`保存失败（${e.name === 'QuotaExceededError' ? '存储空间不够' : '浏览器不让本页存储数据'}），` +
      '设置只在本页下一局生效，重新载入后不会保留');
    return;
  }
  edited = false;
  setPlaying(text);
  say('已保存，下一局生效');
});

$('reset').addEventListener('click', () => {
  editor.value = sample;
  edited = true;
  say('已恢复默认设置，保存后生效');
});

// A save in another tab is what the next game here plays too.
window.addEventListener('storage', e => {
  if (e.key !== STORE && e.key !== null) return;
  const text = e.newValue === null ? sample : e.newValue;
  setPlaying(text);
  if (edited) {
    say('另一个标签页保存了新的设置，框中的修改尚未保存');
  } else {
    showStored(text);
    say('设置已由另一个标签页更新，下一局生效');
  }
});

// ---- The debug log -----------------------------------------------------------

const isLog = path => /(^|\/)data\.txt$/.test(path);

function offerLog(data) {
  if (download.href) URL.revokeObjectURL(download.href);
  download.href = URL.createObjectURL(new Blob([data], { type: 'text/plain' }));
  download.hidden = false;
}

function dropLog() {
  if (download.href) URL.revokeObjectURL(download.href);
  download.removeAttribute('href');
  download.hidden = true;
}

// The last data.txt, kept for download: the game deletes it after every
// game, and Ctrl-C leaves it.
function keepLog(FS) {
  try {
    const data = FS.readFile('/data.txt');
    if (data.length) offerLog(data);
  } catch (e) { /* no log this game */ }
}

// data.txt grows no further than zv.logCap: a write past it fails as on a
// full file system, and the game stops its log and says so at the end.
function watchLog(FS) {
  const unlink = FS.unlink, write = FS.write;
  FS.unlink = function (path) {
    if (isLog(path)) keepLog(FS);
    return unlink.apply(this, arguments);
  };
  FS.write = function (stream, buffer, offset, length) {
    if (isLog(stream.path || '') && (stream.node.usedBytes || 0) + length > zv.logCap)
      throw new FS.ErrnoError(EFBIG);
    return write.apply(this, arguments);
  };
}

// ---- Games -------------------------------------------------------------------

function ended() {
  if (game) keepLog(game.FS);
  window.zelvaneEnded = (window.zelvaneEnded || 0) + 1;
  again.hidden = false;
}

async function play() {
  again.hidden = true;
  dropLog();
  zv.clear();
  term.reset();
  if (!document.body.classList.contains('editing')) term.focus();
  try {
    const m = await createZelvane({
      zv,
      print: s => console.log(s),
      printErr: s => console.warn(s),
      onExit: ended,
    });
    game = m;
    window.zelvane = m;
    sample = new TextDecoder().decode(m.FS.readFile('/sample.conf'));
    const kept = stored(), conf = kept === null ? sample : kept;
    if (!editor.value && !edited) showStored(conf);
    setPlaying(conf);
    watchLog(m.FS);
    m.callMain([]);
  } catch (e) {
    term.write(`\r\n游戏无法启动：${e && e.message ? e.message : e}\r\n`);
    console.error(e);
    again.hidden = false;
  }
}

again.addEventListener('click', play);
fitTerminal();
play();

// Kept for offline play once the page has been here, fetched once the page
// has loaded so as not to slow the first game; an old browser, or a page
// opened from a file, simply goes without.
if ('serviceWorker' in navigator && location.protocol !== 'file:') {
  window.addEventListener('load', () =>
    navigator.serviceWorker.register('sw.js').catch(e => console.warn('offline copy: ' + e)));
}
