// SPDX-License-Identifier: MIT
// web_figures.mjs -- the page's figures in headless Chromium, as
// scripts/measure.sh takes the native game's: the page's weight, the time
// from navigation to the well, processor time over a few seconds of play
// without keys (also with xterm.js's canvas renderer, when its addon is in
// node_modules), and key to redraw (the key event to the terminal's buffer
// showing the move), median over some keys.
//   node scripts/web_figures.mjs <build-web/web> [seconds]
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';
import { serve, launch, playWith, configText, waitText, sleep, KEY } from '../tests/web/harness.mjs';

const dir = process.argv[2], secs = Number(process.argv[3] || 5);
const TICK = 100; // clock ticks a second in /proc/<pid>/stat on Linux
// The settings measure.sh plays with.
const BASE = { width: 12, height: 22, b_type: 5, b_num: 3, max_f: 1000, first_speed: 800,
  add_speed: 10, max_speed: 150, debug: 0, help_line: 1, fask_s: 1, s_twi: 1, b_drop: 1,
  twinkle: 25, twi_num: 3 };

// Chromium's processes, from the browser's down: pid -> its command line.
function processes(root) {
  const parent = new Map(), cmd = new Map();
  for (const p of fs.readdirSync('/proc').filter(p => /^\d+$/.test(p))) {
    try {
      parent.set(+p, +fs.readFileSync(`/proc/${p}/stat`, 'utf8').split(')').pop().trim().split(' ')[1]);
      cmd.set(+p, fs.readFileSync(`/proc/${p}/cmdline`, 'utf8'));
    } catch (e) { /* gone meanwhile */ }
  }
  const found = new Map([[root, cmd.get(root) || '']]);
  for (let grew = true; grew;) {
    grew = false;
    for (const [p, pp] of parent) if (found.has(pp) && !found.has(p)) { found.set(p, cmd.get(p)); grew = true; }
  }
  return found;
}

function cpuSeconds(pids) {
  let t = 0;
  for (const p of pids) {
    try {
      const f = fs.readFileSync(`/proc/${p}/stat`, 'utf8').split(')').pop().trim().split(' ');
      t += (+f[11] + +f[12]) / TICK;
    } catch (e) { /* gone meanwhile */ }
  }
  return t;
}

// The page's folder: every file raw and gzipped (-9), as a server would send it.
{
  let raw = 0, gz = 0;
  for (const f of fs.readdirSync(dir)) {
    const data = fs.readFileSync(path.join(dir, f));
    raw += data.length;
    gz += zlib.gzipSync(data, { level: 9 }).length;
  }
  console.log(`page weight: ${(raw / 1024).toFixed(0)} KB, ${(gz / 1024).toFixed(0)} KB gzipped`);
}

// From navigation to the well on the screen, with nothing cached, served
// locally (uncompressed), and over a link of 10 Mbit/s: the median of a
// few loads.
const LINKS = [['local', null],
  ['over 10 Mbit/s, 20 ms', { download: 10e6 / 8, upload: 10e6 / 8, latency: 20 }]];
for (const [link, conditions] of LINKS) {
  const times = [];
  for (let i = 0; i < 5; i++) {
    const srv = await serve(dir);
    const run = await launch(srv.url + 'xterm.css'); // the origin; the server sends nothing cacheable
    await run.page.evaluate(c => localStorage.setItem('zelvane.config.conf', c), configText(BASE));
    if (conditions) await run.page.emulateNetworkConditions(conditions);
    const t0 = Date.now();
    await run.page.goto(srv.url);
    await waitText(run.page, '下一个方块', 30000);
    times.push(Date.now() - t0);
    await run.browser.close();
    srv.close();
  }
  times.sort((a, b) => a - b);
  console.log(`navigation to the well (${link}, nothing cached): median ${times[2]} ms of ${times.join(', ')}`);
}

const canvasAddon = path.join(path.dirname(new URL(import.meta.url).pathname),
  '../node_modules/@xterm/addon-canvas/lib/addon-canvas.js');

async function start(over, renderer) {
  const srv = await serve(dir);
  const run = await launch(srv.url);
  await playWith(run.page, configText({ ...BASE, ...over }));
  await waitText(run.page, '下一个方块');
  if (renderer === 'canvas') {
    await run.page.addScriptTag({ path: canvasAddon });
    await run.page.evaluate(() => window.zvTerm.loadAddon(new CanvasAddon.CanvasAddon()));
  }
  await sleep(1000);
  return { ...run, close: async () => { await run.browser.close(); srv.close(); } };
}

// For scale: Chromium with a page of one line of text.
async function blank() {
  const run = await launch('data:text/html,<p>Zelvane</p>');
  await sleep(1000);
  return { ...run, close: () => run.browser.close() };
}

// Processor time over secs of play without keys.
async function idle(what, over, renderer) {
  const g = over ? await start(over, renderer) : await blank();
  const all = processes(g.browser.process().pid);
  const renderers = [...all].filter(([, c]) => c.includes('--type=renderer')).map(([p]) => p);
  const r0 = cpuSeconds(renderers), a0 = cpuSeconds(all.keys());
  const m0 = await g.page.metrics(), t0 = Date.now();
  await sleep(secs * 1000);
  const r1 = cpuSeconds(renderers), a1 = cpuSeconds(all.keys());
  const m1 = await g.page.metrics(), span = (Date.now() - t0) / 1000;
  await g.close();
  const ms = s => (s * 1000).toFixed(0);
  console.log(`renderer processor time without keys, ${what}: ${ms(r1 - r0)} ms over ${span.toFixed(1)} s ` +
    `(${(100 * (r1 - r0) / span).toFixed(2)} % of one core); the page's main thread busy ` +
    `${ms(m1.TaskDuration - m0.TaskDuration)} ms, script ${ms(m1.ScriptDuration - m0.ScriptDuration)} ms; ` +
    `all of Chromium ${ms(a1 - a0)} ms`);
}
await idle('the columns falling on their own', {});
if (fs.existsSync(canvasAddon)) await idle('the same with the canvas renderer', {}, 'canvas');
await idle('no fall step due', { first_speed: 1 << 30, max_speed: 1 << 30 });
await idle('a page of one line of text instead, for scale', null);

// Key to redraw, with no fall step due: from the key handed to the
// terminal (as its onData would) to its buffer showing the column moved.
{
  const g = await start({ first_speed: 1 << 30, max_speed: 1 << 30, b_type: 1 });
  const lat = [];
  for (let i = 0; i < 40; i++) {
    const right = i % 2 === 0;
    lat.push(await g.page.evaluate((key, col) => new Promise((resolve, reject) => {
      const term = window.zvTerm;
      const moved = () => term.buffer.active.getLine(0).getCell(2 * col).getChars() === '①';
      const t0 = performance.now();
      const timer = setTimeout(() => reject(new Error('no redraw after a key')), 5000);
      const d = term.onWriteParsed(() => {
        if (!moved()) return;
        d.dispose();
        clearTimeout(timer);
        resolve(performance.now() - t0);
      });
      term.input(key);
    }), right ? KEY.RIGHT : KEY.LEFT, right ? 7 : 6)); // it starts in column 6
    await sleep(50);
  }
  await g.close();
  lat.sort((a, b) => a - b);
  const at = q => lat[Math.min(lat.length - 1, Math.floor(lat.length * q))].toFixed(2);
  console.log(`key to redraw (Right/Left arrow, ${lat.length} keys): median ${at(0.5)} ms, ` +
    `90th ${at(0.9)} ms, max ${lat[lat.length - 1].toFixed(2)} ms`);
}
