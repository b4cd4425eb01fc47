// A visitor's first visit over a slow network, as the browser tests check it and the loading
// benchmark measures it: an empty cache, the network throttled, a click at a chosen moment
// after the link was opened, and then nothing more from the visitor. Works on today's page
// and on older ones (what an older page does not have reads as null).
'use strict';
const { sleep } = require('./browser.js');

// 1.6 Mbit/s down, 750 kbit/s up, 150 ms: a phone's slow network.
const SLOW = { offline: false, latency: 150, downloadThroughput: 200000, uploadThroughput: 93750 };

// Before the page's own scripts: the moments the loading line first shows and the music is
// first heard, looked at every frame.
const HEARD = `(() => {
  const look = () => {
    const l = document.getElementById('loading');
    if (!window.nvLoadingAt && l && getComputedStyle(l).display !== 'none') window.nvLoadingAt = performance.now();
    const s = window.Module && typeof Module.nvStatus === 'function' ? Module.nvStatus() : null;
    if (s && s.heard > 0) window.nvHeardAt = performance.now();
    else requestAnimationFrame(look);
  };
  requestAnimationFrame(look);
})()`;

// What the page shows while it loads: the loading line, the prompt, whether a frame is drawn.
const LOOK = `(() => {
  const shown = (e) => e && getComputedStyle(e).display !== 'none' && e.textContent !== '';
  const loading = document.querySelector('#loading .text');
  const prompt = document.getElementById('prompt');
  return {
    at: performance.now(),
    loading: shown(document.getElementById('loading')) && loading ? loading.textContent : null,
    prompt: shown(prompt) ? prompt.textContent : null,
    frames: window.Module && Module.nvClock ? Module.nvClock.frames : 0,
  };
})()`;

// Opens url in a new page of browser at width x height; clicks its middle clickAtMs after the
// link was opened; returns once the music has been heard for heardSeconds (or timeoutMs has
// passed): { looks: what the page showed, every 100 ms until its first frame and after the
// click, paintMs (the page's first paint with content), loadingMs (the first animation frame
// with the loading line shown), firstFrameMs, heardMs (page times since the link was opened,
// null if never),
// bytes (over the network, headers included, as the page's own requests count them, once none
// is open any more), page (still open) }.
async function firstVisit(browser, url, { clickAtMs = 500, width = 1280, height = 720, heardSeconds = 1, timeoutMs = 60000 } = {}) {
  const page = await browser.newPage(width, height);
  let bytes = 0, lastNews = Date.now();
  const pending = new Set();
  browser.on((m) => {
    if (m.sessionId !== page.sessionId || !/^Network\.(requestWillBeSent|loadingFinished|loadingFailed)$/.test(m.method)) return;
    lastNews = Date.now();
    if (m.method === 'Network.requestWillBeSent') pending.add(m.params.requestId);
    else pending.delete(m.params.requestId);
    if (m.method === 'Network.loadingFinished') bytes += m.params.encodedDataLength;
  });
  await page.send('Network.enable');
  await page.send('Network.emulateNetworkConditions', SLOW);
  await page.send('Page.addScriptToEvaluateOnNewDocument', { source: HEARD });
  const opened = Date.now();
  await page.send('Page.navigate', { url });
  const looks = [];
  let clicked = false;
  const until = opened + timeoutMs;
  for (;;) {
    if (!clicked && Date.now() - opened >= clickAtMs) {
      await page.click(width / 2, height / 2);
      clicked = true;
    }
    const look = await page.eval(LOOK).catch(() => null); // null while the page is not there yet
    if (look && (look.frames === 0 || looks.length < 200)) looks.push(look);
    const heard = await page.eval(`window.Module && typeof Module.nvStatus === 'function' ? Module.nvStatus().heard : null`)
      .catch(() => null);
    if ((clicked && heard !== null && heard >= heardSeconds) || Date.now() > until) break;
    await sleep(100);
  }
  const firstFrameMs = await page.eval('window.Module && Module.nvClock && Module.nvClock.firstFrameMs || null');
  const heardMs = await page.eval('window.nvHeardAt || null');
  const loadingMs = await page.eval('window.nvLoadingAt || null');
  const paintMs = await page.eval(`(performance.getEntriesByName('first-contentful-paint')[0] || {}).startTime || null`);
  // The bytes once the page has loaded all it loads: a second without a request open.
  while ((pending.size || Date.now() - lastNews < 1000) && Date.now() < until) await sleep(100);
  return { looks, paintMs, loadingMs, firstFrameMs, heardMs, bytes, page };
}

module.exports = { firstVisit, SLOW };
