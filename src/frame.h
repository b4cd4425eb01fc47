/*
 * The frame's arithmetic, apart from GL so that it can be checked on its own:
 * the letterbox, its bounce, the clock and the update of the shared record.
 */
#ifndef FRAME_H
#define FRAME_H

#include <stdint.h>

#include "info.h"

/* Microseconds of the monotonic clock: seconds * 1000000 + microseconds. It
 * counts from an arbitrary start and never steps when the wall clock is set;
 * 64 bits keep microsecond resolution for the whole run. */
typedef int64_t timestamp_t;

timestamp_t timeStamp(void);

/* Seconds from start to now, as the frame's clock t. */
float secondsSince(timestamp_t start, timestamp_t now);
/* Seconds from the previous frame's stamp to now. */
float frameDelta(timestamp_t last, timestamp_t now);

/* Height of a 16:9 picture as wide as the window, truncated toward zero. */
int letterboxHeight(int winW);
/* Rows between the window's bottom and the letterbox, truncated toward zero. */
int letterboxOffset(int winH, int realH);
/* Bounce amplitude in rows, -20 to 20, swinging slowly with t. */
int bounceTilt(float t);
/* The viewport's shift for beat level base and amplitude tilt. */
int bounceShift(float base, int tilt);
/* The letterbox's bottom row at time t: offH moved by the beat level base.
 * Rows count up from the window's bottom, so a positive shift lifts it. */
int letterboxY(int offH, float base, float t);

/* The spectrum the frame reads, and the bands it is summed into. */
enum { SPECTRUM_BINS = 512, SPECTRUM_BANDS = 16 };

/* Band means and beat level from the spectrum of 512 bins just read. */
void updateInfo(info_t* info, float* spectrum);

#endif
