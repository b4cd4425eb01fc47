/*
 * The public calls: starting the output, streams, channels, the spectrum read-out.
 */
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <new>

#ifdef FSOUND_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

#include "fsound_internal.h"
#include "spectrum.h"

namespace fsound {

Output* g_output = nullptr;

static std::atomic<int> g_error{FSOUND_ERR_NONE};
static FSOUND_DSPUNIT g_fftUnit;
static float g_spectrum[FSOUND_SPECTRUM_SIZE]; /* the reader's thread only */

void setError(int code) { g_error.store(code); }

#ifdef FSOUND_HAVE_ALSA
/* libasound prints its own complaints to stderr (no card, no configuration) while SDL probes
 * for a device; the layer reports failure through its result alone. */
static void alsaQuiet(const char*, int, const char*, int, const char*, ...) {}
#endif

/* Frames between the mixer and the listener: one device buffer waits while another plays. */
static uint64_t outputLatencyFrames(const Output* o) { return (uint64_t)o->deviceFrames; }

} // namespace fsound

using namespace fsound;

/* Starts the capture output: no device, nothing runs until the frames are asked for. */
static Output* openCapture(int mixrate, int maxchannels) {
    Output* o = new (std::nothrow) Output;
    if (!o) {
        setError(FSOUND_ERR_MEMORY);
        return nullptr;
    }
    o->capture = true;
    o->mixRate = mixrate;
    o->channelCount = maxchannels;
    if (!captureStart(o)) {
        delete o;
        return nullptr;
    }
    return o;
}

signed char FSOUND_Init(int mixrate, int maxchannels, unsigned int flags) {
    static bool s_atExit = false;
    if (g_output) return 1;
    if (!fsound_rules::initArgumentsValid(mixrate, maxchannels, flags)) {
        setError(FSOUND_ERR_INVALID_PARAM);
        return 0;
    }
    fsound_rules::Output output = fsound_rules::outputFromEnvironment();
    if (output == fsound_rules::OUTPUT_UNKNOWN) {
        setError(FSOUND_ERR_INIT);
        return 0;
    }
    if (output == fsound_rules::OUTPUT_CAPTURE) {
        g_output = openCapture(mixrate, maxchannels);
        if (!g_output) return 0;
        if (!s_atExit) {
            s_atExit = true;
            atexit(fsound_shutdown);
        }
        return 1;
    }
#ifdef FSOUND_HAVE_ALSA
    snd_lib_error_set_handler(alsaQuiet);
#endif
    // Ctrl+C must keep ending the program as it did before the layer started.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // SDL's own log lines (drivers announce themselves on stderr) are not the
    // program's output; the layer reports through its error codes instead.
    SDL_LogSetOutputFunction([](void*, int, SDL_LogPriority, const char*) {}, nullptr);
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        setError(FSOUND_ERR_INIT);
        return 0;
    }

    Output* o = new (std::nothrow) Output;
    if (!o) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        setError(FSOUND_ERR_MEMORY);
        return 0;
    }
    o->mixRate = mixrate;
    o->channelCount = maxchannels;

    SDL_AudioSpec want, have;
    SDL_zero(want);
    want.freq = mixrate;
    want.format = AUDIO_S16SYS;
    want.channels = kOutChannels;
    want.samples = kBlockFrames;
    want.callback = mixCallback;
    want.userdata = o;
    // No changes allowed: SDL converts to whatever the device really takes.
    o->device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (o->device == 0) {
        delete o;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        setError(FSOUND_ERR_INIT);
        return 0;
    }
    o->deviceFrames = have.samples;
    o->decoder = std::thread(decoderMain, o);
    g_output = o;
    SDL_PauseAudioDevice(o->device, 0);

    if (!s_atExit) {
        s_atExit = true;
        atexit(fsound_shutdown);
    }
    return 1;
}

