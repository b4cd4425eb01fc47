// The sound layer's Web Audio output, on the page's side. The page calls
// Module.nvSoundStart() from a user gesture: it makes (or resumes) an AudioContext at the
// layer's rate and starts the player, an AudioWorklet (fsound-worklet.js, next to the
// program's .js). The player asks for frames; each request is answered at once by mixing in
// the layer (fsound_web_render) and posting the frames, transferred. Nothing is mixed
// before the first request, so the music starts at its first frame on the gesture.
//
// nvSoundStart returns a Promise: true once the output plays; false when the layer has no
// Web Audio output (FSOUND_Init not made yet, failed, or chose the capture output); a start
// asked for before FSOUND_Init is made as soon as it opens the output. It rejects when the
// browser refuses the context or the player.
//
// The messages' keys are quoted: the player is a file of its own that a minifier never sees.
var LibraryFsoundWeb = {
  $NVSound: {
    bufferSeconds: 0.15,  // the player's buffer: bridges a late frame of the page
    requestFrames: 1024,  // the player asks for at least this many frames at a time
    rate: 0,              // the layer's rate once its Web Audio output is open
    wanted: false,        // nvSoundStart came before the output was open
    context: null,
    node: null,
    starting: null,       // the promise of the start
    mixed: 0,             // frames handed to the player
    ourFrame: -1,         // a frame of ours and the context frame it was played at
    ctxFrame: 0,
    underruns: 0,

    start: function() {
      if (!NVSound.rate) {
        NVSound.wanted = true;
        return Promise.resolve(false);
      }
      if (NVSound.context) {
        var ctx = NVSound.context;
        return ctx.resume().then(function() { return NVSound.starting; });
      }
      var context;
      try {
        context = new AudioContext({sampleRate: NVSound.rate, latencyHint: 'interactive'});
      } catch (e) {
        return Promise.reject(e);
      }
      NVSound.context = context;
      var resumed = context.resume(); // while the gesture still counts
      NVSound.starting = context.audioWorklet.addModule(locateFile('fsound-worklet.js'))
        .then(function() {
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
          return resumed;
        })
        .then(function() { return true; });
      return NVSound.starting;
    },

    onMessage: function(e) {
      var m = e.data;
      if (m['need']) NVSound.feed(m['need']);
      if (m['ourFrame'] !== undefined) {
        NVSound.ourFrame = m['ourFrame'];
        NVSound.ctxFrame = m['ctxFrame'];
        NVSound.underruns = m['underruns'];
      }
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
    }
  },
  $NVSound__postset: 'Module["nvSoundStart"] = function() { return NVSound.start(); };',

  nv_sound_web_open__deps: ['$NVSound'],
  nv_sound_web_open: function(rate) {
    if (typeof AudioContext === 'undefined' || typeof AudioWorkletNode === 'undefined') return 0;
    NVSound.rate = rate;
    if (NVSound.wanted) NVSound.start().catch(function(e) { err('sound: ' + e); });
    return 1;
  },

  nv_sound_web_heard__deps: ['$NVSound'],
  nv_sound_web_heard: function() {
    var ctx = NVSound.context;
    if (!ctx || NVSound.ourFrame < 0) return -1;
    var heard = NVSound.ourFrame + (NVSound.listenerTime(ctx) * NVSound.rate - NVSound.ctxFrame);
    return heard < 0 ? -1 : Math.floor(heard);
  }
};

mergeInto(LibraryManager.library, LibraryFsoundWeb);
