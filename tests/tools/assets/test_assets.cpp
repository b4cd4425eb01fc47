/*
 * The demo's own pictures, font, tower model and scroll text: each file in
 * data/ is loaded with the library's own loaders (as the scene loads it) and
 * checked against what the scene needs of it; then the generators are run
 * into a scratch folder and must rewrite the committed files byte for byte.
 */
#include <gtest/gtest.h>
#include <libpng16/png.h> /* libpng itself; "png.h" is the library's decoder */
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "norklib.h"
#include "scratch_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t be32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

/* The chunk types of a PNG file in order; empty when the signature is wrong
 * or a chunk runs past the end. */
std::vector<std::string> chunkTypes(const Bytes& f)
{
    static const uint8_t sig[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    std::vector<std::string> types;
    if (f.size() < 8 || std::memcmp(f.data(), sig, 8) != 0)
        return types;
    size_t pos = 8;
    while (pos + 12 <= f.size()) {
        uint32_t len = be32(&f[pos]);
        if (len > f.size() - pos - 12)
            return {};
        types.emplace_back(reinterpret_cast<const char*>(&f[pos + 4]), 4);
        pos += 12 + len;
    }
    return types;
}

/* Runs the library's loaders with the repository root as the one source; the
 * decoder's raw dump lands in a scratch folder, not in the source tree. */
class Assets : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(scratch.ok());
        scratch.enter();
        lib = nork_new();
        ASSERT_NE(lib, nullptr);
        nork_dar_add_dir(lib, NV_SOURCE_ROOT);
    }
    void TearDown() override
    {
        nork_image_delete(lib, &image);
        nork_oia_delete(lib, &model);
        nork_delete(lib);
    }

    /* Loads a picture; checks its header bytes and that it holds nothing but
     * IHDR, IDAT and IEND (no time stamp, nothing that varies between runs). */
    const nork_image_t* picture(const char* name, int size, uint8_t colourType)
    {
        Bytes f = readFile(std::string(NV_SOURCE_ROOT) + "/" + name);
        EXPECT_GE(f.size(), 33u) << name;
        if (f.size() < 33)
            return nullptr;
        std::vector<std::string> types = chunkTypes(f);
        EXPECT_FALSE(types.empty()) << name;
        for (const std::string& t : types)
            EXPECT_TRUE(t == "IHDR" || t == "IDAT" || t == "IEND") << name << " carries a " << t << " chunk";
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&f[12]), 4), "IHDR");
        EXPECT_EQ(be32(&f[16]), uint32_t(size)) << name;
        EXPECT_EQ(be32(&f[20]), uint32_t(size)) << name;
        EXPECT_EQ(f[24], 8) << name << ": bit depth";
        EXPECT_EQ(f[25], colourType) << name << ": colour type";
        EXPECT_EQ(f[28], 0) << name << ": interlacing";

        nork_image_delete(lib, &image);
        image = nork_imageFromPNG(lib, name);
        EXPECT_NE(image, nullptr) << name << " does not decode";
        if (!image)
            return nullptr;
        EXPECT_EQ(image->width, size);
        EXPECT_EQ(image->height, size);
        EXPECT_EQ(image->mode, colourType == 6 ? NORK_IMAGE_RGBA : NORK_IMAGE_RGB);
        return image;
    }

    nork_lib_t* lib = nullptr;
    nork_image_t* image = nullptr;
    nork_oia_t* model = nullptr;
    nvt::ScratchDir scratch{"nv_assets"};
};

const uint8_t* pixel(const nork_image_t* im, int x, int y)
{
    int bpp = im->mode == NORK_IMAGE_RGBA ? 4 : 3;
    return im->data + (size_t(y) * im->width + x) * bpp;
}

/* Mean absolute difference between two columns (or rows) of a picture. */
double lineDiff(const nork_image_t* im, int a, int b, bool columns)
{
    double sum = 0;
    int n = columns ? im->height : im->width;
    for (int i = 0; i < n; i++) {
        const uint8_t* p = columns ? pixel(im, a, i) : pixel(im, i, a);
        const uint8_t* q = columns ? pixel(im, b, i) : pixel(im, i, b);
        for (int c = 0; c < 3; c++)
            sum += std::abs(int(p[c]) - int(q[c]));
    }
    return sum / (3.0 * n);
}

