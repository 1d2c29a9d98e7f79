// e2e.mjs -- the browser build played end to end in headless Chromium:
// node e2e.mjs <build-web/web>. Exits non-zero on the first failure.
import assert from 'node:assert/strict';
import { serve, launch, screenText, cell, waitFor, waitText, exists, configText } from './harness.mjs';

const dir = process.argv[2];
const KEY = { LEFT: '\x1b[D', RIGHT: '\x1b[C', UP: '\x1b[A', DOWN: '\x1b[B', SPACE: ' ', ENTER: '\r' };

// The falling column of colour-1 cells stands in rows 0 to 2 of column x.
async function columnAt(page, x) {
  for (let y = 0; y < 3; y++) if ((await cell(page, x, y))?.ch !== '①') return false;
  return (await cell(page, x - 1, 0))?.ch !== '①' && (await cell(page, x + 1, 0))?.ch !== '①';
}
const waitColumn = (page, x) => waitFor(page, `column at ${x}`, p => columnAt(p, x));
// Keys as the terminal's onData hands them.
const send = (page, s) => page.evaluate(s => window.zvTerm.input(s), s);

const srv = await serve(dir);
const { browser, page, errors } = await launch(srv.url + '?e2e');
try {
  // config.conf as the player saved it: in the page's storage.
  await page.evaluate(c => { localStorage.setItem('zelvane.config.conf', c); }, configText({ height: 7, b_num: 6, debug: 1 }));
  await page.reload();
  await waitColumn(page, 4);

  // The well and the side panel, in their colours.
  const corner = await cell(page, 0, 0);
  assert.equal(corner.ch, '○');

  // A move and a cycle.
  await send(page, KEY.RIGHT); await waitColumn(page, 5);
  await send(page, KEY.UP + KEY.LEFT); await waitColumn(page, 4);
  // The pause: Enter, then a key ends it.
  await send(page, KEY.ENTER);
  await waitFor(page, 'temp.txt', p => exists(p, 'temp.txt'));
  await send(page, KEY.SPACE); // ends the pause, and only that
  await new Promise(r => setTimeout(r, 200));
  assert.ok(await columnAt(page, 4), 'the key that ends the pause does nothing else');
  await send(page, KEY.SPACE);
  await waitFor(page, 'a landed column', async p => (await cell(p, 4, 5))?.ch === '①');
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
  await waitFor(page, 'a landed column', async p => (await cell(p, 5, 5))?.ch === '①');
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
  const wall = await cell(page, 7, 21), block = await cell(page, 4, 0);
  assert.equal(wall.ch, '○');
  assert.ok((await screenText(page)).includes('总分数：0'), await screenText(page));
  assert.notEqual(wall.fg, block.fg, 'wall and column in different colours');
  await send(page, KEY.SPACE);
  await waitText(page, '总Zelvane数：3');
  await waitColumn(page, 4);
  await page.screenshot({ path: dir + '/../screenshot.png' });
  console.log('play again, panel, colours, drop and score: ok');
  assert.deepEqual(errors, [], 'no error in the console');
  console.log('PASS');
} catch (e) {
  console.error(e.message);
  process.exitCode = 1;
} finally {
  await browser.close();
  srv.close();
}
