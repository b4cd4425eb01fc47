#include "music_measure.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include <vorbis/vorbisfile.h>

#include "spectrum.h"

namespace music {

namespace {

struct MemoryFile {
    const unsigned char* data;
    size_t size;
    size_t pos;
};

size_t memRead(void* ptr, size_t size, size_t count, void* source) {
    MemoryFile* m = (MemoryFile*)source;
    if (size == 0)
        return 0;
    size_t left = m->size - m->pos;
    size_t n = std::min(count, left / size);
    memcpy(ptr, m->data + m->pos, n * size);
    m->pos += n * size;
    return n;
}

int memSeek(void* source, ogg_int64_t offset, int whence) {
    MemoryFile* m = (MemoryFile*)source;
    ogg_int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? (ogg_int64_t)m->pos
                                                                    : (ogg_int64_t)m->size;
    ogg_int64_t to = base + offset;
    if (to < 0 || to > (ogg_int64_t)m->size)
        return -1;
    m->pos = (size_t)to;
    return 0;
}

long memTell(void* source) { return (long)((MemoryFile*)source)->pos; }

bool readAll(OggVorbis_File* vf, Decoded* out) {
    vorbis_info* vi = ov_info(vf, -1);
    if (!vi || vi->channels < 1)
        return false;
    out->rate = vi->rate;
    out->channels = vi->channels;
    out->pcm = synth::Stereo();
    for (;;) {
        float** chans = nullptr;
        int section = 0;
        long n = ov_read_float(vf, &chans, 1024, &section);
        if (n == OV_HOLE)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        for (long i = 0; i < n; i++) {
            out->pcm.l.push_back(chans[0][i]);
            out->pcm.r.push_back(chans[vi->channels > 1 ? 1 : 0][i]);
        }
    }
    return true;
}

/* One biquad section, direct form I in double precision. */
struct Biquad {
    double b0, b1, b2, a1, a2;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    double run(double x) {
        double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

/* The K-weighting pair for any rate, from the analogue prototypes of the two stages. */
void kWeighting(long rate, Biquad* shelf, Biquad* highPass) {
    double f0 = 1681.974450955533, gainDb = 3.999843853973347, q = 0.7071752369554196;
    double k = tan(M_PI * f0 / rate);
    double vh = pow(10.0, gainDb / 20.0);
    double vb = pow(vh, 0.4996667741545416);
    double a0 = 1.0 + k / q + k * k;
    *shelf = Biquad{(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0,
                    (vh - vb * k / q + k * k) / a0, 2.0 * (k * k - 1.0) / a0,
                    (1.0 - k / q + k * k) / a0};
    f0 = 38.13547087602444;
    q = 0.5003270373238773;
    k = tan(M_PI * f0 / rate);
    a0 = 1.0 + k / q + k * k;
    *highPass = Biquad{1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
}

} // namespace

bool music_decode(const unsigned char* data, size_t size, Decoded* out) {
    MemoryFile m = {data, size, 0};
    ov_callbacks cb = {memRead, memSeek, nullptr, memTell};
    OggVorbis_File vf;
    if (ov_open_callbacks(&m, &vf, nullptr, 0, cb) != 0)
        return false;
    bool ok = readAll(&vf, out);
    ov_clear(&vf);
    return ok;
}

bool music_decode_file(const char* path, Decoded* out) {
    OggVorbis_File vf;
    if (ov_fopen(path, &vf) != 0)
        return false;
    bool ok = readAll(&vf, out);
    ov_clear(&vf);
    return ok;
}

double music_peak_dbfs(const synth::Stereo& pcm) {
    float peak = 0.0f;
    for (size_t i = 0; i < pcm.size(); i++)
        peak = std::max(peak, std::max(fabsf(pcm.l[i]), fabsf(pcm.r[i])));
    return peak > 0.0f ? 20.0 * log10(peak) : -INFINITY;
}

double music_loudness(const synth::Stereo& pcm, long rate) {
    Biquad shelfL, highL, shelfR, highR;
    kWeighting(rate, &shelfL, &highL);
    shelfR = shelfL;
    highR = highL;
    size_t n = pcm.size();
    /* squared weighted samples summed over both channels, in 100 ms quarters of a block */
    long quarter = rate / 10;
    std::vector<double> quarters;
    double acc = 0.0;
    long inQuarter = 0;
    for (size_t i = 0; i < n; i++) {
        double l = highL.run(shelfL.run(pcm.l[i]));
        double r = highR.run(shelfR.run(pcm.r[i]));
        acc += l * l + r * r;
        if (++inQuarter == quarter) {
            quarters.push_back(acc);
            acc = 0.0;
            inQuarter = 0;
        }
    }
    std::vector<double> blocks; /* mean square of each 400 ms block */
    for (size_t q = 3; q < quarters.size(); q++)
        blocks.push_back((quarters[q - 3] + quarters[q - 2] + quarters[q - 1] + quarters[q]) /
                         (4.0 * quarter));
    auto lufs = [](double ms) { return -0.691 + 10.0 * log10(ms); };
    double sum = 0.0;
    int count = 0;
    for (double b : blocks)
        if (b > 0.0 && lufs(b) > -70.0) {
            sum += b;
            count++;
        }
    if (count == 0)
        return -INFINITY;
    double relativeGate = lufs(sum / count) - 10.0;
    sum = 0.0;
    count = 0;
    for (double b : blocks)
        if (b > 0.0 && lufs(b) > -70.0 && lufs(b) > relativeGate) {
            sum += b;
            count++;
        }
    return lufs(sum / count);
}

BeatFigures music_beats(const synth::Stereo& pcm, const std::vector<long>& kicks, long hop,
                        long offset, long beatSamples) {
    BeatFigures f;
    long n = (long)pcm.size();
    float mono[FSOUND_FFT_SIZE], spec[FSOUND_SPECTRUM_SIZE];
    auto lowestBin = [&](long t) {
        for (long i = 0; i < FSOUND_FFT_SIZE; i++) {
            long s = t - FSOUND_FFT_SIZE + i;
            mono[i] = 0.5f * (pcm.l[s] + pcm.r[s]);
        }
        fsound_spectrum(mono, spec);
        return spec[0];
    };
    for (size_t k = 0; k < kicks.size(); k++) {
        long from = kicks[k];
        long to = k + 1 < kicks.size() ? kicks[k + 1] : from + beatSamples;
        to = std::min(to, n);
        /* the first frame after the strike */
        long t = from + 1;
        if (t > offset)
            t = offset + ((t - offset + hop - 1) / hop) * hop;
        else
            t = offset;
        std::vector<float> seen;
        for (; t <= to; t += hop)
            if (t >= FSOUND_FFT_SIZE)
                seen.push_back(lowestBin(t));
        if (seen.empty())
            continue;
        f.kicks++;
        size_t top = std::max_element(seen.begin(), seen.end()) - seen.begin();
        float after = *std::min_element(seen.begin() + top, seen.end());
        f.weakest = std::min(f.weakest, seen[top]);
        f.stuck = std::max(f.stuck, after);
        if (seen[top] > kBeatThreshold)
            f.registered++;
        if (!(after > kBeatThreshold))
            f.fellBack++;
    }
    return f;
}

} // namespace music
