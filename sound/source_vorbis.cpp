/*
 * The desktop's decoder: opens Ogg Vorbis files with libvorbisfile, decodes them to stereo
 * float at the output's rate (libsamplerate converts other rates), and keeps each source's
 * ring topped up from a thread of its own so that the audio thread never waits for the file.
 * For an output that waits (the capture output) there is no such thread: a read decodes on
 * the mixing thread what it lacks.
 */
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <new>
#include <thread>
#include <vector>

#include <samplerate.h>
#include <vorbis/vorbisfile.h>

#include "backend.h"
#include "fsound_internal.h"
#include "source_vorbis.h"

namespace fsound {

namespace {

class VorbisDecoder;

class VorbisSource : public Source {
  public:
    /* Fixed once the source is open. */
    VorbisDecoder* decoder = nullptr;
    int srcRate = 0;
    int srcChannels = 0;
    std::vector<float> head; /* the first frames, converted: played at every start */
    size_t headFrames = 0;
    bool wholeInHead = false; /* the piece ends inside head: no decoding after open */

    /* The decoding thread only (the opener's thread until the source is published). */
    OggVorbis_File vf;
    bool vfOpen = false;
    SRC_STATE* resampler = nullptr; /* null when the file's rate is the output's */
    double ratio = 1.0;             /* output frames per file frame */
    float stepBuffer[kStepFrames * kOutChannels]; /* a step before resampling */
    uint32_t decodedGeneration = 0;
    size_t skipFrames = 0;   /* after a rewind: frames to drop because head holds them */
    bool sourceRead = false; /* the file is read to its end; the resampler may hold more */
    bool sourceDone = false; /* every frame has been decoded */

    /* Shared by the decoding thread and the mixer, under lock. */
    std::mutex lock;
    std::vector<float> ring; /* kRingFrames stereo frames following head */
    size_t ringRead = 0;
    size_t ringCount = 0;
    uint32_t generation = 0; /* bumped by every rewind; older decoded frames are dropped */
    bool rewindPending = false;
    bool ringComplete = false; /* the ring holds everything up to the piece's end */

    /* The mixer's, under the engine's mix lock. */
    size_t headPos = 0;
    bool fresh = true; /* never started: head and ring already hold the beginning */

    ~VorbisSource() override {
        if (resampler) src_delete(resampler);
        if (vfOpen) ov_clear(&vf); // closes the file
    }

    size_t read(float* out, size_t n, bool* ended) override;
    void rewind() override;

    size_t take(float* out, size_t n, bool* ended, bool* empty);
    size_t resample(const float* in, size_t n, bool end, float* out);
    size_t decodeStep(float* out);
    void rewindSource();
    void pushFrames(const float* frames, size_t n);
    bool service(float* scratch);
};

class VorbisDecoder : public Decoder {
  public:
    /* Fixed once made: a thread decodes ahead; otherwise reads decode what they lack. */
    bool ahead = false;

    /* Every source opened; sources are only added while the decoder runs. */
    std::mutex sourcesLock;
    std::vector<VorbisSource*> sources;

    /* The decoding thread, when decoding ahead. */
    std::thread thread;
    std::atomic<bool> quit{false};
    std::mutex wakeLock;
    std::condition_variable wake;
    std::atomic<uint64_t> decodingCpuNs{0};

    /* One decoding step for a read that waits, under the engine's mix lock. */
    std::vector<float> waitScratch;

    ~VorbisDecoder() override {
        if (thread.joinable()) {
            quit.store(true);
            wake.notify_all();
            thread.join();
        }
        for (VorbisSource* s : sources) delete s;
    }

    Source* open(const char* name, int mixRate) override;
    bool convertsRate() const override { return true; }
    uint64_t cpuNs() const override { return decodingCpuNs.load(); }