/* A seam is invisible when the step from the last line to the first is no
 * larger than the typical step between neighbouring lines. */
void expectSeamless(const nork_image_t* im, bool columns, const char* name)
{
    int n = columns ? im->width : im->height;
    double typical = 0;
    for (int i = 0; i + 1 < n; i++)
        typical += lineDiff(im, i, i + 1, columns);
    typical /= n - 1;
    double seam = lineDiff(im, n - 1, 0, columns);
    EXPECT_LE(seam, 1.5 * typical) << name << (columns ? ": left-right" : ": top-bottom") << " seam " << seam
                                   << " against a typical step of " << typical;
}

TEST_F(Assets, TowerTextureIsRgb512AndWrapsRoundTheTower)
{
    const nork_image_t* im = picture("data/turm.png", 512, 2);
    ASSERT_NE(im, nullptr);
    expectSeamless(im, true, "turm.png");
    /* masonry, not a flat fill: a real spread of brightness */
    int lo = 255, hi = 0;
    for (int y = 0; y < 512; y++)
        for (int x = 0; x < 512; x++) {
            lo = std::min<int>(lo, pixel(im, x, y)[1]);
            hi = std::max<int>(hi, pixel(im, x, y)[1]);
        }
    EXPECT_GT(hi - lo, 80);
}

TEST_F(Assets, GrassIsRgb128AndTilesBothWays)
{
    const nork_image_t* im = picture("data/grass.png", 128, 2);
    ASSERT_NE(im, nullptr);
    expectSeamless(im, true, "grass.png");
    expectSeamless(im, false, "grass.png");
    long green = 0, red = 0, blue = 0;
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) {
            red += pixel(im, x, y)[0], green += pixel(im, x, y)[1], blue += pixel(im, x, y)[2];
        }
    EXPECT_GT(green, red);
    EXPECT_GT(green, blue);
}

TEST_F(Assets, FlareIsBlackAtEveryEdgeAndWhiteGoldInTheMiddle)
{
    const nork_image_t* im = picture("data/burst.png", 128, 2);
    ASSERT_NE(im, nullptr);
    for (int i = 0; i < 128; i++)
        for (const auto& xy : {std::make_pair(i, 0), std::make_pair(i, 127), std::make_pair(0, i), std::make_pair(127, i)}) {
            const uint8_t* p = pixel(im, xy.first, xy.second);
            ASSERT_TRUE(p[0] == 0 && p[1] == 0 && p[2] == 0)
                << "edge pixel (" << xy.first << ", " << xy.second << ") is " << int(p[0]) << " " << int(p[1]) << " "
                << int(p[2]);
        }
    const uint8_t* c = pixel(im, 64, 64);
    EXPECT_GE(c[0], 245);
    EXPECT_GE(c[1], 220);
    EXPECT_GE(c[0], c[2]) << "the core is white-gold, not blue";
    /* the glow falls off outwards along a radius */
    EXPECT_GT(pixel(im, 64, 64)[1], pixel(im, 64 + 16, 64 + 5)[1]);
    EXPECT_GT(pixel(im, 64 + 16, 64 + 5)[1], pixel(im, 64 + 40, 64 + 13)[1]);
}

TEST_F(Assets, LogoIsBrightOnBlackWithAllContentInTheTopSeventyPercent)
{
    const nork_image_t* im = picture("data/nork.png", 256, 2);
    ASSERT_NE(im, nullptr);
    int bright = 0;
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            const uint8_t* p = pixel(im, x, y);
            if (y >= 180) {
                ASSERT_TRUE(p[0] == 0 && p[1] == 0 && p[2] == 0) << "content at (" << x << ", " << y << ")";
            }
            bright += p[0] > 230 && p[1] > 180;
        }
    EXPECT_GT(bright, 1000) << "too little bright lettering";
    for (const auto& xy : {std::make_pair(0, 0), std::make_pair(255, 0), std::make_pair(0, 179), std::make_pair(255, 179)})
        EXPECT_EQ(pixel(im, xy.first, xy.second)[0], 0) << "the background is black";
}

TEST_F(Assets, WispIsRgb256)
{
    const nork_image_t* im = picture("data/wisp.png", 256, 2);
    ASSERT_NE(im, nullptr);
    int lit = 0;
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++)
            lit += pixel(im, x, y)[1] > 40;
    EXPECT_GT(lit, 256 * 256 / 10) << "the picture is almost black";
}

