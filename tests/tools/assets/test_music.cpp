/*
 * The music pieces in data/: what the demo and the listener need of them, measured on the
 * committed files as libvorbisfile decodes them, and the generator's bytes against them.
 */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisfile.h>

#include "music_measure.h"
#include "music_render.h"
#include "music_score.h"
#include "spectrum.h"
#include "synth.h"

namespace {

using music::Decoded;

std::string dataPath(int which) {
    return std::string(NV_SOURCE_ROOT) + "/data/" + music::music_piece(which).name + ".ogg";
}

/* Each committed piece decoded once for the whole run. */
const Decoded& committed(int which) {
    static Decoded pieces[music::kPieceCount];
    static bool loaded[music::kPieceCount];
    if (!loaded[which]) {
        loaded[which] = true;
        if (!music::music_decode_file(dataPath(which).c_str(), &pieces[which]))
            ADD_FAILURE() << dataPath(which) << " does not decode as Ogg Vorbis";
    }
    return pieces[which];
}

double seconds(const Decoded& d) { return d.rate ? (double)d.pcm.size() / d.rate : 0.0; }

std::vector<unsigned char> readBytes(const std::string& path) {
    std::vector<unsigned char> out;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return out;
    unsigned char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.insert(out.end(), buf, buf + n);
    fclose(f);
    return out;
}

/* ---- format, length and level ---- */

TEST(MusicFiles, AreStereoAt44100Hz) {
    for (int which = 0; which < music::kPieceCount; which++) {
        SCOPED_TRACE(dataPath(which));
        EXPECT_EQ(committed(which).rate, 44100);
        EXPECT_EQ(committed(which).channels, 2);
    }
}

TEST(MusicFiles, LengthsLieInTheirRanges) {
    EXPECT_GE(seconds(committed(music::kIntro)), 30.0);
    EXPECT_LE(seconds(committed(music::kIntro)), 45.0);
    EXPECT_GE(seconds(committed(music::kLoop)), 16.0);
    EXPECT_LE(seconds(committed(music::kLoop)), 32.0);
}

TEST(MusicFiles, BothEndExactlyOnABarLine) {
    /* the loop must wrap on its own grid, and the intro must hand over on the beat */
    EXPECT_EQ((long)committed(music::kLoop).pcm.size(), music::kLoopBars * music::kSamplesPerBar);
    EXPECT_EQ((long)committed(music::kIntro).pcm.size(),
              music::kIntroBars * music::kSamplesPerBar);
    EXPECT_EQ(music::kSamplesPerBar * music::kBpm, 44100L * 60 * 4);
    EXPECT_GE(music::kBpm, 120);
    EXPECT_LE(music::kBpm, 140);
}

TEST(MusicFiles, PeaksStayAtOrBelowMinusOneDbfs) {
    for (int which = 0; which < music::kPieceCount; which++) {
        SCOPED_TRACE(dataPath(which));
        EXPECT_LE(music::music_peak_dbfs(committed(which).pcm), -1.0);
    }
}

TEST(MusicFiles, LoudnessIsNearMinus14Lufs) {
    for (int which = 0; which < music::kPieceCount; which++) {
        SCOPED_TRACE(dataPath(which));
        double lufs = music::music_loudness(committed(which).pcm, committed(which).rate);
        EXPECT_NEAR(lufs, -14.0, 1.0);
    }
}

TEST(MusicFiles, TogetherStayWithinTheirShareOfTheArchive) {
    size_t total = 0;
    for (int which = 0; which < music::kPieceCount; which++)
        total += readBytes(dataPath(which)).size();
    EXPECT_GT(total, 0u);
    EXPECT_LT(total, 900u * 1024u);
}

/* ---- joins: the loop's wrap and the intro's hand-over ---- */

/* A click is a jump much larger than the steps the music itself makes around it. */
void expectSmoothJoin(const synth::Stereo& before, const synth::Stereo& after) {
    const size_t span = 2048;
    ASSERT_GE(before.size(), span);
    ASSERT_GE(after.size(), span);
    for (int ch = 0; ch < 2; ch++) {
        const std::vector<float>& a = ch ? before.r : before.l;
        const std::vector<float>& b = ch ? after.r : after.l;
        std::vector<float> steps;
        for (size_t i = a.size() - span; i + 1 < a.size(); i++)
            steps.push_back(fabsf(a[i + 1] - a[i]));
        for (size_t i = 0; i + 1 < span; i++)
            steps.push_back(fabsf(b[i + 1] - b[i]));
        std::sort(steps.begin(), steps.end());
        float typicalHigh = steps[steps.size() * 99 / 100];
        float join = fabsf(b[0] - a.back());
        EXPECT_LE(join, typicalHigh) << "channel " << ch << ": the join jumps by " << join
                                     << " where 99 % of nearby steps stay within " << typicalHigh;
    }
}

TEST(MusicJoins, LoopWrapsWithoutAClick) {
    const Decoded& loop = committed(music::kLoop);
    expectSmoothJoin(loop.pcm, loop.pcm);
}

TEST(MusicJoins, IntroHandsOverToTheLoopWithoutAClick) {
    expectSmoothJoin(committed(music::kIntro).pcm, committed(music::kLoop).pcm);
}

/* ---- beats as the demo's detector sees them ---- */

struct Frames {
    long hop, offset;
};

/* Frame spacings from a fast display to a slow one, at several phases against the music. */
std::vector<Frames> frameGrids() {
    std::vector<Frames> out;
    for (long hop : {256L, 441L, 512L, 735L})
        for (int k = 0; k < 3; k++)
            out.push_back({hop, hop * k / 3});
    return out;
}

TEST(MusicBeats, KicksRegisterAndTheBandEmptiesBeforeTheNext) {
    for (int which = 0; which < music::kPieceCount; which++) {
        const Decoded& d = committed(which);
        std::vector<long> kicks = music::music_kicks(music::music_piece(which));
        ASSERT_GT(kicks.size(), 16u);
        for (const Frames& g : frameGrids()) {
            SCOPED_TRACE(dataPath(which) + ", frames every " + std::to_string(g.hop) +
                         " samples from " + std::to_string(g.offset));
            music::BeatFigures b =
                music::music_beats(d.pcm, kicks, g.hop, g.offset, music::kSamplesPerBeat);
            EXPECT_EQ(b.kicks, (int)kicks.size());
            EXPECT_GE(b.registered, (b.kicks * 9 + 9) / 10) << "weakest kick " << b.weakest;
            EXPECT_EQ(b.fellBack, b.kicks) << "highest floor between kicks " << b.stuck;
        }
    }
}

TEST(MusicBeats, NothingBeatsBeforeTheDrumsComeIn) {
    const Decoded& d = committed(music::kIntro);
    std::vector<long> kicks = music::music_kicks(music::music_piece(music::kIntro));
    ASSERT_FALSE(kicks.empty());
    ASSERT_GT(kicks[0], 2 * FSOUND_FFT_SIZE);
    /* one pseudo-kick at the start, judged over the whole stretch before the first real one */
    music::BeatFigures b = music::music_beats(d.pcm, {0}, 256, 0, kicks[0] - 1);
    EXPECT_EQ(b.registered, 0) << "the lowest bin reaches " << b.weakest << " with no drums";
}

/* The measurement itself, on signals whose answer is known. */
TEST(MusicBeats, MeasureTellsABounceFromAHeldTone) {
    const long beat = music::kSamplesPerBeat;
    std::vector<long> kicks;
    synth::Stereo bursts(beat * 16), held(beat * 16), high(beat * 16);
    for (int k = 0; k < 16; k++) {
        kicks.push_back(k * beat);
        synth::kick(&bursts, k * beat, 0.6f);
    }
    for (size_t i = 0; i < held.size(); i++) {
        /* low end that never lets go: an offset reads twice its size in the lowest bin */
        held.l[i] = held.r[i] = 0.2f;
        high.l[i] = high.r[i] = (float)(0.9 * sin(2.0 * M_PI * 1000.0 * i / 44100.0));
    }
    music::BeatFigures b = music::music_beats(bursts, kicks, 512, 0, beat);
    EXPECT_EQ(b.kicks, 16);
    EXPECT_EQ(b.registered, 16);
    EXPECT_EQ(b.fellBack, 16);
    b = music::music_beats(held, kicks, 512, 0, beat);
    EXPECT_EQ(b.registered, 16);
    EXPECT_EQ(b.fellBack, 0);
    EXPECT_GT(b.stuck, 0.3f);
    b = music::music_beats(high, kicks, 512, 0, beat);
    EXPECT_EQ(b.registered, 0);
}

/* ---- the loudness measure ---- */

synth::Stereo sine(double hz, double dbfs, double secondsLong, long rate) {
    synth::Stereo s((size_t)(secondsLong * rate));
    double a = pow(10.0, dbfs / 20.0);
    for (size_t i = 0; i < s.size(); i++)
        s.l[i] = s.r[i] = (float)(a * sin(2.0 * M_PI * hz * i / rate));
    return s;
}

TEST(MusicLoudness, ToneNearOneKilohertzReadsItsLevel) {
    /* a full-scale sine at 997 Hz in both channels reads 0 LUFS by definition of the scale */
    EXPECT_NEAR(music::music_loudness(sine(997.0, -20.0, 5.0, 44100), 44100), -20.0, 0.1);
    EXPECT_NEAR(music::music_loudness(sine(997.0, -20.0, 5.0, 48000), 48000), -20.0, 0.1);
}

TEST(MusicLoudness, WeightingDiscountsDeepBassAndGatingSkipsSilence) {
    double mid = music::music_loudness(sine(997.0, -20.0, 5.0, 44100), 44100);
    EXPECT_LT(music::music_loudness(sine(40.0, -20.0, 5.0, 44100), 44100), mid - 3.0);
    synth::Stereo gapped = sine(997.0, -20.0, 5.0, 44100);
    gapped.l.resize(gapped.size() * 4, 0.0f);
    gapped.r.resize(gapped.l.size(), 0.0f);
    EXPECT_NEAR(music::music_loudness(gapped, 44100), mid, 0.2);
}

TEST(MusicLoudness, AgreesWithFfmpeg) {
    if (system("command -v ffmpeg >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffmpeg is not installed: no second opinion on loudness";
    for (int which = 0; which < music::kPieceCount; which++) {
        std::string cmd = "ffmpeg -hide_banner -nostats -i '" + dataPath(which) +
                          "' -af ebur128 -f null - 2>&1 | grep -E '^ +I:' | tail -1";
        FILE* p = popen(cmd.c_str(), "r");
        ASSERT_NE(p, nullptr);
        char line[256] = {0};
        bool got = fgets(line, sizeof line, p) != nullptr;
        pclose(p);
        ASSERT_TRUE(got) << "no integrated loudness in ffmpeg's output";
        double theirs = atof(strchr(line, ':') + 1);
        double ours = music::music_loudness(committed(which).pcm, committed(which).rate);
        EXPECT_NEAR(ours, theirs, 0.3) << dataPath(which);
    }
}

/* ---- the score ---- */

TEST(MusicScore, EveryNoteIsInAMinor) {
    const int inKey[12] = {1, 0, 1, 0, 1, 1, 0, 1, 0, 1, 0, 1}; /* C D E F G A B */
    for (int which = 0; which < music::kPieceCount; which++) {
        music::Piece p = music::music_piece(which);
        for (const music::Event& e : p.events)
            if (e.note != 0) {
                EXPECT_TRUE(inKey[e.note % 12]) << p.name << ": note " << e.note << " at step "
                                                << e.step << " is out of key";
            }
    }
}

TEST(MusicScore, BassLeavesTheLowestBandToTheKick) {
    /* C2, 65 Hz: below it a held bass note would keep the beat detector's band up */
    for (int which = 0; which < music::kPieceCount; which++) {
        music::Piece p = music::music_piece(which);
        for (const music::Event& e : p.events)
            if (e.voice == music::kBass) {
                EXPECT_GE(e.note, 36) << p.name << ": bass note at step " << e.step;
            }
    }
}

TEST(MusicScore, KicksFallOnTheBeatWithABeatBetweenThem) {
    std::vector<long> loop = music::music_kicks(music::music_piece(music::kLoop));
    EXPECT_EQ((int)loop.size(), music::kLoopBars * music::kBeatsPerBar);
    for (int which = 0; which < music::kPieceCount; which++) {
        std::vector<long> kicks = music::music_kicks(music::music_piece(which));
        for (size_t k = 0; k < kicks.size(); k++) {
            EXPECT_EQ(kicks[k] % music::kSamplesPerBeat, 0);
            if (k > 0) {
                EXPECT_GE(kicks[k] - kicks[k - 1], music::kSamplesPerBeat);
            }
        }
    }
}

/* ---- the synthesizer's parts ---- */

TEST(MusicSynth, OscillatorStartsInsideItsRange) {
    /* a start phase past one must wrap, not leave a spike on the first sample */
    synth::Osc a(7.41), b(-0.25);
    EXPECT_LE(fabsf(a.saw(440.0)), 1.0f);
    EXPECT_LE(fabsf(b.saw(440.0)), 1.0f);
}

TEST(MusicSynth, LimiterHoldsTheCeilingFromTheFirstSample) {
    synth::Stereo s(44100);
    for (size_t i = 0; i < s.size(); i++) {
        float burst = (i % 11025) < 300 ? 3.0f : 0.5f;
        s.l[i] = burst * (float)sin(0.05 * i);
        s.r[i] = -s.l[i];
    }
    synth::Stereo before = s;
    synth::limit(&s, 0.8f, 0.1);
    float peak = 0.0f, biggestChange = 0.0f;
    for (size_t i = 0; i < s.size(); i++) {
        peak = std::max(peak, std::max(fabsf(s.l[i]), fabsf(s.r[i])));
        /* the gain itself moves smoothly: no jump of more than a few per cent a sample */
        if (i > 0 && fabsf(before.l[i]) > 0.1f && fabsf(before.l[i - 1]) > 0.1f)
            biggestChange = std::max(
                biggestChange, fabsf(s.l[i] / before.l[i] - s.l[i - 1] / before.l[i - 1]));
    }
    EXPECT_LE(peak, 0.8f + 1e-6f);
    EXPECT_LT(biggestChange, 0.05f);
}

TEST(MusicSynth, EncoderKeepsEverySampleAndRepeatsItself) {
    /* an odd length that fills no encoder block exactly */
    synth::Stereo s(music::kSamplesPerBar + 777);
    for (size_t i = 0; i < s.size(); i++) {
        s.l[i] = (float)(0.3 * sin(2.0 * M_PI * 220.0 * i / 44100.0));
        s.r[i] = (float)(0.3 * sin(2.0 * M_PI * 330.0 * i / 44100.0));
    }
    std::vector<unsigned char> first, second;
    ASSERT_TRUE(music::music_encode(s, "probe", 1234, &first));
    ASSERT_TRUE(music::music_encode(s, "probe", 1234, &second));
    EXPECT_TRUE(first == second);
    Decoded d;
    ASSERT_TRUE(music::music_decode(first.data(), first.size(), &d));
    EXPECT_EQ(d.pcm.size(), s.size());
    EXPECT_EQ(d.rate, 44100);
    EXPECT_EQ(d.channels, 2);
    /* a file cut short decodes to less, or not at all */
    Decoded cut;
    bool cutDecodes = music::music_decode(first.data(), first.size() / 8, &cut);
    EXPECT_TRUE(!cutDecodes || cut.pcm.size() < s.size());
}

/* ---- the generator ---- */

std::string encoderOf(const std::string& path) {
    OggVorbis_File vf;
    if (ov_fopen(path.c_str(), &vf) != 0)
        return "";
    std::string out;
    vorbis_comment* vc = ov_comment(&vf, -1);
    const char* tag = vc ? vorbis_comment_query(vc, music::kEncoderTag, 0) : nullptr;
    if (tag)
        out = tag;
    ov_clear(&vf);
    return out;
}

TEST(MusicGenerator, RendersTheCommittedBytesAgain) {
    for (int which = 0; which < music::kPieceCount; which++) {
        SCOPED_TRACE(dataPath(which));
        std::string made = encoderOf(dataPath(which));
        if (made != vorbis_version_string())
            GTEST_SKIP() << dataPath(which) << " was encoded by \"" << made
                         << "\"; this machine has \"" << vorbis_version_string()
                         << "\", whose output may differ";
        std::vector<unsigned char> ogg;
        ASSERT_TRUE(music::music_make(which, &ogg));
        std::vector<unsigned char> file = readBytes(dataPath(which));
        ASSERT_EQ(ogg.size(), file.size());
        EXPECT_TRUE(ogg == file) << "same length, different bytes";
    }
}

} // namespace
