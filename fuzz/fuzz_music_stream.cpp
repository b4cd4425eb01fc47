// Arbitrary bytes as a piece of music that arrives over the network, as the browser's
// decoder (web/sound/source_stb.cpp) takes it: opened before any byte has come, handed over
// in chunks whose sizes the input's first byte sets while the mixer takes frames and asks
// whether the next ones have come, then played to its end and once more from its start. The
// page's side is played here; the mix goes to the capture output.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "fsound.h"
#include "fsound_capture.h"
#include "fsound_internal.h"

extern "C" unsigned char* fsound_web_piece_room(int piece, int n);
extern "C" void fsound_web_piece_end(int piece, int whole);

static int g_piece = -1;

// The page: it has every file asked for, and delivers nothing before being told to.
extern "C" int nv_sound_web_fetch(const char*, int piece) {
    g_piece = piece;
    return 1;
}

namespace fsound {
// No device: the capture output takes the mix.
Output* newDeviceOutput(int) {
    setError(FSOUND_ERR_INIT);
    return nullptr;
}
} // namespace fsound

static bool g_ended = false;

static signed char ended(FSOUND_STREAM*, void*, int, int) {
    g_ended = true;
    return 0;
}

// A few video frames' worth of mixing, asking first whether the frames have come.
static void play(int frames) {
    int16_t out[2 * 800];
    float ready[2 * 1024];
    for (int i = 0; i < frames && !g_ended; i++) {
        fsound::renderReady(ready, 1024);
        fsound_capture_frame(out, 800);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setenv("FSOUND_OUTPUT", "capture", 1);
    if (!FSOUND_Init(44100, 2, 0)) return 0;
    size_t chunk = size ? 1 + (size_t)data[0] * 61 : 1;
    FSOUND_STREAM* stream = FSOUND_Stream_Open("piece.ogg", 304, 0, 0);
    if (stream && FSOUND_Stream_SetEndCallback(stream, ended, 0) && FSOUND_Stream_Play(0, stream) == 0) {
        g_ended = false;
        for (size_t at = 0; at < size; at += chunk) {
            size_t n = size - at < chunk ? size - at : chunk;
            unsigned char* room = fsound_web_piece_room(g_piece, (int)n);
            if (!room) break;
            memcpy(room, data + at, n);
            play(1);
        }
        fsound_web_piece_end(g_piece, 1);
        play(400);
        g_ended = false;
        FSOUND_Stream_Play(0, stream);
        play(20);
    }
    fsound_shutdown();
    return 0;
}