/* ---- the font ---------------------------------------------------------- */

const int kCell = 32;

/* The character in font cell i: ASCII from the space on, letter cases swapped. */
char fontChar(int i)
{
    char c = char(0x20 + i);
    return std::isalpha(static_cast<unsigned char>(c)) ? char(c ^ 0x20) : c;
}

struct Ink {
    int top = kCell, bottom = -1, left = kCell, right = -1, maxAlpha = 0;
};

Ink inkOf(const nork_image_t* im, int cell)
{
    Ink ink;
    int cx = (cell % 16) * kCell, cy = (cell / 16) * kCell;
    for (int y = 0; y < kCell; y++)
        for (int x = 0; x < kCell; x++) {
            uint8_t a = pixel(im, cx + x, cy + y)[3];
            ink.maxAlpha = std::max<int>(ink.maxAlpha, a);
            if (a > 96) {
                ink.top = std::min(ink.top, y), ink.bottom = std::max(ink.bottom, y);
                ink.left = std::min(ink.left, x), ink.right = std::max(ink.right, x);
            }
        }
    return ink;
}

/* Inked width of one row of a cell. */
int rowInk(const nork_image_t* im, int cell, int row)
{
    int cx = (cell % 16) * kCell, cy = (cell / 16) * kCell, n = 0;
    for (int x = 0; x < kCell; x++)
        n += pixel(im, cx + x, cy + row)[3] > 96;
    return n;
}

TEST_F(Assets, FontCellsFollowTheScrollersTable)
{
    const nork_image_t* im = picture("data/MossGlade.png", 512, 6);
    ASSERT_NE(im, nullptr);
    ASSERT_EQ(fontChar(33), 'a');
    ASSERT_EQ(fontChar(65), 'A');
    ASSERT_EQ(fontChar(64), '`');

    /* cell 95 and rows 6 to 15 are transparent, and so is the space */
    for (int cell : {0, 95})
        EXPECT_EQ(inkOf(im, cell).maxAlpha, 0) << "cell " << cell;
    for (int y = 6 * kCell; y < 512; y++)
        for (int x = 0; x < 512; x++)
            ASSERT_EQ(pixel(im, x, y)[3], 0) << "alpha at (" << x << ", " << y << ")";

    /* every printable character has a glyph, inside the part of the cell the
     * scroller shows (it trims the cell's lowest 2.5 rows) */
    int top = kCell, bottom = 0;
    for (int cell = 1; cell < 95; cell++) {
        Ink ink = inkOf(im, cell);
        EXPECT_GE(ink.maxAlpha, 200) << "cell " << cell << " ('" << fontChar(cell) << "') is empty";
        EXPECT_LE(ink.bottom, kCell - 3) << "'" << fontChar(cell) << "' reaches the trimmed rows";
        top = std::min(top, ink.top), bottom = std::max(bottom, ink.bottom);
    }
    EXPECT_GE(bottom - top, 24) << "glyphs should fill the cell height";

    /* one baseline: letters without descenders all end on the same row */
    int baseline = inkOf(im, 33).bottom; /* 'a' */
    for (const char* c = "abcdefhiklmnrstuvwxzABCDEFGHIKLMNOPRSTUVWXYZ0123456789" /* not J: it dips */; *c; c++) {
        int cell = 0;
        while (fontChar(cell) != *c)
            cell++;
        EXPECT_NEAR(inkOf(im, cell).bottom, baseline, 1) << "'" << *c << "' off the baseline";
    }
    /* descenders go below it */
    for (int cell : {39, 42, 48, 49, 57}) /* g j p q y */
        EXPECT_GT(inkOf(im, cell).bottom, baseline + 3) << "'" << fontChar(cell) << "'";
}

