// SPDX-License-Identifier: MIT
// e2e.mjs -- the browser build played end to end in headless Chromium:
//   node e2e.mjs <build-web/web> [case...]
// Cases: desktop, phone, offline, timing, faults (all when none is named).
// A case stops at its first failure, and then the run exits non-zero.
// Screenshots of the page in play land beside the page's folder.
import assert from 'node:assert/strict';
import path from 'node:path';
import { serve, launch, phone, playWith, screenText, cell, find, waitFor, waitText, exists, configText, KEY,
  send, sleep } from './harness.mjs';

const dir = process.argv[2];
const glyph = async (page, x, y) => (await cell(page, x, y))?.ch;
const isColour = ch => '①②③④⑤'.includes(ch || ' ');

// The falling column's three glyphs, top first, when it stands alone in rows
// 0 to 2 of column x; null otherwise.
async function columnAt(page, x) {
  const glyphs = [await glyph(page, x, 0), await glyph(page, x, 1), await glyph(page, x, 2)];
  const beside = [await glyph(page, x - 1, 0), await glyph(page, x + 1, 0)];
  return glyphs.every(isColour) && !beside.some(isColour) ? glyphs.join('') : null;
}
const waitColumn = (page, x) => waitFor(page, `column at ${x}`, p => columnAt(p, x));
const landed = (page, x, y) => waitFor(page, 'a landed column', async p => isColour(await glyph(p, x, y)));
const ended = (page, n) => waitFor(page, `the program's end ${n}`, p => p.evaluate(n =>
  window.zelvaneEnded === n && !document.getElementById('again').hidden, n));
const value = (page, id) => page.evaluate(id => document.getElementById(id).value, id);
const label = page => page.evaluate(() => document.getElementById('saved').textContent);
const save = (page, c) => page.evaluate(c => {
  document.getElementById('config').value = c;
  document.getElementById('save').click();
}, c);
const offered = page => page.evaluate(() => !document.getElementById('download').hidden);
// The settings of a game with no fall step due, straight into the well.
const QUIET = configText();
// A fresh start of the page with these settings, up to the first column.
async function play(page, conf) {
  await playWith(page, conf);
  await waitColumn(page, 4);
}

// ---- Desktop: the whole game by keyboard -------------------------------------

async function desktop({ page }) {
  await play(page, configText({ height: 7, b_num: 6, b_type: 5, debug: 1 }));
  assert.equal(await glyph(page, 0, 0), '○', 'the wall');

  // A move, and a cycle: every colour one row up, the top one to the bottom.
  await send(page, KEY.RIGHT);
  await waitColumn(page, 5);
  const [a, b, c] = await columnAt(page, 5);
  await send(page, KEY.UP + KEY.LEFT);
  await waitFor(page, 'the cycled column', async p => (await columnAt(p, 4)) === b + c + a);
  // The pause: Enter, then a key ends it.
  await send(page, KEY.ENTER);
  await waitFor(page, 'temp.txt', p => exists(p, 'temp.txt'));
  await send(page, KEY.SPACE); // ends the pause, and only that
  await sleep(200);
  assert.equal(await columnAt(page, 4), b + c + a, 'the key that ends the pause does nothing else');
  await send(page, KEY.SPACE);
  await landed(page, 4, 5);
  await send(page, KEY.SPACE);
  await waitText(page, '游戏结束');
  assert.ok(await exists(page, 'data.txt'));
  console.log('move, cycle, pause, game over: ok');

  // Restart with an edited config.conf: a wider well from the next game on.
  await save(page, configText({ height: 7, b_num: 6, width: 11 }));
  await send(page, KEY.ENTER);
  await waitColumn(page, 5);
  assert.equal(await glyph(page, 10, 0), '○', 'the edited width');
  assert.ok(!(await screenText(page)).includes('确'), 'the menu is gone:\n' + await screenText(page));
  // Fill it again; then the end.
  await send(page, KEY.SPACE);
  await landed(page, 5, 5);
  await send(page, KEY.SPACE);
  await waitText(page, '游戏结束');
  await send(page, KEY.DOWN + KEY.ENTER);
  await waitText(page, '感谢使用');
  await ended(page, 1);
  assert.equal(await exists(page, 'data.txt'), false, 'data.txt gone after a game');
  assert.equal(await exists(page, 'temp.txt'), false, 'temp.txt gone after a game');
  assert.ok(await offered(page), 'with debug on, the log is offered for download');
  console.log('restart, edited config, the end: ok');

  // Play again, with the settings in which a drop removes a group.
  await save(page, configText({ b_num: 3 }));
  await page.click('#again');
  await waitColumn(page, 4);
  // The well, the panel, and their colours.
  const wall = await cell(page, 7, 21), block = await cell(page, 4, 0), inside = await cell(page, 3, 10);
  assert.equal(wall.ch, '○');
  assert.notEqual(wall.fg, block.fg, 'wall and column in different colours');
  assert.notEqual(inside.bg, -1, 'the well has a colour of its own');
  const total = await find(page, '总分数：0'), next = await find(page, '下一个');
  assert.ok(total && next, await screenText(page));
  assert.notEqual(total.fg, next.fg, 'the score stands out from the labels');
  // The drop: three of a kind at the bottom are removed and scored.
  await send(page, KEY.SPACE);
  await waitText(page, '总Zelvane数：3');
  await waitColumn(page, 4);
  assert.equal(await find(page, '总分数：0'), null, 'the drop scored');
  assert.equal(await glyph(page, 4, 20), ' ', 'the group is gone');
  await page.screenshot({ path: path.join(dir, '..', 'screenshot.png') });
  console.log('play again, panel, colours, drop and score: ok');
  // Ctrl-C ends a game as on a terminal, and the page offers another.
  await send(page, '\x03');
  await ended(page, 2);
  console.log('Ctrl-C: ok');
}

