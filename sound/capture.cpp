/*
 * The capture output: no device and no clock of its own. The program that records the demo
 * takes the mix one video frame at a time; whatever the frame still lacks is decoded and
 * mixed right then, on the caller's thread, so nothing ever underruns and every run gives
 * the same samples.
 */
#include <stdlib.h>
#include <string.h>

#include <new>

#include "fsound_capture.h"
#include "fsound_internal.h"

namespace fsound {

namespace {

class CaptureOutput;
CaptureOutput* g_capture = nullptr; /* the capture output while one exists */

class CaptureOutput : public Output {
  public:
    /* Fixed once made. */
    int mixRate = 0;
    int fps = 0;

    /* Under the engine's mix lock. Video frame k holds the output frames from frameEnd(k - 1)
     * up to frameEnd(k) = (k + 1) * mixRate / fps, rounded down, so that the count stays
     * exact at any frame rate. */
    uint64_t frame = 0;                /* the video frame being made */
    int16_t* pending = nullptr;        /* mixed since the last frame was taken, stereo */
    size_t pendingFrames = 0;

    ~CaptureOutput() override {
        delete[] pending;
        g_capture = nullptr;
    }

    uint64_t frameEnd(uint64_t k) const { return (k + 1) * (uint64_t)mixRate / (uint64_t)fps; }
    uint64_t frameStart(uint64_t k) const { return k ? frameEnd(k - 1) : 0; }

    /* Mixes on to the end of the current video frame. The caller holds the mix lock. */
    void mixFrame(Engine* e) {
        uint64_t end = frameEnd(frame);
        if (e->framesMixed >= end) return;
        size_t n = (size_t)(end - e->framesMixed);
        render(pending + pendingFrames * kOutChannels, n);
        pendingFrames += n;
    }

    /* Heard as it is mixed: up to the current video frame's last output frame. */
    bool heard(uint64_t* at) override {
        Engine* e = g_engine;
        std::lock_guard<std::recursive_mutex> hold(e->mixLock);
        mixFrame(e);
        *at = e->framesMixed;
        return true;
    }

    bool waits() const override { return true; }
};

/* FSOUND_CAPTURE_FPS: the default when unset or empty; false when it is not a whole number
 * from 1 to kMaxCaptureFps. */
bool captureFpsFromEnvironment(int* fps) {
    *fps = kDefaultCaptureFps;
    const char* value = getenv("FSOUND_CAPTURE_FPS");
    if (!value || !*value) return true;
    char* end = nullptr;
    long n = strtol(value, &end, 10);
    if (*end != '\0' || n < 1 || n > kMaxCaptureFps) return false;
    *fps = (int)n;
    return true;
}

/* The capture output, when it is the one running. */
CaptureOutput* runningCapture() {
    Engine* e = g_engine;
    return e && e->output == g_capture ? g_capture : nullptr;
}

} // namespace

Output* newCaptureOutput(int mixRate) {
    int fps;
    if (!captureFpsFromEnvironment(&fps)) {
        setError(FSOUND_ERR_INIT);
        return nullptr;
    }
    CaptureOutput* o = new (std::nothrow) CaptureOutput;
    // A whole video frame fits, so that mixing one never allocates.
    int16_t* pending = new (std::nothrow) int16_t[((size_t)mixRate / fps + 1) * kOutChannels];
    if (!o || !pending) {
        delete o;
        delete[] pending;
        setError(FSOUND_ERR_MEMORY);
        return nullptr;
    }
    o->mixRate = mixRate;
    o->fps = fps;
    o->pending = pending;
    g_capture = o;
    return o;
}

} // namespace fsound

using namespace fsound;

int fsound_capture_rate(void) {
    CaptureOutput* o = runningCapture();
    return o ? o->mixRate : 0;
}

int fsound_capture_frame(int16_t* out, int maxFrames) {
    CaptureOutput* o = runningCapture();
    if (!o || !out) return -1;
    std::lock_guard<std::recursive_mutex> hold(g_engine->mixLock);
    uint64_t k = o->frame;
    uint64_t frames = o->frameEnd(k) - o->frameStart(k);
    if (maxFrames < 0 || frames > (uint64_t)maxFrames) return -1;
    o->mixFrame(g_engine);
    memcpy(out, o->pending, frames * kOutChannels * sizeof(int16_t));
    o->pendingFrames = 0;
    o->frame = k + 1;
    return (int)frames;
}
