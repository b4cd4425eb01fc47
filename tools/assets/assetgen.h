/*
 * Shared helpers of the picture, font, model and text generators.
 *
 * Everything here is deterministic: the random numbers come from our own
 * generator with fixed seeds, the noise is our own, and the PNG writer emits
 * no time stamp or other ancillary chunk, so a second run writes the same bytes.
 */
#ifndef ASSETGEN_H
#define ASSETGEN_H

#include <cstdint>
#include <string>
#include <vector>

namespace assetgen {

/* A small, portable random generator (splitmix64): the same sequence on every
 * machine, unlike the distributions of <random>. */
class Rng {
public:
    explicit Rng(uint64_t seed) : state(seed) {}
    uint64_t next();
    double uniform();                    /* [0, 1) */
    double range(double lo, double hi);  /* [lo, hi) */
    int below(int n);                    /* 0 .. n-1 */

private:
    uint64_t state;
};

/* Value noise on an integer lattice that repeats every `periodX` cells in x and
 * `periodY` cells in y, so a picture made from it tiles when the picture spans
 * whole periods. */
class TileNoise {
public:
    TileNoise(uint64_t seed, int period);
    TileNoise(uint64_t seed, int periodX, int periodY);
    double at(double x, double y) const; /* lattice units; result 0..1 */
    /* Sum of `octaves` layers, each twice as fine (period doubled) and `gain` as
     * strong as the one before; result normalised to 0..1. */
    double fbm(double x, double y, int octaves, double gain = 0.5) const;

private:
    double lattice(int64_t x, int64_t y, int px, int py) const;
    uint64_t seed;
    int periodX, periodY;
};

/* An 8-bit picture with 3 (RGB) or 4 (RGBA) channels, rows top first. */
struct Picture {
    int width = 0, height = 0, channels = 3;
    std::vector<uint8_t> pixels;

    Picture(int w, int h, int c) : width(w), height(h), channels(c), pixels(size_t(w) * h * c, 0) {}
    uint8_t* at(int x, int y) { return &pixels[(size_t(y) * width + x) * channels]; }
    const uint8_t* at(int x, int y) const { return &pixels[(size_t(y) * width + x) * channels]; }
};

struct Rgb {
    double r, g, b;
};

Rgb mix(const Rgb& a, const Rgb& b, double t);
double clamp01(double v);
double smoothstep(double e0, double e1, double v);
uint8_t toByte(double v); /* 0..1 -> 0..255, rounded, clamped */
void put(Picture& pic, int x, int y, const Rgb& c);

/* Writes an 8-bit, non-interlaced PNG with libpng, maximum compression, and no
 * chunks besides IHDR, IDAT and IEND. Returns false on any failure. */
bool writePng(const std::string& path, const Picture& pic);

/* Writes `bytes` to `path` whole; false on failure. */
bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

/* Common command line of the generators: one argument, the output folder.
 * Prints the usage and returns an empty string when it is missing. */
std::string outputDir(int argc, char** argv, const char* what);

/* Distinct exit codes of the generators. */
enum { EXIT_OK = 0, EXIT_USAGE = 1, EXIT_WRITE = 2, EXIT_INPUT = 3, EXIT_CHECK = 4 };

} // namespace assetgen

#endif
