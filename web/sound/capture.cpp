/*
 * The capture output: no Web Audio and no clock of its own. The caller takes the mix one
 * video frame at a time, and whatever the frame still lacks is decoded and mixed right then;
 * the frame arithmetic is the native layer's (see fsound_capture.h).
 */
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <new>

#include "fsound_capture.h"
#include "fsound_web.h"

namespace fsound_web {

namespace {

uint64_t frameEnd(const Output* o, uint64_t k) { return fsound_rules::captureFrameEnd(o->mixRate, o->captureFps, k); }

uint64_t frameStart(const Output* o, uint64_t k) {
    return fsound_rules::captureFrameStart(o->mixRate, o->captureFps, k);
}

} // namespace

bool captureStart(Output* o) {
    int fps;
    if (!fsound_rules::captureFpsFromEnvironment(&fps)) {
        setError(FSOUND_ERR_INIT);
        return false;
    }
    o->captureFps = fps;
    // A whole video frame fits, so that mixing one never allocates.
    o->capturePending = new (std::nothrow) int16_t[((size_t)o->mixRate / fps + 1) * kOutChannels];
    if (!o->capturePending) {
        setError(FSOUND_ERR_MEMORY);
        return false;
    }
    return true;
}

void captureMixFrame(Output* o) {
    uint64_t end = frameEnd(o, o->captureFrame);
    while (o->framesMixed < end) {
        size_t n = (size_t)std::min(end - o->framesMixed, (uint64_t)kBlockFrames);
        mixBlock(o, o->mixBuffer, n);
        int16_t* dst = o->capturePending + o->capturePendingFrames * kOutChannels;
        for (size_t i = 0; i < n * kOutChannels; i++)
            dst[i] = fsound_rules::toSample(o->mixBuffer[i]);
        o->capturePendingFrames += n;
    }
}

} // namespace fsound_web

using namespace fsound_web;

int fsound_capture_rate(void) {
    Output* o = g_output;
    return o && o->capture ? o->mixRate : 0;
}

int fsound_capture_frame(int16_t* out, int maxFrames) {
    Output* o = g_output;
    if (!o || !o->capture || !out) return -1;
    uint64_t k = o->captureFrame;
    uint64_t frames = frameEnd(o, k) - frameStart(o, k);
    if (maxFrames < 0 || frames > (uint64_t)maxFrames) return -1;
    captureMixFrame(o);
    memcpy(out, o->capturePending, frames * kOutChannels * sizeof(int16_t));
    o->capturePendingFrames = 0;
    o->captureFrame = k + 1;
    return (int)frames;
}
