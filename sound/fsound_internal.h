/*
 * The sound layer's inside: the output device and its channels, the streams with their
 * decode-ahead buffers, and the history the spectrum is taken from. Also the two hooks that
 * tests and benchmarks use (fsound_get_stats, fsound_shutdown); the program itself never
 * needs them.
 */
#ifndef FSOUND_INTERNAL_H
#define FSOUND_INTERNAL_H

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <SDL.h>
#include <samplerate.h>
#include <vorbis/vorbisfile.h>

#include "fsound.h"
#include "fsound_rules.h"

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
    kBlockFrames = 1024,   /* the mixer works in blocks of at most this many frames */
    kHeadFrames = 32768,   /* kept decoded from each stream's start (0.74 s), so restarts never wait and the decoder has that long to refill behind them */
    kRingFrames = 65536,   /* decode-ahead per stream (about 1.5 s at 44.1 kHz) */
    kDecodeRoom = 16384,   /* the decoder tops a ring up once this much is free */
    kStepFrames = 512,     /* file frames decoded per step */
    kScratchFrames = 16384, /* one step's output at most: kStepFrames times 24 (8 to 192 kHz) */
    kHistoryFrames = 8192, /* mono mix kept for the spectrum */
    kMaxChannels = fsound_rules::kMaxChannels
};

void setError(int code);

/* CPU time of the calling thread. */
uint64_t threadCpuNs();

} // namespace fsound

struct FSOUND_STREAM {
    /* Fixed once the stream is open. */
    int srcRate = 0;
    int srcChannels = 0;
    std::vector<float> head; /* the first frames, converted: played at every start */
    size_t headFrames = 0;
    bool wholeInHead = false; /* the stream ends inside head: no decoding after open */

    /* Decoder thread only (the opener's thread until the stream is published). */
    OggVorbis_File vf;
    bool vfOpen = false;
    SRC_STATE* resampler = nullptr; /* null when the file's rate is the output's */
    double ratio = 1.0;             /* output frames per file frame */
    float stepBuffer[fsound::kStepFrames * fsound::kOutChannels]; /* a step before resampling */
    uint32_t decodedGeneration = 0;
    size_t skipFrames = 0; /* after a rewind: frames to drop because head holds them */
    bool sourceRead = false; /* the file is read to its end; the resampler may hold more */
    bool sourceDone = false; /* every frame has been decoded */

    /* Shared by the decoder and the mixer, under lock. */
    std::mutex lock;
    std::vector<float> ring; /* kRingFrames stereo frames following head */
    size_t ringRead = 0;
    size_t ringCount = 0;
    uint32_t generation = 0; /* bumped by every rewind; older decoded frames are dropped */
    bool rewindPending = false;
    bool ringComplete = false; /* the ring holds everything up to the stream's end */

    /* Mixer side, under the mixer lock (held by the audio thread while it mixes). */
    size_t headPos = 0;
    int channel = -1;
    bool fresh = true; /* never played: head and ring already hold the beginning */
    FSOUND_STREAMCALLBACK endCallback = nullptr;
    int endUser = 0;
};

struct FSOUND_DSPUNIT {
    std::atomic<bool> active{false};
};

namespace fsound {

/* The running output. One instance exists between FSOUND_Init and fsound_shutdown. */
struct Output {
    /* Capture output (FSOUND_OUTPUT=capture): no device and no decoder thread; the thread
     * that reads the spectrum or takes the captured frames mixes and decodes as it goes. */
    bool capture = false;
    SDL_AudioDeviceID device = 0;
    int mixRate = 0;
    int deviceFrames = 0;
    int channelCount = 0;

    /* Held by the audio thread while it mixes, and by other threads that change channels. */
    std::recursive_mutex mixLock;
    FSOUND_STREAM* channels[kMaxChannels] = {};
    float mixBuffer[kBlockFrames * kOutChannels] = {}; /* audio thread only */

    /* Every stream opened, for the decoder; streams are only added while the output runs. */
    std::mutex streamsLock;
    std::vector<FSOUND_STREAM*> streams;

    /* Decoder thread. */
    std::thread decoder;
    std::atomic<bool> quitDecoder{false};
    std::mutex wakeLock;
    std::condition_variable wake;

    /* Mono mix for the spectrum: frame i lives at history[i % kHistoryFrames]. */
    std::mutex historyLock;
    float history[kHistoryFrames] = {};
    uint64_t framesMixed = 0;    /* under historyLock */
    uint64_t lastBlockStart = 0; /* first frame of the last device buffer, under historyLock */
    uint64_t lastBlockTicks = 0; /* SDL performance counter when it was mixed, under historyLock */
    uint64_t lastBlockFrames = 0;

    std::atomic<uint64_t> underruns{0};
    std::atomic<uint64_t> audioCpuNs{0};
    std::atomic<uint64_t> decoderCpuNs{0};
    std::atomic<uint64_t> spectrumLagFrames{0};

    /* Capture output, under mixLock. Video frame k holds the output frames from
     * frameEnd(k - 1) up to frameEnd(k) = (k + 1) * mixRate / captureFps, rounded down, so
     * that the count stays exact at any frame rate. */
    int captureFps = 0;
    uint64_t captureFrame = 0;            /* the video frame being made */
    std::vector<int16_t> capturePending;  /* mixed since the last frame was taken, stereo */
    std::vector<float> captureScratch;    /* one decoding step */
};

extern Output* g_output;

/* Mixer (mixer.cpp). */
void SDLCALL mixCallback(void* user, Uint8* out, int len);
void restartStream(Output* o, FSOUND_STREAM* s);
/* Mixes n frames (at most kBlockFrames) into o->mixBuffer, clipped, and appends them to the
 * spectrum's history. The caller holds mixLock. */
void mixBlock(Output* o, size_t n);

/* Capture output (capture.cpp). */
bool captureStart(Output* o);
/* Mixes on to the end of the current video frame. The caller holds mixLock. */
void captureMixFrame(Output* o);

/* Decoder feed (stream.cpp). */
FSOUND_STREAM* openStream(Output* o, const char* name);
void decoderMain(Output* o);
/* Capture output: decodes the next piece of s on the calling thread. Returns whether
 * anything was done; false means the stream has nothing more to give. */
bool decodeNow(Output* o, FSOUND_STREAM* s);
void freeStream(FSOUND_STREAM* s);

} // namespace fsound

#endif
