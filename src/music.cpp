/*
 * The music: the two pieces opened and the first started at start-up, and the
 * end-of-stream callback that starts the second piece every time a piece ends.
 */
#include "music.h"

#include <stdio.h>

FSOUND_STREAM* mus = nullptr;
FSOUND_STREAM* mus2 = nullptr;

/* 16-bit signed mono, no loop: each piece plays once and then ends. */
static const unsigned int kStreamMode = 304;

int soundInit(void) {
    if (!FSOUND_Init(44100, 16, 0)) {
        puts("Error: Sound Init failed.");
        fflush(stdout);
        return -1;
    }
    mus = FSOUND_Stream_Open("data/tarn1.ogg", kStreamMode, 0, 0);
    mus2 = FSOUND_Stream_Open("data/tarn2.ogg", kStreamMode, 0, 0);
    if (mus && mus2) {
        FSOUND_Stream_Play(0, mus);
    } else {
        printf("Sound: LoadSong %d\n", FSOUND_GetError());
        fflush(stdout);
    }
    FSOUND_DSP_SetActive(FSOUND_DSP_GetFFTUnit(), 1);
    // Both callbacks go in after mus2 is set: nextMus reads it from the audio thread.
    FSOUND_Stream_SetEndCallback(mus, nextMus, 0);
    FSOUND_Stream_SetEndCallback(mus2, nextMus, 0);
    return 0;
}

signed char nextMus(FSOUND_STREAM* pMus, void* dummy, int d2, int d3) {
    (void)pMus;
    (void)dummy;
    (void)d2;
    (void)d3;
    puts("Sound 2");
    fflush(stdout); // seen when it happens, even when stdout is a pipe
    return (signed char)FSOUND_Stream_Play(0, mus2);
}
