/*
 * Compares the browser edition's capture run of the demo's music with the native layer's
 * (both made by run.cpp): the mix, sample for sample to a least significant bit (the two
 * decoders round differently); the spectrum of every video frame, above all its first bin,
 * from which the demo takes its beat; and the video frames in which "Sound 2" was printed,
 * which must be those holding the last frame of each piece.
 *
 *   compare NATIVE_DIR WEB_DIR FIRST.ogg SECOND.ogg
 *
 * Each directory holds mix.raw, spectrum.f32 and run.log. Prints the figures as its last
 * line and exits 0 when the runs agree.
 */
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include <vorbis/vorbisfile.h>

namespace {

const int kBins = 512;
const int kFramesPerVideoFrame = 735; /* 44100 Hz at 60 frames per second */
const float kBeat = 0.3f;             /* the demo's beat test on the first bin */
const float kBinZeroTolerance = 1e-3f;
const float kSpectrumTolerance = 1e-3f;

std::vector<int16_t> readMix(const std::string& dir) {
    std::vector<int16_t> all;
    FILE* f = fopen((dir + "/mix.raw").c_str(), "rb");
    if (!f) return all;
    int16_t buffer[4096];
    size_t n;
    while ((n = fread(buffer, sizeof(int16_t), 4096, f)) > 0) all.insert(all.end(), buffer, buffer + n);
    fclose(f);
    return all;
}

std::vector<float> readSpectra(const std::string& dir) {
    std::vector<float> all;
    FILE* f = fopen((dir + "/spectrum.f32").c_str(), "rb");
    if (!f) return all;
    float buffer[kBins];
    while (fread(buffer, sizeof(float), kBins, f) == kBins) all.insert(all.end(), buffer, buffer + kBins);
    fclose(f);
    return all;
}

/* The video frames in which "Sound 2" was printed, once per line. */
std::vector<long> soundTwoFrames(const std::string& dir) {
    std::vector<long> at;
    FILE* f = fopen((dir + "/run.log").c_str(), "r");
    if (!f) return at;
    char line[256];
    long frame = -1;
    while (fgets(line, sizeof line, f)) {
        long k;
        if (sscanf(line, "video frame %ld", &k) == 1) frame = k;
        else if (strcmp(line, "Sound 2\n") == 0) at.push_back(frame);
    }
    fclose(f);
    return at;
}

long pieceFrames(const char* path) {
    OggVorbis_File vf;
    if (ov_fopen(path, &vf) != 0) return -1;
    long n = (long)ov_pcm_total(&vf, -1);
    ov_clear(&vf);
    return n;
}

std::string list(const std::vector<long>& v) {
    std::string s;
    for (size_t i = 0; i < v.size() && i < 10; i++) s += (i ? "," : "") + std::to_string(v[i]);
    if (v.size() > 10) s += ",... (" + std::to_string(v.size()) + " in all)";
    return s.empty() ? "none" : s;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: compare NATIVE_DIR WEB_DIR FIRST.ogg SECOND.ogg\n");
        return 2;
    }
    std::vector<float> native = readSpectra(argv[1]), web = readSpectra(argv[2]);
    long len1 = pieceFrames(argv[3]), len2 = pieceFrames(argv[4]);
    if (native.empty() || len1 <= 0 || len2 <= 0) {
        fprintf(stderr, "cannot read the native run or the pieces\n");
        return 2;
    }
    int ok = 1;
    size_t frames = native.size() / kBins;
    if (web.size() != native.size()) {
        printf("the web run has %zu video frames, the native run %zu\n", web.size() / kBins, frames);
        return 1;
    }

    // The mix: every sample within one step; a gap or a late restart is far more.
    std::vector<int16_t> nativeMix = readMix(argv[1]), webMix = readMix(argv[2]);
    int maxMixDiff = 0;
    size_t firstMismatch = SIZE_MAX;
    for (size_t i = 0; i < nativeMix.size() && i < webMix.size(); i++) {
        int d = abs((int)nativeMix[i] - (int)webMix[i]);
        maxMixDiff = d > maxMixDiff ? d : maxMixDiff;
        if (d > 1 && firstMismatch == SIZE_MAX) firstMismatch = i / 2;
    }
    if (nativeMix.empty() || webMix.size() != nativeMix.size() || firstMismatch != SIZE_MAX) {
        printf("the mixes differ: %zu and %zu samples, first frame apart by more than a step: %zd\n",
               nativeMix.size(), webMix.size(), firstMismatch == SIZE_MAX ? (ssize_t)-1 : (ssize_t)firstMismatch);
        ok = 0;
    }

    // The beat: the same frames cross the threshold, with values close throughout.
    float maxBinZero = 0, maxAny = 0;
    long beats = 0, beatMismatches = 0;
    for (size_t k = 0; k < frames; k++) {
        float a = native[k * kBins], b = web[k * kBins];
        maxBinZero = fmaxf(maxBinZero, fabsf(a - b));
        if ((a > kBeat) != (b > kBeat)) {
            if (++beatMismatches <= 10)
                printf("video frame %zu: bin 0 native %.6f web %.6f, on opposite sides of the beat\n", k, a, b);
        }
        beats += a > kBeat && (k == 0 || native[(k - 1) * kBins] <= kBeat);
        for (int i = 0; i < kBins; i++)
            maxAny = fmaxf(maxAny, fabsf(native[k * kBins + i] - web[k * kBins + i]));
    }
    if (beatMismatches || maxBinZero > kBinZeroTolerance || maxAny > kSpectrumTolerance) ok = 0;

    // "Sound 2" once per end of a piece, in the video frame holding that piece's last frame.
    std::vector<long> expected;
    for (long last = len1 - 1; last / kFramesPerVideoFrame < (long)frames; last += len2)
        expected.push_back(last / kFramesPerVideoFrame);
    std::vector<long> nativeAt = soundTwoFrames(argv[1]), webAt = soundTwoFrames(argv[2]);
    if (webAt != expected || nativeAt != expected) {
        printf("\"Sound 2\" expected in video frames %s: native %s, web %s\n", list(expected).c_str(),
               list(nativeAt).c_str(), list(webAt).c_str());
        ok = 0;
    }

    printf("mix_max_diff %d video_frames %zu beats %ld beat_mismatches %ld bin0_max_diff %.3g spectrum_max_diff %.3g "
           "sound2_frames %s\n",
           maxMixDiff, frames, beats, beatMismatches, maxBinZero, maxAny, list(webAt).c_str());
    return ok ? 0 : 1;
}
