/*
 * nv_capture_analyse: measures what the capture test needs from decoded pictures and sound.
 *   nv_capture_analyse bands W H < frames.rgb
 *       one line per frame: its index and the height in rows of the black band at the
 *       bottom and at the top of the picture (the window left uncovered by the letterbox),
 *       measured in the right half, away from the logo
 *   nv_capture_analyse onsets RATE < mono.s16
 *       one line per kick: the sample at which it starts (silence, then a loud low burst)
 *   nv_capture_analyse compare W H A.rgb B.rgb
 *       mean absolute difference of the channels, and the share of pixels off by more
 *       than 48 in some channel
 * Pictures are raw rgb24, top row first; sound is signed 16-bit native-endian mono.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "picture.h"

namespace {

const int kBlack = 40;           /* brightest channel value still counted as black */
const double kLoud = 0.25;       /* a kick's peak, of full scale */
const double kStart = 0.05;      /* the level at which a kick's first swing counts as begun */
const double kGapSeconds = 0.2;  /* the least time between one kick's loud part and the next */
const int kFarOff = 48;

int usage() {
    fprintf(stderr, "usage: nv_capture_analyse bands W H < frames.rgb\n"
                    "       nv_capture_analyse onsets RATE < mono.s16\n"
                    "       nv_capture_analyse compare W H A.rgb B.rgb\n");
    return 2;
}

bool blackRow(const unsigned char* row, int w) {
    for (int x = w / 2; x < w; x++) {
        const unsigned char* p = row + 3 * x;
        if (std::max(p[0], std::max(p[1], p[2])) > kBlack) return false;
    }
    return true;
}

int bands(int w, int h) {
    std::vector<unsigned char> frame((size_t)w * h * 3);
    size_t row = (size_t)w * 3;
    for (long k = 0; fread(frame.data(), 1, frame.size(), stdin) == frame.size(); k++) {
        int bottom = 0, top = 0;
        while (bottom < h && blackRow(&frame[(size_t)(h - 1 - bottom) * row], w)) bottom++;
        while (top < h && blackRow(&frame[(size_t)top * row], w)) top++;
        printf("%ld %d %d\n", k, bottom, top);
    }
    return 0;
}

int onsets(int rate) {
    std::vector<int16_t> s;
    int16_t buf[4096];
    size_t n;
    while ((n = fread(buf, 2, 4096, stdin)) > 0) s.insert(s.end(), buf, buf + n);
    const double full = 32767.0;
    size_t gap = (size_t)(kGapSeconds * rate);
    bool seenLoud = false;
    size_t lastLoud = 0;
    for (size_t i = 0; i < s.size(); i++) {
        if (abs(s[i]) / full < kLoud) continue;
        // A kick: a loud sample long after the last one. It began where the swing that
        // leads up to it rose above the start level.
        if (!seenLoud || i - lastLoud > gap) {
            size_t at = i;
            while (at > 0 && abs(s[at - 1]) / full >= kStart) at--;
            printf("%zu\n", at);
        }
        seenLoud = true;
        lastLoud = i;
    }
    return 0;
}

bool readAll(const char* path, std::vector<unsigned char>* out) {
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    unsigned char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out->insert(out->end(), buf, buf + n);
    fclose(f);
    return true;
}

int compare(int w, int h, const char* a, const char* b) {
    std::vector<unsigned char> pa, pb;
    size_t size = (size_t)w * h * 3;
    if (!readAll(a, &pa) || !readAll(b, &pb) || pa.size() < size || pb.size() < size) {
        fprintf(stderr, "nv_capture_analyse: cannot read two %dx%d pictures\n", w, h);
        return 1;
    }
    nvt::Difference d = nvt::difference(pa.data(), pb.data(), size / 3, kFarOff);
    printf("%.3f %.5f\n", d.mean, (double)d.farPixels / (size / 3));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && !strcmp(argv[1], "bands")) return bands(atoi(argv[2]), atoi(argv[3]));
    if (argc == 3 && !strcmp(argv[1], "onsets")) return onsets(atoi(argv[2]));
    if (argc == 6 && !strcmp(argv[1], "compare")) return compare(atoi(argv[2]), atoi(argv[3]), argv[4], argv[5]);
    return usage();
}
