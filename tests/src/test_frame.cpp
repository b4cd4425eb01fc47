// The frame's arithmetic: letterbox, bounce, clock and the shared record.
#include <gtest/gtest.h>

#include <math.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include "frame.h"

TEST(Letterbox, SixteenByNineAsWideAsTheWindow) {
    struct { int w, h, realH, offH; } cases[] = {
        {800, 600, 450, 75},
        {1024, 768, 576, 96},
        {1280, 1024, 720, 152},
        {1920, 800, 1080, -140}, // wider than 16:9: reaches past top and bottom
    };
    for (auto& c : cases) {
        int realH = letterboxHeight(c.w);
        EXPECT_EQ(realH, c.realH) << c.w;
        EXPECT_EQ(letterboxOffset(c.h, realH), c.offH) << c.w << "x" << c.h;
    }
}

TEST(Letterbox, OffsetTruncatesTowardZero) {
    EXPECT_EQ(letterboxOffset(455, 450), 2);
    EXPECT_EQ(letterboxOffset(445, 450), -2);
    EXPECT_EQ(letterboxHeight(801), 450); // 450.5625 truncated
}

TEST(Bounce, TiltSwingsBetweenMinusAndPlusTwenty) {
    EXPECT_EQ(bounceTilt(0), 0);
    EXPECT_EQ(bounceTilt(10.0f), 16);  // sin(1) * 20 = 16.8
    EXPECT_EQ(bounceTilt(40.0f), -15); // sin(4) * 20 = -15.1, truncated toward zero
    EXPECT_EQ(bounceTilt(1.0f), 1);    // sin(0.1) * 20 = 1.997
    for (float t = 0; t < 200; t += 0.37f) {
        int tilt = bounceTilt(t);
        EXPECT_LE(tilt, 20);
        EXPECT_GE(tilt, -20);
    }
}

TEST(Bounce, RestingBeatLevelGivesNoShift) {
    for (int tilt = -20; tilt <= 20; tilt++) {
        EXPECT_EQ(bounceShift(-0.02f, tilt), 0);
        EXPECT_EQ(bounceShift(0.0f, tilt), 0);
    }
    EXPECT_EQ(bounceShift(0.97f, 20), 19);
    EXPECT_EQ(bounceShift(0.97f, -20), -19);
}

TEST(Bounce, ABeatLiftsTheLetterboxWhileTheTiltIsPositive) {
    // The tilt swings with a period of 20 pi seconds, positive in its first half.
    const int offH = 152;
    EXPECT_EQ(letterboxY(offH, 1.0f, 10.0f), offH + 16);
    EXPECT_EQ(letterboxY(offH, 1.0f, 40.0f), offH - 15);
    EXPECT_EQ(letterboxY(offH, 0.5f, 10.0f), offH + 8);
    EXPECT_EQ(letterboxY(offH, 0.0f, 10.0f), offH);
    for (float t = 5; t < 27; t += 0.25f) EXPECT_GT(letterboxY(offH, 0.9f, t), offH) << "not lifted at " << t << " s";
    for (float t = 37; t < 58; t += 0.25f) EXPECT_LT(letterboxY(offH, 0.9f, t), offH) << "not lowered at " << t << " s";
}

TEST(Clock, DeltaAndSecondsFollowMicroseconds) {
    EXPECT_NEAR(frameDelta(1000000, 1016667), 0.016667f, 1e-7);
    EXPECT_FLOAT_EQ(secondsSince(0, 2500000), 2.5f);
    // Stamps since the epoch keep sub-millisecond resolution for hours of running.
    timestamp_t start = 1796000000LL * 1000000;
    timestamp_t hours = start + 5LL * 3600 * 1000000;
    EXPECT_NEAR(frameDelta(hours, hours + 250), 0.00025f, 1e-9);
    EXPECT_FLOAT_EQ(secondsSince(start, hours + 500), 18000.0005f);
}

// The wall clock as a user or NTP sets it: moved by g_wallStepUs, for
// gettimeofday and clock_gettime's wall clocks alike. The other clocks pass.
static long long g_wallStepUs = 0;

static void stepWall(struct timespec* ts) {
    long long ns = (long long)ts->tv_sec * 1000000000 + ts->tv_nsec + g_wallStepUs * 1000;
    ts->tv_sec = (time_t)(ns / 1000000000);
    ts->tv_nsec = (long)(ns % 1000000000);
}

