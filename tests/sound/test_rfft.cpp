/*
 * The sound engine's own real FFT (the spectrum's, in both editions) against kissfft: the
 * same bins, to float precision, on noise and on tones.
 */
#include <math.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <kiss_fftr.h>

#include "rfft.h"

namespace {

const int kN = FSOUND_RFFT_SIZE;
const int kBins = kN / 2 + 1;

/* Every bin of ours within 1e-5 of the largest magnitude of kissfft's. */
void expectSameTransform(const std::vector<float>& in, const std::string& what) {
    kiss_fftr_cfg plan = kiss_fftr_alloc(kN, 0, nullptr, nullptr);
    ASSERT_NE(plan, nullptr);
    std::vector<kiss_fft_cpx> ref(kBins);
    kiss_fftr(plan, in.data(), ref.data());
    kiss_fftr_free(plan);

    std::vector<float> re(kBins), im(kBins);
    fsound_rfft(in.data(), re.data(), im.data());

    double peak = 0;
    for (const kiss_fft_cpx& c : ref) peak = std::max(peak, hypot((double)c.r, (double)c.i));
    ASSERT_GT(peak, 0.0) << what;
    for (int k = 0; k < kBins; k++) {
        ASSERT_NEAR(re[k], ref[k].r, 1e-5 * peak) << what << " bin " << k << " (real)";
        ASSERT_NEAR(im[k], ref[k].i, 1e-5 * peak) << what << " bin " << k << " (imaginary)";
    }
}

TEST(SoundFft, MatchesKissfftOnNoise) {
    std::mt19937 rng(20240607);
    std::uniform_real_distribution<float> full(-1.0f, 1.0f);
    for (int run = 0; run < 20; run++) {
        std::vector<float> in(kN);
        for (float& x : in) x = full(rng);
        expectSameTransform(in, "noise " + std::to_string(run));
    }
}

TEST(SoundFft, MatchesKissfftOnTonesAndEdges) {
    // Bin centres, between bins, the lowest and highest bins, and a lone impulse late in
    // the block: every bin and every butterfly path gets its turn.
    const double freqs[] = {1, 3, 37.5, 100, 255.25, 256, 411.7, 511, 512};
    for (double f : freqs) {
        std::vector<float> in(kN);
        for (int n = 0; n < kN; n++) in[n] = (float)sin(2.0 * M_PI * f * n / kN + 0.3);
        expectSameTransform(in, "sine at bin " + std::to_string(f));
    }
    std::vector<float> dc(kN, 0.25f), impulse(kN, 0.0f);
    impulse[777] = 1.0f;
    expectSameTransform(dc, "constant");
    expectSameTransform(impulse, "impulse");
}

} // namespace
