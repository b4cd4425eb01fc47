/*
 * gen_images: paints the demo's RGB pictures from noise and simple geometry.
 *
 *   turm.png   512x512  stone masonry of the tower, wraps left to right
 *   grass.png  128x128  grass, tiles in both directions
 *   burst.png  128x128  the flare, black at every edge
 *   nork.png   256x256  the logo lettering, all of it in the top 70 %
 *   wisp.png   256x256  the picture of the logo scene
 *
 * usage: gen_images OUTPUT_DIR
 */
#include "assetgen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace assetgen;

namespace {

const double kPi = 3.14159265358979323846;

/* ------------------------------------------------------------------------
 * Tower masonry.
 * Painted the way the tower shows it: row 0 of the file is the foot of the
 * tower (texture coordinate t = 0), so the painter works in "height above the
 * foot" and the file ends up upside down when viewed as a picture. Courses
 * and noise repeat across the width so the seam round the tower vanishes.
 * ---------------------------------------------------------------------- */
const int kTurmSize = 512;

struct Stone {
    int x0, width; /* start column (may wrap past the right edge) and width */
    Rgb tone;
    double rough, bulge;
};

struct Course {
    int y0, height; /* rows above the foot */
    std::vector<Stone> stones;
};

/* Courses of varying height, each a ring of stones of varying width that
 * starts at a random column and closes on itself across the seam. */
std::vector<Course> layCourses(Rng& rng)
{
    std::vector<Course> courses;
    int y = 0;
    while (y < kTurmSize) {
        int h = 26 + rng.below(14);
        if (kTurmSize - y - h < 24)
            h = kTurmSize - y;
        Course course{y, h, {}};
        int start = rng.below(kTurmSize), laid = 0;
        while (laid < kTurmSize) {
            int w = 50 + rng.below(70);
            if (kTurmSize - laid - w < 40)
                w = kTurmSize - laid; /* close the ring without a sliver */
            double shade = rng.range(0.78, 1.10);
            double warm = rng.range(-0.05, 0.08);
            Rgb tone = {0.55 * shade + warm, 0.53 * shade + warm * 0.45, 0.50 * shade - warm * 0.35};
            course.stones.push_back({(start + laid) % kTurmSize, w, tone, rng.range(0.6, 1.4), rng.range(0.6, 1.2)});
            laid += w;
        }
        courses.push_back(course);
        y += h;
    }
    return courses;
}

Picture paintTurm()
{
    Rng rng(0x7475726d); /* "turm" */
    auto courses = layCourses(rng);
    TileNoise grain(11, 16), fine(12, 128), edge(13, 32), moss(14, 8), lichen(15, 32);
    TileNoise streak(16, 128, 4), crack(17, 32);
    const int n = kTurmSize;
    std::vector<double> height(size_t(n) * n), solidity(height.size());
    std::vector<Rgb> albedo(height.size());
    const Rgb mortar = {0.36, 0.34, 0.31};
    const Rgb lichenCol = {0.66, 0.68, 0.46};

    /* pass 1: the stones' shape (a height field) and their colour */
    size_t ci = 0;
    for (int h = 0; h < n; h++) { /* rows above the foot */
        while (h >= courses[ci].y0 + courses[ci].height)
            ci++;
        const Course& co = courses[ci];
        double below = h - co.y0 + 0.5, above = co.y0 + co.height - h - 0.5;
        for (int x = 0; x < n; x++) {
            double u = double(x) / n, v = double(h) / n;
            const Stone* st = &co.stones[0];
            double left = 0, right = 0;
            for (const Stone& s : co.stones) {
                int rel = ((x - s.x0) % n + n) % n;
                if (rel < s.width) {
                    st = &s;
                    left = rel + 0.5;
                    right = s.width - rel - 0.5;
                    break;
                }
            }
            /* irregular, chipped edges: push the border in by noise */
            double chip = 1.4 + 3.2 * edge.fbm(u * 32, v * 32, 4);
            double dEdge = std::min(std::min(left, right), std::min(below, above)) - chip;
            double solid = smoothstep(-0.7, 0.7, dEdge);
            double g = grain.fbm(u * 16, v * 16, 4);
            double f = fine.fbm(u * 128, v * 128, 2);
            double face = std::sqrt(clamp01(dEdge / 9.0)) * st->bulge + 0.5 * (g - 0.5) * st->rough + 0.12 * f;
            double joint = -0.6 + 0.2 * f;
            size_t i = size_t(h) * n + x;
            height[i] = solid * face + (1 - solid) * joint;
            solidity[i] = solid;

            Rgb col = st->tone;
            double tex = 0.80 + 0.30 * (g - 0.5) * st->rough + 0.14 * (f - 0.5);
            col = {col.r * tex, col.g * tex, col.b * tex};
            /* hairline cracks: thin valleys of a noise field */
            double cr = std::fabs(crack.fbm(u * 32, v * 32, 3) - 0.5);
            if (cr < 0.010)
                col = mix(col, {0.24, 0.23, 0.21}, 0.55 * (1 - cr / 0.010));
            /* lichen rosettes here and there */
            double li = lichen.fbm(u * 32, v * 32, 4);
            col = mix(col, lichenCol, 0.45 * smoothstep(0.70, 0.76, li));
            albedo[i] = mix(mortar, col, solid);
        }
    }

    /* pass 2: light the height field from above and to the left, then weather it */
    Picture pic(n, n, 3);
    const double lx = -0.35, ly = 0.55, lz = 0.76; /* light direction, y towards the top of the tower */
    for (int h = 0; h < n; h++) {
        double up = (h + 0.5) / n; /* 0 at the foot, 1 at the top */
        for (int x = 0; x < n; x++) {
            double u = double(x) / n, v = double(h) / n;
            size_t i = size_t(h) * n + x;
            int xl = (x + n - 1) % n, xr = (x + 1) % n;
            int hd = std::max(h - 1, 0), hu = std::min(h + 1, n - 1);
            double gx = (height[size_t(h) * n + xr] - height[size_t(h) * n + xl]) * 1.6;
            double gy = (height[size_t(hu) * n + x] - height[size_t(hd) * n + x]) * 1.6;
            double len = std::sqrt(gx * gx + gy * gy + 1);
            double lambert = (-gx * lx - gy * ly + lz) / len;
            double shade = 0.35 + 0.75 * clamp01(lambert);
            shade *= 0.78 + 0.22 * clamp01(height[i] + 0.6); /* the joints lie in shadow */
            Rgb out = {albedo[i].r * shade, albedo[i].g * shade, albedo[i].b * shade};

            /* rain streaks running down from the battlements */
            double s = streak.fbm(u * 128, v * 4, 3);
            double wet = smoothstep(0.55, 0.8, s) * (0.2 + 0.6 * up);
            out = mix(out, {0.24, 0.24, 0.23}, 0.40 * wet);

            /* moss creeps up from the ground in patches and sits in the joints */
            double m = moss.fbm(u * 8, v * 8, 5);
            double f = fine.fbm(u * 128 + 7, v * 128, 2);
            double foot = smoothstep(0.22, 0.0, up);
            double joints = (1 - solidity[i]) * smoothstep(0.55, 0.05, up);
            double amount = smoothstep(0.62, 0.72, m + 0.3 * foot) * (0.3 + 0.7 * foot) + 0.6 * joints * smoothstep(0.45, 0.7, m);
            Rgb mossCol = mix(Rgb{0.17, 0.27, 0.09}, Rgb{0.40, 0.50, 0.18}, f);
            out = mix(out, {mossCol.r * shade * 1.2, mossCol.g * shade * 1.2, mossCol.b * shade * 1.2},
                      0.8 * clamp01(amount));

            /* damp darkening near the foot */
            double damp = 1 - 0.22 * smoothstep(0.10, 0.0, up);
            out = {out.r * damp, out.g * damp, out.b * damp};
            /* 64 levels a channel: the stone's grain hides the steps, and the
             * file comes out at little more than half the size */
            uint8_t* p = pic.at(x, h);
            for (int k = 0; k < 3; k++)
                p[k] = uint8_t(std::lround(clamp01(k == 0 ? out.r : k == 1 ? out.g : out.b) * 63.0) * 4);
        }
    }
    return pic;
}

/* ------------------------------------------------------------------------
 * Grass: a mottled green ground with blades scattered over it. Blades that
 * cross an edge continue on the opposite side, so the tile repeats cleanly.
 * ---------------------------------------------------------------------- */
const int kGrassSize = 128;

void bladeOnto(std::vector<double>& cover, std::vector<Rgb>& colour, double x0, double y0, double x1, double y1,
               double width, const Rgb& c)
{
    int minx = int(std::floor(std::min(x0, x1) - width - 1)), maxx = int(std::ceil(std::max(x0, x1) + width + 1));
    int miny = int(std::floor(std::min(y0, y1) - width - 1)), maxy = int(std::ceil(std::max(y0, y1) + width + 1));
    double dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
    for (int y = miny; y <= maxy; y++)
        for (int x = minx; x <= maxx; x++) {
            double px = x + 0.5 - x0, py = y + 0.5 - y0;
            double t = clamp01((px * dx + py * dy) / len2);
            double ex = px - dx * t, ey = py - dy * t;
            double w = width * (1 - 0.7 * t); /* blades taper to the tip */
            double a = clamp01(w + 0.5 - std::sqrt(ex * ex + ey * ey));
            if (a <= 0)
                continue;
            int wx = ((x % kGrassSize) + kGrassSize) % kGrassSize, wy = ((y % kGrassSize) + kGrassSize) % kGrassSize;
            size_t i = size_t(wy) * kGrassSize + wx;
            colour[i] = mix(colour[i], mix(c, {c.r * 1.25, c.g * 1.2, c.b * 1.1}, t), a);
            cover[i] = std::max(cover[i], a);
        }
}

Picture paintGrass()
{
    Rng rng(0x67726173); /* "gras" */
    TileNoise patch(21, 4), mottle(22, 16);
    std::vector<Rgb> colour(size_t(kGrassSize) * kGrassSize);
    std::vector<double> cover(colour.size(), 0);
    for (int y = 0; y < kGrassSize; y++)
        for (int x = 0; x < kGrassSize; x++) {
            double u = double(x) / kGrassSize, v = double(y) / kGrassSize;
            double p = patch.fbm(u * 4, v * 4, 4);
            double m = mottle.fbm(u * 16, v * 16, 3);
            Rgb dark = {0.10, 0.24, 0.06}, lush = {0.22, 0.44, 0.10}, dry = {0.44, 0.48, 0.18};
            Rgb c = mix(dark, lush, smoothstep(0.25, 0.7, m));
            c = mix(c, dry, 0.5 * smoothstep(0.58, 0.75, p));
            colour[size_t(y) * kGrassSize + x] = c;
        }
    for (int i = 0; i < 1400; i++) {
        double x = rng.range(0, kGrassSize), y = rng.range(0, kGrassSize);
        double ang = rng.range(0, 2 * kPi), len = rng.range(2.5, 7.0);
        double shade = rng.uniform();
        Rgb c = shade < 0.5 ? mix(Rgb{0.12, 0.30, 0.06}, Rgb{0.25, 0.50, 0.10}, shade * 2)
                            : mix(Rgb{0.25, 0.50, 0.10}, Rgb{0.50, 0.62, 0.22}, (shade - 0.5) * 2);
        bladeOnto(cover, colour, x, y, x + std::cos(ang) * len, y + std::sin(ang) * len, rng.range(0.45, 0.9), c);
    }
    Picture pic(kGrassSize, kGrassSize, 3);
    for (int y = 0; y < kGrassSize; y++)
        for (int x = 0; x < kGrassSize; x++)
            put(pic, x, y, colour[size_t(y) * kGrassSize + x]);
    return pic;
}

/* ------------------------------------------------------------------------
 * Flare: white-hot core, golden glow and six soft rays. Everything is
 * multiplied by a window that reaches zero well inside the square, and the
 * smallest values are floored, so every border pixel is exactly black.
 * ---------------------------------------------------------------------- */
const int kBurstSize = 128;

Picture paintBurst()
{
    Picture pic(kBurstSize, kBurstSize, 3);
    const double centre = (kBurstSize - 1) / 2.0, radius = kBurstSize / 2.0;
    const Rgb white = {1.0, 0.98, 0.90}, gold = {1.0, 0.70, 0.26}, ember = {0.85, 0.32, 0.06};
    for (int y = 0; y < kBurstSize; y++)
        for (int x = 0; x < kBurstSize; x++) {
            double dx = (x - centre) / radius, dy = (y - centre) / radius;
            double r = std::sqrt(dx * dx + dy * dy), a = std::atan2(dy, dx);
            double core = std::exp(-(r * r) / (0.09 * 0.09));
            double glow = 0.85 * std::exp(-(r * r) / (0.32 * 0.32));
            double halo = 0.30 * std::exp(-(r * r) / (0.62 * 0.62));
            double rays = 0.55 * std::pow(std::fabs(std::cos(3 * a)), 24) * std::exp(-r * 3.2);
            double window = smoothstep(0.94, 0.55, r);
            double i = (core + glow + halo + rays) * window;
            Rgb c = mix(mix(ember, gold, clamp01(i * 1.6)), white, clamp01(core * 1.4));
            Rgb out = {c.r * i, c.g * i, c.b * i};
            if (out.r < 1.5 / 255 && out.g < 1.5 / 255 && out.b < 1.5 / 255)
                out = {0, 0, 0};
            put(pic, x, y, out);
        }
    return pic;
}

/* ------------------------------------------------------------------------
 * Logo: the word "nork" drawn as thick strokes (segments and circular arcs),
 * shaded by its distance field: a hot, bevelled fill and an amber glow.
 * The strokes are laid out in design units and then fitted to the image.
 * ---------------------------------------------------------------------- */
struct Stroke {
    bool arc;
    double x0, y0, x1, y1; /* segment ends, or the arc's centre (x0, y0) */
    double r, a0, a1;      /* arc radius and angles (radians, y down) */
};

double strokeDistance(const Stroke& s, double px, double py)
{
    if (!s.arc) {
        double dx = s.x1 - s.x0, dy = s.y1 - s.y0;
        double t = clamp01(((px - s.x0) * dx + (py - s.y0) * dy) / (dx * dx + dy * dy));
        return std::hypot(px - s.x0 - dx * t, py - s.y0 - dy * t);
    }
    double a = std::atan2(py - s.y0, px - s.x0);
    while (a < s.a0)
        a += 2 * kPi;
    if (a <= s.a1)
        return std::fabs(std::hypot(px - s.x0, py - s.y0) - s.r);
    double e0 = std::hypot(px - s.x0 - s.r * std::cos(s.a0), py - s.y0 - s.r * std::sin(s.a0));
    double e1 = std::hypot(px - s.x0 - s.r * std::cos(s.a1), py - s.y0 - s.r * std::sin(s.a1));
    return std::min(e0, e1);
}

Stroke seg(double x0, double y0, double x1, double y1)
{
    return {false, x0, y0, x1, y1, 0, 0, 0};
}

Stroke arc(double cx, double cy, double r, double a0deg, double a1deg)
{
    return {true, cx, cy, 0, 0, r, a0deg * kPi / 180, a1deg * kPi / 180};
}

std::vector<Stroke> logoStrokes()
{
    /* design units: x-height from y = 0 (top) to y = 60 (baseline), ascender at -40 */
    const double top = 0, base = 60, asc = -40, r = 22;
    std::vector<Stroke> s;
    double x = 0;
    /* n */
    s.push_back(seg(x, base, x, top + r));
    s.push_back(arc(x + r, top + r, r, 180, 360));
    s.push_back(seg(x + 2 * r, top + r, x + 2 * r, base));
    x += 2 * r + 34;
    /* o */
    s.push_back(arc(x + 28, 30, 30, 0, 360));
    x += 60 + 34;
    /* r */
    s.push_back(seg(x, base, x, top + 20));
    s.push_back(arc(x + 20, top + 20, 20, 180, 300));
    x += 30 + 32;
    /* k */
    s.push_back(seg(x, base, x, asc));
    s.push_back(seg(x + 4, 36, x + 38, top));
    s.push_back(seg(x + 16, 24, x + 40, base));
    return s;
}

Picture paintLogo()
{
    const int size = 256;
    const double halfWidth = 8.5;  /* stroke half width, pixels */
    const double glowReach = 22.0; /* pixels beyond the stroke where the glow ends */
    auto strokes = logoStrokes();
    /* fit the design's bounds (arcs counted as full circles) to the picture */
    double minx = 1e9, maxx = -1e9, miny = 1e9, maxy = -1e9;
    for (const Stroke& s : strokes) {
        if (s.arc) {
            minx = std::min(minx, s.x0 - s.r), maxx = std::max(maxx, s.x0 + s.r);
            miny = std::min(miny, s.y0 - s.r), maxy = std::max(maxy, s.y0 + s.r);
        } else {
            minx = std::min({minx, s.x0, s.x1}), maxx = std::max({maxx, s.x0, s.x1});
            miny = std::min({miny, s.y0, s.y1}), maxy = std::max({maxy, s.y0, s.y1});
        }
    }
    const double scale = (size - 40 - 2 * halfWidth) / (maxx - minx);
    const double ox = (size - (maxx - minx) * scale) / 2 - minx * scale;
    const double oy = 36 + halfWidth - miny * scale; /* the ascender's top at row 36 */
    for (Stroke& s : strokes) {
        s.x0 = ox + s.x0 * scale, s.y0 = oy + s.y0 * scale;
        s.x1 = ox + s.x1 * scale, s.y1 = oy + s.y1 * scale;
        s.r *= scale;
    }
    const double textTop = oy + miny * scale, textBase = oy + maxy * scale;
    const double swooshY = textBase + 20;
    Picture pic(size, size, 3);
    const Rgb hot = {1.0, 0.98, 0.86}, amber = {1.0, 0.60, 0.16}, glowCol = {1.0, 0.45, 0.08};
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            double px = x + 0.5, py = y + 0.5;
            double d = 1e9;
            for (const Stroke& s : strokes)
                d = std::min(d, strokeDistance(s, px, py));
            double fill = clamp01(halfWidth + 0.5 - d);
            double vert = clamp01((py - textTop) / (textBase - textTop));
            Rgb body = mix(hot, amber, vert * vert);
            double ridge = 1.0 - 0.35 * std::pow(clamp01(d / halfWidth), 2); /* rounded bevel */
            body = {body.r * ridge, body.g * ridge, body.b * ridge};
            double out = std::max(0.0, d - halfWidth);
            double glow = 0.55 * std::exp(-out / 6.5) * smoothstep(glowReach, glowReach * 0.5, out);

            /* a thin golden swoosh under the word, fading at both ends */
            double sx = (px - size / 2.0) / 110.0;
            double sy = swooshY - 4 * sx * sx * 6 + 6;
            double line = std::max(0.0, 1 - std::fabs(py - sy) / 1.6) * smoothstep(1.0, 0.3, std::fabs(sx));
            double lineGlow = 0.25 * std::exp(-std::fabs(py - sy) / 3) * smoothstep(1.0, 0.3, std::fabs(sx)) *
                              smoothstep(12, 6, std::fabs(py - sy));

            Rgb c = {glowCol.r * glow, glowCol.g * glow, glowCol.b * glow};
            c = mix(c, body, fill);
            c = {c.r + amber.r * (line * 0.9 + lineGlow), c.g + amber.g * (line * 0.9 + lineGlow),
                 c.b + amber.b * (line * 0.9 + lineGlow)};
            if (c.r < 1.5 / 255 && c.g < 1.5 / 255 && c.b < 1.5 / 255)
                c = {0, 0, 0};
            put(pic, x, y, c);
        }
    return pic;
}

