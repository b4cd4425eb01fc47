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

const int kDefaultFps = 60;
const int kMaxFps = 1000;

/* The output frame that ends video frame k, exclusive. */
uint64_t frameEnd(const Output* o, uint64_t k) {
    return (k + 1) * (uint64_t)o->mixRate / (uint64_t)o->captureFps;
}

uint64_t frameStart(const Output* o, uint64_t k) { return k ? frameEnd(o, k - 1) : 0; }

} // namespace

bool captureStart(Output* o) {
    int fps = kDefaultFps;
    const char* value = getenv("FSOUND_CAPTURE_FPS");
    if (value && *value) {
        char* end = nullptr;
        long n = strtol(value, &end, 10);
        if (*end != '\0' || n < 1 || n > kMaxFps) {
            setError(FSOUND_ERR_INIT);
            return false;
        }
        fps = (int)n;
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
            dst[i] = (int16_t)lrintf(o->mixBuffer[i] * 32767.0f);
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
