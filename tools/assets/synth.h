/*
 * A small synthesizer: oscillators, envelopes, a filter, effects and the instruments that the
 * music generator plays. Everything renders offline into float buffers at 44100 Hz and is
 * deterministic: the same call always writes the same samples (noise comes from seeded
 * generators of our own, never from the C library).
 *
 * The instruments add one note at a time into a stereo bus; a note writes its whole life,
 * release tail included, so the sequencer needs no voice bookkeeping.
 */
#ifndef NV_SYNTH_H
#define NV_SYNTH_H

#include <math.h>
#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace synth {

const int kRate = 44100;

/* Two channels of equal length; writes past the end are dropped, so a note near the end of
 * the buffer needs no care from its caller. */
struct Stereo {
    std::vector<float> l, r;

    explicit Stereo(size_t n = 0) : l(n, 0.0f), r(n, 0.0f) {}
    size_t size() const { return l.size(); }
    void add(long i, float left, float right) {
        if (i < 0 || (size_t)i >= l.size())
            return;
        l[i] += left;
        r[i] += right;
    }
    void mix(const Stereo& o, float gain);
};

double midiHz(double note);

/* Deterministic white noise in [-1, 1). */
struct Noise {
    uint32_t s;
    explicit Noise(uint32_t seed) : s(seed ? seed : 0x9e3779b9u) {}
    float next() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return (float)((s >> 8) * (1.0 / 8388608.0) - 1.0);
    }
};

/* A band-limited oscillator (polyBLEP corrections at the wave's jumps). Phase runs 0..1. */
struct Osc {
    double phase = 0.0;
    explicit Osc(double startPhase = 0.0) : phase(startPhase - floor(startPhase)) {}
    float sine(double hz);
    float saw(double hz);
    float pulse(double hz, double width);
};

/* Topology-preserving state-variable filter; one call gives all three outputs. */
struct Svf {
    double ic1 = 0.0, ic2 = 0.0;
    double lastHz = -1.0, g = 0.0; /* the warped cutoff, kept while the cutoff holds still */
    void run(double in, double hz, double q, double* low, double* band, double* high);
    double low(double in, double hz, double q);
    double band(double in, double hz, double q);
    double high(double in, double hz, double q);
};

/* Attack, decay to sustain, release after the note's length; times in seconds. The decay and
 * release are exponential, as analogue envelopes are. */
struct Adsr {
    double a, d, s, r;
    double at(double t, double length) const;
    double end(double length) const { return length + 6.0 * r; } /* where it is silent */
};

/* Ping-pong echo: the left tap feeds the right and back, darkened on every pass. */
struct PingPong {
    std::vector<float> bufL, bufR;
    long pos = 0;
    long delay;
    float feedback;
    Svf toneL, toneR;
    double toneHz;
    PingPong(long delaySamples, float fb, double darkHz);
    void process(const Stereo& in, Stereo* out, float wet);
};

/* A Schroeder-Moorer reverb of eight damped combs and four all-passes per channel, with the
 * right channel's delays spread a little for width. */
struct Reverb {
    struct Comb { std::vector<float> buf; long pos = 0; float store = 0.0f; };
    struct AllPass { std::vector<float> buf; long pos = 0; };
    Comb combL[8], combR[8];
    AllPass apL[4], apR[4];
    float roomFeedback, damp;
    Svf lowCut;
    Reverb(float room, float dampening);
    void process(const Stereo& in, Stereo* out, float wet);
};

/* Instruments. start is the sample where the note begins; velocity 0..1 scales it. */
void kick(Stereo* bus, long start, float velocity);
void clap(Stereo* bus, long start, float velocity, uint32_t seed);
void hat(Stereo* bus, long start, float velocity, bool open, uint32_t seed);
void crash(Stereo* bus, long start, float velocity, uint32_t seed);
void riser(Stereo* bus, long start, long length, float velocity, uint32_t seed);
void bass(Stereo* bus, long start, long length, int note, float velocity);
void pad(Stereo* bus, long start, long length, int note, float velocity, double brightHz);
void arp(Stereo* bus, long start, long length, int note, float velocity, double brightHz,
         float pan);
void lead(Stereo* bus, long start, long length, int note, float velocity);

/* Peak limiter with look-ahead: no sample leaves above ceiling, and the gain moves smoothly
 * (it falls over the look-ahead span and recovers with the release time). */
void limit(Stereo* io, float ceiling, double releaseSeconds);

} // namespace synth

#endif
