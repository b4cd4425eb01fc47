/*
 * The 1024 real samples are taken as 512 complex ones (even samples real, odd imaginary),
 * transformed by an iterative radix-2 FFT and split into the real input's spectrum.
 */
#include "rfft.h"

#include <math.h>

namespace {

const int kN = FSOUND_RFFT_SIZE; /* real samples */
const int kM = kN / 2;           /* complex points */
const int kLog2M = 9;

struct Tables {
    int reversed[kM];        /* bit-reversed index */
    double twiddleRe[kM / 2]; /* exp(-2 pi i j / M) */
    double twiddleIm[kM / 2];
    double splitRe[kM + 1];   /* exp(-2 pi i k / N) */
    double splitIm[kM + 1];

    Tables() {
        for (int i = 0; i < kM; i++) {
            int r = 0;
            for (int b = 0; b < kLog2M; b++) r |= ((i >> b) & 1) << (kLog2M - 1 - b);
            reversed[i] = r;
        }
        for (int j = 0; j < kM / 2; j++) {
            twiddleRe[j] = cos(2.0 * M_PI * j / kM);
            twiddleIm[j] = -sin(2.0 * M_PI * j / kM);
        }
        for (int k = 0; k <= kM; k++) {
            splitRe[k] = cos(2.0 * M_PI * k / kN);
            splitIm[k] = -sin(2.0 * M_PI * k / kN);
        }
    }
};

const Tables& tables() {
    static const Tables t; // built once, thread-safe
    return t;
}

} // namespace

void fsound_rfft(const float* in, float* re, float* im) {
    const Tables& t = tables();
    double zr[kM], zi[kM];
    for (int n = 0; n < kM; n++) {
        int r = t.reversed[n];
        zr[r] = in[2 * n];
        zi[r] = in[2 * n + 1];
    }

    // Butterflies: stage with spans of `half`, twiddle step M / (2 * half).
    for (int half = 1; half < kM; half *= 2) {
        int step = kM / (2 * half);
        for (int start = 0; start < kM; start += 2 * half) {
            for (int j = 0; j < half; j++) {
                double wr = t.twiddleRe[j * step], wi = t.twiddleIm[j * step];
                int a = start + j, b = a + half;
                double br = zr[b] * wr - zi[b] * wi;
                double bi = zr[b] * wi + zi[b] * wr;
                zr[b] = zr[a] - br;
                zi[b] = zi[a] - bi;
                zr[a] += br;
                zi[a] += bi;
            }
        }
    }

    // Z[k] = E[k] + i O[k], where E and O are the spectra of the even and odd samples:
    // E[k] = (Z[k] + conj Z[M-k]) / 2, O[k] = (Z[k] - conj Z[M-k]) / 2i, and
    // X[k] = E[k] + exp(-2 pi i k / N) O[k].
    for (int k = 0; k <= kM; k++) {
        int a = k % kM, b = (kM - k) % kM;
        double er = 0.5 * (zr[a] + zr[b]), ei = 0.5 * (zi[a] - zi[b]);
        double or_ = 0.5 * (zi[a] + zi[b]), oi = -0.5 * (zr[a] - zr[b]);
        re[k] = (float)(er + t.splitRe[k] * or_ - t.splitIm[k] * oi);
        im[k] = (float)(ei + t.splitRe[k] * oi + t.splitIm[k] * or_);
    }
}
