/*
 * What the editions' backends share and the engine does not need: the CPU time of the
 * calling thread, which a backend with a thread of its own reports through cpuNs, and where
 * a Vorbis stream's right side is, for the decoders.
 */
#ifndef FSOUND_BACKEND_H
#define FSOUND_BACKEND_H

#include <stdint.h>
#include <time.h>

namespace fsound {

/* CPU time of the calling thread, in nanoseconds. */
inline uint64_t threadCpuNs() {
    struct timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return (uint64_t)ts.tv_sec * 1000000000u + (uint64_t)ts.tv_nsec;
}

/* Of a Vorbis stream's channels, the one heard on the right: the front right in Vorbis's
 * channel order (L, C, R first for 3 and for 5 to 8 channels), and mono on both sides. */
inline int vorbisRightChannel(int channels) { return channels == 1 ? 0 : channels == 2 || channels == 4 ? 1 : 2; }

} // namespace fsound

#endif
