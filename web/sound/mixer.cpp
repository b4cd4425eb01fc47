/*
 * The mixer: adds every channel's stream into a float block, calls end callbacks at the
 * exact frame a stream runs out, clips once and keeps the mono mix for the spectrum. The
 * arithmetic is the native layer's, so that both editions make the same samples. It runs
 * when the Web Audio output asks for frames (fsound_web_render) or when the capture output's
 * caller needs them.
 */
#include <string.h>

#include <algorithm>

#include <emscripten.h>

#include "fsound_web.h"

namespace fsound_web {

namespace {

/* A stream that ends and is restarted again and again by its callback without yielding a
 * frame (an empty file) must not hold the page: after this many ends in one block the
 * channel stays silent until the next block. */
const int kMaxEndsPerBlock = 8;

/* Adds up to n frames of s into mix. Returns the frames added; *ended tells whether the
 * stream has now played its last frame. The decoder is asked for more as the stream goes,
 * so a stream comes up short only at its end. */
size_t pull(FSOUND_STREAM* s, float* mix, size_t n, bool* ended) {
    size_t got = 0;
    while (got < n && !s->atEnd) {
        if (s->packetPos == s->packetFrames) {
            nextPacket(s);
            continue;
        }
        size_t k = std::min(n - got, (size_t)(s->packetFrames - s->packetPos));
        const float* left = s->packet[0] + s->packetPos;
        const float* right = s->packet[s->right] + s->packetPos;
        for (size_t i = 0; i < k; i++) {
            mix[(got + i) * kOutChannels] += left[i];
            mix[(got + i) * kOutChannels + 1] += right[i];
        }
        s->packetPos += (int)k;
        got += k;
    }
    // A used-up packet is followed at once by the next, so that the end is found with the
    // stream's last frame rather than one block later.
    if (s->packetPos == s->packetFrames && !s->atEnd) nextPacket(s);
    *ended = s->atEnd;
    return got;
}

void mixChannel(Output* o, int c, float* mix, size_t n) {
    size_t pos = 0;
    int ends = 0;
    while (pos < n) {
        FSOUND_STREAM* s = o->channels[c];
        if (!s) return;
        bool ended = false;
        pos += pull(s, mix + pos * kOutChannels, n - pos, &ended);
        if (!ended) continue;
        // The channel is free before the callback runs, so that a play made inside it
        // continues right here, at the next frame.
        o->channels[c] = nullptr;
        s->channel = -1;
        if (s->endCallback) s->endCallback(s, nullptr, 0, s->endUser);
        if (++ends >= kMaxEndsPerBlock) return;
    }
}

} // namespace

void mixBlock(Output* o, float* out, size_t n) {
    memset(out, 0, n * kOutChannels * sizeof(float));
    for (int c = 0; c < o->channelCount; c++) mixChannel(o, c, out, n);

    // The one clip; then the mono mix for the spectrum.
    for (size_t i = 0; i < n * kOutChannels; i++) out[i] = std::min(1.0f, std::max(-1.0f, out[i]));
    for (size_t i = 0; i < n; i++)
        o->history[(o->framesMixed + i) % kHistoryFrames] =
            0.5f * (out[i * kOutChannels] + out[i * kOutChannels + 1]);
    o->framesMixed += n;
}

} // namespace fsound_web

using namespace fsound_web;

/* The Web Audio output's request (fsound_web.js): mixes the next frames (at most
 * kRenderFrames) and returns them, clipped stereo float, in the layer's own buffer; null
 * when the Web Audio output is not running. */
extern "C" EMSCRIPTEN_KEEPALIVE const float* fsound_web_render(int frames) {
    Output* o = g_output;
    if (!o || o->capture || frames < 0 || frames > kRenderFrames) return nullptr;
    for (int done = 0; done < frames;) {
        int n = std::min(frames - done, (int)kBlockFrames);
        mixBlock(o, o->render + (size_t)done * kOutChannels, (size_t)n);
        done += n;
    }
    return o->render;
}
