#include "synth.h"

#include <math.h>

#include <algorithm>
#include <deque>

namespace synth {

namespace {

const double kTwoPi = 6.283185307179586;

/* Kick: a sine that sweeps from kKickTopHz down to kKickFloorHz. The floor sits low enough
 * that its energy lands in the lowest analysis band the beat detector watches, and that band
 * reads a slow wave well whatever its phase in the analysis window; the decay is short enough
 * that the band empties again long before the next beat. */
const double kKickTopHz = 150.0;
const double kKickFloorHz = 38.0;
const double kKickSweep = 0.012;  /* s, time constant of the pitch fall */
const double kKickHold = 0.120;   /* s at full level before the decay */
const double kKickDecay = 0.050;  /* s, time constant of the level after the hold */
const double kKickLength = 0.40;  /* s */
const double kKickDrive = 1.2;    /* tanh drive: rounds the body a little */
const double kKickClick = 0.2;    /* level of the beater's noise */

double clampHz(double hz) { return std::min(std::max(hz, 10.0), 0.45 * kRate); }

/* polyBLEP residual for a jump at phase 0 of a wave advancing dt per sample. */
double blep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

double wrap(double p) { return p - floor(p); }

/* A short fade so that a note cut at its end never clicks. */
double tailFade(long i, long n, long fade) {
    long left = n - i;
    return left < fade ? (double)left / (double)fade : 1.0;
}

void panGains(float pan, float* gl, float* gr) {
    *gl = pan > 0.0f ? 1.0f - pan : 1.0f;
    *gr = pan < 0.0f ? 1.0f + pan : 1.0f;
}

} // namespace

void Stereo::mix(const Stereo& o, float gain) {
    size_t n = std::min(size(), o.size());
    for (size_t i = 0; i < n; i++) {
        l[i] += gain * o.l[i];
        r[i] += gain * o.r[i];
    }
}

double midiHz(double note) { return 440.0 * pow(2.0, (note - 69.0) / 12.0); }

float Osc::sine(double hz) {
    float v = (float)sin(kTwoPi * phase);
    phase = wrap(phase + hz / kRate);
    return v;
}

float Osc::saw(double hz) {
    double dt = hz / kRate;
    double v = 2.0 * phase - 1.0 - blep(phase, dt);
    phase = wrap(phase + dt);
    return (float)v;
}

float Osc::pulse(double hz, double width) {
    double dt = hz / kRate;
    double v = phase < width ? 1.0 : -1.0;
    v += blep(phase, dt);
    v -= blep(wrap(phase + 1.0 - width), dt);
    phase = wrap(phase + dt);
    /* remove the pulse's own mean so that narrow pulses carry no offset */
    return (float)(v - (2.0 * width - 1.0));
}

void Svf::run(double in, double hz, double q, double* lowOut, double* bandOut, double* highOut) {
    if (hz != lastHz) {
        g = tan(M_PI * clampHz(hz) / kRate);
        lastHz = hz;
    }
    double k = 1.0 / q;
    double a1 = 1.0 / (1.0 + g * (g + k));
    double a2 = g * a1;
    double a3 = g * a2;
    double v3 = in - ic2;
    double v1 = a1 * ic1 + a2 * v3;
    double v2 = ic2 + a2 * ic1 + a3 * v3;
    ic1 = 2.0 * v1 - ic1;
    ic2 = 2.0 * v2 - ic2;
    *lowOut = v2;
    *bandOut = v1;
    *highOut = in - k * v1 - v2;
}

double Svf::low(double in, double hz, double q) {
    double lo, bp, hp;
    run(in, hz, q, &lo, &bp, &hp);
    return lo;
}

double Svf::band(double in, double hz, double q) {
    double lo, bp, hp;
    run(in, hz, q, &lo, &bp, &hp);
    return bp;
}

double Svf::high(double in, double hz, double q) {
    double lo, bp, hp;
    run(in, hz, q, &lo, &bp, &hp);
    return hp;
}

double Adsr::at(double t, double length) const {
    auto held = [this](double u) {
        if (u < a)
            return u / a;
        return s + (1.0 - s) * exp(-(u - a) / d);
    };
    if (t < 0.0)
        return 0.0;
    if (t < length)
        return held(t);
    return held(length) * exp(-(t - length) / r);
}

PingPong::PingPong(long delaySamples, float fb, double darkHz)
    : bufL(delaySamples, 0.0f), bufR(delaySamples, 0.0f), delay(delaySamples), feedback(fb),
      toneHz(darkHz) {}

void PingPong::process(const Stereo& in, Stereo* out, float wet) {
    for (size_t i = 0; i < in.size(); i++) {
        float tapL = bufL[pos], tapR = bufR[pos];
        float mono = 0.5f * (in.l[i] + in.r[i]);
        bufL[pos] = mono + feedback * (float)toneR.low(tapR, toneHz, 0.6);
        bufR[pos] = feedback * (float)toneL.low(tapL, toneHz, 0.6);
        pos = (pos + 1) % delay;
        out->add((long)i, wet * tapL, wet * tapR);
    }
}

Reverb::Reverb(float room, float dampening) : roomFeedback(room), damp(dampening) {
    static const int combs[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    static const int allPasses[4] = {556, 441, 341, 225};
    const int spread = 23;
    for (int i = 0; i < 8; i++) {
        combL[i].buf.assign(combs[i], 0.0f);
        combR[i].buf.assign(combs[i] + spread, 0.0f);
    }
    for (int i = 0; i < 4; i++) {
        apL[i].buf.assign(allPasses[i], 0.0f);
        apR[i].buf.assign(allPasses[i] + spread, 0.0f);
    }
}

namespace {

float combRun(Reverb::Comb& c, float in, float feedback, float damp) {
    float out = c.buf[c.pos];
    c.store = out * (1.0f - damp) + c.store * damp;
    c.buf[c.pos] = in + c.store * feedback;
    c.pos = (c.pos + 1) % (long)c.buf.size();
    return out;
}

float allPassRun(Reverb::AllPass& a, float in) {
    float buffered = a.buf[a.pos];
    a.buf[a.pos] = in + buffered * 0.5f;
    a.pos = (a.pos + 1) % (long)a.buf.size();
    return buffered - in;
}

} // namespace

void Reverb::process(const Stereo& in, Stereo* out, float wet) {
    for (size_t i = 0; i < in.size(); i++) {
        /* the room only hears what lies above the bass, so low notes stay dry and tight */
        float x = 0.015f * (float)lowCut.high(in.l[i] + in.r[i], 220.0, 0.7);
        float sl = 0.0f, sr = 0.0f;
        for (int c = 0; c < 8; c++) {
            sl += combRun(combL[c], x, roomFeedback, damp);
            sr += combRun(combR[c], x, roomFeedback, damp);
        }
        for (int a = 0; a < 4; a++) {
            sl = allPassRun(apL[a], sl);
            sr = allPassRun(apR[a], sr);
        }
        out->add((long)i, wet * sl, wet * sr);
    }
}

void kick(Stereo* bus, long start, float velocity) {
    long n = (long)(kKickLength * kRate);
    double phase = 0.0;
    Noise click(0x4b1c3u);
    Svf clickTone;
    for (long i = 0; i < n; i++) {
        double t = (double)i / kRate;
        double hz = kKickFloorHz + (kKickTopHz - kKickFloorHz) * exp(-t / kKickSweep);
        double level = t < kKickHold ? 1.0 : exp(-(t - kKickHold) / kKickDecay);
        double v = sin(kTwoPi * phase) * level;
        phase = wrap(phase + hz / kRate);
        v = tanh(kKickDrive * v) / tanh(kKickDrive);
        /* a few milliseconds of bright noise for the beater */
        v += kKickClick * clickTone.band(click.next(), 3500.0, 0.8) * exp(-t / 0.0025);
        v *= velocity * tailFade(i, n, 400);
        bus->add(start + i, (float)v, (float)v);
    }
}

void clap(Stereo* bus, long start, float velocity, uint32_t seed) {
    long n = (long)(0.42 * kRate);
    Noise noise(seed);
    Svf body, lowCut;
    Osc tone;
    for (long i = 0; i < n; i++) {
        double t = (double)i / kRate;
        /* three hands a few milliseconds apart, then the room */
        double env = 0.0;
        for (int h = 0; h < 3; h++) {
            double th = t - 0.0105 * h;
            if (th >= 0.0)
                env += exp(-th / 0.0045);
        }
        if (t > 0.021)
            env += 0.55 * exp(-(t - 0.021) / 0.11);
        double x = body.band(noise.next(), 1250.0, 1.1) * env * 1.6;
        x += 0.35 * tone.sine(190.0 - 20.0 * t) * exp(-t / 0.035);
        x = lowCut.high(x, 140.0, 0.7) * velocity * tailFade(i, n, 400);
        bus->add(start + i, (float)x, (float)x);
    }
}

void hat(Stereo* bus, long start, float velocity, bool open, uint32_t seed) {
    double decay = open ? 0.16 : 0.028;
    long n = (long)((open ? 0.55 : 0.15) * kRate);
    Noise noise(seed);
    Svf bright, ring, air;
    Osc metal[3] = {Osc(0.1), Osc(0.37), Osc(0.71)};
    const double metalHz[3] = {3126.0, 4715.0, 5931.0};
    for (long i = 0; i < n; i++) {
        double t = (double)i / kRate;
        double x = noise.next();
        for (int m = 0; m < 3; m++)
            x += 0.2 * metal[m].pulse(metalHz[m], 0.5);
        x = bright.high(x, 7200.0, 0.8);
        x = 0.6 * x + 0.4 * ring.band(x, 10500.0, 1.5);
        /* nothing much above 13 kHz: it costs the encoder more than it adds */
        x = air.low(x, 13000.0, 0.7);
        double env = exp(-t / decay) * (t < 0.0008 ? t / 0.0008 : 1.0);
        x *= env * velocity * tailFade(i, n, 300);
        bus->add(start + i, (float)(0.8 * x), (float)x);
    }
}

void crash(Stereo* bus, long start, float velocity, uint32_t seed) {
    long n = (long)(2.2 * kRate);
    Noise nl(seed), nr(seed * 2654435761u + 1u);
    Svf hl, hr, tl, tr;
    for (long i = 0; i < n; i++) {
        double t = (double)i / kRate;
        double env = exp(-t / 0.55) * (t < 0.002 ? t / 0.002 : 1.0) * velocity *
                     tailFade(i, n, 2000);
        double xl = tl.low(hl.high(nl.next(), 4200.0, 0.7), 10000.0, 0.7) * env;
        double xr = tr.low(hr.high(nr.next(), 4200.0, 0.7), 10000.0, 0.7) * env;
        bus->add(start + i, (float)xl, (float)xr);
    }
}

void riser(Stereo* bus, long start, long length, float velocity, uint32_t seed) {
    Noise nl(seed), nr(seed ^ 0x5bd1e995u);
    Svf fl, fr;
    for (long i = 0; i < length; i++) {
        double u = (double)i / (double)length;
        double hz = 350.0 * pow(6000.0 / 350.0, u);
        double env = u * u * velocity * tailFade(i, length, 600);
        double xl = fl.band(nl.next(), hz, 2.5) * env;
        double xr = fr.band(nr.next(), hz * 1.03, 2.5) * env;
        bus->add(start + i, (float)xl, (float)xr);
    }
}

void bass(Stereo* bus, long start, long length, int note, float velocity) {
    const Adsr amp = {0.003, 0.18, 0.72, 0.035};
    double len = (double)length / kRate;
    long n = (long)(amp.end(len) * kRate);
    double hz = midiHz(note);
    Osc a(0.0), b(0.25);
    Svf tone, lowCut;
    for (long i = 0; i < n; i++) {
        double t = (double)i / kRate;
        double x = 0.55 * a.saw(hz) + 0.45 * b.pulse(hz * 1.003, 0.5);
        double cutoff = 220.0 + 1500.0 * exp(-t / 0.07);
        x = tone.low(x, cutoff, 1.1);
        x = tanh(1.5 * x);
        /* nothing below the note itself: the lowest band belongs to the kick */
        x = lowCut.high(x, 55.0, 0.7);
        x *= amp.at(t, len) * velocity * tailFade(i, n, 200);
        bus->add(start + i, (float)x, (float)x);
    }
}

void pad(Stereo* bus, long start, long length, int note, float velocity, double brightHz) {
    const Adsr amp = {0.35, 1.0, 0.85, 0.55};
    const double detune[3] = {-0.09, 0.0, 0.08}; /* semitones */
    const float pans[3] = {-0.7f, 0.0f, 0.7f};
    double len = (double)length / kRate;
    long n = (long)(amp.end(len) * kRate);
    Osc voice[3] = {Osc(0.13 * note), Osc(0.51 + 0.07 * note), Osc(0.77 + 0.11 * note)};
    Svf toneL[3], lowCut[3];
    double hz[3];
    for (int v = 0; v < 3; v++)
        hz[v] = midiHz(note + detune[v]);
    for (long i = 0; i < n; i++) {
        double t = (double)i / kRate;
        double env = amp.at(t, len) * velocity * tailFade(i, n, 400);
        float l = 0.0f, r = 0.0f;
        for (int v = 0; v < 3; v++) {
            double x = voice[v].saw(hz[v]);
            x = toneL[v].low(x, brightHz, 0.8);
            x = lowCut[v].high(x, 160.0, 0.7) * env;
            float gl, gr;
            panGains(pans[v], &gl, &gr);
            l += gl * (float)x;
            r += gr * (float)x;
        }
        bus->add(start + i, 0.45f * l, 0.45f * r);
    }
}

void arp(Stereo* bus, long start, long length, int note, float velocity, double brightHz,
         float pan) {
    const Adsr amp = {0.002, 0.12, 0.25, 0.07};
    double len = (double)length / kRate;
    long n = (long)(amp.end(len) * kRate);
    double hz = midiHz(note);
    Osc a(0.0), b(0.5);
    Svf tone;
    float gl, gr;
    panGains(pan, &gl, &gr);
    for (long i = 0; i < n; i++) {
        double t = (double)i / kRate;
        double x = 0.5 * a.saw(hz) + 0.5 * b.pulse(hz * 2.0, 0.3) * 0.6;
        x = tone.low(x, brightHz * (1.0 + 2.5 * exp(-t / 0.05)), 1.6);
        x *= amp.at(t, len) * velocity * tailFade(i, n, 200);
        bus->add(start + i, gl * (float)x, gr * (float)x);
    }
}

void lead(Stereo* bus, long start, long length, int note, float velocity) {
    const Adsr amp = {0.008, 0.35, 0.7, 0.14};
    double len = (double)length / kRate;
    long n = (long)(amp.end(len) * kRate);
    Osc a(0.0), b(0.33), c(0.66), vib(0.0);
    Svf tone, lowCut;
    for (long i = 0; i < n; i++) {
        double t = (double)i / kRate;
        /* vibrato grows in after the attack, as a player's would */
        double depth = 0.18 * std::min(1.0, std::max(0.0, (t - 0.18) / 0.25));
        double pitch = note + depth * vib.sine(5.4);
        double hz = midiHz(pitch);
        double x = 0.4 * a.saw(hz * 1.0035) + 0.4 * b.saw(hz / 1.0035) +
                   0.35 * c.pulse(hz * 0.5, 0.45);
        x = tone.low(x, 1900.0 + 2200.0 * exp(-t / 0.12), 0.9);
        x = lowCut.high(x, 200.0, 0.7);
        x *= amp.at(t, len) * velocity * tailFade(i, n, 300);
        bus->add(start + i, (float)x, (float)x);
    }
}

void limit(Stereo* io, float ceiling, double releaseSeconds) {
    const long look = 96;
    size_t n = io->size();
    std::vector<float> need(n);
    for (size_t i = 0; i < n; i++) {
        float peak = std::max(fabsf(io->l[i]), fabsf(io->r[i]));
        need[i] = peak > ceiling ? ceiling / peak : 1.0f;
    }
    /* ahead[i]: the least gain any sample of the next `look` needs; after the release and the
     * moving average below, every sample still gets no more gain than it needs */
    std::vector<float> ahead(n), held(n);
    std::deque<size_t> lows; /* candidates for the window's least need, least at the front */
    for (size_t i = n; i-- > 0;) {
        while (!lows.empty() && need[lows.back()] >= need[i])
            lows.pop_back();
        lows.push_back(i);
        while (lows.front() >= i + look)
            lows.pop_front();
        ahead[i] = need[lows.front()];
    }
    double rel = 1.0 - exp(-1.0 / (releaseSeconds * kRate));
    double g = 1.0;
    for (size_t i = 0; i < n; i++) {
        g = g + (1.0 - g) * rel;
        g = std::min(g, (double)ahead[i]);
        held[i] = (float)g;
    }
    /* before the first sample the gain counts as already down to what the opening needs */
    double before = n ? ahead[0] : 1.0;
    double sum = before * look;
    for (size_t i = 0; i < n; i++) {
        sum += held[i] - (i >= (size_t)look ? held[i - look] : before);
        double gain = sum / look;
        io->l[i] *= (float)gain;
        io->r[i] *= (float)gain;
    }
}

} // namespace synth
