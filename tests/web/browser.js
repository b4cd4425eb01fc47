// Headless Chromium for the browser edition's tests, driven over the DevTools protocol on a
// pipe (--remote-debugging-pipe: requests on fd 3, answers on fd 4, each a JSON text ended by
// a NUL byte). Node's own modules only.
'use strict';

const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const CHROMIUM = process.env.NV_CHROMIUM || '/usr/bin/chromium';

class Browser {
  // extraArgs: more switches for this browser (an autoplay policy, host rules).
  static async launch(extraArgs = []) {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'nv-chromium-'));
    const args = [
      '--headless=new', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--no-sandbox',
      '--no-first-run', '--no-default-browser-check', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--disable-quic', '--disable-extensions',
      '--mute-audio', '--hide-scrollbars', '--force-device-scale-factor=1',
      '--disable-background-timer-throttling', '--disable-renderer-backgrounding',
      '--disable-backgrounding-occluded-windows',
      '--remote-debugging-pipe', `--user-data-dir=${profile}`, ...extraArgs, 'about:blank',
    ];
    // In a process group of its own, so that its helper processes go with it.
    const child = spawn(CHROMIUM, args, { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'], detached: true });
    let stderr = '';
    child.stderr.on('data', (d) => { stderr += d; if (stderr.length > 65536) stderr = stderr.slice(-32768); });
    const b = new Browser(child, profile);
    b.stderr = () => stderr;
    await b.send('Target.setDiscoverTargets', { discover: true });
    return b;
  }

  constructor(child, profile) {
    this.child = child;
    this.profile = profile;
    this.nextId = 1;
    this.pending = new Map();
    this.listeners = [];
    this.out = child.stdio[3];
    let buffer = Buffer.alloc(0);
    child.stdio[4].on('data', (chunk) => {
      buffer = Buffer.concat([buffer, chunk]);
      for (let end = buffer.indexOf(0); end >= 0; end = buffer.indexOf(0)) {
        const message = JSON.parse(buffer.subarray(0, end).toString('utf8'));
        buffer = buffer.subarray(end + 1);
        this.dispatch(message);
      }
    });
    child.on('exit', () => {
      for (const { reject } of this.pending.values()) reject(new Error('chromium exited'));
      this.pending.clear();
    });
  }

  dispatch(message) {
    if (message.id !== undefined) {
      const p = this.pending.get(message.id);
      if (!p) return;
      this.pending.delete(message.id);
      if (message.error) p.reject(new Error(`${p.method}: ${message.error.message}`));
      else p.resolve(message.result);
      return;
    }
    for (const l of this.listeners) l(message);
  }

  send(method, params = {}, sessionId) {
    const id = this.nextId++;
    const message = { id, method, params };
    if (sessionId) message.sessionId = sessionId;
    return new Promise((resolve, reject) => {
      this.pending.set(id, { resolve, reject, method });
      this.out.write(JSON.stringify(message) + '\0');
    });
  }

  on(fn) { this.listeners.push(fn); }

  // A page in a tab, or in a window of its own (window: true) for pages that run side by
  // side: of a window's tabs only the one in front is visible and draws frames.
  async newPage(width, height, { window = false } = {}) {
    const { targetId } = await this.send('Target.createTarget', { url: 'about:blank', newWindow: window });
    const { sessionId } = await this.send('Target.attachToTarget', { targetId, flatten: true });
    const page = new Page(this, sessionId, targetId);
    await page.init(width, height);
    return page;
  }

  async close() {
    const running = () => this.child.exitCode === null && this.child.signalCode === null;
    const gone = new Promise((r) => (running() ? this.child.once('exit', r) : r()));
    try { await Promise.race([this.send('Browser.close'), sleep(3000)]); } catch (e) { /* already gone */ }
    await Promise.race([gone, sleep(3000)]);
    try { process.kill(-this.child.pid, 'SIGKILL'); } catch (e) { /* the group is gone */ }
    await gone;
    for (let i = 0; ; i++) {
      try {
        fs.rmSync(this.profile, { recursive: true, force: true });
        break;
      } catch (e) {
        if (i === 20) throw e;
        await sleep(100); // a helper process still writing its last files
      }
    }
  }
}

