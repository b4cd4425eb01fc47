// The page as visitors whose browsers differ meet it, in one headless Chromium that lets
// pages play sound only after a user activation and that serves the site under a second
// name, http://demo.test, which is not a secure context:
//   a tap on an emulated phone starts the show and its music (the full-screen button is a
//     finger's size there), the picture keeps to the music heard through three stalls of
//     the page, and a later tap resumes the music the browser suspended;
//   the music interrupted as browsers do, side by side in windows of their own: suspended
//     for 4 s and resumed by a click (the page says the music is paused meanwhile),
//     suspended for 10 s and resumed by the browser, the page frozen for 5 s; the picture
//     waits for its music and keeps to it 1, 4 and 10 s after its return, and the show's
//     clock never goes back;
//   the page's clock alone, fed a music position that goes back, stands and suspends;
//   a change of the pixel ratio alone redraws the canvas in the new device pixels;
//   a WebGL context lost shows black with the page's words readable on it, draws nothing
//     and says so, and once given back draws the show again, without WebGL's complaints;
//   the page on http://demo.test plays its music all the same and says how, or, where the
//     browser offers no player there, runs silent and says why;
//   a browser without WebGL keeps saying so after a click and a key.
//   node visitors.js SITE_DIR OUT_DIR [CASE...]
// Screenshots of each case land in OUT_DIR. CASEs (touch, interruptions, clock, context,
// insecure, nowebgl) pick some of the cases; all run without.
'use strict';
const path = require('path');
const { Browser, serve, sleep, CANVAS_ROWS, letterboxed, verdicts, check, checkNoErrors, FIRST_FRAME, PROMPT } = require('./browser.js');

const LEAD_MAX = 0.15; // seconds the picture may be off the music heard

const STATUS = `document.getElementById('status').textContent`;
const PAUSED = 'The music is paused: click, tap or press a key to play it.';
const COMING = 'The music is still on its way: the show goes on as soon as it comes.';

// The page's audio contexts, for a test to suspend as the browser might.
const CONTEXTS = `{
  const Made = AudioContext;
  window.nvContexts = [];
  window.AudioContext = class extends Made {
    constructor(...args) { super(...args); nvContexts.push(this); }
  };
}`;

// The picture's lead on the music, shown minus heard, right after a frame: the median of
// five frames a quarter of a second apart, so that one frame the machine's load held up
// does not count as drift. Null when no music is heard.
async function lead(page) {
  const leads = [];
  for (let i = 0; i < 5; i++) {
    const d = await page.eval(`new Promise((done) => requestAnimationFrame(() => {
      const s = Module.nvStatus();
      done(s.heard === null ? null : s.shown - s.heard);
    }))`);
    if (d === null) return null;
    leads.push(d);
    await sleep(250);
  }
  return leads.sort((a, b) => a - b)[2];
}

// Waits until the music heard has passed `seconds`; false if it does not within the time.
async function musicPast(page, seconds, timeoutMs) {
  return page.waitFor(`(Module.nvStatus().heard || 0) > ${seconds}`, timeoutMs, `music past ${seconds} s`)
    .then(() => true, () => false);
}

// The canvas's rows (CANVAS_ROWS) once n more frames have been drawn.
async function rowsAfter(page, n) {
  const at = await page.eval('Module.nvClock.frames');
  await page.waitFor(`Module.nvClock.frames >= ${at + n}`, 10000, `${n} frames`).catch(() => {});
  return page.eval(CANVAS_ROWS);
}

const say = (d) => (d === null ? 'no music heard' : `${d.toFixed(3)} s`);

