// The browser edition's first visit, today's site against another, side by side in one run:
// each visit is a visitor opening the link over a slow network (1.6 Mbit/s down, 750 kbit/s
// up, 150 ms; tests/web/first_visit.js) in a headless Chromium of its own (an empty cache),
// clicking at 0.5 s and doing nothing more. For each: the first paint, when the loading line
// first shows (the first animation frame with it), the first frame of the show, the music
// first heard (page times since the link was opened), the bytes over
// the network once the page has loaded all it loads, and then the show's speed, frames a
// second over five seconds at 1280x720. Rounds alternate the two sites.
//   node bench/web_load.js SITE_A SITE_B [ROUNDS]
// SITE_A is served as scripts/web served it before it served compressed copies (python3's
// http.server), SITE_B as scripts/web serves it now (scripts/lib/serve_site.py).
'use strict';
const path = require('path');
const { Browser, serve, spawnServer, sleep } = require(path.join(__dirname, '../tests/web/browser.js'));
const { firstVisit } = require(path.join(__dirname, '../tests/web/first_visit.js'));

// python3's plain server, as scripts/web served the site before.
function servePlain(dir) {
  return spawnServer((port) => ['-m', 'http.server', String(port), '--bind', '127.0.0.1', '--directory', dir]);
}

async function visit(url) {
  const browser = await Browser.launch(['--autoplay-policy=document-user-activation-required']);
  try {
    const v = await firstVisit(browser, url, { clickAtMs: 500, heardSeconds: 1, timeoutMs: 90000 });
    const f0 = await v.page.eval('Module.nvClock.frames');
    await sleep(5000);
    const fps = ((await v.page.eval('Module.nvClock.frames')) - f0) / 5;
    return { paint: v.paintMs, loading: v.loadingMs, first: v.firstFrameMs, heard: v.heardMs, bytes: v.bytes, fps, errors: v.page.errors };
  } finally {
    await browser.close();
  }
}

const sec = (ms) => (ms === null ? '   -  ' : `${(ms / 1000).toFixed(2)} s`);
const median = (xs) => { const v = xs.filter((x) => x !== null).sort((a, b) => a - b); return v.length ? v[(v.length - 1) >> 1] : null; };

async function main() {
  const [a, b, roundsText] = process.argv.slice(2);
  const rounds = Number(roundsText || 3);
  const servers = [await servePlain(a), await serve(b)];
  const names = [a, b];
  const results = [[], []];
  try {
    for (let r = 0; r < rounds; r++) {
      for (let i = 0; i < 2; i++) {
        const v = await visit(servers[i].url);
        results[i].push(v);
        console.log(`round ${r + 1}: ${names[i]}: first paint ${sec(v.paint)}, loading shown ${sec(v.loading)}, first frame ${sec(v.first)}, ` +
          `music ${sec(v.heard)}, ${(v.bytes / 1e6).toFixed(3)} MB, ${v.fps.toFixed(1)} fps` +
          (v.errors.length ? `; errors: ${v.errors.join(' | ')}` : ''));
      }
    }
  } finally {
    for (const s of servers) s.stop();
  }
  for (let i = 0; i < 2; i++) {
    const m = (k) => median(results[i].map((v) => v[k]));
    console.log(`median: ${names[i]}: first paint ${sec(m('paint'))}, loading shown ${sec(m('loading'))}, first frame ${sec(m('first'))}, ` +
      `music ${sec(m('heard'))}, ${(m('bytes') / 1e6).toFixed(3)} MB, ${m('fps').toFixed(1)} fps`);
  }
}
main().catch((e) => { console.error(e); process.exit(1); });