TEST_F(Assets, FontGlyphsAreUprightAndNotMirrored)
{
    const nork_image_t* im = picture("data/MossGlade.png", 512, 6);
    ASSERT_NE(im, nullptr);
    /* the upper-case 'A' (cell 65) stands taller than the lower-case 'a' (cell 33) */
    EXPECT_LT(inkOf(im, 65).top, inkOf(im, 33).top - 3);
    /* 'A' is narrow at the top and wide at the foot; 'V' (cell 86) the other way up */
    Ink a = inkOf(im, 65), v = inkOf(im, 86);
    EXPECT_LT(rowInk(im, 65, a.top + 1), rowInk(im, 65, a.bottom - 1));
    EXPECT_GT(rowInk(im, 86, v.top + 1), rowInk(im, 86, v.bottom - 1));
    /* 'L' (cell 76) has its stem on the left: more ink in the left half */
    int cx = (76 % 16) * kCell, cy = (76 / 16) * kCell, left = 0, right = 0;
    for (int y = 0; y < kCell; y++)
        for (int x = 0; x < kCell; x++)
            (x < kCell / 2 ? left : right) += pixel(im, cx + x, cy + y)[3];
    EXPECT_GT(left, right);
}

TEST_F(Assets, FontColourRunsFromPaleToMossGreen)
{
    const nork_image_t* im = picture("data/MossGlade.png", 512, 6);
    ASSERT_NE(im, nullptr);
    int cell = 41; /* 'i': ink from near the top to the baseline */
    int cx = (cell % 16) * kCell + kCell / 2, cy = (cell / 16) * kCell;
    const uint8_t* high = pixel(im, cx, cy + 2);
    const uint8_t* low = pixel(im, cx, cy + 26);
    EXPECT_GT(low[1], low[0]) << "green at the foot";
    EXPECT_GT(low[1], low[2]);
    EXPECT_GT(high[0] + high[1] + high[2], low[0] + low[1] + low[2]) << "paler at the top";
}

/* ---- the tower model ----------------------------------------------------- */

