/*
 * The spectrum of a block of mono samples: what the frame reads to find the beat.
 */
#ifndef FSOUND_SPECTRUM_H
#define FSOUND_SPECTRUM_H

enum { FSOUND_FFT_SIZE = 1024, FSOUND_SPECTRUM_SIZE = 512 };

/* Magnitudes of the 1024 samples in mono1024 (full scale is -1..1), Hann windowed, into
 * out512: bin k covers k * rate / 1024 Hz, lowest first. A full-scale sine at a bin's centre
 * reads about 1.0 in that bin. Safe to call from several threads at once. */
void fsound_spectrum(const float* mono1024, float* out512);

#endif