// ---- A phone: the whole game by touch ------------------------------------------

// What is wrong with the layout: sideways scrolling, a control outside the
// window or over the terminal's cells, a touch key too small, a screen
// smaller than the game's.
const layoutFaults = page => page.evaluate(() => {
  const W = innerWidth, H = innerHeight, faults = [];
  const inside = r => r.left >= 0 && r.top >= 0 && r.right <= W + 0.5 && r.bottom <= H + 0.5;
  const meets = (a, b) => a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
  if (document.documentElement.scrollWidth > W) faults.push('the page scrolls sideways');
  const cells = document.querySelector('.xterm-screen').getBoundingClientRect();
  if (!inside(cells)) faults.push(`the terminal is outside the window: ${JSON.stringify(cells)}`);
  if (window.zvTerm.cols < 80 || window.zvTerm.rows < 24) faults.push(`${window.zvTerm.cols} x ${window.zvTerm.rows}`);
  const shown = [...document.querySelectorAll('button')].filter(b => b.offsetParent);
  for (const b of shown) {
    const r = b.getBoundingClientRect(), name = b.getAttribute('aria-label') || b.textContent;
    if (!inside(r)) faults.push(`${name} is outside the window`);
    if (meets(r, cells)) faults.push(`${name} covers the terminal`);
    if (r.width < 44 || r.height < 44) faults.push(`${name} is ${r.width} x ${r.height}`);
  }
  const keys = shown.map(b => b.getAttribute('aria-label')).filter(Boolean).sort().join(' ');
  if (keys !== '↑ ↓ → ← 回车 空格'.split(' ').sort().join(' ')) faults.push(`touch keys: ${keys}`);
  return faults;
});

// Taps the touch key named name; holds it for ms when given.
async function tap(page, name, ms) {
  const r = await (await page.$(`#pad button[aria-label="${name}"]`)).boundingBox();
  if (!ms) return page.touchscreen.tap(r.x + r.width / 2, r.y + r.height / 2);
  await page.touchscreen.touchStart(r.x + r.width / 2, r.y + r.height / 2);
  await sleep(ms);
  await page.touchscreen.touchEnd();
}

