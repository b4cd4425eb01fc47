/*
 * The spectrum of a block of mono samples (sound/spectrum.h) for the browser edition: the
 * native layer's window and scale over the layer's own real FFT instead of kissfft.
 */
#include "spectrum.h"

#include <math.h>

#include "rfft.h"

namespace {

static_assert(FSOUND_FFT_SIZE == FSOUND_RFFT_SIZE, "the transform's size is the spectrum's");

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
