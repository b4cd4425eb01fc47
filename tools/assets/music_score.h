/*
 * The two pieces of the demo's music as the sequencer reads them: tempo and length, the notes
 * of every instrument, and the per-bar levels that shape the arrangement. The tempo is chosen
 * so that a bar is a whole number of samples, which lets the loop end exactly on a bar line.
 */
#ifndef NV_MUSIC_SCORE_H
#define NV_MUSIC_SCORE_H

#include <vector>

namespace music {

const long kRate = 44100;
const int kBpm = 126;
const int kBeatsPerBar = 4;
const int kStepsPerBar = 16; /* the sequencer's grid: sixteenth notes */
const long kSamplesPerBar = kRate * 60 * kBeatsPerBar / kBpm;
const long kSamplesPerBeat = kSamplesPerBar / kBeatsPerBar;
const long kSamplesPerStep = kSamplesPerBar / kStepsPerBar;
static_assert(kRate * 60 * kBeatsPerBar % kBpm == 0, "a bar must be a whole number of samples");
static_assert(kSamplesPerBar % kStepsPerBar == 0, "a step must be a whole number of samples");

const int kIntroBars = 18; /* "tarn1": played once, builds up */
const int kLoopBars = 12;  /* "tarn2": repeats for as long as the demo runs */

enum Voice { kKick, kClap, kHat, kOpenHat, kCrash, kRiser, kBass, kPad, kArp, kLead, kVoiceCount };

struct Event {
    Voice voice;
    long step;   /* start, in sixteenths from the piece's beginning */
    int steps;   /* length in sixteenths (drums ignore it, except the riser) */
    int note;    /* MIDI note number; 0 for drums */
    float velocity;
};

struct Piece {
    const char* name;   /* file name inside data/ */
    int bars;
    bool loops;         /* rendered with its own end flowing into its beginning */
    std::vector<Event> events;
    /* per voice, one level per bar line (bars + 1 values): the level moves linearly from one
     * bar line to the next, so a fade spans whole bars */
    std::vector<float> level[kVoiceCount];
    std::vector<float> arpBright; /* Hz of the arpeggio's filter, per bar line likewise */
    std::vector<float> padBright;
};

enum { kIntro = 0, kLoop = 1, kPieceCount = 2 };

/* Builds piece kIntro or kLoop from the score's text. */
Piece music_piece(int which);

/* Sample offsets of the kick drum's strikes, in order. */
std::vector<long> music_kicks(const Piece& piece);

} // namespace music

#endif
