/*
 * The sound layer's inside: one engine for both editions, over two small interfaces.
 *
 *   Engine   the calls of fsound.h, the channels, the mix with its one clip, the end
 *            callbacks, the history the spectrum is taken from (fsound.cpp, mixer.cpp).
 *   Source   one open piece: fills stereo float frames at the output's rate, says when it has
 *            given its last one, goes back to its first (desktop: libvorbisfile and
 *            libsamplerate, decoded ahead on a thread; browser: stb_vorbis, packet by packet).
 *   Output   pulls mixed frames with fsound::render and says which frame is being heard now
 *            (desktop: SDL2; browser: the Web Audio worklet; both: the capture output, which
 *            has no device and no clock, capture.cpp).
 *
 * Each edition links the engine's files and its own two backends, which provide
 * newDecoder and newDeviceOutput; what the backends share beyond this header, and the engine
 * does not need, is in backend.h. Also the two hooks that tests and benchmarks use
 * (fsound_get_stats, fsound_shutdown); the program itself never needs them.
 */
#ifndef FSOUND_INTERNAL_H
#define FSOUND_INTERNAL_H

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <mutex>
#include <new>

#include "fsound.h"

/* What the layer has done since FSOUND_Init. */
typedef struct fsound_stats_t {
    uint64_t framesMixed;       /* output frames mixed */
    uint64_t underruns;         /* blocks in which a playing stream had no decoded frames ready */
    uint64_t audioCpuNs;        /* CPU time spent mixing on the audio thread */
    uint64_t decoderCpuNs;      /* CPU time of the decoder thread */
    uint64_t spectrumLagFrames; /* newest mixed frame minus the end of the last analysed window */
    int mixRate;                /* frames per second */
    int deviceFrames;           /* frames per device buffer */
} fsound_stats_t;

/* Zeroes *stats when the output is not running. */
void fsound_get_stats(fsound_stats_t* stats);

/* Closes the output, stops the decoder and frees every stream, so that FSOUND_Init can start
 * afresh. Streams handed out before are invalid afterwards. Also runs at process exit. */
void fsound_shutdown(void);

namespace fsound {

enum {
    kOutChannels = 2,
    kBlockFrames = 1024,    /* the mixer works in blocks of at most this many frames */
    kHistoryFrames = 16384, /* mono mix kept for the spectrum: the browser's output mixes up
                               to 0.15 s ahead of the listener, plus the device's latency */
    kMaxChannels = 64,
    kMinRate = 8000,        /* the rates the layer mixes at, and takes pieces at (Hz) */
    kMaxRate = 192000,
    kDefaultCaptureFps = 60,
    kMaxCaptureFps = 1000
};

void setError(int code);

/* A new T, or null with FSOUND_ERR_MEMORY set. */
template <typename T> T* make() {
    T* p = new (std::nothrow) T;
    if (!p) setError(FSOUND_ERR_MEMORY);
    return p;
}

/* One open piece, made by the edition's decoder. Every call is made with the engine's mix
 * lock held: reads by the thread that mixes, rewinds by FSOUND_Stream_Play. */
class Source {
  public:
    virtual ~Source() = default;
    /* Writes up to n stereo frames to out and returns how many; *ended tells whether the
     * piece's last frame has now been given (with these frames, or earlier). Fewer than n
     * without the end: nothing more is ready yet. A source of a decoder that does not decode
     * ahead decodes on the calling thread instead, so that it comes up short only at its
     * end, and it knows about the end by the time it gives the last frame. */
    virtual size_t read(float* out, size_t n, bool* ended) = 0;
    /* Back to the first frame, for a new start. */
    virtual void rewind() = 0;
    /* Whether the next n frames can be given now, or the piece ends before them. Only a piece
     * that arrives while it plays (the browser's, over the network) ever has to wait. */
    virtual bool ready(size_t n) {
        (void)n;
        return true;
    }
};

/* The edition's decoder: opens sources and owns them; deleting it frees them all.
 *
 * Which pieces play is decided here, once for both editions: Ogg Vorbis with at least one
 * channel, at kMinRate to kMaxRate Hz. A piece at the output's rate plays as it is; one at
 * another rate plays converted to the output's by a decoder that converts rates, and is
 * refused by one that does not. Whatever the piece, its source gives stereo at the output's
 * rate: a mono piece's one channel on both sides, of more channels the front left and the
 * front right. A decoder asks accepts as soon as it knows a piece's rate and channels, and
 * refuses the piece with FSOUND_ERR_FILE_FORMAT when the answer is no. */
class Decoder {
  public:
    virtual ~Decoder() = default;
    /* A source for the named file at the output's rate; null with the error code set. */
    virtual Source* open(const char* name, int mixRate) = 0;
    /* Whether the decoder converts a piece at another rate to the output's. */
    virtual bool convertsRate() const = 0;
    /* CPU time of decoding done apart from the mixer (a thread of its own). */
    virtual uint64_t cpuNs() const { return 0; }
    /* Whether a piece of that rate and channel count plays at mixRate, by the rule above. */
    bool accepts(long rate, int channels, int mixRate) const;
};

/* ahead: the output plays in real time, so pieces are decoded ahead of the mixer; otherwise
 * the mixer waits for decoding. Null with the error code set. */
Decoder* newDecoder(bool ahead);

/* Where the mix goes. Made closed (no frame is pulled), opened by start, closed by delete. */
class Output {
  public:
    virtual ~Output() = default;
    /* From now on frames may be pulled. */
    virtual void start() {}
    /* The mixed frame that the listener hears now (frames count from the output's start);
     * false while nothing has been heard. May pull frames itself. */
    virtual bool heard(uint64_t* frame) = 0;
    /* Whether the output has time: no clock of its own, so the decoder is made to decode
     * on the mixing thread rather than ahead. */
    virtual bool waits() const { return false; }
    virtual int deviceFrames() const { return 0; }
    virtual uint64_t cpuNs() const { return 0; }
};

/* The edition's device (SDL2, Web Audio) at mixRate; null with the error code set. */
Output* newDeviceOutput(int mixRate);
/* The capture output (FSOUND_OUTPUT=capture); null with the error code set. */
Output* newCaptureOutput(int mixRate);

/* The running layer. One instance exists between FSOUND_Init and fsound_shutdown. */
struct Engine {
    /* Fixed while it runs. */
    int mixRate = 0;
    int channelCount = 0;
    Output* output = nullptr;
    Decoder* decoder = nullptr;

