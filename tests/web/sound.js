// The browser edition's sound in headless Chromium, taken through its capture output
// (FSOUND_OUTPUT=capture): the page pulls FRAMES video frames of 1/60 s and, for each, reads
// the spectrum (which mixes the frame, so a "Sound 2" said then belongs to it) and takes the
// frame's samples. Writes OUT_DIR/mix.raw (16-bit stereo), OUT_DIR/spectrum.f32 (512 floats a
// frame) and OUT_DIR/run.log ("video frame K" lines and what the program said), as the
// native run of the same frames does.
//   node sound.js SITE_DIR OUT_DIR FRAMES
'use strict';
const fs = require('fs');
const path = require('path');
const { Browser, serve } = require('./browser.js');

const CHUNK = 400; // video frames a page evaluation takes

const PULL = (from, to) => `(() => {
  const M = Module, frames = ${to} - ${from}, most = 800;
  const buf = M._malloc(most * 4);
  const log = [], spectra = new Float32Array(frames * 512), parts = [];
  let said = M.nvSaid || 0, total = 0;
  for (let k = ${from}; k < ${to}; k++) {
    log.push('video frame ' + k);
    const s = M._FSOUND_DSP_GetSpectrum() >> 2;
    spectra.set(HEAPF32.subarray(s, s + 512), (k - ${from}) * 512);
    const n = M._fsound_capture_frame(buf, most);
    if (n < 0) throw new Error('no capture frame at ' + k);
    while (said < M.printed.length) log.push(M.printed[said++]);
    parts.push(HEAP16.slice(buf >> 1, (buf >> 1) + 2 * n));
    total += n;
  }
  M._free(buf);
  M.nvSaid = said;
  const mix = new Int16Array(total * 2);
  let at = 0;
  for (const p of parts) { mix.set(p, at); at += p.length; }
  const b64 = (a) => {
    const u = new Uint8Array(a.buffer, a.byteOffset, a.byteLength);
    let s = '';
    for (let i = 0; i < u.length; i += 32768) s += String.fromCharCode.apply(null, u.subarray(i, i + 32768));
    return btoa(s);
  };
  return { log, mix: b64(mix), spectra: b64(spectra) };
})()`;

async function main() {
  const [site, out, framesText] = process.argv.slice(2);
  const frames = Number(framesText);
  const server = await serve(site);
  const browser = await Browser.launch();
  let failed = false;
  try {
    const page = await browser.newPage(640, 480);
    // One frame of the show is drawn; the music moves only as the frames are taken.
    await page.goto(`${server.url}?fsound_output=capture&hold_at=1`);
    await page.waitFor('window.Module && Module.nvClock && Module.nvClock.frames >= 1', 60000, 'the first frame');
    const mix = fs.openSync(path.join(out, 'mix.raw'), 'w');
    const spectra = fs.openSync(path.join(out, 'spectrum.f32'), 'w');
    const log = [];
    for (let k = 0; k < frames; k += CHUNK) {
      const r = await page.eval(PULL(k, Math.min(frames, k + CHUNK)));
      fs.writeSync(mix, Buffer.from(r.mix, 'base64'));
      fs.writeSync(spectra, Buffer.from(r.spectra, 'base64'));
      log.push(...r.log);
    }
    fs.closeSync(mix);
    fs.closeSync(spectra);
    fs.writeFileSync(path.join(out, 'run.log'), log.join('\n') + '\n');
    const said = page.console.filter((m) => m.text === 'Sound 2').length;
    console.log(`"Sound 2" in the console ${said} times`);
    if (page.errors.length) {
      console.log(`FAIL: errors in the page:\n  ${page.errors.join('\n  ')}`);
      failed = true;
    }
  } finally {
    await browser.close();
    server.stop();
  }
  process.exit(failed ? 1 : 0);
}

main().catch((e) => { console.log(`FAIL: ${e.stack || e}`); process.exit(1); });
