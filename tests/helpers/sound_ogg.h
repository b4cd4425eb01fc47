/*
 * Ogg Vorbis files for the sound tests: written with libvorbisenc from samples the tests
 * make, and decoded again with libvorbisfile as the reference the layer's output is
 * compared with.
 */
#ifndef SOUND_OGG_H
#define SOUND_OGG_H

#include <stdint.h>
#include <string>
#include <vector>

/* Interleaved float samples and their format. */
struct PcmClip {
    int rate = 0;
    int channels = 0;
    std::vector<float> samples;
    size_t frames() const { return channels ? samples.size() / channels : 0; }
};

/* seconds of sines, one frequency per channel, at amplitude amp (full scale is 1). */
PcmClip sineClip(int rate, const std::vector<double>& freqs, double seconds, double amp);

/* Kick drums: every period seconds a 40 Hz burst that dies away, for seconds in all. */
PcmClip kickClip(int rate, int channels, double seconds, double period);

/* Encodes the clip; false when the file cannot be written. */
bool writeOgg(const std::string& path, const PcmClip& clip);

/* The whole file decoded by libvorbisfile; an empty clip when it cannot be read. */
PcmClip decodeOgg(const std::string& path);

/* The layer's conversion of a mixed float sample to the output's 16 bits. */
int16_t quantize(float x);

/* The frames a clip becomes on the stereo 16-bit output. */
std::vector<int16_t> asOutput(const PcmClip& clip);

#endif
