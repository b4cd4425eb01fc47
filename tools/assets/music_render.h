/*
 * The sequencer and the mastering chain: plays a piece of the score through the synthesizer,
 * mixes and masters it to a fixed loudness under a peak ceiling, and encodes it as Ogg Vorbis.
 */
#ifndef NV_MUSIC_RENDER_H
#define NV_MUSIC_RENDER_H

#include <vector>

#include "music_score.h"
#include "synth.h"

namespace music {

const double kTargetLufs = -14.0;
const double kPeakCeilingDbfs = -1.0; /* after decoding; the encoder may overshoot a little */
const float kVorbisQuality = 0.4f;

/* The piece's mix before mastering, exactly piece.bars bars long. A looping piece is played
 * twice and the second pass kept, so the tails of its last bar sound again under its first. */
synth::Stereo music_render(const Piece& piece);

/* Brings a mix to kTargetLufs under a sample ceiling (dBFS). A looping piece is limited as the
 * loop plays it, its end running into its beginning. */
synth::Stereo music_master(const synth::Stereo& mix, bool loops, float ceilingDbfs);

/* Ogg Vorbis at kVorbisQuality with a fixed stream serial, so equal input gives equal bytes.
 * The comments name the piece and the libvorbis release that encoded it. */
bool music_encode(const synth::Stereo& pcm, const char* title, int serial,
                  std::vector<unsigned char>* ogg);

/* Renders and encodes piece `which`, lowering the ceiling until the decoded peak keeps below
 * kPeakCeilingDbfs. Fills the final bytes. */
bool music_make(int which, std::vector<unsigned char>* ogg);

/* The comment tag that records the encoding library's release. */
extern const char* const kEncoderTag;

} // namespace music

#endif
