/*
 * The desktop's sources: Ogg Vorbis files decoded with libvorbisfile, converted to the
 * output's rate with libsamplerate, and kept decoded ahead of the mixer by a thread of the
 * decoder's own (source_vorbis.cpp). The sizes, for the tests that play past them.
 */
#ifndef FSOUND_SOURCE_VORBIS_H
#define FSOUND_SOURCE_VORBIS_H

namespace fsound {

enum {
    kHeadFrames = 32768,   /* kept decoded from each stream's start (0.74 s), so restarts never wait and the decoder has that long to refill behind them */
    kRingFrames = 65536,   /* decode-ahead per stream (about 1.5 s at 44.1 kHz) */
    kDecodeRoom = 16384,   /* the decoder tops a ring up once this much is free */
    kStepFrames = 512,     /* file frames decoded per step */
    kScratchFrames = 16384 /* one step's output at most: kStepFrames times 24 (8 to 192 kHz) */
};

} // namespace fsound

#endif