class Page {
  constructor(browser, sessionId, targetId) {
    this.browser = browser;
    this.sessionId = sessionId;
    this.targetId = targetId;
    this.console = []; // { type, text, time }
    this.errors = []; // exceptions and error log entries
    this.warnings = []; // the browser's own warnings (WebGL's among them)
    browser.on((m) => {
      if (m.sessionId !== sessionId) return;
      if (m.method === 'Runtime.consoleAPICalled') {
        const text = m.params.args.map((a) => (a.value !== undefined ? String(a.value) : a.description || '')).join(' ');
        this.console.push({ type: m.params.type, text, time: Date.now() });
        if (m.params.type === 'error' || m.params.type === 'assert') this.errors.push(`console.${m.params.type}: ${text}`);
      } else if (m.method === 'Runtime.exceptionThrown') {
        const d = m.params.exceptionDetails;
        this.errors.push(`exception: ${d.exception ? d.exception.description : d.text}`);
      } else if (m.method === 'Log.entryAdded' && m.params.entry.level === 'error') {
        this.errors.push(`log: ${m.params.entry.text} ${m.params.entry.url || ''}`);
      } else if (m.method === 'Log.entryAdded' && m.params.entry.level === 'warning') {
        this.warnings.push(m.params.entry.text);
      }
    });
  }

  send(method, params) { return this.browser.send(method, params, this.sessionId); }

  async init(width, height) {
    await this.send('Runtime.enable');
    await this.send('Log.enable');
    await this.send('Page.enable');
    await this.resize(width, height);
  }

  async resize(width, height, deviceScaleFactor = 1) {
    await this.send('Emulation.setDeviceMetricsOverride', { width, height, deviceScaleFactor, mobile: false });
  }

  async goto(url) {
    const loaded = new Promise((resolve) => {
      const l = (m) => { if (m.sessionId === this.sessionId && m.method === 'Page.loadEventFired') resolve(); };
      this.browser.on(l);
    });
    await this.send('Page.navigate', { url });
    await loaded;
  }

  // The value of a JavaScript expression in the page (promises awaited).
  async eval(expression) {
    const r = await this.send('Runtime.evaluate', { expression, awaitPromise: true, returnByValue: true });
    if (r.exceptionDetails) throw new Error(`eval ${expression}: ${r.exceptionDetails.exception ? r.exceptionDetails.exception.description : r.exceptionDetails.text}`);
    return r.result.value;
  }

  // Waits until the expression is true; the last value is returned.
  async waitFor(expression, timeoutMs = 30000, what = expression) {
    const until = Date.now() + timeoutMs;
    for (;;) {
      const v = await this.eval(expression);
      if (v) return v;
      if (Date.now() > until) throw new Error(`timed out waiting for ${what}`);
      await sleep(50);
    }
  }

  // A key pressed and let go; between the two, `held` calls (if given) with the key still
  // down, the key repeating between one call and the next.
  async key(key, code, keyCode, held = []) {
    const base = { key, code, windowsVirtualKeyCode: keyCode, nativeVirtualKeyCode: keyCode };
    const down = { type: 'keyDown', ...base, text: key.length === 1 ? key : undefined };
    await this.send('Input.dispatchKeyEvent', down);
    for (let i = 0; i < held.length; i++) {
      if (i > 0) await this.send('Input.dispatchKeyEvent', { ...down, autoRepeat: true });
      await held[i]();
    }
    await this.send('Input.dispatchKeyEvent', { type: 'keyUp', ...base });
  }

  async click(x, y) {
    for (const type of ['mousePressed', 'mouseReleased']) {
      await this.send('Input.dispatchMouseEvent', { type, x, y, button: 'left', clickCount: 1 });
    }
  }

