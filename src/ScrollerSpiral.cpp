/*
 * The spiral scroller: the helix's circle and tangents made once, each character's cell
 * in the font picture, and each frame the visible characters drawn as half-transparent
 * textured quads that rise a little further.
 */
#include "ScrollerSpiral.h"

#include <GL/gl.h>
#include <math.h>
#include <stdlib.h>

/* The helix: one circle point per character, ten degrees apart. */
static const int kTurnChars = 36;                 /* characters per turn */
static const int kVisibleChars = 288;             /* eight turns */
static const float kAngleStep = 0.17453292f;      /* radians, 10 degrees */
static const double kQuarterTurn = 1.570796327;   /* radians */
static const double kRadius = 55.0;               /* scene units */
static const double kGlyphWidth = 8.0;            /* scene units, along the tangent */
static const float kGlyphHeight = 20.0f;          /* scene units */
static const double kCharRise = 0.8;              /* scene units per character */
static const double kBottom = -45.0;              /* scene units, lowest baseline */
static const double kScrollStep = 0.1;            /* scene units per update call */
static const double kTurnRise = 28.8;             /* scene units, kTurnChars * kCharRise */
static const float kAlpha = 0.9f;

/* The font image: 16 cells a row, 1/16 of the texture each way. The right and lower
 * cell edges are pulled in so that the neighbouring cell does not bleed in. */
static const int kCellsPerRow = 16;
static const double kCellRightInset = 0.001; /* texture units */
static const double kCellLowerInset = 0.005; /* texture units */
static const int kFontCells = 95;            /* printable cells; index 95 stands for the rest */

/* The characters of the font image cell by cell. The image has the letter cases the
 * other way round from ASCII, so a text's lower case shows as the font's capitals. */
static const char fontOrder[96] =
    " !\"#$%&'()*+,-./"
    "0123456789:;<=>?"
    "@abcdefghijklmno"
    "pqrstuvwxyz[\\]^_"
    "`ABCDEFGHIJKLMNO"
    "PQRSTUVWXYZ{|}~";

ScrollerSpiral::ScrollerSpiral() : Scroller()
{
    pfCirclePos = (float*)malloc(2 * kTurnChars * sizeof(float));
    pfCircleOrth = (float*)malloc(2 * kTurnChars * sizeof(float));
    pfAlpha = (float*)malloc(kVisibleChars * sizeof(float));
    setLen(kVisibleChars);
    hard = 0;

    if (pfCirclePos && pfCircleOrth) {
        float fa = 0;
        for (int i = 0; i < kTurnChars; i++) {
            double a = fa;
            pfCirclePos[2 * i] = (float)(cos(a) * kRadius);
            pfCirclePos[2 * i + 1] = (float)(sin(a) * kRadius);
            pfCircleOrth[2 * i] = (float)(cos(a + kQuarterTurn) * kGlyphWidth);
            pfCircleOrth[2 * i + 1] = (float)(sin(a + kQuarterTurn) * kGlyphWidth);
            fa += kAngleStep;
        }
    }
    if (pfAlpha)
        for (int i = 0; i < kVisibleChars; i++)
            pfAlpha[i] = kAlpha;
    fScrollSoft = 0;
}

ScrollerSpiral::~ScrollerSpiral()
{
    free(pfCirclePos);
    free(pfCircleOrth);
    free(pfAlpha);
}

/* The cell's corners as (s1, t1), (s1, t0), (s0, t0), (s0, t1), in one buffer that
 * every call and every scroller shares. Characters outside the font get cell 95. */
float* ScrollerSpiral::char2texCoords(char ch)
{
    static float* pftc = nullptr;
    if (!pftc) {
        pftc = (float*)malloc(8 * sizeof(float));
        if (!pftc)
            return nullptr;
    }

    int i = 0;
    while (i < kFontCells && fontOrder[i] != ch)
        i++;
    int col = i % kCellsPerRow;
    int row = i / kCellsPerRow;
    float s0 = (float)(col / (double)kCellsPerRow);
    float s1 = (float)((col + 1) / (double)kCellsPerRow - kCellRightInset);
    float t0 = (float)(row / (double)kCellsPerRow);
    float t1 = (float)((row + 1) / (double)kCellsPerRow - kCellLowerInset);

    pftc[0] = s1, pftc[1] = t1;
    pftc[2] = s1, pftc[3] = t0;
    pftc[4] = s0, pftc[5] = t0;
    pftc[6] = s0, pftc[7] = t1;
    return pftc;
}

/* One frame's rise. After a full turn the text moves on by a turn's worth of
 * characters and drops back by a turn, which leaves every glyph where it was. */
void ScrollerSpiral::update(float)
{
    fScrollSoft += kScrollStep;
    if (fScrollSoft > kTurnRise) {
        fScrollSoft -= kTurnRise;
        hardscroll(kTurnChars);
    }
}

/* The visible characters w[1] .. w[288] as one batch of additive quads, w[288]
 * lowest. Each quad stands on its circle point and faces outwards from the axis. */
void ScrollerSpiral::draw()
{
    if (!pfCirclePos || !pfCircleOrth || !pfAlpha)
        return;

    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glBindTexture(GL_TEXTURE_2D, iFont);
    glEnable(GL_TEXTURE_2D);

    /* The window always lies inside the padded text; past its terminator (no text
     * yet, or a window longer than the padding) the characters read as NUL. */
    const char* w = getText();
    bool bEnd = (w == nullptr);
    char chars[kVisibleChars + 1];
    for (int j = 0; j <= kVisibleChars; j++) {
        chars[j] = bEnd ? '\0' : w[j];
        if (chars[j] == '\0')
            bEnd = true;
    }

    glBegin(GL_QUADS);
    for (int i = 0; i < kVisibleChars; i++) {
        int k = i % kTurnChars;
        float x = pfCirclePos[2 * k], z = pfCirclePos[2 * k + 1];
        float dx = pfCircleOrth[2 * k], dz = pfCircleOrth[2 * k + 1];
        float y = (float)(i * kCharRise + kBottom + fScrollSoft);

        glColor4f(1, 1, 1, pfAlpha[i]);
        float* c = char2texCoords(chars[kVisibleChars - i]);
        if (!c)
            break;
        glTexCoord2fv(c + 0);
        glVertex3f(x, y, z);
        glTexCoord2fv(c + 2);
        glVertex3f(x, y + kGlyphHeight, z);
        glTexCoord2fv(c + 4);
        glVertex3f(x + dx, y + kGlyphHeight, z + dz);
        glTexCoord2fv(c + 6);
        glVertex3f(x + dx, y, z + dz);
    }
    glEnd();

    glDepthMask(GL_TRUE);
    glBlendFunc(GL_ONE, GL_ZERO);
    glEnable(GL_DEPTH_TEST);
}
