// Screenshots of the browser edition at held frames.
//   node shots.js SITE_DIR OUT_DIR NAME:FRAME:QUERY...
// Each page opens at 1280x1024 with QUERY added to the address (clock_step_us and the like),
// is started with a key press, and is shot once it has drawn FRAME frames and stopped
// (hold_at=FRAME). OUT_DIR/NAME.png is the shot. Any error in the page's console fails.
'use strict';
const path = require('path');
const { Browser, serve, sleep } = require('./browser.js');

async function main() {
  const [site, out, ...cases] = process.argv.slice(2);
  const server = await serve(site);
  const browser = await Browser.launch();
  let failed = false;
  try {
    for (const c of cases) {
      const [name, frame, query] = c.split(':');
      const page = await browser.newPage(1280, 1024);
      await page.goto(`${server.url}?hold_at=${frame}&${query}`);
      await page.waitFor('window.Module && Module.nvClock && Module.nvClock.frames >= 1', 60000, 'the first frame');
      await page.key('x', 'KeyX', 88);
      await page.waitFor(`Module.nvClock.frames >= ${frame}`, 120000, `frame ${frame}`);
      await sleep(300); // the last frame composited
      await page.screenshot(path.join(out, `${name}.png`));
      const t = await page.eval(`(Module.nvClock.stepUs * (${frame} - 1)) / 1e6`);
      console.log(`${name}: frame ${frame}, show time ${t} s`);
      if (page.errors.length) {
        console.log(`FAIL: ${name}: errors in the page:\n  ${page.errors.join('\n  ')}`);
        failed = true;
      }
      await page.send('Page.close').catch(() => {});
    }
  } finally {
    await browser.close();
    server.stop();
  }
  process.exit(failed ? 1 : 0);
}

main().catch((e) => { console.log(`FAIL: ${e.stack || e}`); process.exit(1); });
