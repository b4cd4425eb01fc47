/*
 * The spectrum of a block of mono samples: a Hann window, the layer's own real FFT and the
 * scale. Plain C++ with no dependencies, so that both editions compute the very same numbers;
 * the tests hold the transform against kissfft.
 *
 * The transform: the 1024 real samples are taken as 512 complex ones (even samples real, odd
 * imaginary), transformed by an iterative radix-2 FFT and split into the real input's
 * spectrum.
 */
#include "spectrum.h"

#include <math.h>

#include "rfft.h"

static_assert((int)FSOUND_FFT_SIZE == (int)FSOUND_RFFT_SIZE, "the transform's size is the spectrum's");

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

namespace {

struct Hann {
    float w[FSOUND_FFT_SIZE];
    Hann() {
        for (int i = 0; i < FSOUND_FFT_SIZE; i++)
            w[i] = (float)(0.5 - 0.5 * cos(2.0 * M_PI * i / FSOUND_FFT_SIZE));
    }
};

/* The Hann window's sum is N/2 and a sine splits its energy between two conjugate bins,
 * so a full-scale sine at a bin centre comes out of the transform as N/4. */
const float kScale = 4.0f / FSOUND_FFT_SIZE;

} // namespace

void fsound_spectrum(const float* mono1024, float* out512) {
    static const Hann hann;
    float windowed[FSOUND_FFT_SIZE];
    float re[FSOUND_FFT_SIZE / 2 + 1], im[FSOUND_FFT_SIZE / 2 + 1];
    for (int i = 0; i < FSOUND_FFT_SIZE; i++) windowed[i] = mono1024[i] * hann.w[i];
    fsound_rfft(windowed, re, im);
    for (int k = 0; k < FSOUND_SPECTRUM_SIZE; k++)
        out512[k] = sqrtf(re[k] * re[k] + im[k] * im[k]) * kScale;
}