  // A tap of one finger (the page must emulate a touch screen).
  async tap(x, y) {
    await this.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: [{ x, y }] });
    await this.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
  }

  // A PNG of what the page shows now.
  async screenshot(file) {
    const { data } = await this.send('Page.captureScreenshot', { format: 'png' });
    fs.writeFileSync(file, Buffer.from(data, 'base64'));
  }
}

// An expression for the fraction of non-black pixels in each row of the canvas's right half
// (the logo lies at the left), read right after the next frame (the browser clears the
// canvas once it is shown).
const CANVAS_ROWS = `new Promise((done) => requestAnimationFrame(() => {
  const c = document.getElementById('canvas');
  const g = document.createElement('canvas');
  g.width = c.width; g.height = c.height;
  const x = g.getContext('2d');
  x.drawImage(c, 0, 0);
  const d = x.getImageData(c.width >> 1, 0, c.width >> 1, c.height).data;
  const w = c.width >> 1, rows = [];
  for (let y = 0; y < c.height; y++) {
    let lit = 0;
    for (let i = y * w * 4; i < (y + 1) * w * 4; i += 4) if (d[i] + d[i + 1] + d[i + 2] > 24) lit++;
    rows.push(lit / w);
  }
  done(rows);
}))`;

// Rows [0, top) and [bottom, h) black, [top + margin, bottom - margin) lit.
function letterboxed(rows, top, bottom, margin) {
  const black = (a, b) => rows.slice(a, b).every((f) => f < 0.01);
  const lit = (a, b) => rows.slice(a, b).every((f) => f > 0.5);
  return black(0, top - margin) && lit(top + margin, bottom - margin) && black(bottom + margin, rows.length);
}

function sleep(ms) { return new Promise((r) => setTimeout(r, ms)); }

// The scripts' verdicts: each check prints "ok: WHAT" or "FAIL: WHAT"; verdicts.failures counts
// the failed ones, for the exit status.
const verdicts = { failures: 0 };
function check(ok, what) {
  console.log(`${ok ? 'ok' : 'FAIL'}: ${what}`);
  if (!ok) verdicts.failures++;
}

// The page's console held no error; `what` says so, followed by the errors if there were.
function checkNoErrors(page, what) {
  check(page.errors.length === 0, `${what}${page.errors.length ? ': ' + page.errors.join(' | ') : ''}`);
}

// Expressions for the page: its first frame is drawn; the prompt's text (null while hidden).
const FIRST_FRAME = 'window.Module && Module.nvClock && Module.nvClock.frames >= 1';
const PROMPT = `(() => {
  const p = document.getElementById('prompt');
  return getComputedStyle(p).display === 'none' ? null : p.textContent;
})()`;

// A python3 web server on 127.0.0.1, on a free port unless given one, once it answers: args(port)
// are its arguments.
async function spawnServer(args, port) {
  const net = require('net');
  port = port || await new Promise((resolve) => {
    const s = net.createServer();
    s.listen(0, '127.0.0.1', () => { const p = s.address().port; s.close(() => resolve(p)); });
  });
  const child = spawn('python3', args(port), { stdio: ['ignore', 'ignore', 'ignore'] });
  const until = Date.now() + 10000;
  for (;;) {
    const up = await new Promise((resolve) => {
      const c = net.connect(port, '127.0.0.1', () => { c.end(); resolve(true); });
      c.on('error', () => resolve(false));
    });
    if (up) break;
    if (Date.now() > until) throw new Error('the site server did not start');
    await sleep(50);
  }
  return { url: `http://127.0.0.1:${port}/`, stop: () => child.kill() };
}

// The site served by the server scripts/web uses (compressed copies, types, validators), on a
// free port unless given one; log: a file for its "STATUS PATH BYTES" lines.
function serve(dir, log, port) {
  const script = path.join(__dirname, '../../scripts/lib/serve_site.py');
  return spawnServer((p) => [script, '--port', String(p), ...(log ? ['--log', log] : []), dir], port);
}

module.exports = { Browser, Page, serve, spawnServer, sleep, CANVAS_ROWS, letterboxed, verdicts, check, checkNoErrors, FIRST_FRAME, PROMPT };
