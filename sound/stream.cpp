/*
 * The decoder feed: opens Ogg Vorbis files, decodes them to stereo float at the output's
 * rate, and keeps each stream's ring topped up from a thread of its own so that the audio
 * thread never waits for the file. The capture output has no such thread: its mixer decodes
 * on demand through decodeNow.
 */
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <new>

#include "fsound_internal.h"

namespace fsound {

namespace {

/* The index of the right front channel in Vorbis's channel order. */
int rightChannel(int channels) {
    if (channels == 1) return 0;
    if (channels == 2 || channels == 4) return 1;
    return 2; // L, C, R first for 3 and for 5 to 8 channels
}

/* Runs the resampler over n frames of input (none with end set: drain it), appending to out,
 * which holds kScratchFrames; returns the frames made. */
size_t resample(FSOUND_STREAM* s, const float* in, size_t n, bool end, float* out) {
    size_t made = 0;
    for (;;) {
        SRC_DATA d;
        d.data_in = in;
        d.input_frames = (long)n;
        d.data_out = out + made * kOutChannels;
        d.output_frames = (long)(kScratchFrames - made);
        d.end_of_input = end ? 1 : 0;
        d.src_ratio = s->ratio;
        if (src_process(s->resampler, &d) != 0) return made;
        made += (size_t)d.output_frames_gen;
        in += d.input_frames_used * kOutChannels;
        n -= (size_t)d.input_frames_used;
        // Done when the input is used up and, at the end, nothing more comes out.
        if ((n == 0 && !end) || made == kScratchFrames) return made;
        if (end && d.output_frames_gen == 0 && n == 0) {
            s->sourceDone = true;
            return made;
        }
    }
}

/* One decoding step into out (kScratchFrames stereo frames): returns the frames made.
 * Sets sourceDone once every frame of the file has come out. */
size_t decodeStep(FSOUND_STREAM* s, float* out) {
    if (s->sourceDone) return 0;
    if (s->sourceRead) return resample(s, nullptr, 0, true, out);

    float** pcm = nullptr;
    int section = 0;
    long n;
    do {
        n = ov_read_float(&s->vf, &pcm, kStepFrames, &section);
    } while (n == OV_HOLE);
    if (n > 0) {
        // A chained file whose later link changes the format ends where the change is.
        vorbis_info* vi = ov_info(&s->vf, section);
        if (!vi || vi->channels != s->srcChannels || vi->rate != s->srcRate) n = 0;
    }
    if (n <= 0) {
        s->sourceRead = true;
        if (!s->resampler) {
            s->sourceDone = true;
            return 0;
        }
        return resample(s, nullptr, 0, true, out);
    }

    float* stereo = s->resampler ? s->stepBuffer : out;
    int right = rightChannel(s->srcChannels);
    for (long i = 0; i < n; i++) {
        stereo[i * 2] = pcm[0][i];
        stereo[i * 2 + 1] = pcm[right][i];
    }
    if (!s->resampler) return (size_t)n;
    return resample(s, stereo, (size_t)n, false, out);
}

/* Back to the file's first frame; head holds what the first kHeadFrames decode to. */
void rewindSource(FSOUND_STREAM* s) {
    if (s->resampler) src_reset(s->resampler);
    s->skipFrames = s->headFrames;
    s->sourceRead = s->sourceDone = ov_pcm_seek(&s->vf, 0) != 0;
}

/* Appends frames to the ring; the caller holds s->lock and has checked the room. */
void pushFrames(FSOUND_STREAM* s, const float* frames, size_t n) {
    for (size_t i = 0; i < n; i++) {
        float* dst = &s->ring[((s->ringRead + s->ringCount + i) % kRingFrames) * kOutChannels];
        dst[0] = frames[i * kOutChannels];
        dst[1] = frames[i * kOutChannels + 1];
    }
    s->ringCount += n;
}

/* One piece of work on one stream: a rewind, or a decoding step when its ring has room.
 * Returns whether anything was done. */
bool serviceStream(FSOUND_STREAM* s, float* scratch) {
    if (s->wholeInHead) return false;
    bool rewind;
    size_t room;
    {
        std::lock_guard<std::mutex> hold(s->lock);
        rewind = s->rewindPending;
        s->rewindPending = false;
        if (rewind) s->decodedGeneration = s->generation;
        room = kRingFrames - s->ringCount;
    }
    if (rewind) rewindSource(s);
    if (!s->sourceDone && room < kDecodeRoom) return rewind;

    size_t n = decodeStep(s, scratch);
    size_t drop = std::min(n, s->skipFrames);
    s->skipFrames -= drop;
    bool completed = false; // the end was found, even with no frame left to add
    {
        // Frames decoded for a start that has since been replaced by a newer one are dropped.
        std::lock_guard<std::mutex> hold(s->lock);
        if (s->generation == s->decodedGeneration && !s->ringComplete) {
            pushFrames(s, scratch + drop * kOutChannels, n - drop);
            if (s->sourceDone) s->ringComplete = completed = true;
        }
    }
    return rewind || n > 0 || completed;
}

} // namespace

bool decodeNow(Output* o, FSOUND_STREAM* s) { return serviceStream(s, o->captureScratch.data()); }

void freeStream(FSOUND_STREAM* s) {
    if (s->resampler) src_delete(s->resampler);
    if (s->vfOpen) ov_clear(&s->vf); // closes the file
    delete s;
}

FSOUND_STREAM* openStream(Output* o, const char* name) {
    FILE* f = fopen(name, "rb");
    if (!f) {
        setError(errno == ENOMEM ? FSOUND_ERR_MEMORY : FSOUND_ERR_FILE_NOTFOUND);
        return nullptr;
    }
    FSOUND_STREAM* s = new (std::nothrow) FSOUND_STREAM;
    if (!s) {
        fclose(f);
        setError(FSOUND_ERR_MEMORY);
        return nullptr;
    }
    if (ov_open(f, &s->vf, nullptr, 0) < 0) {
        fclose(f); // a failed open leaves the file to its caller
        delete s;
        setError(FSOUND_ERR_FILE_FORMAT);
        return nullptr;
    }
    s->vfOpen = true;

    vorbis_info* vi = ov_info(&s->vf, -1);
    if (!vi || vi->channels < 1 || vi->rate < 8000 || vi->rate > 192000) {
        freeStream(s);
        setError(FSOUND_ERR_FILE_FORMAT);
        return nullptr;
    }
    s->srcRate = (int)vi->rate;
    s->srcChannels = vi->channels;
    if (s->srcRate != o->mixRate) {
        int error = 0;
        s->resampler = src_new(SRC_SINC_FASTEST, kOutChannels, &error);
        s->ratio = (double)o->mixRate / s->srcRate;
        if (!s->resampler) {
            freeStream(s);
            setError(FSOUND_ERR_MEMORY);
            return nullptr;
        }
    }

    float* scratch = new (std::nothrow) float[kScratchFrames * kOutChannels];
    bool allocated = scratch != nullptr;
    if (allocated) {
        try {
            s->head.resize((size_t)kHeadFrames * kOutChannels);
            s->ring.resize((size_t)kRingFrames * kOutChannels);
        } catch (const std::bad_alloc&) {
            allocated = false;
        }
    }
    if (!allocated) {
        delete[] scratch;
        freeStream(s);
        setError(FSOUND_ERR_MEMORY);
        return nullptr;
    }

    // Decode the head now, so that the first start and every restart find it ready; what
    // the last step makes beyond it is the ring's first content.
    while (s->headFrames < (size_t)kHeadFrames && !s->sourceDone) {
        size_t n = decodeStep(s, scratch);
        size_t k = std::min(n, (size_t)kHeadFrames - s->headFrames);
        memcpy(&s->head[s->headFrames * kOutChannels], scratch, k * kOutChannels * sizeof(float));
        s->headFrames += k;
        pushFrames(s, scratch + k * kOutChannels, n - k);
    }
    delete[] scratch;
    s->head.resize(s->headFrames * kOutChannels);
    s->ringComplete = s->sourceDone;
    if (s->sourceDone && s->ringCount == 0) {
        s->wholeInHead = true;
        std::vector<float>().swap(s->ring);
    }

    {
        std::lock_guard<std::mutex> hold(o->streamsLock);
        try {
            o->streams.push_back(s);
        } catch (const std::bad_alloc&) {
            freeStream(s);
            setError(FSOUND_ERR_MEMORY);
            return nullptr;
        }
    }
    o->wake.notify_one();
    return s;
}

void decoderMain(Output* o) {
    std::vector<float> scratch((size_t)kScratchFrames * kOutChannels);
    uint64_t cpuStart = threadCpuNs();
    while (!o->quitDecoder.load()) {
        bool worked = false;
        for (size_t i = 0;; i++) {
            FSOUND_STREAM* s;
            {
                std::lock_guard<std::mutex> hold(o->streamsLock);
                if (i >= o->streams.size()) break;
                s = o->streams[i];
            }
            worked |= serviceStream(s, scratch.data());
        }
        o->decoderCpuNs.store(threadCpuNs() - cpuStart);
        if (!worked) {
            std::unique_lock<std::mutex> lock(o->wakeLock);
            o->wake.wait_for(lock, std::chrono::milliseconds(10));
        }
    }
}

} // namespace fsound
