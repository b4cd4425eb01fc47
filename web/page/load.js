// The show's loading: the program (velandor.wasm), the data it looks up by name
// (velandor.ndar) and the music (data/), fetched beside the page with their progress shown
// as the bytes come, and handed to the program as they arrive:
//   the program compiles while it downloads (Module.instantiateWasm);
//   the archive is put in the program's memory before main runs (main is held back till then);
//   the music is asked for by the sound layer through Module.nvFiles.open(name, onData, onEnd)
//     and streams on while the show plays: the first piece after what the first frame needs,
//     the second after the first, so that neither waits for the other.
// In the one-file edition (velandor.html) the same files come out of the page itself.
//
// A gesture before the show can start is taken (nv.js calls Module.nvLoad.early()): the page
// says the show starts as soon as it can, and opens the sound in the gesture, which some
// browsers require, for the program to take over.
//
// Once everything has come, a service worker keeps the site for visits without a network
// (sw.js). A page opened from a disk, which cannot fetch its files, says what to do instead.
//
// For tests: Module.nvLoad.loaded and .total count the bytes, .complete is true once every
// file has come.
'use strict';

(function () {
  // Bytes of every file the page loads, in the order it loads them, written by the build: what
  // the first frame waits for, then the music (data/), one piece after the other.
  const SIZES = {} /* @SIZES@ */;
  const FIRST = Object.keys(SIZES).filter((name) => !name.startsWith('data/'));
  const MUSIC = Object.keys(SIZES).filter((name) => name.startsWith('data/'));
  const MUSIC_RATE = 44100; // the rate the program's sound layer opens at
  const UNLOADABLE = 'Opened from a disk, the show cannot load here: serve its folder over http, or open velandor.html.';

  const loading = document.getElementById('loading');
  const bar = loading.querySelector('.bar div');
  const label = loading.querySelector('.text');
  const embedded = document.getElementById('nv-files');
  const params = new URLSearchParams(window.location.search);

  // Every file: the chunks that have come, whether all have ({ok} once the last has, or the
  // load failed), and who wants each chunk as it comes.
  const files = {};
  for (const name of Object.keys(SIZES).concat(embedded ? ['fsound-worklet.js'] : [])) {
    files[name] = { chunks: [], bytes: 0, ended: null, readers: [] };
  }
  const state = { loaded: 0, total: FIRST.concat(MUSIC).reduce((s, n) => s + (SIZES[n] || 0), 0), complete: false };
  const firstTotal = FIRST.reduce((s, n) => s + (SIZES[n] || 0), 0);

  function arrived(name, chunk) {
    const f = files[name];
    f.chunks.push(chunk);
    f.bytes += chunk.length;
    state.loaded += chunk.length;
    f.readers = f.readers.filter((r) => r.onData(chunk) !== false);
    if (FIRST.includes(name)) progress();
  }

  function ended(name, ok, why) {
    const f = files[name];
    f.ended = { ok, why };
    for (const r of f.readers) r.onEnd(ok);
    f.readers = [];
  }

  // The file's chunks so far, then the rest as they come; false when the page has no such file.
  function open(name, onData, onEnd) {
    const f = files[name];
    if (!f) return false;
    for (const chunk of f.chunks) {
      if (onData(chunk) === false) return true;
    }
    if (f.ended) onEnd(f.ended.ok);
    else f.readers.push({ onData, onEnd });
    return true;
  }

  // The whole file, once it has come.
  function whole(name) {
    return new Promise((resolve, reject) => {
      const parts = [];
      open(name, (chunk) => { parts.push(chunk); }, (ok) => {
        if (!ok) return reject(new Error(`${name}: ${files[name].ended.why}`));
        const bytes = new Uint8Array(parts.reduce((s, p) => s + p.length, 0));
        let at = 0;
        for (const p of parts) { bytes.set(p, at); at += p.length; }
        resolve(bytes);
      });
    });
  }

  // The bar and the percentage, until what the first frame needs has come.
  function progress() {
    const done = FIRST.reduce((s, n) => s + files[n].bytes, 0);
    const percent = Math.min(100, Math.floor((100 * done) / Math.max(1, firstTotal)));
    bar.style.width = `${percent}%`;
    loading.setAttribute('aria-valuenow', String(percent));
    label.textContent = `loading the show \u00b7 ${percent} %`;
    if (done >= firstTotal) loading.classList.add('gone');
  }

  // The show cannot load: said where the prompt was, and gestures no longer start anything.
  function failed(text) {
    loading.classList.add('gone');
    Module.nvClock.failed(text);
  }

  // A file over the network, read as it comes (not as a consumer pulls: the download never
  // waits for the program).
  async function fetchFile(name) {
    let response;
    try {
      response = await fetch(name);
      if (!response.ok) throw new Error(`${response.status} ${response.statusText}`);
      const reader = response.body.getReader();
      for (;;) {
        const { done, value } = await reader.read();
        if (done) break;
        arrived(name, value);
      }
    } catch (e) {
      ended(name, false, e.message || String(e));
      return false;
    }
    ended(name, true);
    return true;
  }

  // The files packed into the one-file edition: base64 of their gzip.
  async function unpack() {
    const text = atob(embedded.textContent.trim());
    const packed = new Uint8Array(text.length);
    for (let i = 0; i < text.length; i++) packed[i] = text.charCodeAt(i);
    const stream = new Blob([packed]).stream().pipeThrough(new DecompressionStream('gzip'));
    const bytes = new Uint8Array(await new Response(stream).arrayBuffer());
    for (const [name, [at, size]] of Object.entries(JSON.parse(embedded.dataset.files))) {
      arrived(name, bytes.subarray(at, at + size));
      ended(name, true);
    }
  }

  async function loadAll() {
    if (embedded) {
      if (typeof DecompressionStream === 'undefined') {
        failed('This browser is too old to open the show in one file: open the show\u2019s site instead.');
        return;
      }
      await unpack();
    } else {
      const first = await Promise.all(FIRST.map(fetchFile));
      const lost = FIRST.filter((name, i) => !first[i]);
      if (lost.length) {
        failed(`The show could not be loaded (${lost.map((n) => `${n}: ${files[n].ended.why}`).join(', ')}).`);
        return;
      }
      for (const name of MUSIC) {
        if (!(await fetchFile(name))) {
          Module.nvClock.say('load', 'The music could not be loaded; the show runs without it.');
          return;
        }
      }
    }
    state.complete = true;
    keepOffline();
  }

  // The site kept for visits without a network, once everything has come (so the worker
  // finds it all in the browser's cache and fetches nothing twice).
  function keepOffline() {
    if (embedded || !('serviceWorker' in navigator) || !/^https?:$/.test(window.location.protocol)) return;
    navigator.serviceWorker.register('sw.js').catch((e) => console.warn('offline copy:', e.message || e));
  }

  // A gesture before the show can start.
  function early() {
    document.getElementById('prompt').textContent = 'the show starts as soon as it has loaded';
    if (Module.nvAudioContext || typeof AudioContext === 'undefined' || params.get('fsound_output') !== null) return;
    try {
      Module.nvAudioContext = new AudioContext({ sampleRate: MUSIC_RATE, latencyHint: 'interactive' });
      Module.nvAudioContext.resume().catch(() => {});
    } catch (e) {
      // The sound layer makes its own when it starts, and says why if it cannot.
    }
  }

  // The link to the one file is no gesture for the show.
  const link = document.getElementById('onefile');
  if (embedded) link.remove();
  else link.addEventListener('click', (e) => e.stopPropagation());

  if (!embedded && window.location.protocol === 'file:') {
    failed(UNLOADABLE);
    Module.instantiateWasm = () => ({}); // the program never starts
    link.textContent = 'open the show in one file';
    link.removeAttribute('download');
    return;
  }

  // Installable where the page is served (a disk cannot serve the manifest).
  if (!embedded) {
    const manifest = document.createElement('link');
    manifest.rel = 'manifest';
    manifest.href = 'manifest.webmanifest';
    document.head.appendChild(manifest);
  }

  Module.nvFiles = { open };
  Module.nvLoad = Object.assign(state, { early });
  Module.instantiateWasm = (imports, receive) => {
    const stream = new ReadableStream({
      start(controller) {
        open('velandor.wasm', (chunk) => { controller.enqueue(chunk); }, (ok) => {
          if (ok) controller.close();
          else controller.error(new Error(files['velandor.wasm'].ended.why));
        });
      },
    });
    const response = new Response(stream, { headers: { 'Content-Type': 'application/wasm' } });
    const made = typeof WebAssembly.instantiateStreaming === 'function'
      ? WebAssembly.instantiateStreaming(response, imports)
      : response.arrayBuffer().then((bytes) => WebAssembly.instantiate(bytes, imports));
    made.then((result) => receive(result.instance)).catch((e) => {
      if (!files['velandor.wasm'].ended || files['velandor.wasm'].ended.ok) failed(`The show could not start: ${e.message || e}`);
    });
    return {};
  };
  // The archive in the program's memory before main runs. A capture of the sound
  // (fsound_output=capture) mixes the music frame by frame from the very first frame, which
  // it cannot wait in: there the program starts only once all of the music has come.
  Module.preRun.push(() => {
    Module.addRunDependency('nv-archive');
    const capture = params.get('fsound_output') === 'capture';
    Promise.all(['velandor.ndar'].concat(capture ? MUSIC : []).map(whole)).then(([bytes]) => {
      const at = Module._nv_web_archive(bytes.length);
      if (!at) throw new Error('no memory for the data');
      Module.HEAPU8.set(bytes, at);
      Module.removeRunDependency('nv-archive');
    }).catch((e) => {
      // A file that did not come is said by loadAll; anything else keeps main from running.
      if (!FIRST.some((name) => files[name].ended && !files[name].ended.ok)) failed(`The show could not start: ${e.message || e}`);
    });
  });
  if (embedded) {
    Module.locateFile = (path, prefix) => (path === 'fsound-worklet.js'
      ? `data:text/javascript;base64,${btoa(String.fromCharCode(...files[path].chunks[0]))}` : prefix + path);
  }
  progress();
  loadAll();
})();
