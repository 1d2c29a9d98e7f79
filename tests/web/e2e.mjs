// SPDX-License-Identifier: MIT
// e2e.mjs -- the browser build played end to end in headless Chromium:
// node e2e.mjs <build-web/web>. Exits non-zero on the first failure; saves
// a screenshot of the page in play beside the page's folder.
import assert from 'node:assert/strict';
import { serve, launch, screenText, cell, find, waitFor, waitText, exists, configText, KEY, send } from './harness.mjs';

const dir = process.argv[2];
const COLOURS = '①②③④⑤';

// The falling column's three glyphs, top first, when it stands alone in rows
// 0 to 2 of column x; null otherwise.
async function columnAt(page, x) {
  const glyphs = [];
  for (let y = 0; y < 3; y++) {
    const ch = (await cell(page, x, y))?.ch;
    if (!ch || !COLOURS.includes(ch)) return null;
    glyphs.push(ch);
  }
  for (const side of [x - 1, x + 1]) if (COLOURS.includes((await cell(page, side, 0))?.ch || ' ')) return null;
  return glyphs;
}
const waitColumn = (page, x) => waitFor(page, `column at ${x}`, p => columnAt(p, x));
const landed = (page, x, y) => waitFor(page, 'a landed column', async p => COLOURS.includes((await cell(p, x, y))?.ch || ' '));

const srv = await serve(dir);
const { browser, page, errors } = await launch(srv.url + '?e2e');
try {
  // config.conf as the player saved it: in the page's storage.
  await page.evaluate(c => { localStorage.setItem('zelvane.config.conf', c); }, configText({ height: 7, b_num: 6, b_type: 5, debug: 1 }));
  await page.reload();
  await waitColumn(page, 4);
  assert.equal((await cell(page, 0, 0)).ch, '○', 'the wall');

  // A move, and a cycle: every colour one row up, the top one to the bottom.
  await send(page, KEY.RIGHT);
  await waitColumn(page, 5);
  const [a, b, c] = await columnAt(page, 5);
  await send(page, KEY.UP + KEY.LEFT);
  await waitFor(page, 'the cycled column', async p => (await columnAt(p, 4))?.join('') === b + c + a);
  // The pause: Enter, then a key ends it.
  await send(page, KEY.ENTER);
  await waitFor(page, 'temp.txt', p => exists(p, 'temp.txt'));
  await send(page, KEY.SPACE); // ends the pause, and only that
  await new Promise(r => setTimeout(r, 200));
  assert.equal((await columnAt(page, 4))?.join(''), b + c + a, 'the key that ends the pause does nothing else');
  await send(page, KEY.SPACE);
  await landed(page, 4, 5);
  await send(page, KEY.SPACE);
  await waitText(page, '游戏结束');
  assert.ok(await exists(page, 'data.txt'));
  console.log('move, cycle, pause, game over: ok');

  // Restart with an edited config.conf: a wider well from the next game on.
  const save = c => page.evaluate(c => {
    document.getElementById('config').value = c;
    document.getElementById('save').click();
  }, c);
  await save(configText({ height: 7, b_num: 6, width: 11 }));
  await send(page, KEY.ENTER);
  await waitColumn(page, 5);
  assert.equal((await cell(page, 10, 0))?.ch, '○', 'the edited width');
  assert.ok(!(await screenText(page)).includes('确'), 'the menu is gone:\n' + await screenText(page));
  // Fill it again; then the end.
  await send(page, KEY.SPACE);
  await landed(page, 5, 5);
  await send(page, KEY.SPACE);
  await waitText(page, '游戏结束');
  await send(page, KEY.DOWN + KEY.ENTER);
  await waitText(page, '感谢使用');
  await waitFor(page, 'the program to end', p => p.evaluate(() => window.zelvaneEnded === 1));
  assert.equal(await exists(page, 'data.txt'), false, 'data.txt gone after a game');
  assert.equal(await exists(page, 'temp.txt'), false, 'temp.txt gone after a game');
  assert.ok(await page.evaluate(() => !document.getElementById('download').hidden),
    'with debug on, the log is offered for download');
  console.log('restart, edited config, the end: ok');

  // Play again, with the settings in which a drop removes a group.
  await save(configText({ b_num: 3 }));
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
  assert.equal((await cell(page, 4, 20))?.ch, ' ', 'the group is gone');
  await page.screenshot({ path: dir + '/../screenshot.png' });
  console.log('play again, panel, colours, drop and score: ok');
  // Ctrl-C ends a game as on a terminal, and the page offers another.
  await send(page, '\x03');
  await waitFor(page, 'the program to end on Ctrl-C', p => p.evaluate(() =>
    window.zelvaneEnded === 2 && !document.getElementById('again').hidden));
  console.log('Ctrl-C: ok');
  assert.deepEqual(errors, [], 'no error in the console');
  console.log('PASS');
} catch (e) {
  console.error(e.message);
  process.exitCode = 1;
} finally {
  await browser.close();
  srv.close();
}
