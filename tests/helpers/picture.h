/*
 * Picture comparison for the tests: 8-bit RGB pictures read from binary PPM or
 * from any PNG (through libpng), cut to an area, and compared by PSNR or by
 * their differences value by value. The GL layer's and the tower scene's tests
 * call it directly, the browser's picture script through nv_psnr and the
 * capture test through nv_capture_analyse.
 */
#ifndef TESTS_PICTURE_H
#define TESTS_PICTURE_H

#include <libpng16/png.h> /* libpng; "png.h" is the library's own decoder */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace nvt {

/* Rows top to bottom, three bytes a pixel. */
struct Picture {
    int w = 0, h = 0;
    std::vector<unsigned char> rgb;
};

inline bool readPpm(const std::string& path, Picture* p) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    int max = 0;
    bool ok = fscanf(f, "P6 %d %d %d", &p->w, &p->h, &max) == 3 && max == 255 && fgetc(f) == '\n' && p->w > 0 &&
              p->h > 0;
    if (ok) {
        p->rgb.resize((size_t)p->w * p->h * 3);
        ok = fread(p->rgb.data(), 1, p->rgb.size(), f) == p->rgb.size();
    }
    fclose(f);
    return ok;
}

/* Any PNG libpng reads, as 8-bit RGB; transparent pixels are laid on black. */
inline bool readPng(const std::string& path, Picture* p) {
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    p->w = (int)image.width;
    p->h = (int)image.height;
    p->rgb.resize(PNG_IMAGE_SIZE(image));
    png_color black = {0, 0, 0};
    if (!png_image_finish_read(&image, &black, p->rgb.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    return true;
}

/* A PPM or a PNG, told apart by the first bytes. */
inline bool readPicture(const std::string& path, Picture* p) {
    char magic[2] = {0, 0};
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    bool ppm = fread(magic, 1, 2, f) == 2 && magic[0] == 'P' && magic[1] == '6';
    fclose(f);
    return ppm ? readPpm(path, p) : readPng(path, p);
}

/* The area w x h at (x, y); false when it does not lie inside the picture. */
inline bool crop(Picture* p, int x, int y, int w, int h) {
    if (x < 0 || y < 0 || w <= 0 || h <= 0 || x > p->w - w || y > p->h - h) return false;
    std::vector<unsigned char> out((size_t)w * h * 3);
    for (int row = 0; row < h; row++)
        memcpy(&out[(size_t)row * w * 3], &p->rgb[((size_t)(y + row) * p->w + x) * 3], (size_t)w * 3);
    p->w = w;
    p->h = h;
    p->rgb.swap(out);
    return true;
}

/* PSNR in dB over every channel value of two pictures of one size: the mean
 * squared difference of the values against 255 squared. Infinite when they are
 * the same. */
inline double psnr(const Picture& a, const Picture& b) {
    double sum = 0;
    for (size_t i = 0; i < a.rgb.size(); i++) {
        double d = (double)a.rgb[i] - b.rgb[i];
        sum += d * d;
    }
    double mse = sum / (double)a.rgb.size();
    return mse == 0 ? INFINITY : 10 * log10(255.0 * 255.0 / mse);
}

/* How far apart two pictures of `pixels` RGB pixels are, value by value: the
 * mean absolute difference of the channel values, and how many values and how
 * many pixels (in some channel) are off by more than `bound`. */
struct Difference {
    double mean = 0;
    size_t farValues = 0;
    size_t farPixels = 0;
};

inline Difference difference(const unsigned char* a, const unsigned char* b, size_t pixels, int bound) {
    Difference d;
    double sum = 0;
    for (size_t i = 0; i < pixels * 3; i += 3) {
        int worst = 0;
        for (int c = 0; c < 3; c++) {
            int off = abs((int)a[i + c] - (int)b[i + c]);
            sum += off;
            if (off > bound) d.farValues++;
            if (off > worst) worst = off;
        }
        if (worst > bound) d.farPixels++;
    }
    d.mean = pixels ? sum / (double)(pixels * 3) : 0;
    return d;
}

}  // namespace nvt

#endif
