// The page around the show: the start on the visitor's first gesture, the sound kept going
// by later ones, full screen, what the page says when something is missing, and the clock
// the program reads (webclock.js hands its reads here).
//
// Test parameters in the address (none is needed to watch the show):
//   clock_step_us=S  the clock moves S microseconds per drawn frame instead of with time
//   clock_stop=N     ... and stands still from the N-th frame on
//   hold_at=N        no frame is drawn after the N-th
//   fsound_output=X  FSOUND_OUTPUT for the sound layer ("off": no sound, "capture")
//   gl_break=WHAT    draws wrongly on purpose ("lighting", "blend", "texture")
// and for tests that follow the show, Module.nvStatus() returns { shown, heard } in seconds:
// the show time of the last drawn frame and the music's position at the listener now (null
// while no music is heard).
'use strict';

(function () {
  const params = new URLSearchParams(window.location.search);
  const number = (name, fallback) => {
    const v = params.get(name);
    return v !== null && /^[0-9]+$/.test(v) ? Number(v) : fallback;
  };
  const prompt = document.getElementById('prompt');
  const status = document.getElementById('status');
  const canvas = document.getElementById('canvas');
  const heard = () => (typeof Module.nvSoundHeard === 'function' ? Module.nvSoundHeard() : null);
  const soundState = () => (typeof Module.nvSoundState === 'function' ? Module.nvSoundState() : null);

  const SOUND_WAIT_MS = 3000; // the longest the show waits at its start for a player that plays nothing
  const PAUSED_MS = 1000;     // the music standing this long while the page runs: the page says so
  const PAUSED_TEXT = 'The music is paused: click, tap or press a key to play it.';
  const COMING_TEXT = 'The music is still on its way: the show goes on as soon as it comes.';
  // The music's bytes are still coming over the network (the loader says so).
  const musicComing = () => Module.nvLoad !== undefined && !Module.nvLoad.complete;

  // The show's clock, in milliseconds. Where there is music, the music is the clock: the
  // show's time is the music's position at the listener, so the picture waits whenever the
  // music does (the browser suspended it, the page was frozen or stalled, it is starting)
  // and goes on with it, in step, as a film waits for its sound. Where there is none (no
  // sound at all, or the browser closed it for good), the page's clock carries the show on
  // from where it stands. The program's arithmetic needs a clock that never goes back:
  // where the music's position does (its estimate corrected), the picture holds until the
  // music has caught up.
  const clock = {
    running: false,
    origin: 0, // performance.now() at which the page's clock reads 0
    stepUs: number('clock_step_us', 0),
    stop: number('clock_stop', -1),
    holdAt: number('hold_at', -1),
    frames: 0, // drawn so far
    wanted: true, // the first frame is drawn before the start
    last: 0, // the latest reading, which no later one goes below
    read: 0, // the reading the frame being drawn took
    shown: 0, // the reading of the last drawn frame
    soundUntil: 0, // the music is starting: the show waits for it until then
    heardAt: null, // the music's position at the last reading
    lastRead: 0, // page time of the last reading
    still: 0, // page time the music has stood while the page ran
    stands: null, // what the page says of music that stands, or null
    now() {
      if (this.stepUs > 0) {
        const f = this.stop >= 0 && this.frames > this.stop ? this.stop : this.frames;
        this.read = (f * this.stepUs) / 1000;
      } else if (this.running) {
        const t = this.target();
        if (t > this.last) this.last = t;
        this.read = this.last;
      }
      return this.read;
    },
    target() {
      const page = performance.now();
      const state = soundState();
      let music = heard();
      if (music !== null) music = state === 'closed' ? null : music * 1000;
      const held = state === 'suspended' || state === 'interrupted';
      this.watch(page, music, held);
      // The page's clock is kept reading where the show stands, for the moment the music
      // goes; it drives only where there is no music to wait for.
      if (music !== null || held || page < this.soundUntil) {
        this.origin = page - Math.max(this.last, music || 0);
        return music !== null ? music : this.last;
      }
      return page - this.origin;
    },
    // Says so on the page while the music stands and the page runs: the browser holds it
    // (a call, another app's sound, a page restored from its cache), which a gesture
    // resumes, or its bytes have not come yet over a slow network, which no gesture helps.
    watch(page, music, held) {
      const ran = Math.min(page - this.lastRead, 100); // a frozen or hidden page is not running
      this.lastRead = page;
      const stands = music === null ? held : music === this.heardAt;
      if (music !== null) this.heardAt = music;
      this.still = stands ? this.still + ran : 0;
      let text = null;
      if (this.still >= PAUSED_MS) text = !held && music !== null && musicComing() ? COMING_TEXT : PAUSED_TEXT;
      if (text !== this.stands) {
        this.stands = text;
        this.say('paused', text);
      }
    },
    frameWanted() {
      if (this.holdAt >= 0 && this.frames >= this.holdAt) return false;
      if (this.running) return true;
      const w = this.wanted;
      this.wanted = false;
      return w;
    },
    frameDone() {
      this.shown = this.read;
      if (this.frames++ === 0) this.firstFrameMs = performance.now(); // since the navigation
    },
    redraw() { this.wanted = true; },
    start() {
      if (this.running) return;
      this.startedMs = this.origin = performance.now();
      this.running = true;
    },
    failedText: null,
    failed(text) {
      this.failedText = text;
      prompt.textContent = text;
      prompt.classList.remove('gone');
    },
    notes: {}, // what the page says now, by subject
    say(subject, text) {
      if (text) this.notes[subject] = text;
      else delete this.notes[subject];
      status.textContent = Object.values(this.notes).join('\n');
      status.classList.toggle('gone', !status.textContent);
    },
  };

  function toggleFullscreen() {
    if (document.fullscreenElement) {
      document.exitFullscreen().catch(() => {});
    } else if (document.documentElement.requestFullscreen) {
      document.documentElement.requestFullscreen().catch(() => {});
    }
  }

  // Starts the music, or resumes it: browsers let a page's sound begin only inside a user
  // activation, and may suspend it later (a call, another tab playing).
  function sound(first) {
    if (typeof Module.nvSoundStart !== 'function') return;
    if (first) clock.soundUntil = performance.now() + SOUND_WAIT_MS;
    // Called at once, inside the gesture; a throw becomes a rejection.
    new Promise((resolve) => resolve(Module.nvSoundStart())).then((playing) => {
      if (playing) {
        if (Module.nvSoundStartedMs === undefined) Module.nvSoundStartedMs = performance.now();
        clock.say('sound', null);
        return;
      }
      clock.soundUntil = 0;
      const why = typeof Module.nvSoundMissing === 'function' ? Module.nvSoundMissing() : null;
      if (why) clock.say('sound', why);
    }).catch((e) => {
      clock.soundUntil = 0;
      const why = e && e.message ? e.message : String(e);
      console.warn('sound:', why);
      clock.say('sound', 'The music could not start: ' + why);
    });
  }

  let ready = false; // the program runs
  let startWanted = false;
  // Every gesture that lets a page start sound comes here.
  function start() {
    if (clock.failedText !== null) return;
    if (!ready) { startWanted = true; if (Module.nvLoad) Module.nvLoad.early(); return; }
    if (clock.running) { sound(false); return; }
    prompt.classList.add('gone');
    clock.start();
    sound(true);
  }

  window.addEventListener('keydown', (e) => {
    if (e.ctrlKey || e.altKey || e.metaKey) return;
    if ((e.key === 'f' || e.key === 'F') && !e.repeat) toggleFullscreen();
    if (e.key !== 'Escape') start();
  });
  canvas.addEventListener('pointerdown', () => canvas.focus());
  window.addEventListener('click', start);
  window.addEventListener('touchend', start);
  // A page restored from the browser's back-forward cache finds its music suspended; where
  // the browser lets it resume without a gesture it does, elsewhere the page says so.
  window.addEventListener('pageshow', (e) => { if (e.persisted && clock.running) sound(false); });
  // The browser draws a lost context's canvas in its own colours: the page's black shows
  // instead, as around the picture, until the picture is back.
  canvas.addEventListener('webglcontextlost', () => canvas.classList.add('lost'));
  canvas.addEventListener('webglcontextrestored', () => canvas.classList.remove('lost'));
  const fullscreen = document.getElementById('fullscreen');
  fullscreen.addEventListener('click', (e) => {
    e.stopPropagation();
    toggleFullscreen();
    start();
  });
  // No button where it cannot work (an iPhone's browser has no full screen for pages).
  if (!document.fullscreenEnabled) fullscreen.classList.add('gone');

  window.Module = {
    canvas,
    arguments: [],
    thisProgram: 'velandor',
    nvClock: clock,
    nvStatus: () => ({ shown: clock.shown / 1000, heard: heard() }),
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
