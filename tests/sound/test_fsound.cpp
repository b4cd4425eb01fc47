/*
 * The sound layer and the music part, played through SDL's disk driver: the captured output
 * is compared sample by sample with libvorbisfile's own decode of the same files.
 */
#include <fcntl.h>
#include <math.h>
#include <signal.h>
#include <sys/stat.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <SDL.h>
#include <gtest/gtest.h>

#include "fsound.h"
#include "fsound_internal.h"
#include "music.h"
#include "scratch_dir.h"
#include "sound_ogg.h"
#include "spectrum.h"

namespace {

const int kRate = 44100;


/* Index of the first frame with a non-zero sample, or npos. */
size_t firstSound(const std::vector<int16_t>& frames) {
    for (size_t i = 0; i < frames.size(); i++)
        if (frames[i]) return i / 2;
    return std::string::npos;
}

/* Redirects standard output and error into files while it lives. */
class OutputCapture {
  public:
    explicit OutputCapture(const std::string& dir) : outPath(dir + "/stdout"), errPath(dir + "/stderr") {
        fflush(stdout);
        fflush(stderr);
        savedOut = dup(1);
        savedErr = dup(2);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        dup2(err, 2);
        close(out);
        close(err);
    }
    ~OutputCapture() { stop(); }
    void stop() {
        if (savedOut < 0) return;
        fflush(stdout);
        fflush(stderr);
        dup2(savedOut, 1);
        dup2(savedErr, 2);
        close(savedOut);
        close(savedErr);
        savedOut = savedErr = -1;
        out = readAll(outPath);
        err = readAll(errPath);
    }
    std::string out, err;

  private:
    static std::string readAll(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::string outPath, errPath;
    int savedOut = -1, savedErr = -1;
};

class Sound : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(scratch.ok());
        dir = scratch.str();
        capture = dir + "/capture.raw";
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
    }
    void TearDown() override {
        fsound_shutdown();
        mus = mus2 = nullptr;
        FSOUND_DSP_SetActive(FSOUND_DSP_GetFFTUnit(), 0);
        unsetenv("AUDIODEV");
    }

    std::string writeClip(const std::string& name, const PcmClip& clip) {
        std::string path = dir + "/" + name;
        EXPECT_TRUE(writeOgg(path, clip)) << path;
        return path;
    }

    /* Frames mixed so far. */
    static uint64_t mixedNow() {
        fsound_stats_t stats;
        fsound_get_stats(&stats);
        return stats.framesMixed;
    }

    /* Waits (in real time: the disk driver plays at the output's pace) until frames have
     * been mixed. */
    void waitMixed(uint64_t frames) {
        fsound_stats_t stats;
        for (int i = 0; i < 2000; i++) {
            fsound_get_stats(&stats);
            if (stats.framesMixed >= frames) return;
            SDL_Delay(10);
        }
        FAIL() << "the mixer stalled at frame " << stats.framesMixed;
    }

