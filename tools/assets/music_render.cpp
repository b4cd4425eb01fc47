#include "music_render.h"

#include <math.h>
#include <string.h>

#include <algorithm>

#include <vorbis/vorbisenc.h>

#include "music_measure.h"

namespace music {

const char* const kEncoderTag = "ENCODER";

namespace {

/* The mixing desk, one column per voice:
 *                           kick  clap   hat  ohat crash riser  bass   pad   arp  lead */
const float kFader[kVoiceCount] = {1.00f, 0.67f, 0.31f, 0.16f, 0.12f, 0.20f, 0.32f, 0.20f, 0.26f, 0.20f};
const float kEcho[kVoiceCount]  = {0.00f, 0.00f, 0.00f, 0.00f, 0.00f, 0.00f, 0.00f, 0.00f, 0.40f, 0.28f};
const float kRoom[kVoiceCount]  = {0.00f, 0.30f, 0.00f, 0.15f, 0.25f, 0.45f, 0.00f, 0.40f, 0.30f, 0.35f};
/* how far each voice ducks under the kick: the bass most, so the lowest band empties */
const float kDuck[kVoiceCount]  = {0.00f, 0.00f, 0.00f, 0.00f, 0.00f, 0.00f, 0.85f, 0.50f, 0.35f, 0.20f};

const double kDuckAttack = 0.004; /* s */
const double kDuckRelease = 0.13; /* s, time constant */
const float kEchoFeedback = 0.42f;
const double kEchoDarkHz = 3200.0;
const float kRoomSize = 0.84f;
const float kRoomDamp = 0.35f;
const float kRoomReturn = 2.6f;
const double kSubsonicHz = 18.0;
const int kSerialBase = 0x6e6f726b; /* equal bytes on every run need a fixed serial */

uint32_t seedOf(const Event& e) {
    return ((uint32_t)e.step * 2654435761u) ^ ((uint32_t)e.voice * 40503u + 1u);
}

/* A bar-line value at a step, gliding linearly across the bar. */
double atStep(const std::vector<float>& lines, long step) {
    long bar = step / kStepsPerBar;
    double frac = (double)(step % kStepsPerBar) / kStepsPerBar;
    return lines[bar] + (lines[bar + 1] - lines[bar]) * frac;
}

void play(const Piece& piece, const Event& e, long start, synth::Stereo* bus) {
    long len = e.steps * kSamplesPerStep;
    switch (e.voice) {
    case kKick: synth::kick(bus, start, e.velocity); break;
    case kClap: synth::clap(bus, start, e.velocity, seedOf(e)); break;
    case kHat: synth::hat(bus, start, e.velocity, false, seedOf(e)); break;
    case kOpenHat: synth::hat(bus, start, e.velocity, true, seedOf(e)); break;
    case kCrash: synth::crash(bus, start, e.velocity, seedOf(e)); break;
    case kRiser: synth::riser(bus, start, len, e.velocity, seedOf(e)); break;
    case kBass: synth::bass(bus, start, len, e.note, e.velocity); break;
    case kPad:
        synth::pad(bus, start, len, e.note, e.velocity, atStep(piece.padBright, e.step));
        break;
    case kArp:
        /* alternate sides, sixteenth by sixteenth */
        synth::arp(bus, start, len, e.note, e.velocity, atStep(piece.arpBright, e.step),
                   e.step % 2 ? 0.35f : -0.35f);
        break;
    case kLead: synth::lead(bus, start, len, e.note, e.velocity); break;
    case kVoiceCount: break;
    }
}

} // namespace

synth::Stereo music_render(const Piece& piece) {
    const long length = piece.bars * kSamplesPerBar;
    const int passes = piece.loops ? 2 : 1;
    const long total = length * passes;

    std::vector<synth::Stereo> bus(kVoiceCount, synth::Stereo(total));
    for (int pass = 0; pass < passes; pass++)
        for (const Event& e : piece.events)
            play(piece, e, pass * length + e.step * kSamplesPerStep, &bus[e.voice]);

    /* the arrangement's levels, gliding across each bar */
    for (int v = 0; v < kVoiceCount; v++)
        for (long i = 0; i < total; i++) {
            long pos = i % length;
            long bar = pos / kSamplesPerBar;
            double frac = (double)(pos % kSamplesPerBar) / kSamplesPerBar;
            float level = (float)(piece.level[v][bar] +
                                  (piece.level[v][bar + 1] - piece.level[v][bar]) * frac);
            bus[v].l[i] *= level;
            bus[v].r[i] *= level;
        }

    /* sidechain: the kick pushes the other voices down and they swell back, which both pumps
     * the groove and clears the low end for the beat */
    std::vector<long> strikes;
    for (int pass = 0; pass < passes; pass++)
        for (long k : music_kicks(piece))
            strikes.push_back(pass * length + k);
    std::vector<float> kickEnv(total, 0.0f);
    size_t next = 0;
    long last = -1;
    for (long i = 0; i < total; i++) {
        while (next < strikes.size() && strikes[next] <= i)
            last = strikes[next++];
        if (last < 0)
            continue;
        double dt = (double)(i - last) / synth::kRate;
        kickEnv[i] = (float)(dt < kDuckAttack ? dt / kDuckAttack
                                              : exp(-(dt - kDuckAttack) / kDuckRelease));
    }
    for (int v = 0; v < kVoiceCount; v++) {
        if (kDuck[v] == 0.0f)
            continue;
        for (long i = 0; i < total; i++) {
            float g = 1.0f - kDuck[v] * kickEnv[i];
            bus[v].l[i] *= g;
            bus[v].r[i] *= g;
        }
    }

    synth::Stereo out(total), echoSend(total), roomSend(total);
    for (int v = 0; v < kVoiceCount; v++) {
        out.mix(bus[v], kFader[v]);
        if (kEcho[v] > 0.0f)
            echoSend.mix(bus[v], kFader[v] * kEcho[v]);
        if (kRoom[v] > 0.0f)
            roomSend.mix(bus[v], kFader[v] * kRoom[v]);
    }
    synth::PingPong echo(3 * kSamplesPerStep, kEchoFeedback, kEchoDarkHz);
    synth::Stereo echoes(total);
    echo.process(echoSend, &echoes, 1.0f);
    out.mix(echoes, 1.0f);
    roomSend.mix(echoes, 0.3f);
    synth::Reverb room(kRoomSize, kRoomDamp);
    room.process(roomSend, &out, kRoomReturn);

    synth::Svf subL, subR;
    for (long i = 0; i < total; i++) {
        out.l[i] = (float)subL.high(out.l[i], kSubsonicHz, 0.7);
        out.r[i] = (float)subR.high(out.r[i], kSubsonicHz, 0.7);
    }

    synth::Stereo kept(length);
    std::copy(out.l.begin() + (total - length), out.l.end(), kept.l.begin());
    std::copy(out.r.begin() + (total - length), out.r.end(), kept.r.begin());
    return kept;
}

namespace {

synth::Stereo limited(const synth::Stereo& mix, bool loops, double gain, float ceiling) {
    /* a loop is limited with its own end before it and its beginning after it, so the
     * limiter's state where the loop wraps matches on both sides */
    long n = (long)mix.size();
    long before = loops ? std::min(n, (long)synth::kRate * 2) : 0;
    long after = loops ? std::min(n, 1024L) : 0;
    synth::Stereo ext(before + n + after);
    for (long i = 0; i < before + n + after; i++) {
        long src = ((i - before) % n + n) % n;
        ext.l[i] = (float)(gain * mix.l[src]);
        ext.r[i] = (float)(gain * mix.r[src]);
    }
    synth::limit(&ext, ceiling, 0.12);
    synth::Stereo out(n);
    std::copy(ext.l.begin() + before, ext.l.begin() + before + n, out.l.begin());
    std::copy(ext.r.begin() + before, ext.r.begin() + before + n, out.r.begin());
    return out;
}

} // namespace

synth::Stereo music_master(const synth::Stereo& mix, bool loops, float ceilingDbfs) {
    float ceiling = (float)pow(10.0, ceilingDbfs / 20.0);
    double gainDb = kTargetLufs - music_loudness(mix, synth::kRate);
    synth::Stereo out;
    /* the limiter takes a little loudness away; a few rounds find the gain that lands */
    for (int round = 0; round < 4; round++) {
        out = limited(mix, loops, pow(10.0, gainDb / 20.0), ceiling);
        gainDb += kTargetLufs - music_loudness(out, synth::kRate);
    }
    return out;
}

bool music_encode(const synth::Stereo& pcm, const char* title, int serial,
                  std::vector<unsigned char>* ogg) {
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, 2, synth::kRate, kVorbisQuality) != 0) {
        vorbis_info_clear(&vi);
        return false;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_comment_add_tag(&vc, "TITLE", title);
    vorbis_comment_add_tag(&vc, kEncoderTag, vorbis_version_string());
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, serial);

    ogg->clear();
    ogg_page og;
    auto append = [&]() {
        ogg->insert(ogg->end(), og.header, og.header + og.header_len);
        ogg->insert(ogg->end(), og.body, og.body + og.body_len);
    };
    ogg_packet head, comments, books;
    vorbis_analysis_headerout(&vd, &vc, &head, &comments, &books);
    ogg_stream_packetin(&os, &head);
    ogg_stream_packetin(&os, &comments);
    ogg_stream_packetin(&os, &books);
    /* the audio starts on a fresh page, as the format asks */
    while (ogg_stream_flush(&os, &og))
        append();

    auto drain = [&]() {
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet op;
            while (vorbis_bitrate_flushpacket(&vd, &op)) {
                ogg_stream_packetin(&os, &op);
                while (ogg_stream_pageout(&os, &og))
                    append();
            }
        }
    };
    const long chunk = 1024;
    long n = (long)pcm.size();
    for (long pos = 0; pos < n; pos += chunk) {
        long k = std::min(chunk, n - pos);
        float** buf = vorbis_analysis_buffer(&vd, (int)k);
        memcpy(buf[0], pcm.l.data() + pos, k * sizeof(float));
        memcpy(buf[1], pcm.r.data() + pos, k * sizeof(float));
        vorbis_analysis_wrote(&vd, (int)k);
        drain();
    }
    vorbis_analysis_wrote(&vd, 0);
    drain();
    while (ogg_stream_flush(&os, &og))
        append();

    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return true;
}

bool music_make(int which, std::vector<unsigned char>* ogg) {
    Piece piece = music_piece(which);
    synth::Stereo mix = music_render(piece);
    /* start a little under the ceiling; if the codec's ringing still pokes above it, come down
     * by the overshoot and encode again */
    float ceiling = (float)kPeakCeilingDbfs - 0.6f;
    for (int attempt = 0; attempt < 6; attempt++) {
        synth::Stereo master = music_master(mix, piece.loops, ceiling);
        if (!music_encode(master, piece.name, kSerialBase + which, ogg))
            return false;
        Decoded back;
        if (!music_decode(ogg->data(), ogg->size(), &back))
            return false;
        double peak = music_peak_dbfs(back.pcm);
        if (peak <= kPeakCeilingDbfs - 0.05)
            return true;
        ceiling -= 1.5f * (float)(peak - (kPeakCeilingDbfs - 0.05)) + 0.1f;
    }
    return false;
}

} // namespace music