    /* Held by whoever mixes (fsound::render) and by the calls that change channels; recursive,
     * because an end callback runs inside the mix and may start a stream. */
    std::recursive_mutex mixLock;
    FSOUND_STREAM* channels[kMaxChannels] = {}; /* under mixLock */
    FSOUND_STREAM* streams = nullptr;           /* every stream opened, under mixLock */
    float sourceFrames[kBlockFrames * kOutChannels] = {}; /* one read, under mixLock */
    float mixFrames[kBlockFrames * kOutChannels] = {};    /* a block for 16 bits, under mixLock */
    std::atomic<uint64_t> underruns{0};

    /* Mono mix for the spectrum: frame i lives at history[i % kHistoryFrames]. Written under
     * both locks by the thread that mixes, read under historyLock by the spectrum's reader. */
    std::mutex historyLock;
    float history[kHistoryFrames] = {};
    uint64_t framesMixed = 0;
    std::atomic<uint64_t> spectrumLagFrames{0};
};

extern Engine* g_engine;

/* The one data callback: mixes the next n frames into out (stereo, clipped to -1..1) and
 * returns the number of the first of them. Outputs call it; it takes the mix lock. */
uint64_t render(float* out, size_t n);
/* The same as 16-bit stereo, for the outputs that take samples (SDL2, the capture output). */
uint64_t render(int16_t* out, size_t n);
/* For an output that can wait rather than play silence (the browser's): mixes whole blocks of
 * the next n frames (float, as render) while every playing channel has the block's frames,
 * and returns how many it mixed; the rest is asked for again once more of the pieces has
 * come. It takes the mix lock. */
size_t renderReady(float* out, size_t n);

} // namespace fsound

/* A stream handed out by FSOUND_Stream_Open. Streams live until the layer shuts down. */
struct FSOUND_STREAM {
    fsound::Source* source = nullptr; /* fixed; belongs to the decoder */
    FSOUND_STREAM* next = nullptr;    /* fixed: the engine's list of streams */

    /* Under the mix lock. */
    int channel = -1;
    FSOUND_STREAMCALLBACK endCallback = nullptr;
    int endUser = 0;
};

struct FSOUND_DSPUNIT {
    std::atomic<bool> active{false};
};

#endif