struct V {
    double x, y, z;
};
V operator-(V a, V b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V operator+(V a, V b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V operator*(V a, double k) { return {a.x * k, a.y * k, a.z * k}; }
V cross(V a, V b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot(V a, V b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

struct Vertex {
    double s, t;
    V n, p;
};

std::vector<Vertex> vertices(const nork_oia_t* m)
{
    std::vector<Vertex> out;
    const float* f = static_cast<const float*>(m->pointer);
    for (int i = 0; i < m->count; i++, f += 8)
        out.push_back({f[0], f[1], {f[2], f[3], f[4]}, {f[5], f[6], f[7]}});
    return out;
}

/* Does the ray from o along d cross triangle abc (Moeller-Trumbore)? */
bool rayHits(V o, V d, V a, V b, V c)
{
    V e1 = b - a, e2 = c - a, p = cross(d, e2);
    double det = dot(e1, p);
    if (std::fabs(det) < 1e-12)
        return false;
    V s = o - a;
    double u = dot(s, p) / det;
    if (u < 0 || u > 1)
        return false;
    V q = cross(s, e1);
    double v = dot(d, q) / det;
    if (v < 0 || u + v > 1)
        return false;
    return dot(e2, q) / det > 1e-9;
}

/* Inside the solid when a ray upwards crosses its surface an odd number of
 * times. The model has no floor, but the floor lies in y = 0 and the points
 * tested are above it, so an upward ray never needs it. The direction is
 * tilted a little so that it does not graze edges. */
bool inside(const std::vector<Vertex>& vs, V point)
{
    const V dir = {0.0123, 1.0, 0.0071};
    int hits = 0;
    for (size_t i = 0; i + 2 < vs.size(); i += 3)
        hits += rayHits(point, dir, vs[i].p, vs[i + 1].p, vs[i + 2].p);
    return hits % 2 == 1;
}

TEST_F(Assets, TowerModelHeaderAndSize)
{
    Bytes f = readFile(std::string(NV_SOURCE_ROOT) + "/data/brackenhold-0.oia");
    ASSERT_GE(f.size(), 10u);
    const uint8_t header[8] = {'N', 'o', 'I', 'A', 0x01, 0x00, 0x00, 0x0E};
    EXPECT_EQ(std::memcmp(f.data(), header, 8), 0);
    size_t count = size_t(f[8]) << 8 | f[9];
    EXPECT_EQ(f.size(), 10 + 32 * count) << "the vertex block fills the file exactly";
    EXPECT_EQ(count % 3, 0u) << "separate triangles";
    EXPECT_GT(count, 0u);

    model = nork_oia_load(lib, "data/brackenhold-0.oia");
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->format, 0x2A2Bu); /* GL_T2F_N3F_V3F */
    EXPECT_EQ(model->stride, 32);
    EXPECT_EQ(model->mode, 4u); /* GL_TRIANGLES */
    EXPECT_EQ(size_t(model->count), count);
    ASSERT_EQ(std::memcmp(model->pointer, f.data() + 10, 32 * count), 0);
}

TEST_F(Assets, TowerStandsOnTheGroundCentredOnTheAxis)
{
    model = nork_oia_load(lib, "data/brackenhold-0.oia");
    ASSERT_NE(model, nullptr);
    std::vector<Vertex> vs = vertices(model);
    V lo = {1e9, 1e9, 1e9}, hi = {-1e9, -1e9, -1e9};
    double radius = 0;
    for (const Vertex& v : vs) {
        lo = {std::min(lo.x, v.p.x), std::min(lo.y, v.p.y), std::min(lo.z, v.p.z)};
        hi = {std::max(hi.x, v.p.x), std::max(hi.y, v.p.y), std::max(hi.z, v.p.z)};
        radius = std::max(radius, std::hypot(v.p.x, v.p.z));
    }
    EXPECT_NEAR(lo.y, 0.0, 1e-5) << "stands on y = 0";
    EXPECT_NEAR(hi.y, 12.3, 0.1) << "about 12.3 units tall";
    EXPECT_NEAR(lo.x + hi.x, 0.0, 0.05) << "centred on the y axis";
    EXPECT_NEAR(lo.z + hi.z, 0.0, 0.05) << "centred on the y axis";
    EXPECT_NEAR(radius, 3.0, 0.3);
    /* battlements: the crown is not a flat lid; some tops are lower than others */
    int crown = 0, notch = 0;
    for (const Vertex& v : vs) {
        if (std::hypot(v.p.x, v.p.z) > radius - 0.01) {
            crown += v.p.y > 12.2;
            notch += v.p.y > 11 && v.p.y < 12;
        }
    }
    EXPECT_GT(crown, 0);
    EXPECT_GT(notch, 0);
}

TEST_F(Assets, TowerTrianglesWindCounterClockwiseAroundOutwardNormals)
{
    model = nork_oia_load(lib, "data/brackenhold-0.oia");
    ASSERT_NE(model, nullptr);
    std::vector<Vertex> vs = vertices(model);
    ASSERT_EQ(vs.size() % 3, 0u);
    double volume = 0;
    for (size_t i = 0; i < vs.size(); i += 3) {
        const Vertex &a = vs[i], &b = vs[i + 1], &c = vs[i + 2];
        V face = cross(b.p - a.p, c.p - a.p);
        double area2 = std::sqrt(dot(face, face));
        ASSERT_GT(area2, 1e-6) << "degenerate triangle " << i / 3;
        for (const Vertex* v : {&a, &b, &c}) {
            EXPECT_NEAR(dot(v->n, v->n), 1.0, 1e-3) << "normal of triangle " << i / 3 << " is not unit length";
            EXPECT_GT(dot(face, v->n) / area2, 0.5)
                << "triangle " << i / 3 << " winds against its normal";
        }
        volume += dot(a.p, cross(b.p, c.p)) / 6;
        /* the normal points out of the solid: just behind the face is inside,
         * just in front is outside */
        V centre = (a.p + b.p + c.p) * (1.0 / 3);
        V n = face * (1 / area2);
        EXPECT_TRUE(inside(vs, centre - n * 0.01)) << "triangle " << i / 3 << " faces into the tower";
        EXPECT_FALSE(inside(vs, centre + n * 0.01)) << "triangle " << i / 3 << " faces into the tower";
    }
    /* the surface is closed up to the ground, so its signed volume is the
     * tower's: positive, and about that of a cylinder of radius 2.75 */
    EXPECT_GT(volume, 200.0);
    EXPECT_LT(volume, 400.0);
}

TEST_F(Assets, TowerTextureCoordinatesWrapRoundAndRunUpTheHeight)
{
    model = nork_oia_load(lib, "data/brackenhold-0.oia");
    ASSERT_NE(model, nullptr);
    double sMin = 1e9, sMax = -1e9;
    int wall = 0;
    for (const Vertex& v : vertices(model)) {
        EXPECT_GE(v.t, -1e-6);
        EXPECT_LE(v.t, 1 + 1e-6);
        sMin = std::min(sMin, v.s), sMax = std::max(sMax, v.s);
        if (std::fabs(v.n.y) < 0.1 && std::hypot(v.p.x, v.p.z) > 2.7) { /* the outer wall */
            EXPECT_NEAR(v.t, v.p.y / 12.3, 1e-3) << "t runs up the height, 0 at the foot";
            wall++;
        }
    }
    EXPECT_GT(wall, 0);
    EXPECT_GE(sMax - sMin, 1.0) << "s goes at least once round the tower";
    EXPECT_NEAR(sMax - std::round(sMax), 0.0, 1e-4) << "s ends on a whole turn of the texture";
}

/* ---- the scroll text ----------------------------------------------------- */

TEST_F(Assets, ScrollTextIsPrintableAsciiEndingInOneNul)
{
    nork_memfile_t* mf = nork_memfile_new(lib);
    ASSERT_NE(mf, nullptr);
    ASSERT_EQ(nork_memfile_load(lib, mf, "data/scroll1.txt"), 0);
    std::string text(reinterpret_cast<const char*>(mf->pData), size_t(mf->iSize));
    nork_memfile_delete(&mf);

    EXPECT_GE(text.size(), 6000u);
    EXPECT_LE(text.size(), 7000u);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\0');
    EXPECT_EQ(std::strlen(text.c_str()), text.size() - 1) << "exactly one NUL, at the end";
    int run = 0;
    for (size_t i = 0; i + 1 < text.size(); i++) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        ASSERT_TRUE(c >= 0x20 && c <= 0x7E) << "byte " << int(c) << " at " << i;
        run = (std::isalnum(c) || c == ' ') ? 0 : run + 1;
        EXPECT_LE(run, 2) << "a run of odd characters ends at " << i;
        if (i > 0) {
            EXPECT_FALSE(c == ' ' && text[i - 1] == ' ') << "double space at " << i;
        }
    }
    EXPECT_NE(text.front(), ' ');
}

/* ---- regeneration ---------------------------------------------------------- */

/* The libraries whose output the committed files depend on. A different
 * version may compress or rasterise differently; the comparison then cannot
 * say anything and is skipped. */
std::string toolVersions()
{
    FT_Library ft;
    FT_Int major = 0, minor = 0, patch = 0;
    if (FT_Init_FreeType(&ft) == 0) {
        FT_Library_Version(ft, &major, &minor, &patch);
        FT_Done_FreeType(ft);
    }
    char buf[160];
    std::snprintf(buf, sizeof buf, "libpng %u, zlib %s, FreeType %d.%d.%d", unsigned(png_access_version_number()),
                  zlibVersion(), int(major), int(minor), int(patch));
    return buf;
}

const char* const kCommittedWith = "libpng 10639, zlib 1.2.13, FreeType 2.12.1";

TEST(AssetGenerators, RewriteTheCommittedFilesByteForByte)
{
    nvt::ScratchDir scratch("nv_assets_gen");
    ASSERT_TRUE(scratch.ok());
    std::string dir = scratch.str();
    for (const char* gen : {GEN_IMAGES, GEN_FONT, GEN_MODEL, GEN_TEXT}) {
        std::string cmd = std::string("'") + gen + "' '" + dir + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    }
    /* the model and the text depend on no outside library */
    const char* plain[] = {"brackenhold-0.oia", "scroll1.txt"};
    const char* pictures[] = {"turm.png", "grass.png", "burst.png", "nork.png", "MossGlade.png", "wisp.png"};
    for (const char* name : plain) {
        EXPECT_TRUE(readFile(dir + "/" + name) == readFile(std::string(NV_SOURCE_ROOT) + "/data/" + name))
            << name << " differs from the committed file";
    }
    std::vector<std::string> differing;
    for (const char* name : pictures)
        if (readFile(dir + "/" + name) != readFile(std::string(NV_SOURCE_ROOT) + "/data/" + name))
            differing.push_back(name);
    if (!differing.empty() && toolVersions() != kCommittedWith)
        GTEST_SKIP() << differing.size() << " picture(s) differ, but they were made with " << kCommittedWith
                     << " and this machine has " << toolVersions();
    for (const std::string& name : differing)
        ADD_FAILURE() << name << " differs from the committed file";
}

} // namespace
