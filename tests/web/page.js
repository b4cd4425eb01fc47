// The page as a visitor meets it, in headless Chromium at 1280x1024: the first frame under
// the start prompt, with the clock standing; a key starts the show (the prompt goes, the
// clock and the frames run); a resize reshapes the letterbox; F toggles full screen, once
// however long it is held; no scroll bars and nothing in the console but the program's own
// lines.
//   node page.js SITE_DIR OUT_DIR
// Prints the figures (bytes loaded, time to the first frame and to sound, frames a second
// at 1280x720) as "figure:" lines.
'use strict';
const path = require('path');
const { Browser, serve, sleep, CANVAS_ROWS, letterboxed } = require('./browser.js');

let failures = 0;
function check(ok, what) {
  console.log(`${ok ? 'ok' : 'FAIL'}: ${what}`);
  if (!ok) failures++;
}

async function main() {
  const [site, out] = process.argv.slice(2);
  const server = await serve(site);
  const browser = await Browser.launch();
  try {
    const page = await browser.newPage(1280, 1024);
    await page.goto(server.url);
    await page.waitFor('window.Module && Module.nvClock && Module.nvClock.frames >= 1', 60000, 'the first frame');
    const firstFrameMs = await page.eval('Module.nvClock.firstFrameMs');
    await sleep(1000);
    await page.screenshot(path.join(out, 'page_prompt.png'));
    check(await page.eval(`getComputedStyle(document.getElementById('prompt')).display !== 'none'`),
      'the start prompt shows over the first frame');
    check(await page.eval('Module.nvClock.frames === 1 && Module.nvClock.now() === 0'),
      'before the start one frame is drawn and the clock stands at 0');
    check(await page.eval('document.documentElement.scrollWidth <= innerWidth && document.documentElement.scrollHeight <= innerHeight'),
      'no scroll bars');

    // The letterbox is drawn only with the frames that follow.
    await page.key('s', 'KeyS', 83);
    await page.waitFor(`getComputedStyle(document.getElementById('prompt')).display === 'none'`, 5000, 'the prompt to go');
    check(true, 'a key press takes the prompt away');
    await sleep(2000);
    check(await page.eval('Module.nvClock.now() > 1000 && Module.nvClock.frames > 10'),
      `the clock and the frames run after the start (${await page.eval('Module.nvClock.frames')} frames)`);
    const soundMs = await page.eval('typeof Module.nvSoundStartedMs === "number" ? Module.nvSoundStartedMs : -1');
    check(soundMs > 0, 'the music plays after the start (the Web Audio output runs)');

    const rowsAt = async () => page.eval(CANVAS_ROWS);
    let rows = await rowsAt();
    check(letterboxed(rows, 152, 872, 24), 'at 1280x1024 the letterbox is 720 rows in the middle');
    await page.resize(800, 600);
    await page.waitFor(`document.getElementById('canvas').width === 800 && document.getElementById('canvas').height === 600`, 5000, 'the canvas to follow');
    await sleep(300);
    rows = await rowsAt();
    check(letterboxed(rows, 75, 525, 22), 'at 800x600 the letterbox is 450 rows in the middle');
    await page.screenshot(path.join(out, 'page_800x600.png'));

    // Frames a second at 1280x720, over five seconds of the running show.
    await page.resize(1280, 720);
    await sleep(500);
    const f0 = await page.eval('Module.nvClock.frames');
    await sleep(5000);
    const fps = ((await page.eval('Module.nvClock.frames')) - f0) / 5;

    // Held down, F repeats: the page stays in full screen.
    let full = false;
    const stays = [];
    await page.key('f', 'KeyF', 70, [async () => {
      full = await page.waitFor('document.fullscreenElement !== null', 3000, 'full screen').catch(() => false);
    }, async () => {
      await sleep(500);
      stays.push(await page.eval('document.fullscreenElement !== null'));
    }]);
    check(full, 'F enters full screen');
    check(stays[0] === true, 'held down, it stays there through the key\'s repeats');
    await page.key('f', 'KeyF', 70);
    const left = await page.waitFor('document.fullscreenElement === null', 3000, 'leaving full screen').catch(() => false);
    check(left, 'F again leaves it');

    const others = page.console.filter((m) => !/^Sound 2$/.test(m.text));
    check(page.errors.length === 0, `no errors in the console${page.errors.length ? ': ' + page.errors.join(' | ') : ''}`);
    check(others.length === 0, `no other console output${others.length ? ': ' + others.map((m) => m.text).join(' | ') : ''}`);

    const bytes = await page.eval(`performance.getEntriesByType('resource').concat(performance.getEntriesByType('navigation'))
      .reduce((s, e) => s + (e.encodedBodySize || 0), 0)`);
    console.log(`figure: bytes loaded ${bytes}`);
    console.log(`figure: first frame ${firstFrameMs.toFixed(0)} ms after navigation`);
    const gestureMs = await page.eval('Module.nvClock.startedMs');
    console.log(`figure: sound plays ${soundMs.toFixed(0)} ms after navigation, ${(soundMs - gestureMs).toFixed(0)} ms after the key (at ${gestureMs.toFixed(0)} ms)`);
    console.log(`figure: ${fps.toFixed(1)} frames a second at 1280x720`);
  } finally {
    await browser.close();
    server.stop();
  }
  process.exit(failures ? 1 : 0);
}

main().catch((e) => { console.log(`FAIL: ${e.stack || e}`); process.exit(1); });
