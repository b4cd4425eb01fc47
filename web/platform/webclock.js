// The show's clock and frame pacing, kept by the page (see nv.js: Module.nvClock).
//
// The program reads the monotonic clock through clock_gettime, which Emscripten answers
// with emscripten_get_now: that answer comes from the page's clock, so the show's seconds
// stand at zero until the visitor starts it, follow the music while it is heard (and, for
// tests, can move by a fixed step per drawn frame).
mergeInto(LibraryManager.library, {
  emscripten_get_now: function() { return Module['nvClock'].now(); },
  webclock_running: function() { return Module['nvClock'].running ? 1 : 0; },
  webclock_frameWanted: function() { return Module['nvClock'].frameWanted() ? 1 : 0; },
  webclock_frameDone: function() { Module['nvClock'].frameDone(); },
  webclock_redraw: function() { Module['nvClock'].redraw(); },
  webclock_failed: function(text) { Module['nvClock'].failed(UTF8ToString(text)); },
  webclock_say: function(text) { Module['nvClock'].say('picture', text ? UTF8ToString(text) : null); },
});
