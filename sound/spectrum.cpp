#include "spectrum.h"

#include <math.h>
#include <stdlib.h>

#include <kiss_fftr.h>

namespace {

/* One plan, window and scratch space per thread: kiss_fftr writes into its plan while it runs. */
struct Analyser {
    kiss_fftr_cfg plan;
    float window[FSOUND_FFT_SIZE];
    float windowed[FSOUND_FFT_SIZE];
    kiss_fft_cpx bins[FSOUND_FFT_SIZE / 2 + 1];

    Analyser() : plan(kiss_fftr_alloc(FSOUND_FFT_SIZE, 0, nullptr, nullptr)) {
        for (int i = 0; i < FSOUND_FFT_SIZE; i++)
            window[i] = (float)(0.5 - 0.5 * cos(2.0 * M_PI * i / FSOUND_FFT_SIZE));
    }
    ~Analyser() { kiss_fftr_free(plan); }
    Analyser(const Analyser&) = delete;
    Analyser& operator=(const Analyser&) = delete;
};

/* The Hann window's sum is N/2 and a sine splits its energy between two conjugate bins,
 * so a full-scale sine at a bin centre comes out of the transform as N/4. */
const float kScale = 4.0f / FSOUND_FFT_SIZE;

} // namespace

void fsound_spectrum(const float* mono1024, float* out512) {
    static thread_local Analyser a;
    for (int i = 0; i < FSOUND_FFT_SIZE; i++)
        a.windowed[i] = mono1024[i] * a.window[i];
    kiss_fftr(a.plan, a.windowed, a.bins);
    for (int k = 0; k < FSOUND_SPECTRUM_SIZE; k++)
        out512[k] = sqrtf(a.bins[k].r * a.bins[k].r + a.bins[k].i * a.bins[k].i) * kScale;
}
