// Serves build-web/web on 127.0.0.1 and prints what the terminal shows.
import { launch, serve, screenText } from './harness.mjs';
const dir = process.argv[2];
const srv = await serve(dir);
const { browser, page, errors } = await launch(srv.url);
await new Promise(r => setTimeout(r, 3000));
console.log(errors); console.log(await screenText(page));
console.log('errors:', errors);
await page.screenshot({ path: dir + '/../screenshot.png' });
await browser.close(); srv.close();
