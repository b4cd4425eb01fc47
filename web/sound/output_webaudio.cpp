/*
 * The browser's device output, on the C side: Web Audio through an AudioWorklet
 * (fsound_web.js and fsound-worklet.js), or through a ScriptProcessorNode on pages that
 * offer no worklet (plain http from another host). The player asks the page for frames; the
 * page answers every request at once by mixing here (fsound_web_render), on its one thread,
 * as far as the music has come over the network, and tells where the listener is
 * (nv_sound_web_heard).
 */
#include <algorithm>
#include <new>

#include <emscripten.h>

#include "fsound_internal.h"

/* The page's side (fsound_web.js). */
extern "C" {
/* Whether this page can play Web Audio at rate, through a worklet or the fallback player;
 * remembers the rate for Module.nvSoundStart, and starts at once if the page asked for
 * sound before. */
int nv_sound_web_open(int rate);
/* The output frame reaching the listener now; negative while none has. */
double nv_sound_web_heard(void);
}

namespace fsound {

namespace {

enum { kRenderFrames = 16384 /* most frames one answer to the worklet holds */ };

class WebAudioOutput;
WebAudioOutput* g_webAudio = nullptr; /* the Web Audio output while one exists */

class WebAudioOutput : public Output {
  public:
    float frames[kRenderFrames * kOutChannels] = {}; /* the last answer, clipped stereo */

    ~WebAudioOutput() override { g_webAudio = nullptr; }

    /* Where the worklet's reports and the context's clock put the listener, somewhere in
     * what has been mixed ahead. */
    bool heard(uint64_t* frame) override {
        double at = nv_sound_web_heard();
        if (at < 0) return false;
        *frame = (uint64_t)at;
        return true;
    }
};

} // namespace

Output* newDeviceOutput(int mixRate) {
    WebAudioOutput* o = make<WebAudioOutput>();
    if (!o) return nullptr;
    // A browser with no player the page can use has no output (the page says why).
    if (!nv_sound_web_open(mixRate)) {
        delete o;
        setError(FSOUND_ERR_INIT);
        return nullptr;
    }
    g_webAudio = o;
    return o;
}

} // namespace fsound

using namespace fsound;

/* The player's request: mixes up to the next frames (at most kRenderFrames) into the
 * output's buffer (fsound_web_frames), clipped stereo float, as far as the pieces playing have
 * come, and returns how many it mixed; -1 when the Web Audio output is not the one running. */
extern "C" EMSCRIPTEN_KEEPALIVE int fsound_web_render(int frames) {
    Engine* e = g_engine;
    if (!e || !g_webAudio || e->output != g_webAudio || frames < 0 || frames > kRenderFrames) return -1;
    return (int)renderReady(g_webAudio->frames, (size_t)frames);
}

/* Where fsound_web_render leaves its frames; null when the Web Audio output is not running. */
extern "C" EMSCRIPTEN_KEEPALIVE const float* fsound_web_frames(void) {
    return g_webAudio ? g_webAudio->frames : nullptr;
}