// From the credits screen to 重新开始, by taps alone, in a well five cells
// deep where four in a line are removed: three rows of four emptied, then a
// column that leaves no room for the next.
async function phoneGame({ page }, width, height) {
  await playWith(page, configText({ fask_s: 0, height: 6, b_num: 4, first_speed: 1 << 30 }));
  await waitText(page, '按任意键');
  assert.deepEqual(await layoutFaults(page), []);
  await page.screenshot({ path: path.join(dir, '..', `phone-${width}x${height}.png`) });

  // No keyboard over the game: a tap on the terminal focuses nothing that
  // would call one up.
  await page.tap('#term');
  assert.ok(await page.evaluate(() => {
    const e = document.activeElement;
    return !(e.isContentEditable || /^(INPUT|TEXTAREA)$/.test(e.tagName)) || e.inputMode === 'none';
  }), 'a tap on the terminal would call up the on-screen keyboard');

  // The editor, behind 设置: over the game, and away again.
  const editorShown = () => page.evaluate(() => {
    const r = document.getElementById('config').getBoundingClientRect();
    return r.width > 0 && r.right <= innerWidth && r.bottom <= innerHeight;
  });
  assert.equal(await editorShown(), false, 'the editor beside the game on a phone');
  await page.tap('#settings');
  assert.ok(await editorShown(), 'no editor behind 设置');
  await page.tap('#close');
  assert.equal(await editorShown(), false, 'the editor stays over the game');

  for (let i = 0; i < 5 && !(await columnAt(page, 4)); i++) {
    await tap(page, '回车');
    await sleep(300);
  }
  await waitColumn(page, 4);
  await tap(page, '→');
  await waitColumn(page, 5);
  const [a, b, c] = await columnAt(page, 5);
  await tap(page, '↑');
  await waitFor(page, 'the cycled column', async p => (await columnAt(p, 5)) === b + c + a);
  await tap(page, '回车'); // the pause, and a tap ends it
  await waitFor(page, 'the pause', p => exists(p, 'temp.txt'));
  await tap(page, '↓');
  await sleep(200);
  assert.equal(await columnAt(page, 5), b + c + a, 'the tap that ends the pause does nothing else');
  // Columns in 1 (← held to the wall), 2, 3, then 4: three rows of four are
  // removed and scored.
  await tap(page, '←', 1000);
  for (const [x, lefts] of [[1, 0], [2, 2], [3, 1], [4, 0]]) {
    for (let i = 0; i < lefts; i++) await tap(page, '←');
    await waitColumn(page, x);
    await tap(page, '空格');
    if (x < 4) await landed(page, x, 4);
  }
  await waitText(page, '总Zelvane数：12');
  await page.screenshot({ path: path.join(dir, '..', `phone-${width}x${height}-well.png`) });
  await waitColumn(page, 4);
  await tap(page, '空格'); // fills the entry: the game is over
  await waitText(page, '游戏结束');
  for (const key of ['↓', '↑', '回车']) await tap(page, key);
  await waitText(page, '按任意键');
  // Turned the other way, the page fits itself again.
  await page.setViewport(phone(height, width).viewport);
  await waitFor(page, 'the turned page to fit', async p => !(await layoutFaults(p)).length);
  await waitText(page, '按任意键');
  console.log(`${width} x ${height}: credits, moves (one held), cycle, pause, a drop that scores, game over, 重新开始 by taps: ok`);
}

// ---- Offline, from a sub-path ------------------------------------------------

// Served under a path, the page plays; after that first visit it loads and
// plays with the network gone.
async function offline({ page, srv }) {
  await waitFor(page, 'the offline copy kept', p => p.evaluate(() =>
    navigator.serviceWorker.getRegistration().then(r => Boolean(r && r.active))));
  for (const how of ['from a sub-path', 'offline']) {
    if (how === 'offline') {
      srv.offline = true;
      await page.setOfflineMode(true);
    }
    await play(page, QUIET);
    await send(page, KEY.RIGHT);
    await waitColumn(page, 5);
    console.log(`${how}: ok`);
  }
}

// ---- Time as on a terminal ---------------------------------------------------

