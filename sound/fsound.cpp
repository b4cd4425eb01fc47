/*
 * The public calls: starting the layer with the output the environment chooses, streams,
 * channels, the spectrum read-out. The same in both editions.
 */
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <new>

#include "fsound_internal.h"
#include "spectrum.h"

namespace fsound {

Engine* g_engine = nullptr;

static std::atomic<int> g_error{FSOUND_ERR_NONE};
static FSOUND_DSPUNIT g_fftUnit;
static float g_spectrum[FSOUND_SPECTRUM_SIZE]; /* the reader's thread only */

void setError(int code) { g_error.store(code); }

bool Decoder::accepts(long rate, int channels, int mixRate) const {
    bool rateInRange = rate >= kMinRate && rate <= kMaxRate;
    return channels >= 1 && rateInRange && (rate == mixRate || convertsRate());
}

namespace {

/* FSOUND_Init's arguments: 8000..192000 Hz, 1..64 channels, no flags. */
bool initArgumentsValid(int mixrate, int maxchannels, unsigned int flags) {
    return mixrate >= kMinRate && mixrate <= kMaxRate && maxchannels >= 1 && maxchannels <= kMaxChannels &&
           flags == 0;
}

/* FSOUND_OUTPUT, chosen from outside as SDL chooses its driver: unset, empty or "sdl" plays on
 * the edition's own device; "capture" hands the mix to a program that takes it frame by
 * frame; any other name is an output the layer does not have (null, FSOUND_ERR_INIT). */
Output* outputFromEnvironment(int mixrate) {
    const char* name = getenv("FSOUND_OUTPUT");
    if (!name || !*name || strcmp(name, "sdl") == 0) return newDeviceOutput(mixrate);
    if (strcmp(name, "capture") == 0) return newCaptureOutput(mixrate);
    setError(FSOUND_ERR_INIT);
    return nullptr;
}

} // namespace

} // namespace fsound

using namespace fsound;

signed char FSOUND_Init(int mixrate, int maxchannels, unsigned int flags) {
    static bool s_atExit = false;
    if (g_engine) return 1;
    if (!initArgumentsValid(mixrate, maxchannels, flags)) {
        setError(FSOUND_ERR_INVALID_PARAM);
        return 0;
    }
    Engine* e = make<Engine>();
    if (!e) return 0;
    e->mixRate = mixrate;
    e->channelCount = maxchannels;
    e->output = outputFromEnvironment(mixrate);
    if (e->output) e->decoder = newDecoder(!e->output->waits());
    if (!e->decoder) {
        delete e->output;
        delete e;
        return 0;
    }
    g_engine = e;
    e->output->start();
    if (!s_atExit) {
        s_atExit = true;
        atexit(fsound_shutdown);
    }
    return 1;
}

void fsound_shutdown(void) {
    Engine* e = g_engine;
    if (!e) return;
    delete e->output; // no frame is pulled once it has closed
    g_engine = nullptr;
    delete e->decoder;
    for (FSOUND_STREAM* s = e->streams; s;) {
        FSOUND_STREAM* next = s->next;
        delete s;
        s = next;
    }
    delete e;
}

FSOUND_STREAM* FSOUND_Stream_Open(const char* name, unsigned int mode, int offset, int length) {
    (void)mode;
    (void)offset;
    (void)length;
    Engine* e = g_engine;
    if (!e) {
        setError(FSOUND_ERR_UNINITIALIZED);
        return nullptr;
    }
    if (!name) {
        setError(FSOUND_ERR_INVALID_PARAM);
        return nullptr;
    }
    FSOUND_STREAM* s = make<FSOUND_STREAM>();
    if (!s) return nullptr;
    s->source = e->decoder->open(name, e->mixRate);
    if (!s->source) {
        delete s;
        return nullptr;
    }
    std::lock_guard<std::recursive_mutex> hold(e->mixLock);
    s->next = e->streams;
    e->streams = s;
    return s;
}

int FSOUND_Stream_Play(int channel, FSOUND_STREAM* stream) {
    Engine* e = g_engine;
    if (!e) {
        setError(FSOUND_ERR_UNINITIALIZED);
        return -1;
    }
    if (!stream || channel < 0 || channel >= e->channelCount) {
        setError(FSOUND_ERR_INVALID_PARAM);
        return -1;
    }
    // Made from an end callback, this runs inside the mix, which holds the lock already and
    // picks the channel up again at the next frame.
    std::lock_guard<std::recursive_mutex> hold(e->mixLock);
    FSOUND_STREAM* replaced = e->channels[channel];
    if (replaced && replaced != stream) replaced->channel = -1;
    if (stream->channel >= 0 && stream->channel != channel) e->channels[stream->channel] = nullptr;
    stream->source->rewind();
    e->channels[channel] = stream;
    stream->channel = channel;
    return channel;
}

signed char FSOUND_Stream_SetEndCallback(FSOUND_STREAM* stream, FSOUND_STREAMCALLBACK callback,
                                         int user) {
    Engine* e = g_engine;
    if (!e) {
        setError(FSOUND_ERR_UNINITIALIZED);
        return 0;
    }
    if (!stream) {
        setError(FSOUND_ERR_INVALID_PARAM);
        return 0;
    }
    std::lock_guard<std::recursive_mutex> hold(e->mixLock);
    stream->endCallback = callback;
    stream->endUser = user;
    return 1;
}

int FSOUND_GetError(void) { return g_error.load(); }

FSOUND_DSPUNIT* FSOUND_DSP_GetFFTUnit(void) { return &g_fftUnit; }

signed char FSOUND_DSP_SetActive(FSOUND_DSPUNIT* unit, signed char active) {
    if (!unit) {
        setError(FSOUND_ERR_INVALID_PARAM);
        return 0;
    }
    unit->active.store(active != 0);
    return 1;
}

float* FSOUND_DSP_GetSpectrum(void) {
    Engine* e = g_engine;
    uint64_t end = 0;
    // The window ends at the frame the output says is being heard now; the capture output
    // mixes its current video frame to its end for that.
    if (!e || !g_fftUnit.active.load() || !e->output->heard(&end)) {
        memset(g_spectrum, 0, sizeof g_spectrum);
        return g_spectrum;
    }
    float window[FSOUND_FFT_SIZE];
    {
        std::lock_guard<std::mutex> hold(e->historyLock);
        uint64_t oldest = e->framesMixed > kHistoryFrames - FSOUND_FFT_SIZE
                              ? e->framesMixed - (kHistoryFrames - FSOUND_FFT_SIZE)
                              : 0;
        end = std::min(std::max(end, oldest), e->framesMixed);
        e->spectrumLagFrames.store(e->framesMixed - end);
        for (int i = 0; i < FSOUND_FFT_SIZE; i++) {
            uint64_t back = (uint64_t)(FSOUND_FFT_SIZE - i);
            window[i] = back <= end ? e->history[(end - back) % kHistoryFrames] : 0.0f;
        }
    }
    fsound_spectrum(window, g_spectrum);
    return g_spectrum;
}

void fsound_get_stats(fsound_stats_t* stats) {
    memset(stats, 0, sizeof *stats);
    Engine* e = g_engine;
    if (!e) return;
    {
        std::lock_guard<std::mutex> hold(e->historyLock);
        stats->framesMixed = e->framesMixed;
    }
    stats->underruns = e->underruns.load();
    stats->audioCpuNs = e->output->cpuNs();
    stats->decoderCpuNs = e->decoder->cpuNs();
    stats->spectrumLagFrames = e->spectrumLagFrames.load();
    stats->mixRate = e->mixRate;
    stats->deviceFrames = e->output->deviceFrames();
}
