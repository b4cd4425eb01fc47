/*
 * The frame's arithmetic without GL: the monotonic clock in microseconds, the letterbox and
 * its bounce on the beat, and the update of the per-frame record from the spectrum (its
 * sixteen bands and the beat level that rises on a loud low bin and decays each frame).
 */
#include "frame.h"

#include <math.h>
#include <time.h>

static const double BEAT_THRESHOLD = 0.3; /* first spectrum bin above this is a beat */
static const double BEAT_DECAY = 0.03;    /* beat level lost per frame */
static const int BAND_WIDTH = SPECTRUM_BINS / SPECTRUM_BANDS;

timestamp_t timeStamp(void) {
    // A clock that never steps: setting the wall clock (by hand, or NTP) must not
    // move the show backwards or make it jump.
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (timestamp_t)ts.tv_sec * 1000000 + ts.tv_nsec / 1000;
}

float secondsSince(timestamp_t start, timestamp_t now) { return (float)((double)(now - start) * 0.000001); }

float frameDelta(timestamp_t last, timestamp_t now) { return (float)((double)(now - last) / 1000 / 1000); }

int letterboxHeight(int winW) { return (int)(winW * 0.5625); }

int letterboxOffset(int winH, int realH) { return (winH - realH) / 2; }

int bounceTilt(float t) { return (int)(sin(t * 0.1) * 20); }

int bounceShift(float base, int tilt) { return (int)(base * tilt); }

int letterboxY(int offH, float base, float t) { return offH + bounceShift(base, bounceTilt(t)); }

void updateInfo(info_t* info, float* spectrum) {
    info->spectrum = spectrum;
    for (int i = 0; i < SPECTRUM_BANDS; i++) {
        info->spectrum16[i] = 0;
        for (int j = 0; j < BAND_WIDTH; j++) info->spectrum16[i] += spectrum[BAND_WIDTH * i + j];
        info->spectrum16[i] *= 0.03125;
    }
    if (spectrum[0] > BEAT_THRESHOLD) info->base = 1.0;
    if (info->base > 0) info->base = (float)(info->base - BEAT_DECAY);
}