// The top glyph's row in column x (-1: none) each time it changes, over
// ms, timed as the game wrote it: [time in ms, row].
const topRows = (page, x, ms) => page.evaluate((x, ms) => new Promise(resolve => {
  const term = window.zvTerm, zv = window.zelvane.zv, write = zv.write, seen = [];
  let written = 0;
  zv.write = bytes => { written = performance.now(); write.call(zv, bytes); };
  const top = () => {
    for (let y = 0; y < term.rows; y++)
      if ('①②③④⑤'.includes(term.buffer.active.getLine(y).getCell(2 * x).getChars() || ' ')) return y;
    return -1;
  };
  const d = term.onWriteParsed(() => {
    const y = top();
    if (!seen.length || seen[seen.length - 1][1] !== y) seen.push([written, y]);
  });
  setTimeout(() => { d.dispose(); zv.write = write; resolve(seen); }, ms);
}), x, ms);

async function timing({ page }) {
  // A fall step every 100 ms: due once more than 100 have passed.
  await play(page, configText({ first_speed: 100, max_speed: 100 }));
  const seen = await topRows(page, 4, 3000);
  const gaps = seen.slice(1).map(([t, y], i) => (y === seen[i][1] + 1 ? t - seen[i][0] : null)).filter(g => g !== null);
  const mean = gaps.reduce((a, b) => a + b, 0) / gaps.length;
  console.log(`fall steps: ${gaps.length}, one every ${mean.toFixed(1)} ms (101 due); longest ${Math.max(...gaps).toFixed(1)} ms`);
  assert.ok(gaps.length >= 20 && Math.abs(mean - 101) <= 4, `fall steps every ${mean.toFixed(1)} ms for 101`);

  // A flash of three cycles of 100 ms pauses, the landed column shown
  // with the first dark: dark, lit, dark, lit, dark, lit, then gone, 600 ms
  // from the first to the last.
  await play(page, configText({ s_twi: 1, twinkle: 50, twi_num: 3 }));
  const watch = topRows(page, 4, 2000);
  await send(page, KEY.SPACE);
  const seen2 = await watch, flash = seen2.slice(seen2.findIndex(([, y]) => y === -1));
  const length = flash[6][0] - flash[0][0];
  console.log(`flash: ${length.toFixed(1)} ms (600 due), phases ${flash.slice(1, 7).map(([t], i) => (t - flash[i][0]).toFixed(0)).join(" ")}`);
  assert.deepEqual(flash.slice(0, 6).map(([, y]) => y), [-1, 18, -1, 18, -1, 18], 'the flash');
  assert.ok(Math.abs(length - 600) <= 30, `a flash of ${length.toFixed(1)} ms for 600`);
}

// ---- Hostile use -------------------------------------------------------------

// The debug log stops at its cap and the game says so at the end; the log
// is offered after the menu's end and after Ctrl-C, and a new game takes
// the old link away.
async function log({ page }) {
  await play(page, configText({ height: 7, b_num: 6, debug: 1 }));
  await page.evaluate(() => { window.zelvane.zv.logCap = 3000; });
  for (const k of [KEY.RIGHT, KEY.LEFT, KEY.RIGHT, KEY.LEFT, KEY.RIGHT, KEY.LEFT]) {
    await send(page, k);
    await sleep(50);
  }
  await send(page, KEY.SPACE);
  await landed(page, 4, 5);
  const size = await page.evaluate(() => window.zelvane.FS.stat('/data.txt').size);
  assert.ok(size > 0 && size <= 3000, `data.txt of ${size} bytes past a cap of 3000`);
  await send(page, KEY.SPACE);
  await waitText(page, '游戏结束');
  await send(page, KEY.DOWN + KEY.ENTER);
  await waitText(page, '写不下了');
  await ended(page, 1);
  assert.ok(await offered(page), 'the log after the menu\'s end');
  await page.click('#again');
  await waitColumn(page, 4);
  assert.equal(await offered(page), false, 'the last program\'s log still offered in a new one');
  await send(page, KEY.RIGHT + '\x03');
  await ended(page, 2);
  assert.ok(await offered(page), 'the log after Ctrl-C');
  const kept = await page.evaluate(() => fetch(document.getElementById('download').href).then(r => r.text()));
  assert.match(kept, /\|/, 'the log offered holds the board');
  console.log(`the log: capped at ${size} bytes, told, offered after the end and after Ctrl-C: ok`);
}

