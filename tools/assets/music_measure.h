/*
 * Listening with numbers: decoding Ogg Vorbis, peak and loudness, and how the demo's beat
 * detector will see a piece. The generator prints these figures; the tests hold the committed
 * files to them.
 */
#ifndef NV_MUSIC_MEASURE_H
#define NV_MUSIC_MEASURE_H

#include <stddef.h>

#include <vector>

#include "synth.h"

namespace music {

struct Decoded {
    long rate = 0;
    int channels = 0;
    synth::Stereo pcm; /* a mono file fills both sides alike */
};

/* Whole-file decodes through libvorbisfile; false when the bytes are not Ogg Vorbis. */
bool music_decode(const unsigned char* data, size_t size, Decoded* out);
bool music_decode_file(const char* path, Decoded* out);

/* The highest absolute sample of either channel, in dB below full scale. */
double music_peak_dbfs(const synth::Stereo& pcm);

/* Integrated loudness in LUFS as broadcasters measure it: K-weighting (a high shelf near
 * 1.7 kHz over a high-pass near 38 Hz), mean square per 400 ms block with 75 % overlap, blocks
 * below -70 LUFS and then below the mean minus 10 LU left out. */
double music_loudness(const synth::Stereo& pcm, long rate);

/* The demo raises its letterbox when the lowest of the 512 spectrum magnitudes of the latest
 * 1024 samples of the mono mix exceeds this. */
const double kBeatThreshold = 0.3;

struct BeatFigures {
    int kicks = 0;
    int registered = 0;  /* kicks after which some frame saw the lowest bin above threshold */
    int fellBack = 0;    /* kicks after whose highest frame the bin sank to threshold or below
                            before the next kick */
    float weakest = 1e9f;   /* the least of the kicks' highest readings */
    float stuck = 0.0f;     /* the greatest of the kicks' lowest readings after their peak */
};

/* Slides the analysis window over the mono mix as the demo's frames would read it: a frame at
 * sample t sees samples t-1024 .. t-1, frames fall every `hop` samples from `offset`. Each kick
 * is judged by the frames after its strike up to the next strike (or one beat). */
BeatFigures music_beats(const synth::Stereo& pcm, const std::vector<long>& kicks, long hop,
                        long offset, long beatSamples);

} // namespace music

#endif
