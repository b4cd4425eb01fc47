/*
 * The real-input FFT of 1024 samples under the spectrum (defined in spectrum.cpp), the same
 * in both editions. Plain C++ with no dependencies; the tests hold it against kissfft.
 */
#ifndef FSOUND_RFFT_H
#define FSOUND_RFFT_H

enum { FSOUND_RFFT_SIZE = 1024 };

/* The forward transform of the 1024 samples in `in`, unscaled, as kiss_fftr gives it:
 * X[k] = sum over n of in[n] * exp(-2 pi i k n / 1024), for k = 0 to 512 (the other half is
 * the conjugate mirror), real parts into re[513] and imaginary parts into im[513].
 * Computed in double, so its error is that of the float result alone. Safe to call from
 * several threads at once. */
void fsound_rfft(const float* in, float* re, float* im);

#endif
