// The spiral scroller: the padded text and its window, the font table, the helix
// tables, the per-frame scroll and the geometry that draw emits. draw's GL calls
// land in the tests' GL recorder, so the quads can be checked one by one.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "ScrollerSpiral.h"
#include "gl_recorder.h"

using glrec::call;
using glrec::Vertex;

namespace {

glrec::Record gl;

// Starts a new record. The scroller draws its glyphs white and varies only
// their alpha, so every colour given so far must be white.
void restart()
{
    for (const glrec::Color& c : gl.colors) {
        EXPECT_EQ(c.r, 1.0f);
        EXPECT_EQ(c.g, 1.0f);
        EXPECT_EQ(c.b, 1.0f);
    }
    gl.clear();
}

// draw's GL calls go to the record.
class ScrollerDraw : public ::testing::Test {
protected:
    void SetUp() override
    {
        gl.clear();
        glrec::recording = &gl;
    }
    void TearDown() override
    {
        restart();
        glrec::recording = nullptr;
    }
};

}  // namespace

namespace {

const double kPi = 3.14159265358979323846;

// The font cell that a byte should show: ASCII order from the space, with the two
// letter cases swapped, and cell 95 for everything else.
int expectedCell(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 'A' - 0x20;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 'a' - 0x20;
    if (c >= 0x20 && c <= 0x7E)
        return c - 0x20;
    return 95;
}

void expectCell(const float* tc, int cell)
{
    int col = cell % 16, row = cell / 16;
    float s0 = (float)(col / 16.0), s1 = (float)((col + 1) / 16.0 - 0.001);
    float t0 = (float)(row / 16.0), t1 = (float)((row + 1) / 16.0 - 0.005);
    const float want[8] = {s1, t1, s1, t0, s0, t0, s0, t1};
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(tc[i], want[i]) << "cell " << cell << " value " << i;
}

// The cell that a recorded quad shows, from its first vertex (s1, t1).
int cellOfQuad(int q)
{
    const Vertex& v = gl.vertices[4 * q + 2];  // (s0, t0): the cell's exact corner
    return (int)std::lround(v.t * 16) * 16 + (int)std::lround(v.s * 16);
}

std::string repeat(char c, int n) { return std::string(n, c); }

}  // namespace

TEST(ScrollerFont, CellsForSpaceAndBothLetterCases)
{
    ScrollerSpiral sc;
    const float* c = sc.char2texCoords(' ');
    EXPECT_EQ(c[0], 0.0615f);
    EXPECT_EQ(c[1], 0.0575f);
    EXPECT_EQ(c[2], 0.0615f);
    EXPECT_EQ(c[3], 0.0f);
    EXPECT_EQ(c[4], 0.0f);
    EXPECT_EQ(c[5], 0.0f);
    EXPECT_EQ(c[6], 0.0f);
    EXPECT_EQ(c[7], 0.0575f);
    expectCell(sc.char2texCoords('a'), 33);
    expectCell(sc.char2texCoords('A'), 65);
    expectCell(sc.char2texCoords('~'), 94);
    expectCell(sc.char2texCoords('`'), 64);
}

TEST(ScrollerFont, CharactersOutsideTheFontGetCell95)
{
    ScrollerSpiral sc;
    for (char c : {'\n', '\0', '\t', '\x7f', '\x80', '\xe9', '\xff'})
        expectCell(sc.char2texCoords(c), 95);
    const float* c = sc.char2texCoords('\n');
    EXPECT_EQ(c[4], 0.9375f);
    EXPECT_EQ(c[5], 0.3125f);
    EXPECT_EQ(c[0], (float)0.999);
    EXPECT_EQ(c[1], (float)0.37);
}

TEST(ScrollerFont, EveryByteMapsToItsCell)
{
    ScrollerSpiral sc;
    for (int b = 0; b < 256; b++)
        expectCell(sc.char2texCoords((char)b), expectedCell((unsigned char)b));
}

TEST(ScrollerFont, OneBufferSharedByAllCallsAndInstances)
{
    ScrollerSpiral a, b;
    float* first = a.char2texCoords('a');
    float* second = b.char2texCoords('A');
    EXPECT_EQ(first, second);
    expectCell(first, 65);
}

TEST(ScrollerText, PaddedCopySizes)
{
    ScrollerSpiral sc;
    EXPECT_EQ(sc.iLen, 288);
    EXPECT_EQ(sc.pText, nullptr);
    sc.setText("hi");
    EXPECT_EQ(sc.iTextLen, 3);
    EXPECT_EQ(std::string(sc.pText, 291), "hi" + repeat(' ', 289));
    EXPECT_EQ(sc.pText[291], '\0');
    EXPECT_EQ(sc.getText(), sc.pText);

    Scroller base;
    EXPECT_EQ(base.iLen, 500);
    EXPECT_EQ(base.iPos, 0);
    base.setText("abc");
    EXPECT_EQ(std::string(base.pText), "abc" + repeat(' ', 501));
    base.setLen(10);
    EXPECT_EQ(strlen(base.pText), 504u);  // only later texts take the new length
    base.setText("xyz");
    EXPECT_EQ(std::string(base.pText), "xyz" + repeat(' ', 11));
    EXPECT_EQ(base.iTextLen, 4);
}

