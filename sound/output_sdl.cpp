/*
 * The desktop's device output: SDL2's audio subsystem, 16-bit stereo. SDL picks the system's
 * output (PulseAudio, PipeWire, ALSA) and honours SDL_AUDIODRIVER; its audio thread pulls
 * every device buffer from the engine.
 */
#include <string.h>

#include <algorithm>
#include <new>

#include <SDL.h>

#ifdef FSOUND_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

#include "backend.h"
#include "fsound_internal.h"

namespace fsound {

namespace {

#ifdef FSOUND_HAVE_ALSA
/* libasound prints its own complaints to stderr (no card, no configuration) while SDL probes
 * for a device; the layer reports failure through its result alone. */
void alsaQuiet(const char*, int, const char*, int, const char*, ...) {}
#endif

class SdlOutput : public Output {
  public:
    /* Fixed once open. */
    SDL_AudioDeviceID device = 0;
    int mixRate = 0;
    int bufferFrames = 0;

    /* The last device buffer: where it starts in the mix, how long it is, and SDL's
     * performance counter when it was mixed. Written by the audio thread, under blockLock. */
    std::mutex blockLock;
    uint64_t blockStart = 0;
    uint64_t blockFrames = 0;
    uint64_t blockTicks = 0;

    std::atomic<uint64_t> audioCpuNs{0};

    ~SdlOutput() override {
        SDL_CloseAudioDevice(device); // returns once the audio thread has stopped
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

    void start() override { SDL_PauseAudioDevice(device, 0); }

    /* The last device buffer started playing one buffer after it was mixed (another one
     * waits while one plays) and has been playing for the time since. */
    bool heard(uint64_t* frame) override {
        std::lock_guard<std::mutex> hold(blockLock);
        uint64_t elapsed = 0;
        if (blockTicks) {
            uint64_t ticks = SDL_GetPerformanceCounter() - blockTicks;
            elapsed = ticks * (uint64_t)mixRate / SDL_GetPerformanceFrequency();
        }
        uint64_t end = blockStart + std::min(elapsed, blockFrames);
        uint64_t latency = (uint64_t)bufferFrames;
        *frame = end > latency ? end - latency : 0;
        return true;
    }

    int deviceFrames() const override { return bufferFrames; }
    uint64_t cpuNs() const override { return audioCpuNs.load(); }

    static void SDLCALL pull(void* user, Uint8* out, int len) {
        SdlOutput* o = static_cast<SdlOutput*>(user);
        uint64_t cpuStart = threadCpuNs();
        size_t total = (size_t)len / (sizeof(int16_t) * kOutChannels);
        uint64_t start = render(reinterpret_cast<int16_t*>(out), total);
        {
            std::lock_guard<std::mutex> hold(o->blockLock);
            o->blockStart = start;
            o->blockFrames = total;
            o->blockTicks = SDL_GetPerformanceCounter();
        }
        o->audioCpuNs.fetch_add(threadCpuNs() - cpuStart);
    }
};

} // namespace

Output* newDeviceOutput(int mixRate) {
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
        return nullptr;
    }
    SdlOutput* o = make<SdlOutput>();
    if (!o) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    o->mixRate = mixRate;
    SDL_AudioSpec want, have;
    SDL_zero(want);
    want.freq = mixRate;
    want.format = AUDIO_S16SYS;
    want.channels = kOutChannels;
    want.samples = kBlockFrames;
    want.callback = SdlOutput::pull;
    want.userdata = o;
    // No changes allowed: SDL converts to whatever the device really takes. Opened paused:
    // nothing is pulled before start.
    o->device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (o->device == 0) {
        delete o; // quits the subsystem; closing device 0 does nothing
        setError(FSOUND_ERR_INIT);
        return nullptr;
    }
    o->bufferFrames = have.samples;
    return o;
}

} // namespace fsound
