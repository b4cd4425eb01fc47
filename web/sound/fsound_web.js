// The sound layer's Web Audio output, on the page's side. The page calls
// Module.nvSoundStart() from a user gesture: it makes (or resumes) an AudioContext at the
// layer's rate and starts the player. The player asks for frames; each request is answered
// at once by mixing in the layer (fsound_web_render). Nothing is mixed before the first
// request, so the music starts at its first frame on the gesture.
//
// Two players, the first the page offers:
//   AudioWorklet         fsound-worklet.js (next to the program's .js) on the audio thread,
//                        holding 0.15 s; only on secure pages (https:// or localhost).
//   ScriptProcessorNode  on the page's thread, one buffer of 4096 frames per request; what
//                        every other page has. The browser plays its buffers back to back,
//                        so the music stays gapless as long as the page answers in time.
//
// What the listener hears is known from runs: stretches of the layer's frames that the
// context plays without a break, each with the context frame it begins at and (once known)
// the frame it ends with. A player that runs dry (a page frozen or stalled past its buffer)
// ends the run; the music then stands where it stopped until a new run begins.
//
// Module.nvSoundStart() returns a Promise: true once the output plays; false when the layer
// has no Web Audio output (FSOUND_Init not made yet, failed, or chose the capture output;
// Module.nvSoundMissing then says why when the browser is the reason); a start asked for
// before FSOUND_Init is made as soon as it opens the output. It rejects when the browser
// refuses the context. Called again on a later gesture it resumes a suspended context.
// Module.nvSoundHeard() is the music's position at the listener now, in seconds of output
// since the start, or null while nothing is heard; it stands while the music does (the
// context suspended or frozen, the player run dry). Module.nvSoundState() is the context's
// state ('running', 'suspended', Safari's 'interrupted', 'closed'), null before there is one.
//
// The messages' keys are quoted: the player is a file of its own that a minifier never sees.
var LibraryFsoundWeb = {
  $NVSound: {
    bufferSeconds: 0.15,   // the worklet's buffer: bridges a late frame of the page
    requestFrames: 1024,   // the worklet asks for at least this many frames at a time
    processorFrames: 4096, // the ScriptProcessorNode's buffer
    rate: 0,               // the layer's rate once its Web Audio output is open
    player: null,          // 'AudioWorklet' or 'ScriptProcessorNode' once the output is open
    wanted: false,         // nvSoundStart came before the output was open
    missing: null,         // why this browser plays no sound here, for the visitor
    context: null,
    node: null,
    ready: null,           // the promise of the player, made once
    mixed: 0,              // frames handed to the player
    runs: [],              // {ourFrame, ctxFrame, end}, oldest first; end Infinity while open

    start: function() {
      if (!NVSound.rate) {
        NVSound.wanted = true;
        return Promise.resolve(false);
      }
      if (!NVSound.context) {
        try {
          NVSound.context = new AudioContext({sampleRate: NVSound.rate, latencyHint: 'interactive'});
        } catch (e) {
          return Promise.reject(e);
        }
        NVSound.ready = NVSound.player === 'AudioWorklet'
          ? NVSound.startWorklet(NVSound.context)
            .catch(function(e) {
              err('sound: the AudioWorklet did not start (' + e + '), playing through a ScriptProcessorNode');
              NVSound.player = 'ScriptProcessorNode';
              NVSound.startProcessor(NVSound.context);
            })
          : Promise.resolve().then(function() { NVSound.startProcessor(NVSound.context); });
      }
      var resumed = NVSound.context.resume(); // while the gesture still counts
      return Promise.all([NVSound.ready, resumed]).then(function() { return true; });
    },

    startWorklet: function(context) {
      return context.audioWorklet.addModule(locateFile('fsound-worklet.js')).then(function() {
        var node = new AudioWorkletNode(context, 'fsound', {
          numberOfInputs: 0,
          numberOfOutputs: 1,
          outputChannelCount: [2],
          processorOptions: {
            'bufferFrames': Math.round(NVSound.bufferSeconds * NVSound.rate),
            'requestFrames': NVSound.requestFrames
          }
        });
        node.port.onmessage = NVSound.onMessage;
        node.connect(context.destination);
        NVSound.node = node;
      });
    },

    startProcessor: function(context) {
      var node = context.createScriptProcessor(NVSound.processorFrames, 0, 2);
      node.onaudioprocess = NVSound.onProcess;
      node.connect(context.destination);
      NVSound.node = node;
    },

    // The worklet's requests and reports.
    onMessage: function(e) {
      var m = e.data;
      if (m['need']) NVSound.feed(m['need']);
      if (m['ourFrame'] !== undefined) NVSound.beginRun(m['ourFrame'], m['ctxFrame'], Infinity);
      if (m['dry'] !== undefined) NVSound.endRun(m['dry']);
    },

    feed: function(need) {
      while (need > 0) {
        var n = Math.min(need, 16384);
        var at = _fsound_web_render(n);
        if (!at) return;
        var frames = HEAPF32.slice(at >> 2, (at >> 2) + 2 * n);
        NVSound.node.port.postMessage({'frames': frames, 'first': NVSound.mixed}, [frames.buffer]);
        NVSound.mixed += n;
        need -= n;
      }
    },

    // The ScriptProcessorNode's request: one buffer, played from e.playbackTime on.
    onProcess: function(e) {
      var out = e.outputBuffer;
      var n = out.length;
      var left = out.getChannelData(0);
      var right = out.getChannelData(1);
      var at = _fsound_web_render(n);
      if (!at) {
        left.fill(0);
        right.fill(0);
        return;
      }
      var p = at >> 2;
      for (var i = 0; i < n; i++) {
        left[i] = HEAPF32[p + 2 * i];
        right[i] = HEAPF32[p + 2 * i + 1];
      }
      var ctxFrame = Math.round(e.playbackTime * NVSound.rate);
      var last = NVSound.runs[NVSound.runs.length - 1];
      if (last && last.end === NVSound.mixed && last.ctxFrame + (last.end - last.ourFrame) === ctxFrame) {
        last.end += n;
      } else {
        NVSound.beginRun(NVSound.mixed, ctxFrame, NVSound.mixed + n);
      }
      NVSound.mixed += n;
    },

    beginRun: function(ourFrame, ctxFrame, end) {
      var runs = NVSound.runs;
      if (runs.length) runs[runs.length - 1].end = Math.min(runs[runs.length - 1].end, ourFrame);
      runs.push({ourFrame: ourFrame, ctxFrame: ctxFrame, end: end});
      if (runs.length > 16) runs.shift();
    },

    endRun: function(ourFrame) {
      var runs = NVSound.runs;
      if (runs.length) runs[runs.length - 1].end = ourFrame;
    },

    // The context's time at the listener now, in seconds: the output timestamp carried on
    // to this moment where the browser gives one, else the clock less the stated latency.
    listenerTime: function(ctx) {
      if (ctx.getOutputTimestamp) {
        var ts = ctx.getOutputTimestamp();
        if (ts.performanceTime > 0) {
          var since = ctx.state === 'running' ? (performance.now() - ts.performanceTime) / 1000 : 0;
          return ts.contextTime + Math.max(0, since);
        }
      }
      return ctx.currentTime - (ctx.outputLatency || 0) - (ctx.baseLatency || 0);
    },

    // The layer's frame at the listener now, from the latest run that has begun: where it
    // has come to, never past its end nor past what the player was given; -1 before any.
    heardFrame: function() {
      var ctx = NVSound.context;
      var runs = NVSound.runs;
      if (!ctx || !runs.length) return -1;
      var now = NVSound.listenerTime(ctx) * NVSound.rate;
      while (runs.length > 1 && runs[1].ctxFrame <= now) runs.shift();
      var run = runs[0];
      if (run.ctxFrame > now) return -1;
      return Math.floor(Math.min(run.ourFrame + (now - run.ctxFrame), run.end, NVSound.mixed));
    }
  },
  $NVSound__postset: 'Module["nvSoundStart"] = function() { return NVSound.start(); };' +
    'Module["nvSoundHeard"] = function() { var f = NVSound.heardFrame(); return f < 0 ? null : f / NVSound.rate; };' +
    'Module["nvSoundMissing"] = function() { return NVSound.missing; };' +
    'Module["nvSoundState"] = function() { return NVSound.context ? NVSound.context.state : null; };',

  nv_sound_web_open__deps: ['$NVSound'],
  nv_sound_web_open: function(rate) {
    if (typeof AudioContext === 'undefined') {
      NVSound.missing = 'This browser plays no sound.';
      return 0;
    }
    if (window.isSecureContext && typeof AudioWorkletNode !== 'undefined' && 'audioWorklet' in AudioContext.prototype) {
      NVSound.player = 'AudioWorklet';
    } else if (typeof AudioContext.prototype.createScriptProcessor === 'function') {
      NVSound.player = 'ScriptProcessorNode';
      err('sound: no AudioWorklet on this page (it needs https:// or localhost), playing through a ScriptProcessorNode');
    } else {
      NVSound.missing = 'Sound needs https:// or localhost.';
      return 0;
    }
    NVSound.rate = rate;
    if (NVSound.wanted) NVSound.start().catch(function(e) { err('sound: ' + e); });
    return 1;
  },

  nv_sound_web_heard__deps: ['$NVSound'],
  nv_sound_web_heard: function() { return NVSound.heardFrame(); }
};

mergeInto(LibraryManager.library, LibraryFsoundWeb);
