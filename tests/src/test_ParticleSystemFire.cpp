// The fire particle system: births in the spawn box, the Euler step, rebirth after
// the age limit, and exactly how many rand() values each birth takes. Expected
// positions come from replaying rand() from the same seed.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <vector>

#include "ParticleSystemFire.h"

namespace {

const unsigned kSeed = 20240611;

// The position that a birth draws from three rand() values.
float spawnCoord(int r, float width)
{
    return (float)((r * 4.656612873077393e-10 - 0.5) * width + 0.0);
}

// The first n values of rand() after srand(seed); leaves rand seeded the same way.
std::vector<int> replay(unsigned seed, int n)
{
    srand(seed);
    std::vector<int> r;
    for (int i = 0; i < n; i++)
        r.push_back(rand());
    srand(seed);
    return r;
}

void expectSpawnedAt(ParticleSystemFire& ps, int i, const int* r)
{
    EXPECT_EQ(ps.getPositions()[3 * i + 0], spawnCoord(r[0], 5));
    EXPECT_EQ(ps.getPositions()[3 * i + 1], spawnCoord(r[1], 2));
    EXPECT_EQ(ps.getPositions()[3 * i + 2], spawnCoord(r[2], 5));
}

}  // namespace

TEST(ParticleSystemFire, FreshSystemIsEmptyAndUpdateDoesNothing)
{
    ParticleSystemFire ps;
    EXPECT_EQ(ps.getNumber(), 0);
    EXPECT_EQ(ps.getPositions(), nullptr);
    EXPECT_EQ(ps.getAges(), nullptr);
    EXPECT_EQ(ps.fAgeMax, 15.0f);
    std::vector<int> r = replay(kSeed, 1);
    ps.update(100);
    EXPECT_EQ(ps.getNumber(), 0);
    EXPECT_EQ(rand(), r[0]);  // no rand() taken
}

TEST(ParticleSystemFire, BirthTakesThreeRandValuesXYZInsideTheBox)
{
    std::vector<int> r = replay(kSeed, 7);
    ParticleSystemFire ps;
    ps.addParticles(1);
    ASSERT_EQ(ps.getNumber(), 1);
    expectSpawnedAt(ps, 0, &r[0]);
    EXPECT_EQ(ps.getAges()[0], 0.0f);
    EXPECT_EQ(ps.pfSpeed[0], 0.0f);
    EXPECT_EQ(ps.pfSpeed[1], 1.5f);
    EXPECT_EQ(ps.pfSpeed[2], 0.3f);

    // Particles added together are born in index order, three values each.
    ps.addParticles(1);
    expectSpawnedAt(ps, 1, &r[3]);
    EXPECT_EQ(rand(), r[6]);
}

TEST(ParticleSystemFire, ManyBirthsStayInTheBox)
{
    srand(kSeed);
    ParticleSystemFire ps;
    ps.addParticles(2000);
    ASSERT_EQ(ps.getNumber(), 2000);
    for (int i = 0; i < ps.getNumber(); i++) {
        const float* p = ps.getPositions() + 3 * i;
        ASSERT_GE(p[0], -2.5f);
        ASSERT_LT(p[0], 2.5f);
        ASSERT_GE(p[1], -1.0f);
        ASSERT_LT(p[1], 1.0f);
        ASSERT_GE(p[2], -2.5f);
        ASSERT_LT(p[2], 2.5f);
        ASSERT_EQ(ps.getAges()[i], 0.0f);
    }
}

TEST(ParticleSystemFire, GrowingOneAtATimeKeepsEarlierParticles)
{
    srand(kSeed);
    ParticleSystemFire ps;
    std::vector<float> first;
    for (int n = 1; n <= 150; n++) {
        ps.addParticles(1);
        if (n == 1)
            first.assign(ps.getPositions(), ps.getPositions() + 3);
        ps.update(0.01f);
    }
    ASSERT_EQ(ps.getNumber(), 150);
    EXPECT_EQ(ps.getAges()[149], 0.01f);
    EXPECT_NEAR(ps.getAges()[0], 1.5f, 1e-4);
    EXPECT_NEAR(ps.getPositions()[1], first[1] + 150 * 0.01f * 1.5f, 1e-3);
}

TEST(ParticleSystemFire, UpdateAgesAndMovesByOneEulerStep)
{
    srand(kSeed);
    ParticleSystemFire ps;
    ps.addParticles(1);
    float p[3] = {ps.getPositions()[0], ps.getPositions()[1], ps.getPositions()[2]};
    std::vector<int> r = replay(kSeed + 1, 1);
    ps.update(1);
    EXPECT_EQ(ps.getAges()[0], 1.0f);
    EXPECT_EQ(ps.getPositions()[0], p[0] + 0.0f);
    EXPECT_EQ(ps.getPositions()[1], 1.0f * 1.5f + p[1]);
    EXPECT_EQ(ps.getPositions()[2], 1.0f * 0.3f + p[2]);
    EXPECT_EQ(rand(), r[0]);  // moving takes no rand()
}

TEST(ParticleSystemFire, AgeOfExactlyFifteenIsNotReborn)
{
    srand(kSeed);
    ParticleSystemFire ps;
    ps.addParticles(1);
    float y0 = ps.getPositions()[1];
    ps.update(15);
    EXPECT_EQ(ps.getAges()[0], 15.0f);
    EXPECT_EQ(ps.getPositions()[1], 15.0f * 1.5f + y0);

    // Past 15: age back to 0 and a fresh place, with no step taken.
    std::vector<int> r = replay(kSeed + 2, 4);
    ps.update(0.5f);
    EXPECT_EQ(ps.getAges()[0], 0.0f);
    expectSpawnedAt(ps, 0, &r[0]);
    EXPECT_EQ(ps.pfSpeed[1], 1.5f);  // the velocity stays
    EXPECT_EQ(rand(), r[3]);
}

TEST(ParticleSystemFire, LongUpdateRebirthsAtOnceWithoutMoving)
{
    srand(kSeed);
    ParticleSystemFire ps;
    ps.addParticles(2);
    std::vector<int> r = replay(kSeed + 3, 7);
    ps.update(20);
    for (int i = 0; i < 2; i++) {
        EXPECT_EQ(ps.getAges()[i], 0.0f);
        expectSpawnedAt(ps, i, &r[3 * i]);
    }
    EXPECT_EQ(rand(), r[6]);
}

TEST(ParticleSystemFire, NonPositiveOrOverflowingCountsChangeNothing)
{
    srand(kSeed);
    ParticleSystemFire ps;
    ps.addParticles(0);
    ps.addParticles(-3);
    EXPECT_EQ(ps.getNumber(), 0);
    EXPECT_EQ(ps.getPositions(), nullptr);

    ps.addParticles(1);
    float* pos = ps.getPositions();
    std::vector<int> r = replay(kSeed + 4, 1);
    ps.addParticles(-1);
    ps.addParticles(INT_MAX);  // the count would overflow
    EXPECT_EQ(ps.getNumber(), 1);
    EXPECT_EQ(ps.getPositions(), pos);
    EXPECT_EQ(rand(), r[0]);
}