TEST(ScrollerText, NullTextIsTheEmptyText)
{
    ScrollerSpiral sc;
    sc.setText("old");
    sc.setText(nullptr);
    EXPECT_EQ(sc.iTextLen, 1);
    EXPECT_EQ(std::string(sc.pText), repeat(' ', 289));
}

TEST(ScrollerText, FontTextureIsKept)
{
    ScrollerSpiral sc;
    sc.setFontTex(7);
    EXPECT_EQ(sc.iFont, 7);
}

TEST(ScrollerText, HardscrollWrapsPastTheTextLength)
{
    for (int textLen : {100, 72}) {
        ScrollerSpiral sc;
        sc.setText(repeat('x', textLen - 1).c_str());
        ASSERT_EQ(sc.iTextLen, textLen);
        std::vector<int> seen;
        for (int i = 0; i < 4; i++) {
            seen.push_back(sc.iPos);
            sc.hardscroll(36);
        }
        EXPECT_EQ(seen, (std::vector<int>{0, 36, 72, 0})) << "text length " << textLen;
        EXPECT_EQ(sc.iPos, 36);
        EXPECT_EQ(sc.getText(), sc.pText + 36);
    }
}

TEST(ScrollerText, WindowStaysInsideTheBuffer)
{
    ScrollerSpiral sc;
    sc.setText(repeat('x', 199).c_str());
    sc.hardscroll(180);
    sc.hardscroll(-181);  // stepping back before the start wraps to the start
    EXPECT_EQ(sc.iPos, 0);
    sc.hardscroll(180);
    ASSERT_EQ(sc.iPos, 180);
    // A shorter text that the window would start beyond: back to the start.
    sc.setText("hi");
    EXPECT_EQ(sc.iPos, 0);
    // One it still lies within keeps the window where it is.
    sc.setText(repeat('y', 99).c_str());
    sc.hardscroll(50);
    sc.setText(repeat('z', 99).c_str());
    EXPECT_EQ(sc.iPos, 50);
    EXPECT_EQ(strlen(sc.getText()), 49u + 289u);
}

TEST(ScrollerHelix, TablesAreACircleWithOutwardTangents)
{
    ScrollerSpiral sc;
    EXPECT_EQ(sc.fScrollSoft, 0.0f);
    EXPECT_EQ(sc.pfCirclePos[0], 55.0f);
    EXPECT_EQ(sc.pfCirclePos[1], 0.0f);
    for (int i = 0; i < 36; i++) {
        double a = i * 10 * kPi / 180;
        float x = sc.pfCirclePos[2 * i], z = sc.pfCirclePos[2 * i + 1];
        float dx = sc.pfCircleOrth[2 * i], dz = sc.pfCircleOrth[2 * i + 1];
        EXPECT_NEAR(x, 55 * cos(a), 1e-4);
        EXPECT_NEAR(z, 55 * sin(a), 1e-4);
        EXPECT_NEAR(dx, -8 * sin(a), 1e-5);
        EXPECT_NEAR(dz, 8 * cos(a), 1e-5);
    }
    for (int i = 0; i < 288; i++)
        EXPECT_EQ(sc.pfAlpha[i], 0.9f);
}

TEST(ScrollerHelix, UpdateWrapsOnThe288thCall)
{
    ScrollerSpiral sc;
    sc.setText(repeat('x', 100).c_str());
    for (int i = 0; i < 287; i++)
        sc.update(123.0f);  // the frame time does not matter
    EXPECT_EQ(sc.iPos, 0);
    EXPECT_NEAR(sc.fScrollSoft, 28.7, 1e-3);
    sc.update(0.0f);
    EXPECT_EQ(sc.iPos, 36);
    EXPECT_GT(sc.fScrollSoft, 0.0f);
    EXPECT_LT(sc.fScrollSoft, 0.001f);
}

TEST_F(ScrollerDraw, StateAndOneBatchOf288Quads)
{
    ScrollerSpiral sc;
    sc.setText("hello");
    sc.setFontTex(42);
    restart();
    sc.draw();
    const std::vector<std::string> want = {
        call("enable", GL_BLEND), call("blend", GL_SRC_ALPHA, GL_ONE), call("bind", GL_TEXTURE_2D, 42),
        call("enable", GL_TEXTURE_2D), call("begin", GL_QUADS), "end", call("depthmask", GL_TRUE),
        call("blend", GL_ONE, GL_ZERO), call("enable", GL_DEPTH_TEST)};
    EXPECT_EQ(gl.state, want);
    ASSERT_EQ(gl.vertices.size(), 288u * 4);
    ASSERT_EQ(gl.colors.size(), 288u);
    EXPECT_EQ(gl.colors[0].a, 0.9f);
}