async function touchAndDrift(browser, url, out) {
  const page = await browser.newPage(640, 360, { window: true });
  // A phone held sideways.
  await page.send('Emulation.setDeviceMetricsOverride', { width: 640, height: 360, deviceScaleFactor: 1, mobile: true });
  await page.send('Emulation.setTouchEmulationEnabled', { enabled: true, maxTouchPoints: 1 });
  await page.send('Page.addScriptToEvaluateOnNewDocument', { source: CONTEXTS });
  await page.goto(url);
  await page.waitFor(FIRST_FRAME, 60000, 'the first frame');
  const button = await page.eval(`(() => {
    const b = document.getElementById('fullscreen').getBoundingClientRect();
    return { width: b.width, height: b.height };
  })()`);
  check(button.width >= 44 && button.height >= 44,
    `on a phone the full-screen button is a finger's size (${button.width}x${button.height} CSS pixels)`);
  await page.tap(320, 180);
  check(await musicPast(page, 1, 20000), 'a tap on a touch screen starts the music');
  check((await page.eval(PROMPT)) === null, 'the tap takes the prompt away');
  await page.screenshot(path.join(out, 'visitors_touch.png'));

  let d = await lead(page);
  check(d !== null && Math.abs(d) < LEAD_MAX, `the picture keeps to the music after the start (lead ${say(d)})`);

  for (let i = 0; i < 3; i++) {
    await page.eval('(() => { const t = performance.now(); while (performance.now() - t < 700); })()');
    await sleep(1000);
  }
  d = await lead(page);
  check(d !== null && Math.abs(d) < LEAD_MAX, `... after three stalls of 0.7 s (lead ${say(d)})`);

  await page.eval('Promise.all(nvContexts.map((c) => c.suspend()))');
  const suspended = await page.eval('Module.nvStatus().heard');
  await page.tap(320, 180);
  check(await musicPast(page, suspended + 1, 20000), 'a later tap resumes the music the browser suspended');
  checkNoErrors(page, 'no errors in the console');
  await page.send('Page.close');
}

// Counts, on every animation frame, the times the show's time of the last drawn frame went
// below an earlier one.
const BACKWARDS = `{
  window.nvBackwards = 0;
  let highest = 0;
  const watch = () => {
    const s = window.Module && Module.nvStatus ? Module.nvStatus().shown : 0;
    if (s < highest) nvBackwards++;
    highest = Math.max(highest, s);
    requestAnimationFrame(watch);
  };
  requestAnimationFrame(watch);
}`;

// One interruption of the music (how: 'suspended' for `ms` and resumed by a click, 'held'
// for `ms` and resumed by the browser, 'frozen' for `ms`), in a window of its own; the
// picture is looked at 1, 4 and 10 s after the music's return.
async function interruption(browser, url, out, how, ms) {
  const what = `${how} ${ms / 1000} s`;
  const page = await browser.newPage(320, 180, { window: true });
  await page.send('Page.addScriptToEvaluateOnNewDocument', { source: CONTEXTS + BACKWARDS });
  await page.goto(url);
  await page.waitFor(FIRST_FRAME, 60000, 'the first frame');
  await page.key('x', 'KeyX', 88);
  if (!(await musicPast(page, 1, 20000))) {
    check(false, `${what}: the music plays before the interruption`);
    await page.send('Page.close');
    return;
  }
  if (how === 'frozen') {
    await page.send('Page.setWebLifecycleState', { state: 'frozen' });
    await sleep(ms);
    await page.send('Page.setWebLifecycleState', { state: 'active' });
    // Back in front of the visitor: the page is visible again.
    await page.send('Emulation.setFocusEmulationEnabled', { enabled: true });
  } else {
    await page.eval('Promise.all(nvContexts.map((c) => c.suspend()))');
    await sleep(ms);
    const said = await page.eval(STATUS);
    check(said === PAUSED, `${what}: meanwhile the page says "${said}"`);
    await page.screenshot(path.join(out, `visitors_${how}.png`));
    if (how === 'suspended') await page.click(160, 90);
    else await page.eval('Promise.all(nvContexts.map((c) => c.resume()))');
  }
  const back = Date.now();
  for (const after of [1, 4, 10]) {
    await sleep(back + after * 1000 - Date.now());
    const d = await lead(page);
    check(d !== null && Math.abs(d) < LEAD_MAX, `${what}: the picture keeps to the music ${after} s after its return (lead ${say(d)})`);
  }
  check((await page.eval(STATUS)) === '', `${what}: the page says nothing more`);
  const backwards = await page.eval('nvBackwards');
  check(backwards === 0, `${what}: the show's clock never went back (${backwards} times)`);
  checkNoErrors(page, `${what}: no errors in the console`);
  await page.send('Page.close');
}

async function interruptions(browser, url, out) {
  await Promise.all([interruption(browser, url, out, 'suspended', 4000),
    interruption(browser, url, out, 'held', 10000),
    interruption(browser, url, out, 'frozen', 5000)]);
}

