/*
 * gen_model: builds the tower, brackenhold-0.oia, as separate triangles.
 *
 * A round keep on the y axis, standing on y = 0 and 12.3 units tall: a wider
 * plinth, the shaft, a corbelled ledge, a parapet and twelve merlons around
 * a walkway that closes the top. Normals point outwards (smooth round the
 * shaft, flat on the merlons' faces) and every triangle winds counter-clockwise
 * seen from its front. Texture coordinates: s goes twice round the tower,
 * t = height / 12.3, so the texture's first row lies at the foot.
 *
 * File layout: "NoIA", 01 00, 00 (no extended mode), 0E (texture coordinate,
 * normal, position), the vertex count as a big-endian 16-bit number, then per
 * vertex eight little-endian floats: s, t, nx, ny, nz, x, y, z.
 *
 * usage: gen_model OUTPUT_DIR
 */
#include "assetgen.h"

#include <cmath>
#include <cstdio>
#include <cstring>

using namespace assetgen;

namespace {

const double kPi = 3.14159265358979323846;
const int kSegments = 24;        /* around the tower; two per merlon and gap */
const double kHeight = 12.3;     /* top of the merlons */
const double kTexturesAround = 2; /* the texture repeats twice round the tower */

/* profile of the outer wall, from the foot up: radius and height */
const double kPlinthR = 3.0, kPlinthTop = 0.5;
const double kShaftR = 2.75, kShaftFoot = 0.75, kShaftTop = 10.1;
const double kParapetR = 3.1, kParapetFoot = 10.6, kParapetTop = 11.5;
const double kInnerR = 2.55;     /* inner face of the parapet */
const double kWalkway = 11.0;    /* floor inside the parapet */

struct V3 {
    double x, y, z;
};

V3 sub(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 normalize(V3 a)
{
    double l = std::sqrt(dot(a, a));
    return {a.x / l, a.y / l, a.z / l};
}

struct Vertex {
    double s, t;
    V3 n, p;
};

class Mesh {
public:
    /* Adds a triangle; its order is turned, if need be, so that it winds
     * counter-clockwise seen from the side its normals point to. */
    void tri(Vertex a, Vertex b, Vertex c)
    {
        V3 face = cross(sub(b.p, a.p), sub(c.p, a.p));
        V3 n = {a.n.x + b.n.x + c.n.x, a.n.y + b.n.y + c.n.y, a.n.z + b.n.z + c.n.z};
        if (dot(face, n) < 0)
            std::swap(b, c);
        verts.push_back(a);
        verts.push_back(b);
        verts.push_back(c);
    }
    /* a quad a-b-c-d given in order round its edge */
    void quad(Vertex a, Vertex b, Vertex c, Vertex d)
    {
        tri(a, b, c);
        tri(a, c, d);
    }
    std::vector<Vertex> verts;
};

double angleOf(int seg) { return 2 * kPi * seg / kSegments; }
double sOf(int seg) { return kTexturesAround * seg / kSegments; }
double tOf(double y) { return y / kHeight; }
V3 ring(double r, double a, double y) { return {r * std::cos(a), y, r * std::sin(a)}; }

/* A band of the outer wall between two rings of the profile. The normal is
 * perpendicular to the band's slope and smooth round the tower; `sign` -1
 * turns it inwards for the parapet's inner face. */
void band(Mesh& m, double r0, double y0, double r1, double y1, double sign = 1)
{
    double slope = std::atan2(r0 - r1, y1 - y0); /* tilt of the normal out of the horizontal */
    for (int i = 0; i < kSegments; i++) {
        Vertex v[4];
        int segs[4] = {i, i + 1, i + 1, i};
        double rr[4] = {r0, r0, r1, r1}, yy[4] = {y0, y0, y1, y1};
        for (int k = 0; k < 4; k++) {
            double a = angleOf(segs[k]);
            V3 n = {sign * std::cos(a) * std::cos(slope), sign * std::sin(slope), sign * std::sin(a) * std::cos(slope)};
            v[k] = {sOf(segs[k]), tOf(yy[k]), n, ring(rr[k], a, yy[k])};
        }
        m.quad(v[0], v[1], v[2], v[3]);
    }
}

/* A flat annulus (or disc when r0 is 0) at height y, facing up. */
void annulus(Mesh& m, double r0, double r1, double y, int from, int to)
{
    V3 up = {0, 1, 0};
    for (int i = from; i < to; i++) {
        double a0 = angleOf(i), a1 = angleOf(i + 1);
        /* the texture's stones, seen from above: s round, t across the ring */
        Vertex o0 = {sOf(i), tOf(y), up, ring(r1, a0, y)}, o1 = {sOf(i + 1), tOf(y), up, ring(r1, a1, y)};
        Vertex i0 = {sOf(i), tOf(y) - (r1 - r0) / kHeight, up, ring(r0, a0, y)};
        Vertex i1 = {sOf(i + 1), tOf(y) - (r1 - r0) / kHeight, up, ring(r0, a1, y)};
        if (r0 <= 0)
            m.tri(o0, o1, i0);
        else
            m.quad(o0, o1, i1, i0);
    }
}

/* A flat quad with one normal for all four corners. */
void flat(Mesh& m, V3 n, Vertex a, Vertex b, Vertex c, Vertex d)
{
    a.n = b.n = c.n = d.n = n;
    m.quad(a, b, c, d);
}

/* A merlon over segments [seg, seg + 2): outer and inner faces follow the
 * curve, the top and the two cheeks are flat. */
void merlon(Mesh& m, int seg)
{
    const double y0 = kParapetTop, y1 = kHeight;
    for (int i = seg; i < seg + 2; i++) {
        double a0 = angleOf(i), a1 = angleOf(i + 1);
        V3 out0 = {std::cos(a0), 0, std::sin(a0)}, out1 = {std::cos(a1), 0, std::sin(a1)};
        V3 in0 = {-out0.x, 0, -out0.z}, in1 = {-out1.x, 0, -out1.z};
        m.quad({sOf(i), tOf(y0), out0, ring(kParapetR, a0, y0)}, {sOf(i + 1), tOf(y0), out1, ring(kParapetR, a1, y0)},
               {sOf(i + 1), tOf(y1), out1, ring(kParapetR, a1, y1)}, {sOf(i), tOf(y1), out0, ring(kParapetR, a0, y1)});
        m.quad({sOf(i), tOf(y0), in0, ring(kInnerR, a0, y0)}, {sOf(i + 1), tOf(y0), in1, ring(kInnerR, a1, y0)},
               {sOf(i + 1), tOf(y1), in1, ring(kInnerR, a1, y1)}, {sOf(i), tOf(y1), in0, ring(kInnerR, a0, y1)});
    }
    annulus(m, kInnerR, kParapetR, y1, seg, seg + 2);
    /* cheeks: the side faces at both ends, facing along the ring */
    for (int end = 0; end < 2; end++) {
        int i = seg + 2 * end;
        double a = angleOf(i);
        double dir = end == 0 ? -1 : 1; /* the start faces backwards, the end forwards */
        V3 n = {-std::sin(a) * dir, 0, std::cos(a) * dir};
        double depth = (kParapetR - kInnerR) / kHeight;
        flat(m, n, {sOf(i), tOf(y0), n, ring(kInnerR, a, y0)}, {sOf(i) + depth, tOf(y0), n, ring(kParapetR, a, y0)},
             {sOf(i) + depth, tOf(y1), n, ring(kParapetR, a, y1)}, {sOf(i), tOf(y1), n, ring(kInnerR, a, y1)});
    }
}

Mesh buildTower()
{
    Mesh m;
    band(m, kPlinthR, 0, kPlinthR, kPlinthTop);                 /* plinth */
    band(m, kPlinthR, kPlinthTop, kShaftR, kShaftFoot);         /* its chamfer */
    band(m, kShaftR, kShaftFoot, kShaftR, kShaftTop);           /* the shaft */
    band(m, kShaftR, kShaftTop, kParapetR, kParapetFoot);       /* corbelled ledge */
    band(m, kParapetR, kParapetFoot, kParapetR, kParapetTop);   /* parapet, outside */
    band(m, kInnerR, kWalkway, kInnerR, kParapetTop, -1);       /* parapet, inside */
    annulus(m, 0, kInnerR, kWalkway, 0, kSegments);             /* walkway */
    for (int seg = 0; seg < kSegments; seg += 4) {
        merlon(m, seg);
        annulus(m, kInnerR, kParapetR, kParapetTop, seg + 2, seg + 4); /* the gap's sill */
    }
    return m;
}

void putFloat(std::vector<uint8_t>& out, double v)
{
    float f = float(v);
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    for (int k = 0; k < 4; k++)
        out.push_back(uint8_t(bits >> (8 * k)));
}

} // namespace

int main(int argc, char** argv)
{
    std::string dir = outputDir(argc, argv, "brackenhold-0.oia");
    if (dir.empty())
        return EXIT_USAGE;
    Mesh m = buildTower();
    if (m.verts.size() > 0xFFFF) {
        std::fprintf(stderr, "gen_model: %zu vertices do not fit the 16-bit count\n", m.verts.size());
        return EXIT_CHECK;
    }
    std::vector<uint8_t> out = {'N', 'o', 'I', 'A', 0x01, 0x00, 0x00, 0x0E, uint8_t(m.verts.size() >> 8),
                                uint8_t(m.verts.size() & 0xFF)};
    for (const Vertex& v : m.verts) {
        V3 n = normalize(v.n);
        for (double f : {v.s, v.t, n.x, n.y, n.z, v.p.x, v.p.y, v.p.z})
            putFloat(out, f);
    }
    std::string path = dir + "/brackenhold-0.oia";
    if (!writeFile(path, out)) {
        std::fprintf(stderr, "gen_model: cannot write %s\n", path.c_str());
        return EXIT_WRITE;
    }
    return EXIT_OK;
}