TEST_F(ScrollerDraw, QuadsStandOnTheHelixFacingOutwards)
{
    ScrollerSpiral sc;
    sc.setText("x");
    for (int i = 0; i < 5; i++)
        sc.update(0);
    restart();
    sc.draw();
    ASSERT_EQ(gl.vertices.size(), 288u * 4);
    for (int q = 0; q < 288; q++) {
        const Vertex* v = &gl.vertices[4 * q];
        int k = q % 36;
        double a = k * 10 * kPi / 180;
        EXPECT_NEAR(v[0].x, 55 * cos(a), 1e-4);
        EXPECT_NEAR(v[0].z, 55 * sin(a), 1e-4);
        EXPECT_NEAR(v[0].y, q * 0.8 - 45 + 0.5, 1e-4);
        // Up 20, along the tangent 8, back down: a 8 x 20 glyph.
        EXPECT_EQ(v[1].x, v[0].x);
        EXPECT_EQ(v[1].y, v[0].y + 20);
        EXPECT_EQ(v[2].x, v[0].x + sc.pfCircleOrth[2 * k]);
        EXPECT_EQ(v[2].y, v[1].y);
        EXPECT_EQ(v[2].z, v[0].z + sc.pfCircleOrth[2 * k + 1]);
        EXPECT_EQ(v[3].x, v[2].x);
        EXPECT_EQ(v[3].y, v[0].y);
        EXPECT_EQ(v[3].z, v[2].z);
        // Counter-clockwise seen from outside: the face normal points away from the axis.
        double ux = v[1].x - v[0].x, uy = v[1].y - v[0].y, uz = v[1].z - v[0].z;
        double wx = v[2].x - v[1].x, wy = v[2].y - v[1].y, wz = v[2].z - v[1].z;
        double nx = uy * wz - uz * wy, nz = ux * wy - uy * wx;
        EXPECT_GT(nx * v[0].x + nz * v[0].z, 0) << "quad " << q;
    }
}

TEST_F(ScrollerDraw, WindowRunsFromW288AtTheBottomToW1AtTheTop)
{
    ScrollerSpiral sc;
    std::string text;
    for (int i = 0; i < 400; i++)
        text += (char)('!' + i % 90);
    sc.setText(text.c_str());
    sc.hardscroll(36);
    restart();
    sc.draw();
    for (int q = 0; q < 288; q++)
        ASSERT_EQ(cellOfQuad(q), expectedCell(text[36 + 288 - q])) << "quad " << q;
}

TEST_F(ScrollerDraw, CharactersATurnApartShareTheirPlaceATurnLower)
{
    ScrollerSpiral sc;
    std::string text = repeat(' ', 400);
    text[100] = 'a';
    text[136] = 'b';
    sc.setText(text.c_str());
    sc.hardscroll(36);
    restart();
    sc.draw();
    int qa = -1, qb = -1;
    for (int q = 0; q < 288; q++) {
        if (cellOfQuad(q) == expectedCell('a'))
            qa = q;
        if (cellOfQuad(q) == expectedCell('b'))
            qb = q;
    }
    ASSERT_EQ(qa, 288 - (100 - 36));
    ASSERT_EQ(qb, qa - 36);
    const Vertex& a = gl.vertices[4 * qa];
    const Vertex& b = gl.vertices[4 * qb];
    EXPECT_EQ(a.x, b.x);
    EXPECT_EQ(a.z, b.z);
    EXPECT_NEAR(a.y - b.y, 28.8, 1e-4);

    // Across the wrap of the 288th update every character stays in place and only
    // rises by the one step.
    for (int i = 0; i < 287; i++)
        sc.update(0);
    restart();
    sc.draw();
    Vertex before = gl.vertices[4 * qb];
    ASSERT_EQ(cellOfQuad(qb), expectedCell('b'));
    sc.update(0);
    ASSERT_EQ(sc.iPos, 72);
    restart();
    sc.draw();
    int qb2 = qb + 36;
    ASSERT_EQ(cellOfQuad(qb2), expectedCell('b'));
    const Vertex& after = gl.vertices[4 * qb2];
    EXPECT_EQ(after.x, before.x);
    EXPECT_EQ(after.z, before.z);
    EXPECT_NEAR(after.y - before.y, 0.1, 1e-3);
}

TEST_F(ScrollerDraw, NoTextOrAShortWindowReadsNothingBeyondTheBuffer)
{
    ScrollerSpiral none;
    restart();
    none.draw();  // before any text: blank cells, no crash
    ASSERT_EQ(gl.vertices.size(), 288u * 4);
    for (int q = 0; q < 288; q++)
        ASSERT_EQ(cellOfQuad(q), 95);

    ScrollerSpiral shortWindow;
    shortWindow.setLen(4);
    shortWindow.setText("ab");
    restart();
    shortWindow.draw();
    ASSERT_EQ(gl.vertices.size(), 288u * 4);
    EXPECT_EQ(cellOfQuad(287), expectedCell('b'));
    EXPECT_EQ(cellOfQuad(286), 0);   // padding
    EXPECT_EQ(cellOfQuad(0), 95);    // beyond the terminator
}
