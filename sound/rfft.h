/*
 * A real-input FFT of 1024 samples, for builds where kissfft is not at hand (the browser
 * edition's spectrum). Plain C++ with no dependencies, so that every build compiles it and
 * the native tests can hold it against kissfft.
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