void fsound_shutdown(void) {
    Output* o = g_output;
    if (!o) return;
    if (!o->capture) {
        SDL_CloseAudioDevice(o->device); // returns once the audio thread has stopped
        o->quitDecoder.store(true);
        o->wake.notify_all();
        o->decoder.join();
    }
    g_output = nullptr;
    for (FSOUND_STREAM* s : o->streams) freeStream(s);
    bool capture = o->capture;
    delete o;
    if (!capture) SDL_QuitSubSystem(SDL_INIT_AUDIO);
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
    // Recursive: an end callback calls this on the audio thread, which holds the lock.
    std::lock_guard<std::recursive_mutex> hold(o->mixLock);
    FSOUND_STREAM* replaced = o->channels[channel];
    if (replaced && replaced != stream) replaced->channel = -1;
    if (stream->channel >= 0 && stream->channel != channel) o->channels[stream->channel] = nullptr;
    restartStream(o, stream);
    o->channels[channel] = stream;
    stream->channel = channel;
    return channel;
}

signed char FSOUND_Stream_SetEndCallback(FSOUND_STREAM* stream, FSOUND_STREAMCALLBACK callback,
                                         int user) {
    Output* o = g_output;
    if (!o) {
        setError(FSOUND_ERR_UNINITIALIZED);
        return 0;
    }
    if (!stream) {
        setError(FSOUND_ERR_INVALID_PARAM);
        return 0;
    }
    std::lock_guard<std::recursive_mutex> hold(o->mixLock);
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
    Output* o = g_output;
    if (!o || !g_fftUnit.active.load()) {
        memset(g_spectrum, 0, sizeof g_spectrum);
        return g_spectrum;
    }

    // The capture output is heard as it is mixed: the window ends with the current video
    // frame's last output frame, mixed now if it has not been yet.
    if (o->capture) {
        std::lock_guard<std::recursive_mutex> hold(o->mixLock);
        captureMixFrame(o);
    }

    // On a device, the window ends at the frame being heard now: the last device buffer
    // started playing one buffer after it was mixed and has been playing for the time since.
    float window[FSOUND_FFT_SIZE];
    {
        std::lock_guard<std::mutex> hold(o->historyLock);
        uint64_t end = o->framesMixed;
        if (!o->capture) {
            uint64_t elapsed = 0;
            if (o->lastBlockTicks) {
                uint64_t ticks = SDL_GetPerformanceCounter() - o->lastBlockTicks;
                elapsed = ticks * (uint64_t)o->mixRate / SDL_GetPerformanceFrequency();
            }
            end = o->lastBlockStart + std::min(elapsed, o->lastBlockFrames);
            uint64_t latency = outputLatencyFrames(o);
            end = end > latency ? end - latency : 0;
            uint64_t oldest = o->framesMixed > kHistoryFrames - FSOUND_FFT_SIZE
                                  ? o->framesMixed - (kHistoryFrames - FSOUND_FFT_SIZE)
                                  : 0;
            end = std::min(std::max(end, oldest), o->framesMixed);
        }
        o->spectrumLagFrames.store(o->framesMixed - end);
        for (int i = 0; i < FSOUND_FFT_SIZE; i++) {
            uint64_t back = (uint64_t)(FSOUND_FFT_SIZE - i);
            window[i] = back <= end ? o->history[(end - back) % kHistoryFrames] : 0.0f;
        }
    }
    fsound_spectrum(window, g_spectrum);
    return g_spectrum;
}

uint64_t fsound::threadCpuNs() {
    struct timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return (uint64_t)ts.tv_sec * 1000000000u + (uint64_t)ts.tv_nsec;
}

void fsound_get_stats(fsound_stats_t* stats) {
    memset(stats, 0, sizeof *stats);
    Output* o = g_output;
    if (!o) return;
    {
        std::lock_guard<std::mutex> hold(o->historyLock);
        stats->framesMixed = o->framesMixed;
    }
    stats->underruns = o->underruns.load();
    stats->audioCpuNs = o->audioCpuNs.load();
    stats->decoderCpuNs = o->decoderCpuNs.load();
    stats->spectrumLagFrames = o->spectrumLagFrames.load();
    stats->mixRate = o->mixRate;
    stats->deviceFrames = o->deviceFrames;
}
