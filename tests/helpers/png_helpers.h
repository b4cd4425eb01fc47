/*
 * PNG test inputs and pictures: images written with libpng (forcing a row
 * filter), in memory or to a file, decoded with libpng for comparison, PNG
 * streams assembled chunk by chunk, and a small NDAR archive image. The one PNG
 * writer of the tests and the benchmarks.
 */
#ifndef TESTS_PNG_HELPERS_H
#define TESTS_PNG_HELPERS_H

#include <libpng16/png.h> /* libpng; "png.h" is the library's own decoder */
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <zlib.h>

#include <string>
#include <utility>
#include <vector>

namespace pngt {

typedef std::vector<unsigned char> Bytes;

inline unsigned channelsOf(int colorType) {
    switch (colorType) {
    case 0: return 1;
    case 2: return 3;
    case 3: return 1;
    case 4: return 2;
    case 6: return 4;
    default: return 0;
    }
}

/* Deterministic pixels with smooth parts and noise, so that every filter has work to do. */
inline Bytes makePixels(unsigned w, unsigned h, unsigned channels, uint32_t seed = 1, unsigned paletteSize = 256,
                        unsigned noiseMask = 0x1f) {
    Bytes px((size_t)w * h * channels);
    uint32_t s = seed * 2654435761u + 1;
    for (unsigned y = 0; y < h; y++)
        for (unsigned x = 0; x < w; x++)
            for (unsigned c = 0; c < channels; c++) {
                s = s * 1103515245u + 12345u;
                unsigned noise = (s >> 16) & noiseMask;
                unsigned v = (x * (c + 1) + y * (3 - c % 3) + ((x / 8 + y / 8) % 2) * 90 + noise) & 0xff;
                if (paletteSize < 256) v %= paletteSize;
                px[((size_t)y * w + x) * channels + c] = (unsigned char)v;
            }
    return px;
}

struct PngSpec {
    unsigned width = 8, height = 8;
    int colorType = 2;
    int filters = PNG_ALL_FILTERS;  /* PNG_FILTER_NONE, _SUB, _UP, _AVG, _PAETH or a mix */
    size_t idatSize = 0;            /* split the stream into IDAT chunks of this size; 0: default */
    int level = 6;
    Bytes palette;                  /* RGB triples for colour type 3 */
    bool ancillary = false;         /* add pHYs, tIME and bKGD */
    bool cycleFilters = false;      /* rows take None, Sub, Up, Average, Paeth in turn */
};

/* Writes a PNG with libpng from rows of the colour type's own layout. */
inline Bytes writePng(const PngSpec& spec, const Bytes& pixels) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return Bytes();
    }
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t n) {
            Bytes* o = (Bytes*)png_get_io_ptr(p);
            o->insert(o->end(), data, data + n);
        },
        [](png_structp) {});
    png_set_IHDR(png, info, spec.width, spec.height, 8, spec.colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> pal;
    if (spec.colorType == 3) {
        for (size_t i = 0; i + 2 < spec.palette.size(); i += 3)
            pal.push_back(png_color{spec.palette[i], spec.palette[i + 1], spec.palette[i + 2]});
        png_set_PLTE(png, info, pal.data(), (int)pal.size());
    }
    if (spec.ancillary) {
        png_set_pHYs(png, info, 2835, 2835, PNG_RESOLUTION_METER);
        png_time t = {2020, 5, 17, 12, 30, 0};
        png_set_tIME(png, info, &t);
        png_color_16 bg = {};
        bg.red = 1;
        bg.green = 2;
        bg.blue = 3;
        bg.gray = 4;
        bg.index = 0;
        png_set_bKGD(png, info, &bg);
    }
    /* Filters that a row may switch to later must be enabled before the first row. */
    png_set_filter(png, PNG_FILTER_TYPE_BASE, spec.cycleFilters ? PNG_ALL_FILTERS : spec.filters);
    png_set_compression_level(png, spec.level);
    if (spec.idatSize) png_set_compression_buffer_size(png, spec.idatSize);
    png_write_info(png, info);
    size_t stride = (size_t)spec.width * channelsOf(spec.colorType);
    static const int cycle[5] = {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG, PNG_FILTER_PAETH};
    for (unsigned y = 0; y < spec.height; y++) {
        if (spec.cycleFilters && y > 0) png_set_filter(png, PNG_FILTER_TYPE_BASE, cycle[y % 5]);
        png_write_row(png, (png_const_bytep)(pixels.data() + y * stride));
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

/* libpng's decoding without transformations: the rows in the file's own layout.
 * Returns false for a file libpng refuses. */
inline bool readPngRaw(const Bytes& file, Bytes* pixels, unsigned* w = nullptr, unsigned* h = nullptr,
                       int* colorType = nullptr) {
    struct Src {
        const Bytes* b;
        size_t pos;
    } src = {&file, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr,
                                             [](png_structp, png_const_charp) {});
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &src, [](png_structp p, png_bytep data, png_size_t n) {
        Src* s = (Src*)png_get_io_ptr(p);
        if (s->pos + n > s->b->size()) png_error(p, "short");
        memcpy(data, s->b->data() + s->pos, n);
        s->pos += n;
    });
    png_read_info(png, info);
    unsigned width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    size_t stride = png_get_rowbytes(png, info);
    pixels->assign(stride * height, 0);
    for (unsigned y = 0; y < height; y++) rows.push_back(pixels->data() + y * stride);
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    if (w) *w = width;
    if (h) *h = height;
    if (colorType) *colorType = png_get_color_type(png, info);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

/* ---- files --------------------------------------------------------------- */

inline Bytes readBytes(const std::string& path) {
    Bytes b;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        unsigned char buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
        fclose(f);
    }
    return b;
}

inline bool writeBytes(const std::string& path, const Bytes& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

/* writePng into a file; false when libpng or the file refused. */
inline bool writePngFile(const std::string& path, const PngSpec& spec, const Bytes& pixels) {
    Bytes file = writePng(spec, pixels);
    return !file.empty() && writeBytes(path, file);
}

/* ---- PNG streams assembled by hand ------------------------------------- */

inline void put32(Bytes& b, uint32_t v) {
    b.push_back((unsigned char)(v >> 24));
    b.push_back((unsigned char)(v >> 16));
    b.push_back((unsigned char)(v >> 8));
    b.push_back((unsigned char)v);
}

inline Bytes signature() { return Bytes{137, 80, 78, 71, 13, 10, 26, 10}; }

inline Bytes chunk(const char* type, const Bytes& data) {
    Bytes c;
    put32(c, (uint32_t)data.size());
    c.insert(c.end(), type, type + 4);
    c.insert(c.end(), data.begin(), data.end());
    uLong crc = crc32(0, (const Bytef*)type, 4);
    if (!data.empty()) crc = crc32(crc, data.data(), (uInt)data.size());
    put32(c, (uint32_t)crc);
    return c;
}

inline Bytes ihdr(uint32_t w, uint32_t h, int depth, int colorType, int interlace = 0) {
    Bytes d;
    put32(d, w);
    put32(d, h);
    d.push_back((unsigned char)depth);
    d.push_back((unsigned char)colorType);
    d.push_back(0);
    d.push_back(0);
    d.push_back((unsigned char)interlace);
    return chunk("IHDR", d);
}

inline Bytes zlibCompress(const Bytes& raw) {
    uLongf n = compressBound(raw.size());
    Bytes z(n);
    compress2(z.data(), &n, raw.data(), raw.size(), 9);
    z.resize(n);
    return z;
}

/* Filtered rows: each row is its filter byte followed by the row's bytes. */
inline Bytes filteredRows(const std::vector<std::pair<int, Bytes>>& rows) {
    Bytes raw;
    for (const auto& r : rows) {
        raw.push_back((unsigned char)r.first);
        raw.insert(raw.end(), r.second.begin(), r.second.end());
    }
    return raw;
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

/* A whole PNG from a header and already filtered rows, in one IDAT chunk. */
inline Bytes simplePng(uint32_t w, uint32_t h, int colorType, const Bytes& filtered) {
    return cat({signature(), ihdr(w, h, 8, colorType), chunk("IDAT", zlibCompress(filtered)), chunk("IEND", {})});
}

/* ---- NDAR archive image ------------------------------------------------- */

inline void putLE32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; i++) b.push_back((unsigned char)(v >> (8 * i)));
}

inline Bytes makeArchive(const std::vector<std::pair<std::string, Bytes>>& files) {
    Bytes a = {'N', 'D', 'A', 'R', 0, 0, 0, 0};
    std::vector<uint32_t> offsets;
    for (const auto& f : files) {
        offsets.push_back((uint32_t)a.size());
        a.insert(a.end(), {'D', 'A', 'T'});
        putLE32(a, (uint32_t)f.second.size());
        a.insert(a.end(), f.second.begin(), f.second.end());
        a.push_back(f.second.empty() ? 0 : f.second.back());
    }
    uint32_t dir = (uint32_t)a.size();
    a.insert(a.end(), {'D', 'I', 'R'});
    a.push_back((unsigned char)files.size());
    a.push_back((unsigned char)(files.size() >> 8));
    uint32_t nameOffset = 0;
    for (size_t i = 0; i < files.size(); i++) {
        putLE32(a, offsets[i]);
        a.push_back((unsigned char)nameOffset);
        a.push_back((unsigned char)(nameOffset >> 8));
        nameOffset += (uint32_t)files[i].first.size() + 1;
    }
    for (const auto& f : files) a.insert(a.end(), f.first.c_str(), f.first.c_str() + f.first.size() + 1);
    a.insert(a.end(), {'E', 'N', 'D'});
    putLE32(a, dir);
    uint32_t size = (uint32_t)a.size();
    for (int i = 0; i < 4; i++) a[4 + i] = (unsigned char)(size >> (8 * i));
    return a;
}

}  // namespace pngt

#endif