// The page's clock alone: the program's script is kept away and the test plays the music's
// part (its position, its context's state) and the page's time. Read every 50 ms of page
// time, the show's time must follow the music, wait while it is suspended, hold while its
// position goes back, and go on by the page's time once the music is gone.
async function clockFedMusic(browser, url) {
  const page = await browser.newPage(320, 180, { window: true });
  await page.send('Network.enable');
  await page.send('Network.setBlockedURLs', { urls: ['*/velandor.js'] });
  await page.send('Page.addScriptToEvaluateOnNewDocument', { source: 'window.nvPageMs = 0; performance.now = () => nvPageMs;' });
  await page.goto(url);
  await page.eval(`(() => {
    window.nvMusic = { heard: null, state: 'suspended' };
    Module.nvSoundHeard = () => nvMusic.heard;
    Module.nvSoundState = () => nvMusic.state;
    Module.nvClock.start();
  })()`);
  // From page time `from` to `to` (ms), the music at music(t) in state `state`: the show's
  // times read, in seconds, and what the page said at the end.
  const play = (from, to, state, music) => page.eval(`(() => {
    const music = ${music};
    const read = [];
    for (let t = ${from}; t <= ${to}; t += 50) {
      nvPageMs = t;
      nvMusic.heard = music(t);
      nvMusic.state = ${JSON.stringify(state)};
      read.push(Module.nvClock.now() / 1000);
    }
    return { read, said: ${STATUS} };
  })()`);
  const near = (a, b) => Math.abs(a - b) < 1e-6;

  let r = await play(0, 1500, 'suspended', '() => null');
  check(r.read.every((t) => t === 0) && r.said === PAUSED,
    `clock: the show waits at 0 while the music's start is suspended, and the page says "${r.said}"`);
  r = await play(1550, 5000, 'running', '(t) => (t - 1550) / 1000');
  check(near(r.read[r.read.length - 1], 3.45) && r.said === '', `clock: then it follows the music (${r.read[r.read.length - 1]} s at 3.45 s)`);
  r = await play(5050, 5400, 'running', '(t) => 3.2 + (t - 5050) / 1000');
  const rising = r.read.every((t, i) => i === 0 || t >= r.read[i - 1]);
  check(rising && near(r.read[0], 3.45) && near(r.read[4], 3.45) && near(r.read[7], 3.55),
    `clock: fed a music position that goes back (3.45 s, then 3.2 s), it holds until the music is past (${r.read.map((t) => t.toFixed(2)).join(' ')})`);
  r = await play(5450, 15450, 'suspended', '() => 3.55');
  check(r.read.every((t) => near(t, 3.55)) && r.said === PAUSED, `clock: the show waits 10 s for suspended music, and the page says so`);
  r = await play(15500, 16500, 'running', '(t) => 3.55 + (t - 15450) / 1000');
  check(near(r.read[r.read.length - 1], 4.6) && r.said === '', `clock: the music back, the show follows it with no lead (${r.read[r.read.length - 1]} s at 4.6 s)`);
  // Music that stands although its context runs, while its bytes are still coming: the
  // page says so, not that a gesture would play it.
  await page.eval(`Module.nvLoad = { complete: false }`);
  r = await play(16550, 18050, 'running', '() => 4.6');
  check(r.read.every((t) => near(t, 4.6)) && r.said === COMING, `clock: music waiting for its bytes: the show waits with it, and the page says "${r.said}"`);
  r = await play(18100, 19100, 'closed', '() => 4.6');
  check(near(r.read[r.read.length - 1], 5.65), `clock: the music gone for good, the page's time carries the show on (${r.read[r.read.length - 1]} s)`);
  await page.send('Page.close');
}

// How light what the page shows is (0 black, 1 white), over the whole page or inside an
// element's box: the mean, the median and the lightest pixel of a screenshot.
async function lightness(page, element) {
  const { data } = await page.send('Page.captureScreenshot', { format: 'png' });
  return page.eval(`new Promise((done) => {
    const img = new Image();
    img.onload = () => {
      const c = document.createElement('canvas');
      c.width = img.width;
      c.height = img.height;
      const g = c.getContext('2d');
      g.drawImage(img, 0, 0);
      const e = ${JSON.stringify(element || null)}, r = devicePixelRatio;
      const b = e ? document.getElementById(e).getBoundingClientRect() : { x: 0, y: 0, width: innerWidth, height: innerHeight };
      const d = g.getImageData(Math.floor(b.x * r), Math.floor(b.y * r), Math.ceil(b.width * r), Math.ceil(b.height * r)).data;
      const l = [];
      for (let i = 0; i < d.length; i += 4) l.push((0.2126 * d[i] + 0.7152 * d[i + 1] + 0.0722 * d[i + 2]) / 255);
      l.sort((x, y) => x - y);
      done({ mean: l.reduce((x, y) => x + y, 0) / l.length, median: l[l.length >> 1], max: l[l.length - 1] });
    };
    img.src = 'data:image/png;base64,${data}';
  })`);
}

