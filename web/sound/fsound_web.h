/*
 * The browser edition's sound layer inside: the output (Web Audio or capture) and its
 * channels, the streams with their decoders, and the history the spectrum is taken from.
 *
 * Everything runs on the page's one thread: the program's calls, the Web Audio output's
 * requests for frames (message events between the program's own tasks) and therefore the
 * mixer and every end callback. Nothing here needs a lock.
 */
#ifndef FSOUND_WEB_H
#define FSOUND_WEB_H

#include <stddef.h>
#include <stdint.h>

#include "fsound.h"
#include "fsound_rules.h"

struct stb_vorbis;

namespace fsound_web {

enum {
    kOutChannels = 2,
    kBlockFrames = 1024,    /* the mixer works in blocks of at most this many frames */
    kHistoryFrames = 16384, /* mono mix kept for the spectrum: the Web Audio output mixes up
                               to 0.15 s ahead of the listener, plus the device's latency */
    kRenderFrames = 16384,  /* most frames one answer to the Web Audio output holds */
    kMaxChannels = fsound_rules::kMaxChannels
};

void setError(int code);

} // namespace fsound_web

struct FSOUND_STREAM {
    stb_vorbis* vorbis = nullptr; /* owns the open file */
    int right = 0;                /* the decoded channel heard on the right */

    /* The decoded packet being played: the decoder's own memory, valid until it decodes
     * the next one. The packet after the current one is decoded as soon as the current one
     * is used up, so that the stream's end is known with its last frame. */
    float** packet = nullptr;
    int packetFrames = 0;
    int packetPos = 0;
    bool atEnd = false; /* the decoder has nothing after the current packet */

    int channel = -1;
    FSOUND_STREAMCALLBACK endCallback = nullptr;
    int endUser = 0;
};

struct FSOUND_DSPUNIT {
    bool active = false;
};

namespace fsound_web {

/* The running output. Made by FSOUND_Init; lives until the page goes. */
struct Output {
    bool capture = false; /* FSOUND_OUTPUT=capture: no Web Audio, frames taken by the caller */
    int mixRate = 0;
    int channelCount = 0;
    FSOUND_STREAM* channels[kMaxChannels] = {};

    /* Mono mix for the spectrum: frame i lives at history[i % kHistoryFrames]. */
    float history[kHistoryFrames] = {};
    uint64_t framesMixed = 0;

    /* Web Audio output: the frames of the last answer, clipped stereo float. */
    float render[kRenderFrames * kOutChannels] = {};

    /* Capture output. Video frame k holds the output frames from frameEnd(k - 1) up to
     * frameEnd(k) = (k + 1) * mixRate / captureFps, rounded down. */
    int captureFps = 0;
    uint64_t captureFrame = 0;      /* the video frame being made */
    int16_t* capturePending = nullptr; /* mixed since the last frame was taken, stereo */
    size_t capturePendingFrames = 0;
    float mixBuffer[kBlockFrames * kOutChannels] = {};

    Output() = default;
    ~Output() { delete[] capturePending; }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
};

extern Output* g_output;

/* Mixer (mixer.cpp). */
/* Mixes n frames (at most kBlockFrames) into out (stereo), clipped, and appends them to the
 * spectrum's history. */
void mixBlock(Output* o, float* out, size_t n);

/* Decoder feed (stream.cpp). */
FSOUND_STREAM* openStream(Output* o, const char* name);
/* Back to the first frame. */
void rewindStream(FSOUND_STREAM* s);
/* Makes the next decoded packet current; false, with atEnd set, when there is none. */
bool nextPacket(FSOUND_STREAM* s);

/* Capture output (capture.cpp). */
bool captureStart(Output* o);
/* Mixes on to the end of the current video frame. */
void captureMixFrame(Output* o);

} // namespace fsound_web

/* The Web Audio output's page side (fsound_web.js). */
extern "C" {
/* Whether this page can play through an AudioWorklet at rate; remembers the rate for
 * Module.nvSoundStart, and starts at once if the page asked for sound before. */
int nv_sound_web_open(int rate);
/* The output frame reaching the listener now; negative while none has. */
double nv_sound_web_heard(void);
}

#endif
