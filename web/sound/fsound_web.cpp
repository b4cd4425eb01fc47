/*
 * The public calls for the browser edition: starting the output, streams, channels, the
 * spectrum read-out. The output is Web Audio (an AudioWorklet that asks this layer for
 * frames, see fsound_web.js) or the capture output, chosen by FSOUND_OUTPUT as natively.
 */
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <new>

#include "fsound_web.h"
#include "spectrum.h"

namespace fsound_web {

Output* g_output = nullptr;

static int g_error = FSOUND_ERR_NONE;
static FSOUND_DSPUNIT g_fftUnit;
static float g_spectrum[FSOUND_SPECTRUM_SIZE];

void setError(int code) { g_error = code; }

} // namespace fsound_web

using namespace fsound_web;

signed char FSOUND_Init(int mixrate, int maxchannels, unsigned int flags) {
    if (g_output) return 1;
    if (!fsound_rules::initArgumentsValid(mixrate, maxchannels, flags)) {
        setError(FSOUND_ERR_INVALID_PARAM);
        return 0;
    }
    // The device output is the page's (Web Audio).
    fsound_rules::Output output = fsound_rules::outputFromEnvironment();
    if (output == fsound_rules::OUTPUT_UNKNOWN) {
        setError(FSOUND_ERR_INIT);
        return 0;
    }
    bool capture = output == fsound_rules::OUTPUT_CAPTURE;

    Output* o = new (std::nothrow) Output;
    if (!o) {
        setError(FSOUND_ERR_MEMORY);
        return 0;
    }
    o->capture = capture;
    o->mixRate = mixrate;
    o->channelCount = maxchannels;
    bool ready = capture ? captureStart(o) : nv_sound_web_open(mixrate) != 0;
    if (!ready) {
        // captureStart sets its own reason; a page without AudioWorklet has no output.
        if (!capture) setError(FSOUND_ERR_INIT);
        delete o;
        return 0;
    }
    g_output = o;
    return 1;
}

FSOUND_STREAM* FSOUND_Stream_Open(const char* name, unsigned int mode, int offset, int length) {
    (void)mode;
    (void)offset;
    (void)length;
    if (!g_output) {
        setError(FSOUND_ERR_UNINITIALIZED);
        return nullptr;
    }
    if (!name) {
        setError(FSOUND_ERR_INVALID_PARAM);
        return nullptr;
    }
    return openStream(g_output, name);
}

int FSOUND_Stream_Play(int channel, FSOUND_STREAM* stream) {
    Output* o = g_output;
    if (!o) {
        setError(FSOUND_ERR_UNINITIALIZED);
        return -1;
    }
    if (!stream || channel < 0 || channel >= o->channelCount) {
        setError(FSOUND_ERR_INVALID_PARAM);
        return -1;
    }
    // Made from an end callback, this runs inside the mixer, which picks the channel up
    // again at the next frame.
    FSOUND_STREAM* replaced = o->channels[channel];
    if (replaced && replaced != stream) replaced->channel = -1;
    if (stream->channel >= 0 && stream->channel != channel) o->channels[stream->channel] = nullptr;
    rewindStream(stream);
    o->channels[channel] = stream;
    stream->channel = channel;
    return channel;
}

signed char FSOUND_Stream_SetEndCallback(FSOUND_STREAM* stream, FSOUND_STREAMCALLBACK callback,
                                         int user) {
    if (!g_output) {
        setError(FSOUND_ERR_UNINITIALIZED);
        return 0;
    }
    if (!stream) {
        setError(FSOUND_ERR_INVALID_PARAM);
        return 0;
    }
    stream->endCallback = callback;
    stream->endUser = user;
    return 1;
}

int FSOUND_GetError(void) { return g_error; }

FSOUND_DSPUNIT* FSOUND_DSP_GetFFTUnit(void) { return &g_fftUnit; }

signed char FSOUND_DSP_SetActive(FSOUND_DSPUNIT* unit, signed char active) {
    if (!unit) {
        setError(FSOUND_ERR_INVALID_PARAM);
        return 0;
    }
    unit->active = active != 0;
    return 1;
}

float* FSOUND_DSP_GetSpectrum(void) {
    Output* o = g_output;
    memset(g_spectrum, 0, sizeof g_spectrum);
    if (!o || !g_fftUnit.active) return g_spectrum;

    // The capture output is heard as it is mixed: the window ends with the current video
    // frame's last output frame, mixed now if it has not been yet. Web Audio is heard
    // where the worklet's reports and the context's clock put the listener, which is
    // somewhere in what has been mixed ahead.
    uint64_t end = o->framesMixed;
    if (o->capture) {
        captureMixFrame(o);
        end = o->framesMixed;
    } else {
        double heard = nv_sound_web_heard();
        if (heard < 0) return g_spectrum; // nothing has reached the listener yet
        uint64_t oldest = o->framesMixed > kHistoryFrames - FSOUND_FFT_SIZE
                              ? o->framesMixed - (kHistoryFrames - FSOUND_FFT_SIZE)
                              : 0;
        end = std::min(std::max((uint64_t)heard, oldest), o->framesMixed);
    }

    float window[FSOUND_FFT_SIZE];
    for (int i = 0; i < FSOUND_FFT_SIZE; i++) {
        uint64_t back = (uint64_t)(FSOUND_FFT_SIZE - i);
        window[i] = back <= end ? o->history[(end - back) % kHistoryFrames] : 0.0f;
    }
    fsound_spectrum(window, g_spectrum);
    return g_spectrum;
}
