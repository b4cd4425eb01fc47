// The page around the show: the start on the visitor's first gesture, full screen, and
// the clock the program reads (webclock.js hands its reads here).
//
// Test parameters in the address (none is needed to watch the show):
//   clock_step_us=S  the clock moves S microseconds per drawn frame instead of with time
//   clock_stop=N     ... and stands still from the N-th frame on
//   hold_at=N        no frame is drawn after the N-th
//   fsound_output=X  FSOUND_OUTPUT for the sound layer ("off": no sound, "capture")
//   gl_break=WHAT    draws wrongly on purpose ("lighting", "blend", "texture")
'use strict';

(function () {
  const params = new URLSearchParams(window.location.search);
  const number = (name, fallback) => {
    const v = params.get(name);
    return v !== null && /^[0-9]+$/.test(v) ? Number(v) : fallback;
  };
  const prompt = document.getElementById('prompt');
  const canvas = document.getElementById('canvas');

  const clock = {
    running: false,
    origin: 0,
    stepUs: number('clock_step_us', 0),
    stop: number('clock_stop', -1),
    holdAt: number('hold_at', -1),
    frames: 0, // drawn so far
    wanted: true, // the first frame is drawn before the start
    now() {
      if (this.stepUs > 0) {
        const f = this.stop >= 0 && this.frames > this.stop ? this.stop : this.frames;
        return (f * this.stepUs) / 1000;
      }
      return this.running ? performance.now() - this.origin : 0;
    },
    frameWanted() {
      if (this.holdAt >= 0 && this.frames >= this.holdAt) return false;
      if (this.running) return true;
      const w = this.wanted;
      this.wanted = false;
      return w;
    },
    frameDone() {
      if (this.frames++ === 0) this.firstFrameMs = performance.now(); // since the navigation
    },
    redraw() { this.wanted = true; },
    start() {
      if (this.running) return;
      this.origin = performance.now();
      this.running = true;
    },
    failed(text) {
      prompt.textContent = text;
      prompt.classList.remove('gone');
    },
  };

  function toggleFullscreen() {
    if (document.fullscreenElement) {
      document.exitFullscreen().catch(() => {});
    } else if (document.documentElement.requestFullscreen) {
      document.documentElement.requestFullscreen().catch(() => {});
    }
  }

  let ready = false; // the program runs
  let startWanted = false;
  function start() {
    if (clock.running) return;
    if (!ready) { startWanted = true; return; }
    prompt.classList.add('gone');
    clock.start();
    if (typeof Module.nvSoundStart === 'function') {
      Promise.resolve(Module.nvSoundStart())
        .then((playing) => { if (playing) Module.nvSoundStartedMs = performance.now(); })
        .catch((e) => console.warn('sound:', e && e.message ? e.message : e));
    }
  }

  window.addEventListener('keydown', (e) => {
    if (e.ctrlKey || e.altKey || e.metaKey) return;
    if (e.key === 'f' || e.key === 'F') toggleFullscreen();
    if (e.key !== 'Escape') start();
  });
  canvas.addEventListener('pointerdown', () => { canvas.focus(); start(); });
  document.getElementById('fullscreen').addEventListener('click', (e) => {
    e.stopPropagation();
    toggleFullscreen();
    start();
  });

  window.Module = {
    canvas,
    arguments: [],
    nvClock: clock,
    printed: [], // what the program said, for tests that follow it
    print: (text) => {
      console.log(text);
      if (Module.printed.length < 10000) Module.printed.push(text);
    },
    printErr: (text) => console.warn(text),
    preRun: [function () {
      for (const [param, name] of [['fsound_output', 'FSOUND_OUTPUT'], ['fsound_capture_fps', 'FSOUND_CAPTURE_FPS']]) {
        const v = params.get(param);
        if (v !== null) ENV[name] = v;
      }
    }],
    onRuntimeInitialized() {
      const what = params.get('gl_break');
      if (what) Module.ccall('fixedgl_break', null, ['string'], [what]);
    },
    postRun: [function () {
      ready = true;
      if (startWanted) start();
    }],
    onAbort(what) { clock.failed('The show stopped: ' + what); },
  };
})();