    /* Stops the output and returns what reached the device, as interleaved stereo. */
    std::vector<int16_t> stopAndReadCapture() {
        fsound_shutdown();
        std::ifstream in(capture, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<int16_t> frames(bytes.size() / 2);
        memcpy(frames.data(), bytes.data(), frames.size() * 2);
        return frames;
    }

    /* Expects the capture to hold expected at frame `at`, sample for sample. */
    static void expectFramesAt(const std::vector<int16_t>& capture, size_t at,
                               const std::vector<int16_t>& expected, const char* what) {
        ASSERT_LE(at * 2 + expected.size(), capture.size()) << what << " is cut off";
        for (size_t i = 0; i < expected.size(); i++)
            ASSERT_EQ(capture[at * 2 + i], expected[i])
                << what << ": frame " << i / 2 << " channel " << i % 2;
    }

    nvt::ScratchDir scratch{"nv_sound"};
    std::string dir, capture;
};

/* ---- the spectrum of a block, on its own ---- */

std::vector<float> spectrumOf(const std::vector<float>& block) {
    std::vector<float> out(FSOUND_SPECTRUM_SIZE);
    fsound_spectrum(block.data(), out.data());
    return out;
}

std::vector<float> sineBlock(double cyclesPerBlock, double amp) {
    std::vector<float> block(FSOUND_FFT_SIZE);
    for (int i = 0; i < FSOUND_FFT_SIZE; i++)
        block[i] = (float)(amp * sin(2 * M_PI * cyclesPerBlock * i / FSOUND_FFT_SIZE));
    return block;
}

TEST(Spectrum, FullScaleSineAtBinCentreReadsOne) {
    for (int bin : {3, 10, 100, 400}) {
        std::vector<float> s = spectrumOf(sineBlock(bin, 1.0));
        EXPECT_NEAR(s[bin], 1.0f, 0.01f) << "bin " << bin;
        // The Hann window spreads half as much into each neighbour and nothing further.
        EXPECT_NEAR(s[bin - 1], 0.5f, 0.01f);
        EXPECT_NEAR(s[bin + 1], 0.5f, 0.01f);
        EXPECT_LT(s[bin + 3], 0.001f);
    }
}

TEST(Spectrum, OneKilohertzPeaksInBin23) {
    std::vector<float> s = spectrumOf(sineBlock(1000.0 * FSOUND_FFT_SIZE / kRate, 0.8));
    EXPECT_EQ(std::max_element(s.begin(), s.end()) - s.begin(), 23);
}

TEST(Spectrum, KickLiftsBinZeroAboveBeatLevel) {
    // Frames look at the music every few milliseconds; during the kick's first tenth of a
    // second some of those looks see bin 0 above the beat level (which ones depends on the
    // 40 Hz wave's phase in the window), and none do once it has died away.
    PcmClip kick = kickClip(kRate, 1, 1.0, 1.0);
    float loudest = 0, afterwards = 0;
    for (size_t at = 0; at + FSOUND_FFT_SIZE < kick.samples.size(); at += 64) {
        std::vector<float> block(kick.samples.begin() + at,
                                 kick.samples.begin() + at + FSOUND_FFT_SIZE);
        float bin0 = spectrumOf(block)[0];
        if (at < (size_t)kRate / 10) loudest = std::max(loudest, bin0);
        if (at > (size_t)kRate / 2) afterwards = std::max(afterwards, bin0);
    }
    EXPECT_GT(loudest, 0.3f);
    EXPECT_LT(afterwards, 0.3f);
}

TEST(Spectrum, SilenceReadsZero) {
    std::vector<float> s = spectrumOf(std::vector<float>(FSOUND_FFT_SIZE, 0.0f));
    EXPECT_EQ(*std::max_element(s.begin(), s.end()), 0.0f);
}

/* ---- the layer's calls ---- */

bool allZero(const float* spectrum) {
    return std::all_of(spectrum, spectrum + FSOUND_SPECTRUM_SIZE, [](float v) { return v == 0; });
}

TEST_F(Sound, SpectrumIsAZeroedArrayBeforeTheOutputRuns) {
    FSOUND_DSP_SetActive(FSOUND_DSP_GetFFTUnit(), 1);
    float* s = FSOUND_DSP_GetSpectrum();
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(allZero(s));
}

TEST_F(Sound, ErrorCodesTellWhyAStreamDidNotOpen) {
    EXPECT_EQ(FSOUND_Stream_Open("nothing.ogg", 304, 0, 0), nullptr);
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_UNINITIALIZED);

