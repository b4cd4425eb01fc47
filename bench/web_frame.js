// The browser edition's frame, today's site against another, side by side in one headless
// Chromium: each page runs the show to 90 s (clock_step_us, clock_stop) and holds it there,
// at 1280x720; in interleaved rounds, one page at a time, the frames drawn in five seconds
// with the CPU time all of the browser's processes spent per frame (the figure a loaded
// machine disturbs least) and, over 30 frames (first round), the WebGL draw calls, bytes
// sent by bufferData/bufferSubData and uniform calls per frame, counted by wrapping the
// WebGL context's methods before the page loads.
//   node bench/web_frame.js SITE_A SITE_B [ROUNDS]
'use strict';
const path = require('path');
const { Browser, serve, sleep } = require(path.join(__dirname, '../tests/web/browser.js'));

const COUNT = `(() => {
  const c = { draws: 0, bytes: 0, uniforms: 0, counting: false };
  window.nvGlCount = c;
  const p = WebGLRenderingContext.prototype;
  const wrap = (name, f) => { const o = p[name]; p[name] = function (...a) { if (c.counting) f(a); return o.apply(this, a); }; };
  for (const n of ['drawArrays', 'drawElements']) wrap(n, () => c.draws++);
  wrap('bufferData', (a) => { c.bytes += typeof a[1] === 'number' ? 0 : a[1].byteLength; });
  wrap('bufferSubData', (a) => { c.bytes += a[2].byteLength; });
  for (const n of Object.getOwnPropertyNames(p)) if (/^uniform/.test(n)) wrap(n, () => c.uniforms++);
})()`;

async function open(browser, url) {
  const page = await browser.newPage(1280, 720);
  await page.send('Page.addScriptToEvaluateOnNewDocument', { source: COUNT });
  await page.goto(url + '?clock_step_us=500000&clock_stop=180&fsound_output=off');
  await page.waitFor('window.Module && Module.nvClock && Module.nvClock.frames >= 1', 60000, 'the first frame');
  await page.key('s', 'KeyS', 83);
  await page.waitFor('Module.nvClock.frames > 200', 120000, 'the show at 90 s');
  return page;
}

// CPU time (ms) of every process of the browser: its process group.
function browserCpuMs(browser) {
  const fs = require('fs');
  const tick = 1000 / 100; // USER_HZ
  let sum = 0;
  for (const pid of fs.readdirSync('/proc')) {
    if (!/^[0-9]+$/.test(pid)) continue;
    let stat;
    try { stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8'); } catch (e) { continue; }
    const f = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
    if (Number(f[2]) === browser.child.pid) sum += (Number(f[11]) + Number(f[12])) * tick;
  }
  return sum;
}

// Frames a second over five seconds, and the browser's CPU time per frame.
async function fps(browser, page) {
  const f0 = await page.eval('Module.nvClock.frames'), c0 = browserCpuMs(browser);
  await sleep(5000);
  const frames = (await page.eval('Module.nvClock.frames')) - f0;
  return { fps: frames / 5, cpu: (browserCpuMs(browser) - c0) / frames };
}

async function perFrame(page) {
  return page.eval(`new Promise((done) => {
    const c = nvGlCount, f0 = Module.nvClock.frames;
    c.draws = c.bytes = c.uniforms = 0; c.counting = true;
    const tick = () => {
      if (Module.nvClock.frames - f0 < 30) return requestAnimationFrame(tick);
      c.counting = false;
      const n = Module.nvClock.frames - f0;
      done({ draws: c.draws / n, bytes: c.bytes / n, uniforms: c.uniforms / n });
    };
    requestAnimationFrame(tick);
  })`);
}

async function main() {
  const [a, b, roundsText] = process.argv.slice(2);
  const rounds = Number(roundsText || 3);
  const servers = [await serve(a), await serve(b)];
  const browser = await Browser.launch();
  try {
    // One page at a time, so that the two never share the machine.
    const names = [a, b], sums = [0, 0], cpus = [0, 0];
    for (let r = 0; r < rounds; r++) {
      for (let i = 0; i < 2; i++) {
        const page = await open(browser, servers[i].url);
        if (r === 0) {
          const c = await perFrame(page);
          console.log(`${names[i]}: ${c.draws.toFixed(1)} draws, ${(c.bytes / 1024).toFixed(1)} KB uploaded, ` +
            `${c.uniforms.toFixed(0)} uniform calls per frame`);
        }
        const f = await fps(browser, page);
        sums[i] += f.fps;
        cpus[i] += f.cpu;
        console.log(`round ${r + 1}: ${names[i]} ${f.fps.toFixed(1)} fps, ${f.cpu.toFixed(0)} ms CPU per frame`);
        if (page.errors.length) console.log(`errors: ${page.errors.join(' | ')}`);
        await browser.send('Target.closeTarget', { targetId: page.targetId });
      }
    }
    const m = sums.map((s) => s / rounds), c = cpus.map((s) => s / rounds);
    console.log(`mean: ${m[0].toFixed(1)} fps against ${m[1].toFixed(1)} fps: ${(m[1] / m[0]).toFixed(2)}x; ` +
      `${c[0].toFixed(0)} against ${c[1].toFixed(0)} ms of the browser's CPU per frame: ${(c[0] / c[1]).toFixed(2)}x`);
  } finally {
    await browser.close();
    for (const s of servers) s.stop();
  }
}
main().catch((e) => { console.error(e); process.exit(1); });