const LOSE = `(window.nvLoseContext = document.getElementById('canvas').getContext('webgl')
  .getExtension('WEBGL_lose_context')).loseContext()`;

// The lost picture shows black, and the page's words in `element` (the prompt, the status)
// stand out of it.
async function checkLostLooks(page, element, what) {
  await page.waitFor(`${STATUS} !== ''`, 5000, 'a word about the lost picture').catch(() => {});
  await sleep(300); // composited
  const all = await lightness(page);
  const words = await lightness(page, element);
  check(all.mean < 0.1 && words.max - words.median > 0.4,
    `${what} the lost picture shows black (mean ${all.mean.toFixed(2)}) and the ${element} stands out of it (${words.median.toFixed(2)} to ${words.max.toFixed(2)})`);
}

async function pixelRatioAndLostContext(browser, url, out) {
  const page = await browser.newPage(640, 360, { window: true });
  await page.goto(`${url}?fsound_output=off`);
  await page.waitFor(FIRST_FRAME, 60000, 'the first frame');
  await page.eval(LOSE);
  await checkLostLooks(page, 'prompt', 'before the start');
  await page.screenshot(path.join(out, 'visitors_lost_prompt.png'));
  await page.eval('nvLoseContext.restoreContext()');
  await page.waitFor(`${STATUS} === ''`, 5000, 'the picture back').catch(() => {});
  await page.key('x', 'KeyX', 88);
  await page.waitFor('Module.nvClock.frames > 3', 20000, 'frames');

  await page.resize(640, 360, 2);
  const followed = await page.waitFor(`(() => { const c = document.getElementById('canvas');
    return c.width === 1280 && c.height === 720; })()`, 5000, 'the canvas in device pixels').catch(() => false);
  const size = await page.eval(`document.getElementById('canvas').width + 'x' + document.getElementById('canvas').height`);
  check(followed, `at a pixel ratio of 2 the canvas is drawn in 1280x720 device pixels (${size})`);
  check(letterboxed(await rowsAfter(page, 2), 0, 720, 0), '... and the show fills it');

  await page.eval(LOSE);
  await checkLostLooks(page, 'status', 'running,');
  const said = await page.eval(STATUS);
  check(said !== '', `the page says the picture is lost ("${said}")`);
  const lostAt = await page.eval('Module.nvClock.frames');
  await sleep(1000);
  check((await page.eval('Module.nvClock.frames')) === lostAt, 'no frame is drawn while the context is lost');
  await page.screenshot(path.join(out, 'visitors_lost.png'));

  const warnings = page.warnings.length;
  await page.eval('nvLoseContext.restoreContext()');
  const drawn = await page.waitFor(`Module.nvClock.frames > ${lostAt + 3}`, 10000, 'frames after the restore')
    .then(() => true, () => false);
  check(drawn, 'frames are drawn again once the context is back');
  check(letterboxed(await rowsAfter(page, 2), 0, 720, 0), '... and they show the show');
  check((await page.eval(STATUS)) === '', '... and the word about the lost picture goes');
  const complaints = page.warnings.slice(warnings).filter((w) => /WebGL|GL_/.test(w));
  check(complaints.length === 0, `WebGL does not complain after the restore${complaints.length ? ` (${complaints.length}: ${complaints[0]})` : ''}`);
  await page.screenshot(path.join(out, 'visitors_restored.png'));
  checkNoErrors(page, 'no errors in the console');
  await page.send('Page.close');
}

