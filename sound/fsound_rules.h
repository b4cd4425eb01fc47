/*
 * What every output of the sound layer decides alike, whichever build it is in (the desktop's
 * SDL2 layer, the browser's Web Audio layer): the arguments FSOUND_Init takes, the output the
 * environment chooses, the capture output's frame rate and its frame arithmetic, and the
 * step from the float mix to 16-bit samples.
 */
#ifndef FSOUND_RULES_H
#define FSOUND_RULES_H

#include <math.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

namespace fsound_rules {

enum { kMaxChannels = 64, kDefaultCaptureFps = 60, kMaxCaptureFps = 1000 };

/* FSOUND_Init's arguments: 8000..192000 Hz, 1..64 channels, no flags. */
inline bool initArgumentsValid(int mixrate, int maxchannels, unsigned int flags) {
    return mixrate >= 8000 && mixrate <= 192000 && maxchannels >= 1 && maxchannels <= kMaxChannels &&
           flags == 0;
}

enum Output { OUTPUT_DEVICE, OUTPUT_CAPTURE, OUTPUT_UNKNOWN };

/* FSOUND_OUTPUT, chosen from outside as SDL chooses its driver: unset, empty or "sdl" plays
 * on the build's own device; "capture" hands the mix to a program that takes it frame by
 * frame; any other name is an output the layer does not have. */
inline Output outputFromEnvironment() {
    const char* name = getenv("FSOUND_OUTPUT");
    if (!name || !*name || strcmp(name, "sdl") == 0) return OUTPUT_DEVICE;
    return strcmp(name, "capture") == 0 ? OUTPUT_CAPTURE : OUTPUT_UNKNOWN;
}

/* FSOUND_CAPTURE_FPS: the default when unset or empty; false when it is not a whole number
 * from 1 to 1000. */
inline bool captureFpsFromEnvironment(int* fps) {
    *fps = kDefaultCaptureFps;
    const char* value = getenv("FSOUND_CAPTURE_FPS");
    if (!value || !*value) return true;
    char* end = nullptr;
    long n = strtol(value, &end, 10);
    if (*end != '\0' || n < 1 || n > kMaxCaptureFps) return false;
    *fps = (int)n;
    return true;
}

/* The output frame that ends video frame k, exclusive: (k + 1) * rate / fps rounded down, so
 * that the count stays exact at any frame rate. */
inline uint64_t captureFrameEnd(int rate, int fps, uint64_t k) { return (k + 1) * (uint64_t)rate / (uint64_t)fps; }
inline uint64_t captureFrameStart(int rate, int fps, uint64_t k) {
    return k ? captureFrameEnd(rate, fps, k - 1) : 0;
}

/* A clipped mix sample (-1..1) as 16 bits. */
inline int16_t toSample(float x) { return (int16_t)lrintf(x * 32767.0f); }

} // namespace fsound_rules

#endif