    ASSERT_TRUE(FSOUND_Init(kRate, 16, 0));
    EXPECT_EQ(FSOUND_Stream_Open((dir + "/missing.ogg").c_str(), 304, 0, 0), nullptr);
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_FILE_NOTFOUND);

    std::string text = dir + "/not-vorbis.ogg";
    FILE* f = fopen(text.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("OggS but not really\n", f);
    fclose(f);
    EXPECT_EQ(FSOUND_Stream_Open(text.c_str(), 304, 0, 0), nullptr);
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_FILE_FORMAT);

    // A success leaves the code of the last failure for the message that follows.
    std::string good = writeClip("good.ogg", sineClip(kRate, {440}, 0.1, 0.5));
    EXPECT_NE(FSOUND_Stream_Open(good.c_str(), 304, 0, 0), nullptr);
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_FILE_FORMAT);

    EXPECT_EQ(FSOUND_Stream_Play(0, nullptr), -1);
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_INVALID_PARAM);
    EXPECT_EQ(FSOUND_Stream_Open(nullptr, 304, 0, 0), nullptr);
    EXPECT_EQ(FSOUND_DSP_SetActive(nullptr, 1), 0);
}

TEST_F(Sound, PlayRejectsChannelsOutsideTheSoftwareChannels) {
    ASSERT_TRUE(FSOUND_Init(kRate, 16, 0));
    FSOUND_STREAM* s = FSOUND_Stream_Open(writeClip("a.ogg", sineClip(kRate, {440}, 0.1, 0.5)).c_str(), 304, 0, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(FSOUND_Stream_Play(16, s), -1);
    EXPECT_EQ(FSOUND_Stream_Play(-1, s), -1);
    EXPECT_EQ(FSOUND_Stream_Play(15, s), 15);
}

TEST_F(Sound, StartingLeavesTheSignalHandlersAlone) {
    ASSERT_TRUE(FSOUND_Init(kRate, 16, 0));
    for (int sig : {SIGINT, SIGTERM}) {
        struct sigaction sa;
        ASSERT_EQ(sigaction(sig, nullptr, &sa), 0);
        EXPECT_EQ(sa.sa_handler, SIG_DFL) << "signal " << sig;
    }
}

/* ---- playback, captured ---- */

TEST_F(Sound, StreamLongerThanItsBufferPlaysExactlyAsDecoded) {
    std::string path = writeClip("long.ogg", sineClip(kRate, {330, 495}, 2.0, 0.7));
    std::vector<int16_t> expected = asOutput(decodeOgg(path));
    ASSERT_TRUE(FSOUND_Init(kRate, 16, 0));
    FSOUND_STREAM* s = FSOUND_Stream_Open(path.c_str(), 304, 0, 0);
    ASSERT_NE(s, nullptr);
    uint64_t start = mixedNow();
    ASSERT_EQ(FSOUND_Stream_Play(0, s), 0);
    waitMixed(start + expected.size() / 2 + 3 * fsound::kBlockFrames);
    fsound_stats_t stats;
    fsound_get_stats(&stats);
    EXPECT_EQ(stats.underruns, 0u);

    std::vector<int16_t> got = stopAndReadCapture();
    size_t at = firstSound(got) - firstSound(expected);
    expectFramesAt(got, at, expected, "the stream");
    // Then silence: the stream played once.
    size_t after = (at * 2 + expected.size());
    EXPECT_TRUE(std::all_of(got.begin() + after, got.end(), [](int16_t v) { return v == 0; }));
}

TEST_F(Sound, FileThatStallsCostsSilenceNotTheAudioThread) {
    // The file comes through a pipe whose writer stops halfway: the decoder waits for it, the
    // output plays silence where it lacks frames and counts the underrun, and the piece goes
    // on from where it stopped once the rest arrives.
    std::string path = writeClip("whole.ogg", sineClip(kRate, {330, 495}, 3.0, 0.7));
    std::vector<int16_t> expected = asOutput(decodeOgg(path));
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string pipe = dir + "/slow.ogg";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    ASSERT_TRUE(FSOUND_Init(kRate, 16, 0));

    // The writer holds back the last 30 % until the output has run dry (or five seconds
    // have passed, so that nothing waits for ever on a layer that never runs dry).
    std::thread writer([&] {
        FILE* f = fopen(pipe.c_str(), "wb");
        if (!f) return;
        size_t first = bytes.size() * 7 / 10;
        fwrite(bytes.data(), 1, first, f);
        fflush(f);
        fsound_stats_t seen;
        for (int i = 0; i < 500; i++) {
            fsound_get_stats(&seen);
            if (seen.underruns) break;
            SDL_Delay(10);
        }
        fwrite(bytes.data() + first, 1, bytes.size() - first, f);
        fclose(f);
    });
    FSOUND_STREAM* s = FSOUND_Stream_Open(pipe.c_str(), 304, 0, 0);
    static std::atomic<int> ends{0};
    ends = 0;
    if (s) {
        FSOUND_Stream_SetEndCallback(s, [](FSOUND_STREAM*, void*, int, int) -> signed char {
            ends++;
            return 0;
        }, 0);
        FSOUND_Stream_Play(0, s);
    }
    writer.join();
    fsound_stats_t stats;
    fsound_get_stats(&stats);
    ASSERT_NE(s, nullptr);
    EXPECT_GT(stats.underruns, 0u);
    for (int i = 0; i < 1000 && !ends.load(); i++) SDL_Delay(10);
    EXPECT_EQ(ends.load(), 1);
    waitMixed(mixedNow() + 3 * fsound::kBlockFrames);
    std::vector<int16_t> got = stopAndReadCapture();

    // The piece up to the stall, silence, then the rest of the piece.
    size_t at = firstSound(got) - firstSound(expected), k = 0;
    while (k < expected.size() && at * 2 + k < got.size() && got[at * 2 + k] == expected[k]) k++;
    k -= k % 2;
    ASSERT_LT(k, expected.size()) << "no stall in the output";
    size_t gap = 0;
    while (at * 2 + k + gap < got.size() && got[at * 2 + k + gap] == 0) gap++;
    gap -= gap % 2;
    EXPECT_GT(gap, 0u) << "a stall plays silence";
    std::vector<int16_t> rest(expected.begin() + k, expected.end());
    expectFramesAt(got, at + (k + gap) / 2, rest, "the piece after the stall");
}

/* Frequency of the sine in one channel of the capture, from its rising zero crossings, and
 * the length of the sounding part in seconds. */
void measure(const std::vector<int16_t>& capture, int channel, double* freq, double* seconds) {
    size_t first = std::string::npos, last = 0;
    for (size_t i = channel; i < capture.size(); i += 2)
        if (abs(capture[i]) > 300) {
            if (first == std::string::npos) first = i / 2;
            last = i / 2;
        }
    *seconds = first == std::string::npos ? 0 : (double)(last - first) / kRate;
    // Crossings in the middle, away from the fade in and out of the codec.
    size_t from = first + kRate / 10, to = last - kRate / 10, rising = 0;
    size_t firstCross = 0, lastCross = 0;
    for (size_t i = from; i < to; i++)
        if (capture[i * 2 + channel] < 0 && capture[(i + 1) * 2 + channel] >= 0) {
            if (!rising) firstCross = i;
            lastCross = i;
            rising++;
        }
    *freq = rising > 1 ? (rising - 1) * (double)kRate / (double)(lastCross - firstCross) : 0;
}

class SoundConversion : public Sound,
                        public ::testing::WithParamInterface<std::pair<int, std::vector<double>>> {};

TEST_P(SoundConversion, KeepsPitchAndDuration) {
    int rate = GetParam().first;
    std::vector<double> freqs = GetParam().second;
    std::string path = writeClip("converted.ogg", sineClip(rate, freqs, 1.0, 0.5));
    ASSERT_TRUE(FSOUND_Init(kRate, 16, 0));
    FSOUND_STREAM* s = FSOUND_Stream_Open(path.c_str(), 304, 0, 0);
    ASSERT_NE(s, nullptr);
    uint64_t start = mixedNow();
    ASSERT_EQ(FSOUND_Stream_Play(0, s), 0);
    waitMixed(start + kRate + 4 * fsound::kBlockFrames);
    std::vector<int16_t> got = stopAndReadCapture();

    for (int channel = 0; channel < 2; channel++) {
        double want = freqs[std::min<size_t>(channel, freqs.size() - 1)];
        double freq, seconds;
        measure(got, channel, &freq, &seconds);
        EXPECT_NEAR(freq, want, 1.0) << "channel " << channel;
        EXPECT_NEAR(seconds, 1.0, 0.005) << "channel " << channel;
    }
}

INSTANTIATE_TEST_SUITE_P(, SoundConversion,
                         ::testing::Values(std::make_pair(22050, std::vector<double>{441}),
                                           std::make_pair(48000, std::vector<double>{441, 882})));

TEST_F(Sound, PlayReplacesWhatTheChannelPlayed) {
    static std::atomic<int> ends{0};
    ends = 0;
    auto countEnd = [](FSOUND_STREAM*, void*, int, int) -> signed char {
        ends++;
        return 0;
    };
    std::string a = writeClip("a.ogg", sineClip(kRate, {300, 300}, 0.6, 0.5));
    std::string b = writeClip("b.ogg", sineClip(kRate, {700, 900}, 0.3, 0.5));
    std::vector<int16_t> expected = asOutput(decodeOgg(b));
    ASSERT_TRUE(FSOUND_Init(kRate, 16, 0));
    FSOUND_STREAM* sa = FSOUND_Stream_Open(a.c_str(), 304, 0, 0);
    FSOUND_STREAM* sb = FSOUND_Stream_Open(b.c_str(), 304, 0, 0);
    ASSERT_TRUE(sa && sb);
    FSOUND_Stream_SetEndCallback(sa, countEnd, 0);
    // a is heard for a moment, then b takes the channel over from its own first frame.
    fsound::g_engine->mixLock.lock();
    FSOUND_Stream_Play(0, sa);
    FSOUND_Stream_Play(0, sb);
    uint64_t start = mixedNow();
    fsound::g_engine->mixLock.unlock();
    waitMixed(start + kRate + 4 * fsound::kBlockFrames);
    std::vector<int16_t> got = stopAndReadCapture();

    size_t at = firstSound(got) - firstSound(expected);
    expectFramesAt(got, at, expected, "the replacing stream");
    EXPECT_EQ(ends.load(), 0) << "a replaced stream does not report an end";
}

TEST_F(Sound, SpectrumFollowsWhatIsAudible) {
    std::string path = writeClip("tone.ogg", sineClip(kRate, {1000, 1000}, 0.6, 0.9));
    ASSERT_TRUE(FSOUND_Init(kRate, 16, 0));
    FSOUND_STREAM* s = FSOUND_Stream_Open(path.c_str(), 304, 0, 0);
    ASSERT_NE(s, nullptr);
    uint64_t start = mixedNow();
    FSOUND_Stream_Play(0, s);
    waitMixed(start + kRate / 3);
    EXPECT_TRUE(allZero(FSOUND_DSP_GetSpectrum())) << "analysis is off";

    FSOUND_DSP_SetActive(FSOUND_DSP_GetFFTUnit(), 1);
    float* spectrum = FSOUND_DSP_GetSpectrum();
    EXPECT_EQ(std::max_element(spectrum, spectrum + FSOUND_SPECTRUM_SIZE) - spectrum, 23);
    EXPECT_GT(spectrum[23], 0.5f);

    // Once the tone has ended and left the output, the spectrum falls silent.
    waitMixed(start + kRate + 6 * fsound::kBlockFrames);
    spectrum = FSOUND_DSP_GetSpectrum();
    EXPECT_LT(*std::max_element(spectrum, spectrum + FSOUND_SPECTRUM_SIZE), 0.001f);
}

/* ---- the music part ---- */

class Music : public Sound {
  protected:
    void SetUp() override {
        Sound::SetUp();
        ASSERT_EQ(mkdir((dir + "/data").c_str(), 0700), 0);
        scratch.enter();
    }
};

size_t countLines(const std::string& text, const std::string& line) {
    size_t n = 0;
    for (size_t at = text.find(line + "\n"); at != std::string::npos; at = text.find(line + "\n", at + 1))
        if (at == 0 || text[at - 1] == '\n') n++;
    return n;
}

TEST_F(Music, SecondPieceFollowsTheFirstWithoutAGapAndRepeats) {
    std::string one = writeClip("data/tarn1.ogg", sineClip(kRate, {330, 440}, 0.5, 0.5));
    std::string two = writeClip("data/tarn2.ogg", sineClip(kRate, {550, 660}, 0.4, 0.5));
    std::vector<int16_t> first = asOutput(decodeOgg(one));
    std::vector<int16_t> second = asOutput(decodeOgg(two));
    size_t len1 = first.size() / 2, len2 = second.size() / 2;

    OutputCapture output(dir);
    int result = soundInit();
    waitMixed(mixedNow() + len1 + 2 * len2 + 4 * fsound::kBlockFrames);
    fsound_stats_t stats;
    fsound_get_stats(&stats);
    std::vector<int16_t> got = stopAndReadCapture();
    output.stop();

    EXPECT_EQ(result, 0);
    ASSERT_TRUE(mus && mus2);
    EXPECT_EQ(stats.underruns, 0u);
    size_t at = firstSound(got) - firstSound(first);
    expectFramesAt(got, at, first, "the first piece");
    expectFramesAt(got, at + len1, second, "the second piece");
    expectFramesAt(got, at + len1 + len2, second, "the second piece again");

    // One "Sound 2" for every start of the second piece that the mixer reached.
    size_t starts = 0;
    for (size_t end = at + len1; end <= stats.framesMixed; end += len2) starts++;
    EXPECT_EQ(countLines(output.out, "Sound 2"), starts);
    EXPECT_EQ(output.out.find("Sound: LoadSong"), std::string::npos);
}

TEST_F(Music, MissingSecondPiecePlaysNothingAndSaysWhy) {
    writeClip("data/tarn1.ogg", sineClip(kRate, {330, 440}, 0.3, 0.5));
    OutputCapture output(dir);
    int result = soundInit();
    waitMixed(kRate / 2);
    float* spectrum = FSOUND_DSP_GetSpectrum();
    bool silent = allZero(spectrum);
    std::vector<int16_t> got = stopAndReadCapture();
    output.stop();

    EXPECT_EQ(result, 0);
    EXPECT_NE(mus, nullptr);
    EXPECT_EQ(mus2, nullptr);
    EXPECT_EQ(output.out, "Sound: LoadSong " + std::to_string(FSOUND_ERR_FILE_NOTFOUND) + "\n");
    EXPECT_TRUE(std::all_of(got.begin(), got.end(), [](int16_t v) { return v == 0; }));
    EXPECT_TRUE(silent);
}

TEST_F(Music, NoOutputDeviceLeavesTheDemoSilentWithOneMessage) {
    writeClip("data/tarn1.ogg", sineClip(kRate, {330}, 0.2, 0.5));
    writeClip("data/tarn2.ogg", sineClip(kRate, {440}, 0.2, 0.5));
    // A driver that does not exist, and ALSA asked for a card that is not there: libasound
    // would complain on stderr if the layer let it.
    for (const char* driver : {"nv-no-such-driver", "alsa"}) {
        setenv("SDL_AUDIODRIVER", driver, 1);
        setenv("AUDIODEV", "hw:97,0", 1);
        OutputCapture output(dir);
        int result = soundInit();
        float* spectrum = FSOUND_DSP_GetSpectrum();
        output.stop();

        EXPECT_EQ(result, -1) << driver;
        EXPECT_EQ(output.out, "Error: Sound Init failed.\n") << driver;
        EXPECT_EQ(output.err, "") << driver;
        EXPECT_EQ(mus, nullptr);
        ASSERT_NE(spectrum, nullptr);
        EXPECT_TRUE(allZero(spectrum)) << driver;
    }
}

} // namespace