async function insecurePage(browser, url, out) {
  const page = await browser.newPage(640, 360, { window: true });
  await page.goto(url);
  await page.waitFor(FIRST_FRAME, 60000, 'the first frame');
  check((await page.eval('window.isSecureContext')) === false, `${url} is not a secure context`);
  await page.key('x', 'KeyX', 88);
  const playing = await musicPast(page, 1, 20000);
  const said = page.console.filter((m) => /sound/.test(m.text)).map((m) => m.text);
  const shown = await page.eval(STATUS);
  check(playing || shown !== '', `the music plays there or the page says why not (${playing ? 'plays' : `"${shown}"`})`);
  check(!playing || said.length > 0, `... and the console says how (${said.join(' | ')})`);
  const d = playing ? await lead(page) : null;
  check(!playing || Math.abs(d) < LEAD_MAX, `the picture keeps to that music (lead ${say(d)})`);
  await page.screenshot(path.join(out, 'visitors_insecure.png'));
  checkNoErrors(page, 'no uncaught error');
  await page.send('Page.close');

  // A browser that offers no player there either: the show runs silent and says why.
  const bare = await browser.newPage(640, 360, { window: true });
  await bare.send('Page.addScriptToEvaluateOnNewDocument', {
    source: 'delete BaseAudioContext.prototype.createScriptProcessor;' });
  await bare.goto(url);
  await bare.waitFor(FIRST_FRAME, 60000, 'the first frame');
  await bare.key('x', 'KeyX', 88);
  const why = 'Sound needs https:// or localhost.';
  await bare.waitFor(`${STATUS} === ${JSON.stringify(why)}`, 10000, 'a word about the sound').catch(() => {});
  const text = await bare.eval(STATUS);
  await sleep(1000);
  const runs = await bare.eval('Module.nvClock.now() > 500 && Module.nvStatus().heard === null');
  check(text === why && runs, `without a player the show runs silent and says "${text}"`);
  await bare.screenshot(path.join(out, 'visitors_insecure_silent.png'));
  checkNoErrors(bare, 'no uncaught error');
  await bare.send('Page.close');
}

async function noWebGL(browser, url, out) {
  const page = await browser.newPage(640, 360, { window: true });
  await page.send('Page.addScriptToEvaluateOnNewDocument', { source: `{
    const get = HTMLCanvasElement.prototype.getContext;
    HTMLCanvasElement.prototype.getContext = function (type, ...rest) {
      return /webgl/i.test(type) ? null : get.call(this, type, ...rest);
    };
  }` });
  await page.goto(url);
  const message = 'This browser cannot show WebGL.';
  await page.waitFor(`${PROMPT} === ${JSON.stringify(message)}`, 60000, 'the message').catch(() => {});
  check((await page.eval(PROMPT)) === message, `without WebGL the page says "${message}"`);
  await page.click(320, 180);
  await page.key('x', 'KeyX', 88);
  await sleep(500);
  const still = await page.eval(PROMPT);
  check(still === message, `... and still does after a click and a key (${still === null ? 'gone' : `"${still}"`})`);
  await page.screenshot(path.join(out, 'visitors_nowebgl.png'));
  const named = page.console.some((m) => m.text === "velandor: can't open a WebGL context.");
  check(named, 'the console names the program in its message');
  checkNoErrors(page, 'no uncaught error');
  await page.send('Page.close');
}

async function main() {
  const [site, out, ...picked] = process.argv.slice(2);
  // The long waits of the interruptions and the page's clock run beside the others, each
  // page in a window of its own.
  const apart = { interruptions, clock: clockFedMusic };
  const inTurn = { touch: touchAndDrift, context: pixelRatioAndLostContext, insecure: insecurePage, nowebgl: noWebGL };
  const wanted = (name) => !picked.length || picked.includes(name);
  const server = await serve(site);
  const port = new URL(server.url).port;
  const browser = await Browser.launch(['--autoplay-policy=document-user-activation-required',
    '--host-resolver-rules=MAP demo.test 127.0.0.1']);
  try {
    const runs = Object.entries(apart).filter(([name]) => wanted(name)).map(([, run]) => run(browser, server.url, out));
    runs.push((async () => {
      for (const [name, run] of Object.entries(inTurn)) {
        if (wanted(name)) await run(browser, name === 'insecure' ? `http://demo.test:${port}/` : server.url, out);
      }
    })());
    await Promise.all(runs);
  } finally {
    await browser.close();
    server.stop();
  }
  process.exit(verdicts.failures ? 1 : 0);
}

main().catch((e) => { console.log(`FAIL: ${e.stack || e}`); process.exit(1); });
