/*
 * The mixer: runs on whichever thread the output pulls frames from (SDL's audio thread, the
 * page's thread, the recorder's thread), adds every channel's source into a float block,
 * calls end callbacks at the exact frame a stream runs out, clips once and keeps the mono mix
 * for the spectrum; for the outputs that take 16-bit samples, it also does their one
 * conversion.
 */
#include <math.h>
#include <string.h>

#include <algorithm>

#include "fsound_internal.h"

namespace fsound {

namespace {

/* A stream that ends and is restarted again and again by its callback without yielding a
 * frame (an empty file) must not hold the mixing thread: after this many ends in one block
 * the channel stays silent until the next block. */
const int kMaxEndsPerBlock = 8;

void mixChannel(Engine* e, int c, float* mix, size_t n) {
    size_t pos = 0;
    int ends = 0;
    while (pos < n) {
        FSOUND_STREAM* s = e->channels[c];
        if (!s) return;
        bool ended = false;
        size_t got = s->source->read(e->sourceFrames, n - pos, &ended);
        float* dst = mix + pos * kOutChannels;
        for (size_t i = 0; i < got * kOutChannels; i++) dst[i] += e->sourceFrames[i];
        pos += got;
        if (ended) {
            // The channel is free before the callback runs, so that a play made inside it
            // continues right here, at the next frame.
            e->channels[c] = nullptr;
            s->channel = -1;
            if (s->endCallback) s->endCallback(s, nullptr, 0, s->endUser);
            if (++ends >= kMaxEndsPerBlock) return;
        } else if (pos < n) {
            e->underruns.fetch_add(1);
            return;
        }
    }
}

/* Mixes n frames (at most kBlockFrames) into out, clipped, and appends them to the spectrum's
 * history. The caller holds the mix lock. */
void mixBlock(Engine* e, float* out, size_t n) {
    memset(out, 0, n * kOutChannels * sizeof(float));
    for (int c = 0; c < e->channelCount; c++) mixChannel(e, c, out, n);

    // The one clip, at both rails; then the mono mix for the spectrum.
    for (size_t i = 0; i < n * kOutChannels; i++) out[i] = std::min(1.0f, std::max(-1.0f, out[i]));
    std::lock_guard<std::mutex> hold(e->historyLock);
    for (size_t i = 0; i < n; i++)
        e->history[(e->framesMixed + i) % kHistoryFrames] =
            0.5f * (out[i * kOutChannels] + out[i * kOutChannels + 1]);
    e->framesMixed += n;
}

/* A clipped mix sample (-1..1) as 16 bits. */
int16_t toSample(float x) { return (int16_t)lrintf(x * 32767.0f); }

} // namespace

uint64_t render(float* out, size_t n) {
    Engine* e = g_engine;
    std::lock_guard<std::recursive_mutex> hold(e->mixLock);
    uint64_t first = e->framesMixed; // written by the thread that holds the mix lock only
    for (size_t done = 0; done < n;) {
        size_t k = std::min(n - done, (size_t)kBlockFrames);
        mixBlock(e, out + done * kOutChannels, k);
        done += k;
    }
    return first;
}

size_t renderReady(float* out, size_t n) {
    Engine* e = g_engine;
    std::lock_guard<std::recursive_mutex> hold(e->mixLock);
    size_t done = 0;
    while (done < n) {
        size_t k = std::min(n - done, (size_t)kBlockFrames);
        for (int c = 0; c < e->channelCount; c++)
            if (e->channels[c] && !e->channels[c]->source->ready(k)) return done;
        mixBlock(e, out + done * kOutChannels, k);
        done += k;
    }
    return done;
}

uint64_t render(int16_t* out, size_t n) {
    Engine* e = g_engine;
    std::lock_guard<std::recursive_mutex> hold(e->mixLock);
    uint64_t first = e->framesMixed;
    for (size_t done = 0; done < n;) {
        size_t k = std::min(n - done, (size_t)kBlockFrames);
        mixBlock(e, e->mixFrames, k);
        int16_t* dst = out + done * kOutChannels;
        for (size_t i = 0; i < k * kOutChannels; i++) dst[i] = toSample(e->mixFrames[i]);
        done += k;
    }
    return first;
}

} // namespace fsound
