// SPDX-License-Identifier: MIT
// shell.js -- the page around the game: the terminal, config.conf kept in
// the browser's storage with its editor, the debug log, and a new game
// once the program has ended.
'use strict';

const STORE = 'zelvane.config.conf';
const MIN_COLS = 80, MIN_ROWS = 24;

// Black is black, as on a console: the panel's background is colour 0.
const term = new Terminal({ fontFamily: 'monospace', fontSize: 15, cursorBlink: false,
  theme: { background: '#000000', black: '#000000' } });
const fit = new FitAddon.FitAddon();
term.loadAddon(fit);
term.open(document.getElementById('term'));
window.zvTerm = term; // for the tests
term.onTitleChange(t => { document.title = t; });

const editor = document.getElementById('config');
const again = document.getElementById('again');
const download = document.getElementById('download');

// What the game's back end (sys_web.cpp) sees of the terminal: bytes to
// write, keys queued from onData, the size, and one wait at a time that a
// key, a resize or its timeout ends.
const zv = {
  queue: [], resized: false, waiter: null, cols: () => term.cols, rows: () => term.rows,
  write(bytes) { term.write(bytes); },
  take(heap, at, cap) {
    let n = 0;
    while (n < cap && this.queue.length) heap[at + n++] = this.queue.shift();
    return n;
  },
  wake(why) {
    if (this.waiter) { const w = this.waiter; this.waiter = null; w(why); }
  },
  wait(ms) {
    return new Promise(resolve => {
      let timer = null;
      this.waiter = why => { if (timer !== null) clearTimeout(timer); resolve(why); };
      if (ms >= 0) timer = setTimeout(() => this.wake(0), ms);
    });
  },
};
const encoder = new TextEncoder();
term.onData(s => {
  for (const b of encoder.encode(s)) zv.queue.push(b);
  zv.wake(1);
});

function resize() {
  const d = fit.proposeDimensions();
  if (!d || !d.cols) return;
  const cols = Math.max(MIN_COLS, d.cols), rows = Math.max(MIN_ROWS, d.rows);
  if (cols === term.cols && rows === term.rows) return;
  term.resize(cols, rows);
  zv.resized = true;
  zv.wake(2);
}
window.addEventListener('resize', resize);
resize();

let game = null;
let sample = '';

function savedConfig() {
  const s = localStorage.getItem(STORE);
  return s === null ? sample : s;
}

document.getElementById('save').addEventListener('click', () => {
  localStorage.setItem(STORE, editor.value);
  if (game) game.FS.writeFile('/config.conf', editor.value);
  document.getElementById('saved').textContent = '已保存，下一局生效';
});

// The game deletes data.txt after every game; with debug on it holds the
// board dumps, and the last of them stay on the page for download.
function keepLog(FS) {
  const unlink = FS.unlink;
  FS.unlink = function (path) {
    if (/(^|\/)data\.txt$/.test(path)) {
      try {
        const data = FS.readFile(path);
        if (!data.length) return unlink.apply(this, arguments);
        if (download.href) URL.revokeObjectURL(download.href);
        download.href = URL.createObjectURL(new Blob([data], { type: 'text/plain' }));
        download.hidden = false;
      } catch (e) { /* no log this game */ }
    }
    return unlink.apply(this, arguments);
  };
}

async function play() {
  again.hidden = true;
  zv.queue.length = 0;
  term.reset();
  term.focus();
  const m = await createZelvane({
    zv,
    print: s => console.log(s),
    printErr: s => console.warn(s),
    onExit: () => { window.zelvaneEnded = (window.zelvaneEnded || 0) + 1; again.hidden = false; },
  });
  game = m;
  window.zelvane = m;
  sample = new TextDecoder().decode(m.FS.readFile('/sample.conf'));
  const conf = savedConfig();
  if (!editor.value) editor.value = conf;
  m.FS.writeFile('/config.conf', conf);
  keepLog(m.FS);
  m.callMain([]);
}

again.addEventListener('click', play);
play();
