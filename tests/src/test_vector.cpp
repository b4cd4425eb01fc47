// vector: component-wise float arithmetic, including the IEEE corner cases that
// nothing in the class guards against.
#include <gtest/gtest.h>

#include <cmath>

#include "vector.h"

namespace {

void expectVec(const vector& v, float x, float y, float z)
{
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
    EXPECT_FLOAT_EQ(v.z, z);
}

}  // namespace

TEST(Vector, HoldsExactlyThreeFloatsInOrder)
{
    static_assert(sizeof(vector) == 3 * sizeof(float), "no hidden state");
    vector v(1, 2, 3);
    const float* p = &v.x;
    EXPECT_EQ(p[0], 1.0f);
    EXPECT_EQ(p[1], 2.0f);
    EXPECT_EQ(p[2], 3.0f);
    v.set(-4, 5.5f, 0);
    expectVec(v, -4, 5.5f, 0);
}

TEST(Vector, LengthAndNormalize)
{
    EXPECT_EQ(vector(3, 4, 12).length(), 13.0f);
    vector v(3, 4, 0);
    v.normalize();
    EXPECT_EQ(v.x, 0.6f);
    EXPECT_EQ(v.y, 0.8f);
    EXPECT_EQ(v.z, 0.0f);
    // Squares summed in double: no overflow to infinity for big float components.
    EXPECT_EQ(vector(3e30f, 4e30f, 0).length(), 5e30f);
    // ... nor underflow to zero for tiny ones.
    EXPECT_EQ(vector(3e-30f, 4e-30f, 0).length(), 5e-30f);
}

TEST(Vector, NormalizingZeroGivesNaN)
{
    vector v(0, 0, 0);
    v.normalize();
    EXPECT_TRUE(std::isnan(v.x));
    EXPECT_TRUE(std::isnan(v.y));
    EXPECT_TRUE(std::isnan(v.z));
}

TEST(Vector, UnaryOperators)
{
    vector m = -vector(0, 0, 0);
    EXPECT_TRUE(std::signbit(m.x) && std::signbit(m.y) && std::signbit(m.z));
    EXPECT_EQ(m.x, 0.0f);
    expectVec(-vector(1, -2, 3), -1, 2, -3);
    vector n = -vector(NAN, 1, 1);
    EXPECT_TRUE(std::isnan(n.x));
    EXPECT_TRUE(std::signbit(n.x));  // the sign of a NaN flips too
    expectVec(+vector(1, -2, 3), 1, -2, 3);
}

TEST(Vector, DivisionByZeroComponentsFollowsIEEE)
{
    vector q = vector(1, 2, 3) / vector(2, 0, -1);
    EXPECT_EQ(q.x, 0.5f);
    EXPECT_TRUE(std::isinf(q.y) && q.y > 0);
    EXPECT_EQ(q.z, -3.0f);
    vector r = vector(-1, 0, 1) / vector(0, 0, -0.0f);
    EXPECT_TRUE(std::isinf(r.x) && r.x < 0);
    EXPECT_TRUE(std::isnan(r.y));
    EXPECT_TRUE(std::isinf(r.z) && r.z < 0);
}

TEST(Vector, BinaryArithmetic)
{
    vector a(1, 2, 3), b(2, 3, 4);
    expectVec(2.0f * a, 2, 4, 6);
    expectVec(a * 2.0f, 2, 4, 6);
    expectVec(a * b, 2, 6, 12);
    expectVec(a + b, 3, 5, 7);
    expectVec(a - b, -1, -1, -1);
    expectVec(a, 1, 2, 3);  // the operands are left alone
    expectVec(b, 2, 3, 4);
    // Single precision: 1 + 1e-8 rounds back to 1.
    EXPECT_EQ((vector(1, 1, 1) + vector(1e-8f, 0, 0)).x, 1.0f);
}

TEST(Vector, AssignmentOperatorsChainAndWorkInPlace)
{
    vector a(1, 2, 3), b(0, 0, 0), c(0, 0, 0);
    c = b = a;
    expectVec(b, 1, 2, 3);
    expectVec(c, 1, 2, 3);
    (a += vector(1, 1, 1)) += vector(1, 1, 1);
    expectVec(a, 3, 4, 5);
    (a -= vector(3, 4, 5)) -= vector(1, 1, 1);
    expectVec(a, -1, -1, -1);
    const vector& same = a;
    a = same;  // self-assignment keeps the value
    expectVec(a, -1, -1, -1);
    vector d(a);
    expectVec(d, -1, -1, -1);
}
