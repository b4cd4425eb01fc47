/*
 * The sound layer's capture output: no device, the mix taken one video frame at a time.
 * What it hands over is compared sample by sample with libvorbisfile's own decode, and the
 * spectrum of each frame with the spectrum of that frame's last 1024 samples.
 */
#include <fcntl.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fsound.h"
#include "fsound_capture.h"
#include "fsound_internal.h"
#include "source_vorbis.h"
#include "music.h"
#include "scratch_dir.h"
#include "sound_ogg.h"
#include "spectrum.h"

namespace {

const int kRate = 44100;


class Capture : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(scratch.ok());
        dir = scratch.str();
        ASSERT_EQ(mkdir((dir + "/data").c_str(), 0700), 0);
        scratch.enter();
        setenv("FSOUND_OUTPUT", "capture", 1);
        unsetenv("FSOUND_CAPTURE_FPS");
        // Proof that no device is opened: SDL would fail on this driver.
        setenv("SDL_AUDIODRIVER", "nv-no-such-driver", 1);
    }
    void TearDown() override {
        fsound_shutdown();
        mus = mus2 = nullptr;
        FSOUND_DSP_SetActive(FSOUND_DSP_GetFFTUnit(), 0);
        unsetenv("FSOUND_OUTPUT");
        unsetenv("FSOUND_CAPTURE_FPS");
        unsetenv("SDL_AUDIODRIVER");
    }

    std::string writeClip(const std::string& name, const PcmClip& clip) {
        std::string path = dir + "/" + name;
        EXPECT_TRUE(writeOgg(path, clip)) << path;
        return path;
    }

    /* Takes the next video frame; appends it to all. Returns its length in frames. */
    int takeFrame(std::vector<int16_t>* all) {
        int16_t buffer[2 * 8000];
        int n = fsound_capture_frame(buffer, 8000);
        if (n > 0) all->insert(all->end(), buffer, buffer + 2 * n);
        return n;
    }

    /* Starts the music part and takes video frames until `frames` output frames are in all,
     * into *got; returns how many "Sound 2" lines had been printed by the end of each. */
    std::vector<size_t> playMusic(size_t frames, std::vector<int16_t>* got) {
        std::string outPath = dir + "/stdout";
        fflush(stdout);
        int saved = dup(1);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        close(out);
        auto printed = [&]() {
            struct stat st;
            return stat(outPath.c_str(), &st) == 0 ? (size_t)st.st_size / strlen("Sound 2\n") : 0;
        };
        EXPECT_EQ(soundInit(), 0);
        std::vector<size_t> printedAt;
        while (got->size() / 2 < frames) {
            if (takeFrame(got) <= 0) break;
            printedAt.push_back(printed());
        }
        fflush(stdout);
        dup2(saved, 1);
        close(saved);
        return printedAt;
    }

    nvt::ScratchDir scratch{"nv_capture"};
    std::string dir;
};

TEST_F(Capture, OutputIsChosenByTheEnvironment) {
    // The device output knows nothing of captured frames.
    setenv("FSOUND_OUTPUT", "sdl", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(FSOUND_Init(kRate, 16, 0));
    int16_t buffer[2 * 1000];
    EXPECT_EQ(fsound_capture_rate(), 0);
    EXPECT_EQ(fsound_capture_frame(buffer, 1000), -1);
    fsound_shutdown();

    // The capture output needs no driver at all.
    setenv("FSOUND_OUTPUT", "capture", 1);
    setenv("SDL_AUDIODRIVER", "nv-no-such-driver", 1);
    ASSERT_TRUE(FSOUND_Init(kRate, 16, 0));
    EXPECT_EQ(fsound_capture_rate(), kRate);
    fsound_shutdown();
    EXPECT_EQ(fsound_capture_rate(), 0);

    // Names and rates the layer does not have fail the start, with a reason.
    const char* outputs[] = {"nv-no-such-output", "Capture"};
    for (const char* output : outputs) {
        setenv("FSOUND_OUTPUT", output, 1);
        EXPECT_FALSE(FSOUND_Init(kRate, 16, 0)) << output;
        EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_INIT) << output;
    }
    setenv("FSOUND_OUTPUT", "capture", 1);
    const char* rates[] = {"0", "-5", "60fps", "1001"};
    for (const char* fps : rates) {
        setenv("FSOUND_CAPTURE_FPS", fps, 1);
        EXPECT_FALSE(FSOUND_Init(kRate, 16, 0)) << fps;
        EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_INIT) << fps;
    }
}

