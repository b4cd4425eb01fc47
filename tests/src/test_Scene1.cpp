// The tower scene's emission cadence, driven without GL.
#include <gtest/gtest.h>

#include <math.h>

#include "ParticleSystemFire.h"
#include "Scene1.h"
#include "global.h"

nork_lib_t* pNorkLib = nullptr;

namespace {

struct Emission : ::testing::Test {
    float tLastAdd = -10.0f;
    ParticleSystemFire psf;

    int frameOf(float f) {
        emitParticles(tLastAdd, f, &psf);
        return psf.getNumber();
    }
};

} // namespace

TEST_F(Emission, FirstParticleWhenTheSummedTimeFirstExceedsTenAndAHalf) {
    int frame = 0;
    while (frameOf(0.25f) == 0) frame++;
    EXPECT_EQ(frame + 1, 43); // 43 * 0.25 = 10.75, the first sum above 10.5
    EXPECT_FLOAT_EQ(tLastAdd, 0.25f);
}

TEST_F(Emission, AnAccumulatorOfExactlyHalfASecondAddsNothing) {
    tLastAdd = 0;
    EXPECT_EQ(frameOf(0.5f), 0);
    EXPECT_EQ(tLastAdd, 0.5f);
    EXPECT_EQ(frameOf(0.0f), 0);
    EXPECT_EQ(frameOf(0.001f), 1);
}

TEST_F(Emission, OneLongFrameIsWorkedOffOneParticleAFrame) {
    tLastAdd = 0.25f;
    EXPECT_EQ(frameOf(3.0f), 1); // 3.25
    const float seen[] = {2.75f, 2.25f, 1.75f, 1.25f, 0.75f};
    for (int i = 0; i < 5; i++) {
        EXPECT_FLOAT_EQ(tLastAdd + 0.0f, seen[i]);
        EXPECT_EQ(frameOf(0.0f), i + 2);
    }
    EXPECT_FLOAT_EQ(tLastAdd, 0.25f);
    EXPECT_EQ(frameOf(0.0f), 6); // nothing more
}

TEST_F(Emission, GrowthStopsAtOneHundredFiftyButTheAccumulatorStillDrains) {
    tLastAdd = 0;
    for (int i = 0; i < 400; i++) frameOf(0.6f);
    EXPECT_EQ(psf.getNumber(), 150);
    tLastAdd = 0.25f;
    frameOf(3.0f);
    EXPECT_FLOAT_EQ(tLastAdd, 2.75f);
    EXPECT_EQ(psf.getNumber(), 150);
}

TEST(Camera, EyeHeightIsTakenInDouble) {
    // At t = 1 the single-precision sine, sum and product miss by about 1e-6.
    const float t = 1.0f;
    EXPECT_DOUBLE_EQ(eyeHeight(t), 60 + 10 * (0.8414709848078965 + 1));
    EXPECT_DOUBLE_EQ(eyeHeight(0), 70.0);
    EXPECT_DOUBLE_EQ(eyeHeight(M_PI / 2), 80.0);
}

TEST(Camera, SetAngleStaysWithinOneTurn) {
    EXPECT_EQ(setAngle(3), -90.0f);
    EXPECT_EQ(setAngle(90), -180.0f); // -2700 degrees
    // A day and a thirtieth of a second: the float angle still carries the step.
    EXPECT_NEAR(setAngle(86400 + 1 / 30.0), -1.0f, 1e-4);
}

TEST(Flare, AlphaFallsFromPointEightToZeroAtTenSeconds) {
    EXPECT_FLOAT_EQ(flareAlpha(0), 0.8f);
    EXPECT_FLOAT_EQ(flareAlpha(5), 0.4f);
    EXPECT_FLOAT_EQ(flareAlpha(10), 0.0f);
    EXPECT_LT(flareAlpha(12), 0.0f); // clamped to nothing by GL
}
