/*
 * The mixer: runs on SDL's audio thread (or, for the capture output, on the thread that
 * takes the frames), adds every channel's stream into a float block, calls end callbacks at
 * the exact frame a stream runs out, clips once into 16 bits and keeps the mono mix for the
 * spectrum.
 */
#include <math.h>
#include <string.h>

#include <algorithm>

#include "fsound_internal.h"

namespace fsound {

namespace {

/* A stream that ends and is restarted again and again by its callback without yielding a
 * frame (an empty file) must not hold the audio thread: after this many ends in one block
 * the channel stays silent until the next block. */
const int kMaxEndsPerBlock = 8;

/* Adds up to n frames of s into mix. Returns the frames added; *ended tells whether the
 * stream has now played its last frame. */
size_t pull(Output* o, FSOUND_STREAM* s, float* mix, size_t n, bool* ended) {
    size_t got = 0;
    if (s->headPos < s->headFrames) {
        size_t k = std::min(n, s->headFrames - s->headPos);
        const float* src = &s->head[s->headPos * kOutChannels];
        for (size_t i = 0; i < k * kOutChannels; i++) mix[i] += src[i];
        s->headPos += k;
        got = k;
    }
    if (s->wholeInHead) {
        *ended = s->headPos == s->headFrames;
        return got;
    }
    bool wantsMore;
    {
        std::lock_guard<std::mutex> hold(s->lock);
        size_t k = std::min(n - got, s->ringCount);
        for (size_t i = 0; i < k; i++) {
            const float* src = &s->ring[((s->ringRead + i) % kRingFrames) * kOutChannels];
            mix[(got + i) * kOutChannels] += src[0];
            mix[(got + i) * kOutChannels + 1] += src[1];
        }
        s->ringRead = (s->ringRead + k) % kRingFrames;
        s->ringCount -= k;
        got += k;
        *ended = s->headPos == s->headFrames && s->ringComplete && s->ringCount == 0;
        wantsMore = !s->ringComplete && kRingFrames - s->ringCount >= kDecodeRoom;
    }
    if (wantsMore) o->wake.notify_one();
    return got;
}

void mixChannel(Output* o, int c, float* mix, size_t n) {
    size_t pos = 0;
    int ends = 0;
    while (pos < n) {
        FSOUND_STREAM* s = o->channels[c];
        if (!s) return;
        bool ended = false;
        pos += pull(o, s, mix + pos * kOutChannels, n - pos, &ended);
        if (ended) {
            // The channel is free before the callback runs, so that a play made inside it
            // continues right here, at the next frame.
            o->channels[c] = nullptr;
            s->channel = -1;
            if (s->endCallback) s->endCallback(s, nullptr, 0, s->endUser);
            if (++ends >= kMaxEndsPerBlock) return;
        } else if (pos < n) {
            // The capture output has time: it decodes what is missing right here.
            if (o->capture && decodeNow(o, s)) continue;
            o->underruns.fetch_add(1);
            return;
        }
    }
}

} // namespace

void mixBlock(Output* o, size_t n) {
    float* mix = o->mixBuffer;
    memset(mix, 0, n * kOutChannels * sizeof(float));
    for (int c = 0; c < o->channelCount; c++) mixChannel(o, c, mix, n);

    // The one clip; then the mono mix for the spectrum.
    for (size_t i = 0; i < n * kOutChannels; i++) mix[i] = std::min(1.0f, std::max(-1.0f, mix[i]));
    std::lock_guard<std::mutex> h(o->historyLock);
    for (size_t i = 0; i < n; i++)
        o->history[(o->framesMixed + i) % kHistoryFrames] =
            0.5f * (mix[i * kOutChannels] + mix[i * kOutChannels + 1]);
    o->framesMixed += n;
}

void SDLCALL mixCallback(void* user, Uint8* out, int len) {
    Output* o = static_cast<Output*>(user);
    uint64_t cpuStart = threadCpuNs();
    std::lock_guard<std::recursive_mutex> hold(o->mixLock);

    int16_t* dst = reinterpret_cast<int16_t*>(out);
    size_t total = (size_t)len / (sizeof(int16_t) * kOutChannels);
    uint64_t start = o->framesMixed; // written by this thread only
    for (size_t done = 0; done < total;) {
        size_t n = std::min(total - done, (size_t)kBlockFrames);
        mixBlock(o, n);
        for (size_t i = 0; i < n * kOutChannels; i++)
            dst[(done * kOutChannels) + i] = fsound_rules::toSample(o->mixBuffer[i]);
        done += n;
    }
    {
        std::lock_guard<std::mutex> h(o->historyLock);
        o->lastBlockStart = start;
        o->lastBlockFrames = total;
        o->lastBlockTicks = SDL_GetPerformanceCounter();
    }
    o->audioCpuNs.fetch_add(threadCpuNs() - cpuStart);
}

void restartStream(Output* o, FSOUND_STREAM* s) {
    s->headPos = 0;
    if (s->fresh) {
        // Head and ring already hold the stream from its first frame on.
        s->fresh = false;
        return;
    }
    {
        std::lock_guard<std::mutex> hold(s->lock);
        s->ringRead = 0;
        s->ringCount = 0;
        s->generation++;
        s->ringComplete = s->wholeInHead;
        s->rewindPending = !s->wholeInHead;
    }
    o->wake.notify_one();
}

} // namespace fsound