extern "C" int clock_gettime(clockid_t clock, struct timespec* ts) noexcept {
    int r = (int)syscall(SYS_clock_gettime, clock, ts);
    if (r == 0 && (clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE)) stepWall(ts);
    return r;
}

extern "C" int gettimeofday(struct timeval* tv, void*) noexcept {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    tv->tv_sec = ts.tv_sec;
    tv->tv_usec = ts.tv_nsec / 1000;
    return 0;
}

TEST(Clock, StampsIgnoreTheWallClockBeingSet) {
    // Between two frames the wall clock goes back an hour, then forward a day:
    // the show must neither run backwards (the fire froze for the hour) nor jump.
    timestamp_t start = timeStamp();
    g_wallStepUs = -3600LL * 1000000;
    timestamp_t back = timeStamp();
    g_wallStepUs = 86400LL * 1000000;
    timestamp_t forward = timeStamp();
    g_wallStepUs = 0;
    EXPECT_GE(frameDelta(start, back), 0.0f);
    EXPECT_LT(frameDelta(start, back), 1.0f);
    EXPECT_GE(frameDelta(back, forward), 0.0f);
    EXPECT_LT(frameDelta(back, forward), 1.0f);
    EXPECT_LT(secondsSince(start, forward), 1.0f);

    // Microseconds, not seconds or nanoseconds: a 20 ms sleep reads as 20000 or so.
    timestamp_t before = timeStamp();
    usleep(20000);
    timestamp_t after = timeStamp();
    EXPECT_GE(after - before, 20000);
    EXPECT_LT(after - before, 2000000);
}

static void fill(float* spec, float v) {
    for (int i = 0; i < SPECTRUM_BINS; i++) spec[i] = v;
}

TEST(Beat, ThresholdIsStrictlyAboveDoublePointThree) {
    float spec[SPECTRUM_BINS] = {};
    info_t info = {};
    spec[0] = 0.3f; // 0.300000012, above the double 0.3
    updateInfo(&info, spec);
    EXPECT_FLOAT_EQ(info.base, (float)(1.0f - 0.03));

    info = {};
    spec[0] = nextafterf(0.3f, 0); // 0.29999998
    updateInfo(&info, spec);
    EXPECT_EQ(info.base, 0.0f);
}

TEST(Beat, DecaysByPointZeroThreeAndRestsBelowZero) {
    float spec[SPECTRUM_BINS] = {};
    info_t info = {};
    spec[0] = 1.0f;
    updateInfo(&info, spec);
    EXPECT_FLOAT_EQ(info.base, 0.97f);
    // While every frame beats, the level reads 0.97 each frame.
    updateInfo(&info, spec);
    EXPECT_FLOAT_EQ(info.base, 0.97f);

    spec[0] = 0;
    float expected = info.base;
    int frames = 0;
    while (info.base > 0) {
        updateInfo(&info, spec);
        expected = (float)(expected - 0.03);
        EXPECT_EQ(info.base, expected);
        frames++;
    }
    EXPECT_EQ(frames, 33); // 33 frames after the beat frame, 34 decrements from 1.0
    EXPECT_NEAR(info.base, -0.02f, 0.005f);
    float rest = info.base;
    updateInfo(&info, spec);
    EXPECT_EQ(info.base, rest);
}

TEST(Bands, MeansOfThirtyTwoBins) {
    float spec[SPECTRUM_BINS];
    info_t info = {};
    fill(spec, 1.0f);
    updateInfo(&info, spec);
    for (int i = 0; i < SPECTRUM_BANDS; i++) EXPECT_EQ(info.spectrum16[i], 1.0f);
    EXPECT_EQ(info.spectrum, spec);

    fill(spec, 0);
    spec[31] = 0.8f;
    updateInfo(&info, spec);
    EXPECT_FLOAT_EQ(info.spectrum16[0], 0.8f / 32);
    EXPECT_EQ(info.spectrum16[1], 0.0f);

    for (int i = 0; i < SPECTRUM_BINS; i++) spec[i] = (float)(i / 32);
    updateInfo(&info, spec);
    for (int i = 0; i < SPECTRUM_BANDS; i++) EXPECT_FLOAT_EQ(info.spectrum16[i], (float)i);
}
