/*
 * The capture output of the sound layer (FSOUND_OUTPUT=capture, see fsound.h): for a program
 * that records the demo frame by frame in its own time. Such a program runs inside the
 * demo's process, as a preloaded library, and finds these calls with dlsym: every executable
 * that links the layer exports them.
 *
 * The capturing program's clock runs in video frames of FSOUND_CAPTURE_FPS per second.
 * Video frame k holds the output frames from floor(k * rate / fps) up to
 * floor((k + 1) * rate / fps), so the count stays exact at any frame rate (735 a frame at
 * 44100 Hz and 60 frames per second). Within a video frame, FSOUND_DSP_GetSpectrum analyses
 * the 1024 output frames that end with the video frame's last one. Streams are decoded and
 * mixed, and end callbacks called, on the thread that makes these calls or reads the
 * spectrum, at the moment they are needed.
 */
#ifndef FSOUND_CAPTURE_H
#define FSOUND_CAPTURE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The mixing rate while the capture output runs; 0 when it does not. */
int fsound_capture_rate(void);
typedef int (*fsound_capture_rate_fn)(void);

/* Ends the current video frame: mixes what it still lacks, copies its output frames to out
 * (16-bit stereo, interleaved, at most maxFrames frames) and moves on to the next video
 * frame. Returns the number of frames copied; -1, with nothing changed, when the capture
 * output is not running or the frame does not fit (a frame never holds more than
 * rate / fps + 1 frames). */
int fsound_capture_frame(int16_t* out, int maxFrames);
typedef int (*fsound_capture_frame_fn)(int16_t* out, int maxFrames);

#ifdef __cplusplus
}
#endif

#endif