// A megabyte pasted: the page keeps answering, and the game plays on.
async function paste({ page }) {
  await play(page, QUIET);
  const longest = await page.evaluate(() => new Promise(resolve => {
    let last = performance.now(), longest = 0;
    const tick = setInterval(() => {
      const now = performance.now();
      longest = Math.max(longest, now - last);
      last = now;
    }, 10);
    window.zvTerm.paste('x'.repeat(1 << 20));
    setTimeout(() => { clearInterval(tick); resolve(longest); }, 3000);
  }));
  console.log(`1 MB pasted: the page's longest wait for a turn ${longest.toFixed(0)} ms`);
  assert.ok(longest < 1000, `the page held for ${longest.toFixed(0)} ms`);
  const t0 = Date.now();
  await send(page, KEY.RIGHT);
  await waitFor(page, 'the move after the paste', p => columnAt(p, 5), 60000);
  console.log(`the move after the paste: ${Date.now() - t0} ms after it`);
}

// Storage that cannot be read: the sample plays, and the page says why.
async function blocked({ page }) {
  await page.evaluateOnNewDocument(() => Object.defineProperty(window, 'localStorage',
    { get() { throw new DOMException('site data blocked', 'SecurityError'); } }));
  await page.reload();
  await waitText(page, '按任意键');
  assert.match(await label(page), /设置不会保留/);
  assert.equal(await value(page, 'config'), await page.evaluate(() =>
    new TextDecoder().decode(window.zelvane.FS.readFile('/sample.conf'))));
}

// A save that fails says so and keeps the text; the sample comes back.
async function settings({ page }) {
  await play(page, QUIET);
  await save(page, QUIET + '#first\n');
  assert.match(await label(page), /已保存/);
  await page.evaluate(() => { Storage.prototype.setItem = () => { throw new DOMException('full', 'QuotaExceededError'); }; });
  await save(page, QUIET + '#second\n');
  assert.doesNotMatch(await label(page), /已保存/);
  assert.equal(await value(page, 'config'), QUIET + '#second\n', 'the edit kept');
  await save(page, '');
  await page.click('#reset');
  assert.match(await value(page, 'config'), /^#Zelvane_settings/m, 'the sample back in the editor');
}

// A save in one tab: the other's editor follows, unless it holds edits.
async function tabs({ page, browser, url }) {
  await playWith(page, QUIET);
  const other = await browser.newPage();
  await other.goto(url);
  await waitColumn(other, 4);
  await save(page, QUIET + '#one\n');
  await waitFor(other, 'the other tab\'s editor', async p => (await value(p, 'config')) === QUIET + '#one\n');
  await other.type('#config', '#mine');
  await save(page, QUIET + '#two\n');
  await waitFor(other, 'word of the change', async p => /另一个标签页/.test(await label(p)));
  assert.match(await value(other, 'config'), /#mine/, 'the unsaved edit kept');
  await other.close();
}

// ---- The cases -------------------------------------------------------------------

const CASES = {
  desktop: [['the whole game by keyboard', desktop]],
  phone: [[390, 844], [844, 390]].map(([w, h]) => [`${w} x ${h} by touch`, r => phoneGame(r, w, h), phone(w, h)]),
  offline: [['offline from a sub-path', offline, null, '/some/path/']],
  timing: [['fall steps and flashes on time', timing]],
  faults: [['the log', log], ['a paste of 1 MB', paste], ['blocked storage', blocked],
    ['a failed save and the sample', settings], ['two tabs', tabs]],
};

const wanted = process.argv.slice(3).length ? process.argv.slice(3) : Object.keys(CASES);
for (const name of wanted) {
  for (const [what, run, device, base] of CASES[name]) {
    const srv = await serve(dir, base);
    const url = srv.url + '?e2e';
    const { browser, page, errors } = await launch(url, device);
    try {
      await run({ page, browser, srv, url });
      assert.deepEqual(errors, [], 'no error in the console');
      console.log(`${what}: ok`);
    } catch (e) {
      console.error(`${what}: ${e.message}`);
      process.exitCode = 1;
    } finally {
      await browser.close();
      srv.close();
    }
  }
}
console.log(process.exitCode ? 'FAIL' : 'PASS');