/* ------------------------------------------------------------------------
 * Wisp: a misty night glade with the tower's silhouette on a hill and a few
 * will-o'-the-wisps drifting over it.
 * ---------------------------------------------------------------------- */
Picture paintWisp()
{
    const int size = 256;
    TileNoise warp(31, 4), mist(32, 4), stars(33, 256);
    Picture pic(size, size, 3);
    struct Orb {
        double x, y, r;
        Rgb c;
    };
    const Orb orbs[] = {{70, 150, 5.5, {0.75, 1.0, 0.70}}, {182, 118, 4.0, {0.85, 1.0, 0.80}},
                        {122, 176, 3.2, {0.70, 0.95, 0.85}}, {212, 172, 2.6, {0.80, 1.0, 0.70}},
                        {38, 96, 2.2, {0.85, 0.95, 0.75}}};
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            double u = (x + 0.5) / size, v = (y + 0.5) / size;
            Rgb sky = mix(Rgb{0.02, 0.03, 0.10}, Rgb{0.05, 0.12, 0.14}, v);
            /* domain-warped noise gives drifting ribbons of mist */
            double wx = warp.fbm(u * 4, v * 4, 4), wy = warp.fbm(u * 4 + 1.7, v * 4 + 9.2, 4);
            double m = mist.fbm(u * 4 + 2.5 * wx, v * 4 + 2.5 * wy, 5);
            double ribbon = std::pow(smoothstep(0.40, 0.85, m), 2.0) * (0.35 + 0.65 * v);
            Rgb c = mix(sky, Rgb{0.30, 0.62, 0.52}, 0.75 * ribbon);
            /* faint stars in the upper sky */
            double st = stars.at(x, y);
            if (st > 0.996 && v < 0.45)
                c = mix(c, Rgb{0.9, 0.9, 1.0}, (st - 0.996) / 0.004 * (1 - v / 0.45));

            /* hill and tower silhouette */
            double hill = 200 - 22 * std::exp(-std::pow((x - 160) / 60.0, 2)) + 6 * std::sin(x / 23.0);
            bool solid = y > hill;
            double tx = std::fabs(x + 0.5 - 160);
            double towerTop = 104;
            if (tx < 13 && y > towerTop + 10)
                solid = true;
            if (tx < 16 && y > towerTop && y <= towerTop + 10) {
                int merlon = int(std::floor((x + 0.5 - 144) / 4.0));
                if (y > towerTop + 5 || merlon % 2 == 0)
                    solid = true;
            }
            if (solid) {
                double rim = std::exp(-(y - hill) / 3.0) * (y > hill ? 1 : 0);
                c = mix(Rgb{0.01, 0.02, 0.03}, Rgb{0.10, 0.22, 0.18}, 0.6 * rim);
                /* one lit window in the tower */
                if (std::fabs(x + 0.5 - 160) < 2 && y > 128 && y < 136)
                    c = {0.95, 0.70, 0.30};
            }
            /* the wisps: bright cores with wide soft halos, added on top */
            for (const Orb& o : orbs) {
                double d = std::hypot(x + 0.5 - o.x, y + 0.5 - o.y);
                double g = std::exp(-d * d / (o.r * o.r)) + 0.35 * std::exp(-d / (o.r * 3.5));
                c = {c.r + o.c.r * g, c.g + o.c.g * g, c.b + o.c.b * g};
            }
            put(pic, x, y, c);
        }
    return pic;
}

} // namespace

int main(int argc, char** argv)
{
    std::string dir = outputDir(argc, argv, "turm.png, grass.png, burst.png, nork.png and wisp.png");
    if (dir.empty())
        return EXIT_USAGE;
    struct Job {
        const char* name;
        Picture (*paint)();
    };
    const Job jobs[] = {{"turm.png", paintTurm}, {"grass.png", paintGrass}, {"burst.png", paintBurst},
                        {"nork.png", paintLogo}, {"wisp.png", paintWisp}};
    for (const Job& job : jobs) {
        std::string path = dir + "/" + job.name;
        if (!writePng(path, job.paint())) {
            std::fprintf(stderr, "gen_images: cannot write %s\n", path.c_str());
            return EXIT_WRITE;
        }
    }
    return EXIT_OK;
}