TEST_F(Capture, FramesHoldExactlyTheirShareOfTheSecond) {
    struct Case {
        const char* fps;
        int rate;
    } cases[] = {{"60", 44100}, {"24", 44100}, {"7", 44100}, {"1000", 8000}, {"25", 48000}};
    for (const Case& c : cases) {
        setenv("FSOUND_CAPTURE_FPS", c.fps, 1);
        int fps = atoi(c.fps);
        ASSERT_TRUE(FSOUND_Init(c.rate, 16, 0)) << c.fps;
        std::vector<int16_t> all;
        int frames = 3 * fps + 1;
        for (int k = 0; k < frames; k++) {
            int n = takeFrame(&all);
            // Each frame is the rate's share, rounded, and the total never drifts.
            ASSERT_GE(n, c.rate / fps) << c.fps << " frame " << k;
            ASSERT_LE(n, c.rate / fps + 1) << c.fps << " frame " << k;
            ASSERT_EQ(all.size() / 2, (size_t)((uint64_t)(k + 1) * c.rate / fps)) << c.fps << " frame " << k;
        }
        fsound_shutdown();
    }

    // A buffer too small for the frame takes nothing and leaves the frame where it was.
    unsetenv("FSOUND_CAPTURE_FPS");
    ASSERT_TRUE(FSOUND_Init(kRate, 16, 0));
    int16_t buffer[2 * 735];
    EXPECT_EQ(fsound_capture_frame(buffer, 734), -1);
    EXPECT_EQ(fsound_capture_frame(nullptr, 735), -1);
    EXPECT_EQ(fsound_capture_frame(buffer, 735), 735);
    fsound_stats_t stats;
    fsound_get_stats(&stats);
    EXPECT_EQ(stats.framesMixed, 735u);
}

TEST_F(Capture, MusicIsTheDecodeSampleForSampleAcrossEverySeam) {
    // The first piece is longer than a stream's decode-ahead, so the capture has to decode
    // on demand; the second repeats. Every start of it prints "Sound 2" during the video
    // frame that holds its first sample.
    std::string one = writeClip("data/tarn1.ogg", sineClip(kRate, {330, 440}, 2.6, 0.5));
    std::string two = writeClip("data/tarn2.ogg", sineClip(kRate, {550, 660}, 0.31, 0.5));
    std::vector<int16_t> first = asOutput(decodeOgg(one));
    std::vector<int16_t> second = asOutput(decodeOgg(two));
    size_t len1 = first.size() / 2, len2 = second.size() / 2;
    ASSERT_GT(len1, (size_t)fsound::kRingFrames + fsound::kHeadFrames);

    std::vector<int16_t> got;
    size_t total = len1 + 3 * len2 + 100;
    std::vector<size_t> printedAt = playMusic(total, &got); // "Sound 2" lines by each frame's end

    // From the very first sample of frame 0, with nothing missing and nothing between.
    ASSERT_GE(got.size() / 2, total);
    std::vector<int16_t> expected = first;
    for (int i = 0; i < 4; i++) expected.insert(expected.end(), second.begin(), second.end());
    for (size_t i = 0; i < total * 2; i++)
        ASSERT_EQ(got[i], expected[i]) << "frame " << i / 2 << " channel " << i % 2;
    fsound_stats_t stats;
    fsound_get_stats(&stats);
    EXPECT_EQ(stats.underruns, 0u);

    for (size_t k = 0; k < printedAt.size(); k++) {
        // Starts of the second piece whose first sample lies in video frames 0 to k. A start
        // on the boundary itself may be announced with the frame that ends the piece before.
        size_t end = (k + 1) * 735, starts = 0, onBoundary = 0;
        for (size_t at = len1; at <= end; at += len2) (at < end ? starts : onBoundary)++;
        ASSERT_GE(printedAt[k], starts) << "video frame " << k;
        ASSERT_LE(printedAt[k], starts + onBoundary) << "video frame " << k;
    }
}

TEST_F(Capture, PieceEndingOnAFrameEdgeIsAnnouncedInItsLastFrame) {
    // Exactly a second (60 video frames of 735 output frames, longer than the decoded head,
    // so the end is found while decoding on demand): "Sound 2" belongs to video frame 59,
    // which holds the last frame, not to the frame after it.
    std::string one = writeClip("data/tarn1.ogg", sineClip(kRate, {330, 440}, 1.0, 0.5));
    writeClip("data/tarn2.ogg", sineClip(kRate, {550, 660}, 0.5, 0.5));
    size_t len1 = decodeOgg(one).frames();
    ASSERT_EQ(len1, (size_t)kRate);
    ASSERT_GT(len1, (size_t)fsound::kHeadFrames);

    std::vector<int16_t> got;
    std::vector<size_t> printedAt = playMusic(len1 + 3 * 735, &got);
    ASSERT_GE(printedAt.size(), 62u);
    EXPECT_EQ(printedAt[58], 0u) << "announced before the piece ended";
    EXPECT_EQ(printedAt[59], 1u) << "not announced in the video frame that ends the piece";
    EXPECT_EQ(printedAt[61], 1u);
}

