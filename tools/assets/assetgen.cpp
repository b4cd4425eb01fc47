#include "assetgen.h"

#include <png.h>

#include <cmath>
#include <cstdio>

namespace assetgen {

static uint64_t mix64(uint64_t z)
{
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

uint64_t Rng::next()
{
    state += 0x9e3779b97f4a7c15ULL;
    return mix64(state);
}

double Rng::uniform()
{
    return double(next() >> 11) * (1.0 / 9007199254740992.0);
}

double Rng::range(double lo, double hi)
{
    return lo + (hi - lo) * uniform();
}

int Rng::below(int n)
{
    return int(next() % uint64_t(n));
}

TileNoise::TileNoise(uint64_t seed_, int period_) : seed(seed_), periodX(period_), periodY(period_) {}

TileNoise::TileNoise(uint64_t seed_, int periodX_, int periodY_) : seed(seed_), periodX(periodX_), periodY(periodY_) {}

double TileNoise::lattice(int64_t x, int64_t y, int px, int py) const
{
    int64_t xm = ((x % px) + px) % px;
    int64_t ym = ((y % py) + py) % py;
    uint64_t h = mix64(seed ^ mix64(uint64_t(xm) * 0x1f1f1f1fULL + uint64_t(ym) * 0x9e3779b1ULL +
                                    uint64_t(px) * 0x10001ULL + uint64_t(py)));
    return double(h >> 11) * (1.0 / 9007199254740992.0);
}

static double fade(double t)
{
    return t * t * t * (t * (t * 6 - 15) + 10);
}

double TileNoise::at(double x, double y) const
{
    double fx = std::floor(x), fy = std::floor(y);
    int64_t ix = int64_t(fx), iy = int64_t(fy);
    double u = fade(x - fx), v = fade(y - fy);
    double a = lattice(ix, iy, periodX, periodY), b = lattice(ix + 1, iy, periodX, periodY);
    double c = lattice(ix, iy + 1, periodX, periodY), d = lattice(ix + 1, iy + 1, periodX, periodY);
    return (a + (b - a) * u) + ((c + (d - c) * u) - (a + (b - a) * u)) * v;
}

double TileNoise::fbm(double x, double y, int octaves, double gain) const
{
    double sum = 0, amp = 1, norm = 0;
    int px = periodX, py = periodY;
    for (int o = 0; o < octaves; o++) {
        /* Each octave has its own lattice period so that it repeats over the
         * same span as the first. */
        int64_t scale = int64_t(1) << o;
        double fx = x * double(scale), fy = y * double(scale);
        double ffx = std::floor(fx), ffy = std::floor(fy);
        int64_t ix = int64_t(ffx), iy = int64_t(ffy);
        double u = fade(fx - ffx), v = fade(fy - ffy);
        double a = lattice(ix, iy, px, py), b = lattice(ix + 1, iy, px, py);
        double c = lattice(ix, iy + 1, px, py), d = lattice(ix + 1, iy + 1, px, py);
        double top = a + (b - a) * u, bottom = c + (d - c) * u;
        sum += amp * (top + (bottom - top) * v);
        norm += amp;
        amp *= gain;
        px *= 2;
        py *= 2;
    }
    return sum / norm;
}

Rgb mix(const Rgb& a, const Rgb& b, double t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

double clamp01(double v)
{
    return v < 0 ? 0 : (v > 1 ? 1 : v);
}

double smoothstep(double e0, double e1, double v)
{
    double t = clamp01((v - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

uint8_t toByte(double v)
{
    return uint8_t(std::lround(clamp01(v) * 255.0));
}

void put(Picture& pic, int x, int y, const Rgb& c)
{
    uint8_t* p = pic.at(x, y);
    p[0] = toByte(c.r);
    p[1] = toByte(c.g);
    p[2] = toByte(c.b);
}

bool writePng(const std::string& path, const Picture& pic)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        std::fclose(f);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(pic.width), png_uint_32(pic.height), 8,
                 pic.channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    std::vector<png_bytep> rows(size_t(pic.height));
    for (int y = 0; y < pic.height; y++)
        rows[size_t(y)] = const_cast<png_bytep>(pic.at(0, y));
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::string outputDir(int argc, char** argv, const char* what)
{
    if (argc != 2 || argv[1][0] == '\0') {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n  writes %s into OUTPUT_DIR\n", argc > 0 ? argv[0] : "gen", what);
        return std::string();
    }
    return std::string(argv[1]);
}

} // namespace assetgen
