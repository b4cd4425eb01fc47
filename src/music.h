/*
 * The music: two pieces on channel 0, the first once, then the second over and over,
 * with the spectrum analysis switched on for the frame's beat.
 */
#ifndef MUSIC_H
#define MUSIC_H

#include "fsound.h"

extern FSOUND_STREAM* mus;  /* "data/tarn1.ogg", null if it did not open */
extern FSOUND_STREAM* mus2; /* "data/tarn2.ogg", null if it did not open */

/* Starts the sound layer and the first piece. 0 when the layer started (whether or not the
 * pieces opened), -1 when it did not. */
int soundInit(void);

/* End-of-stream callback of both pieces: starts the second piece from its beginning. */
signed char nextMus(FSOUND_STREAM* pMus, void* dummy, int d2, int d3);

#endif
