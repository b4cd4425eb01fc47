/*
 * The capture output: no device and no clock of its own. The program that records the demo
 * takes the mix one video frame at a time; whatever the frame still lacks is decoded and
 * mixed right then, on the caller's thread, so nothing ever underruns and every run gives
 * the same samples.
 */
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <new>

#include "fsound_capture.h"
#include "fsound_internal.h"

namespace fsound {

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
    try {
        o->captureScratch.resize((size_t)kScratchFrames * kOutChannels);
        // A whole video frame fits, so that mixing one never allocates.
        o->capturePending.reserve(((size_t)o->mixRate / fps + 1) * kOutChannels);
    } catch (const std::bad_alloc&) {
        setError(FSOUND_ERR_MEMORY);
        return false;
    }
    return true;
}

void captureMixFrame(Output* o) {
    uint64_t end = frameEnd(o, o->captureFrame);
    // framesMixed is written by this thread alone while the capture output runs.
    while (o->framesMixed < end) {
        size_t n = (size_t)std::min(end - o->framesMixed, (uint64_t)kBlockFrames);
        mixBlock(o, n);
        for (size_t i = 0; i < n * kOutChannels; i++)
            o->capturePending.push_back(fsound_rules::toSample(o->mixBuffer[i]));
    }
}

} // namespace fsound

using namespace fsound;

int fsound_capture_rate(void) {
    Output* o = g_output;
    return o && o->capture ? o->mixRate : 0;
}

int fsound_capture_frame(int16_t* out, int maxFrames) {
    Output* o = g_output;
    if (!o || !o->capture || !out) return -1;
    std::lock_guard<std::recursive_mutex> hold(o->mixLock);
    uint64_t k = o->captureFrame;
    uint64_t frames = frameEnd(o, k) - frameStart(o, k);
    if (maxFrames < 0 || frames > (uint64_t)maxFrames) return -1;
    captureMixFrame(o);
    memcpy(out, o->capturePending.data(), frames * kOutChannels * sizeof(int16_t));
    o->capturePending.clear();
    o->captureFrame = k + 1;
    return (int)frames;
}