    void main();
};

/* Runs the resampler over n frames of input (none with end set: drain it), appending to out,
 * which holds kScratchFrames; returns the frames made. */
size_t VorbisSource::resample(const float* in, size_t n, bool end, float* out) {
    size_t made = 0;
    for (;;) {
        SRC_DATA d;
        d.data_in = in;
        d.input_frames = (long)n;
        d.data_out = out + made * kOutChannels;
        d.output_frames = (long)(kScratchFrames - made);
        d.end_of_input = end ? 1 : 0;
        d.src_ratio = ratio;
        if (src_process(resampler, &d) != 0) return made;
        made += (size_t)d.output_frames_gen;
        in += d.input_frames_used * kOutChannels;
        n -= (size_t)d.input_frames_used;
        // Done when the input is used up and, at the end, nothing more comes out.
        if ((n == 0 && !end) || made == kScratchFrames) return made;
        if (end && d.output_frames_gen == 0 && n == 0) {
            sourceDone = true;
            return made;
        }
    }
}

/* One decoding step into out (kScratchFrames stereo frames): returns the frames made.
 * Sets sourceDone once every frame of the file has come out. */
size_t VorbisSource::decodeStep(float* out) {
    if (sourceDone) return 0;
    if (sourceRead) return resample(nullptr, 0, true, out);

    float** pcm = nullptr;
    int section = 0;
    long n;
    do {
        n = ov_read_float(&vf, &pcm, kStepFrames, &section);
    } while (n == OV_HOLE);
    if (n > 0) {
        // A chained file whose later link changes the format ends where the change is.
        vorbis_info* vi = ov_info(&vf, section);
        if (!vi || vi->channels != srcChannels || vi->rate != srcRate) n = 0;
    }
    if (n <= 0) {
        sourceRead = true;
        if (!resampler) {
            sourceDone = true;
            return 0;
        }
        return resample(nullptr, 0, true, out);
    }

    float* stereo = resampler ? stepBuffer : out;
    int right = vorbisRightChannel(srcChannels);
    for (long i = 0; i < n; i++) {
        stereo[i * 2] = pcm[0][i];
        stereo[i * 2 + 1] = pcm[right][i];
    }
    if (!resampler) return (size_t)n;
    return resample(stereo, (size_t)n, false, out);
}

/* Back to the file's first frame; head holds what the first kHeadFrames decode to. */
void VorbisSource::rewindSource() {
    if (resampler) src_reset(resampler);
    skipFrames = headFrames;
    sourceRead = sourceDone = ov_pcm_seek(&vf, 0) != 0;
}

/* Appends frames to the ring; the caller holds lock and has checked the room. */
void VorbisSource::pushFrames(const float* frames, size_t n) {
    for (size_t i = 0; i < n; i++) {
        float* dst = &ring[((ringRead + ringCount + i) % kRingFrames) * kOutChannels];
        dst[0] = frames[i * kOutChannels];
        dst[1] = frames[i * kOutChannels + 1];
    }
    ringCount += n;
}

/* One piece of work: a rewind, or a decoding step when the ring has room. Returns whether
 * anything was done. */
bool VorbisSource::service(float* scratch) {
    if (wholeInHead) return false;
    bool rewinding;
    size_t room;
    {
        std::lock_guard<std::mutex> hold(lock);
        rewinding = rewindPending;
        rewindPending = false;
        if (rewinding) decodedGeneration = generation;
        room = kRingFrames - ringCount;
    }
    if (rewinding) rewindSource();
    if (!sourceDone && room < kDecodeRoom) return rewinding;

    size_t n = decodeStep(scratch);
    size_t drop = std::min(n, skipFrames);
    skipFrames -= drop;
    bool completed = false; // the end was found, even with no frame left to add
    {
        // Frames decoded for a start that has since been replaced by a newer one are dropped.
        std::lock_guard<std::mutex> hold(lock);
        if (generation == decodedGeneration && !ringComplete) {
            pushFrames(scratch + drop * kOutChannels, n - drop);
            if (sourceDone) ringComplete = completed = true;
        }
    }
    return rewinding || n > 0 || completed;
}

/* Up to n frames from head and then the ring. *empty: nothing is left decoded. */
size_t VorbisSource::take(float* out, size_t n, bool* ended, bool* empty) {
    size_t got = 0;
    if (headPos < headFrames) {
        got = std::min(n, headFrames - headPos);
        memcpy(out, &head[headPos * kOutChannels], got * kOutChannels * sizeof(float));
        headPos += got;
    }
    if (wholeInHead) {
        *ended = *empty = headPos == headFrames;
        return got;
    }
    bool wantsMore;
    {
        std::lock_guard<std::mutex> hold(lock);
        size_t k = std::min(n - got, ringCount);
        for (size_t i = 0; i < k; i++) {
            const float* src = &ring[((ringRead + i) % kRingFrames) * kOutChannels];
            out[(got + i) * kOutChannels] = src[0];
            out[(got + i) * kOutChannels + 1] = src[1];
        }
        ringRead = (ringRead + k) % kRingFrames;
        ringCount -= k;
        got += k;
        *empty = headPos == headFrames && ringCount == 0;
        *ended = *empty && ringComplete;
        wantsMore = !ringComplete && kRingFrames - ringCount >= kDecodeRoom;
    }
    if (wantsMore) decoder->wake.notify_one();
    return got;
}

size_t VorbisSource::read(float* out, size_t n, bool* ended) {
    bool empty;
    size_t got = take(out, n, ended, &empty);
    // Without a thread decoding ahead, a read decodes what it lacks, and past the last frame
    // it was given when nothing else is decoded, so that an end right there is known now
    // rather than with the next read.
    while (!decoder->ahead && !*ended && (got < n || empty) && service(decoder->waitScratch.data()))
        got += take(out + got * kOutChannels, n - got, ended, &empty);
    return got;
}

void VorbisSource::rewind() {
    headPos = 0;
    if (fresh) {
        // Head and ring already hold the piece from its first frame on.
        fresh = false;
        return;
    }
    {
        std::lock_guard<std::mutex> hold(lock);
        ringRead = 0;
        ringCount = 0;
        generation++;
        ringComplete = wholeInHead;
        rewindPending = !wholeInHead;
    }
    decoder->wake.notify_one();
}

Source* VorbisDecoder::open(const char* name, int mixRate) {
    FILE* f = fopen(name, "rb");
    if (!f) {
        setError(errno == ENOMEM ? FSOUND_ERR_MEMORY : FSOUND_ERR_FILE_NOTFOUND);
        return nullptr;
    }
    VorbisSource* s = make<VorbisSource>();
    if (!s) {
        fclose(f);
        return nullptr;
    }
    s->decoder = this;
    if (ov_open(f, &s->vf, nullptr, 0) < 0) {
        fclose(f); // a failed open leaves the file to its caller
        delete s;
        setError(FSOUND_ERR_FILE_FORMAT);
        return nullptr;
    }
    s->vfOpen = true;

    vorbis_info* vi = ov_info(&s->vf, -1);
    if (!vi || !accepts(vi->rate, vi->channels, mixRate)) {
        delete s;
        setError(FSOUND_ERR_FILE_FORMAT);
        return nullptr;
    }
    s->srcRate = (int)vi->rate;
    s->srcChannels = vi->channels;
    if (s->srcRate != mixRate) {
        int error = 0;
        s->resampler = src_new(SRC_SINC_FASTEST, kOutChannels, &error);
        s->ratio = (double)mixRate / s->srcRate;
        if (!s->resampler) {
            delete s;
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
        delete s;
        setError(FSOUND_ERR_MEMORY);
        return nullptr;
    }

    // Decode the head now, so that the first start and every restart find it ready; what
    // the last step makes beyond it is the ring's first content.
    while (s->headFrames < (size_t)kHeadFrames && !s->sourceDone) {
        size_t n = s->decodeStep(scratch);
        size_t k = std::min(n, (size_t)kHeadFrames - s->headFrames);
        memcpy(&s->head[s->headFrames * kOutChannels], scratch, k * kOutChannels * sizeof(float));
        s->headFrames += k;
        s->pushFrames(scratch + k * kOutChannels, n - k);
    }
    delete[] scratch;
    s->head.resize(s->headFrames * kOutChannels);
    s->ringComplete = s->sourceDone;
    if (s->sourceDone && s->ringCount == 0) {
        s->wholeInHead = true;
        std::vector<float>().swap(s->ring);
    }

    {
        std::lock_guard<std::mutex> hold(sourcesLock);
        try {
            sources.push_back(s);
        } catch (const std::bad_alloc&) {
            delete s;
            setError(FSOUND_ERR_MEMORY);
            return nullptr;
        }
    }
    wake.notify_one();
    return s;
}

void VorbisDecoder::main() {
    std::vector<float> scratch((size_t)kScratchFrames * kOutChannels);
    uint64_t cpuStart = threadCpuNs();
    while (!quit.load()) {
        bool worked = false;
        for (size_t i = 0;; i++) {
            VorbisSource* s;
            {
                std::lock_guard<std::mutex> hold(sourcesLock);
                if (i >= sources.size()) break;
                s = sources[i];
            }
            worked |= s->service(scratch.data());
        }
        decodingCpuNs.store(threadCpuNs() - cpuStart);
        if (!worked) {
            std::unique_lock<std::mutex> sleep(wakeLock);
            wake.wait_for(sleep, std::chrono::milliseconds(10));
        }
    }
}

} // namespace

Decoder* newDecoder(bool ahead) {
    VorbisDecoder* d = make<VorbisDecoder>();
    if (!d) return nullptr;
    d->ahead = ahead;
    try {
        if (ahead) d->thread = std::thread(&VorbisDecoder::main, d);
        else d->waitScratch.resize((size_t)kScratchFrames * kOutChannels);
    } catch (const std::exception&) {
        delete d;
        setError(FSOUND_ERR_MEMORY);
        return nullptr;
    }
    return d;
}

} // namespace fsound