TEST_F(Capture, LoudStreamsTogetherClipAtBothRails) {
    // Two streams of the same tone at 0.9 of full scale, in phase: the sum reaches 1.8 and
    // must stay at the rail instead of wrapping round to the other one.
    std::string path = writeClip("loud.ogg", sineClip(kRate, {441}, 1.0, 0.9));
    PcmClip decoded = decodeOgg(path);
    ASSERT_TRUE(FSOUND_Init(kRate, 16, 0));
    FSOUND_STREAM* a = FSOUND_Stream_Open(path.c_str(), 304, 0, 0);
    FSOUND_STREAM* b = FSOUND_Stream_Open(path.c_str(), 304, 0, 0);
    ASSERT_TRUE(a && b);
    ASSERT_EQ(FSOUND_Stream_Play(0, a), 0);
    ASSERT_EQ(FSOUND_Stream_Play(1, b), 1);
    std::vector<int16_t> got;
    while (got.size() / 2 < decoded.frames()) ASSERT_GT(takeFrame(&got), 0);

    int wraps = 0, low = 0, high = 0;
    size_t wrong = 0, firstWrong = 0;
    for (size_t i = 0; i < decoded.frames(); i++) {
        int16_t want = quantize(decoded.samples[i] + decoded.samples[i]);
        for (int c = 0; c < 2; c++) {
            int16_t v = got[i * 2 + c];
            if (i > 0 && abs(v - got[(i - 1) * 2 + c]) > 32767) wraps++;
            low += v == -32767;
            high += v == 32767;
            if (v != want && !wrong++) firstWrong = i;
        }
    }
    EXPECT_EQ(wraps, 0) << "jumps from one rail to the other";
    EXPECT_EQ(wrong, 0u) << "samples off the clipped sum, the first in frame " << firstWrong;
    EXPECT_GT(low, 1000);
    EXPECT_GT(high, 1000);
}

TEST_F(Capture, SpectrumIsThatOfTheFramesLastSamples) {
    // A tone that starts 0.1 s in and a silent tail: each frame's spectrum must be that of
    // the 1024 mono samples ending with the frame, however often it is read.
    PcmClip clip = sineClip(kRate, {1000, 1000}, 0.5, 0.8);
    for (size_t i = 0; i < (size_t)kRate / 10 * 2; i++) clip.samples[i] = 0;
    std::string path = writeClip("tone.ogg", clip);
    PcmClip decoded = decodeOgg(path);
    ASSERT_EQ(decoded.channels, 2);

    setenv("FSOUND_CAPTURE_FPS", "30", 1);
    ASSERT_TRUE(FSOUND_Init(kRate, 16, 0));
    FSOUND_DSP_SetActive(FSOUND_DSP_GetFFTUnit(), 1);
    FSOUND_STREAM* s = FSOUND_Stream_Open(path.c_str(), 304, 0, 0);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(FSOUND_Stream_Play(0, s), 0);

    std::vector<int16_t> got;
    std::vector<float> window(FSOUND_FFT_SIZE), expected(FSOUND_SPECTRUM_SIZE);
    int loud = 0;
    for (int k = 0; k < 25; k++) {
        std::vector<float> spectrum(FSOUND_DSP_GetSpectrum(), FSOUND_DSP_GetSpectrum() + FSOUND_SPECTRUM_SIZE);
        std::vector<float> again(FSOUND_DSP_GetSpectrum(), FSOUND_DSP_GetSpectrum() + FSOUND_SPECTRUM_SIZE);
        EXPECT_EQ(spectrum, again) << "a second read in frame " << k << " moved on";

        size_t end = (size_t)(k + 1) * kRate / 30;
        for (int i = 0; i < FSOUND_FFT_SIZE; i++) {
            long at = (long)end - FSOUND_FFT_SIZE + i;
            float l = 0, r = 0;
            if (at >= 0 && (size_t)at < decoded.frames()) {
                l = std::min(1.0f, std::max(-1.0f, decoded.samples[at * 2]));
                r = std::min(1.0f, std::max(-1.0f, decoded.samples[at * 2 + 1]));
            }
            window[i] = 0.5f * (l + r);
        }
        fsound_spectrum(window.data(), expected.data());
        for (int b = 0; b < FSOUND_SPECTRUM_SIZE; b++)
            ASSERT_NEAR(spectrum[b], expected[b], 1e-5) << "frame " << k << " bin " << b;
        if (spectrum[23] > 0.5f) loud++;
        ASSERT_GT(takeFrame(&got), 0);
    }
    // The tone was seen from the frame it began in to the frame it left the window.
    EXPECT_GT(loud, 8);
}

} // namespace
