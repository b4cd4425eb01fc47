/* Images: loading a named PNG through the library's sources, and RGBA conversion. */
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "norklib.h"
#include "png_helpers.h"
#include "scratch_lib.h"

using namespace pngt;

namespace {

class Image : public ScratchDirTest {
protected:
    void TearDown() override {
        nork_image_delete(lib, &image);
        ScratchDirTest::TearDown();
    }

    /* Registers an in-memory archive holding the given files. */
    void addArchive(const std::vector<std::pair<std::string, Bytes>>& files) {
        archive = makeArchive(files);
        nork_dar_add(lib, (nork_data_t*)archive.data());
    }

    /* Loads one file from a fresh context whose only source is an archive holding it. */
    nork_image_t* loadOne(const Bytes& file) {
        nork_image_delete(lib, &image);
        nork_delete(lib);
        lib = nork_new();
        addArchive({{"data/a.png", file}});
        image = nork_imageFromPNG(lib, "data/a.png");
        return image;
    }

    static std::string hex8(const void* p) {
        char buf[32];
        snprintf(buf, sizeof buf, "%08lx", (unsigned long)(uintptr_t)p);
        return buf;
    }

    Bytes archive;
    nork_image_t* image = nullptr;
};

/* libpng's own RGBA8888 for a PNG, the reference of the conversions. */
Bytes libpngRGBA(const Bytes& file) {
    png_image img = {};
    img.version = PNG_IMAGE_VERSION;
    EXPECT_TRUE(png_image_begin_read_from_memory(&img, file.data(), file.size()));
    img.format = PNG_FORMAT_RGBA;
    Bytes out(PNG_IMAGE_SIZE(img));
    EXPECT_TRUE(png_image_finish_read(&img, nullptr, out.data(), 0, nullptr));
    return out;
}

TEST_F(Image, RgbFromArchiveLeavesTheDecodersTrace) {
    PngSpec spec;
    spec.width = 256;
    spec.height = 256;
    spec.colorType = 2;
    spec.idatSize = 1 << 20; /* one IDAT chunk */
    Bytes file = writePng(spec, makePixels(256, 256, 3));
    ASSERT_NE(loadOne(file), nullptr);
    std::vector<std::string> t = traceLines();
    ASSERT_EQ(t.size(), 10u);
    /* Decoder creation comes right after the archive found the file. */
    EXPECT_EQ(t[1].rfind("found @ ", 0), 0u) << t[1];
    std::vector<std::string> tail(t.end() - 8, t.end());
    EXPECT_EQ(tail[0], "nork_png_new");
    EXPECT_EQ(tail[1].rfind("png new: ", 0), 0u);
    EXPECT_GE(tail[1].size(), 17u); /* at least eight hex digits */
    EXPECT_EQ(tail[2], "IHDR");
    EXPECT_EQ(tail[3], "IDAT");
    EXPECT_EQ(tail[4], "IEND");
    EXPECT_EQ(tail[5], "png loadFromMem 0");
    EXPECT_EQ(tail[6], "palette entries: 1");
    EXPECT_EQ(tail[7], "image " + hex8(image));
    EXPECT_EQ(nork_lastError(lib), 0);
}

TEST_F(Image, RgbImageConvertsWithOpaqueAlpha) {
    PngSpec spec;
    spec.width = 256;
    spec.height = 256;
    spec.colorType = 2;
    Bytes pixels = makePixels(256, 256, 3, 4);
    Bytes file = writePng(spec, pixels);
    ASSERT_NE(loadOne(file), nullptr);
    EXPECT_EQ(image->width, 256);
    EXPECT_EQ(image->height, 256);
    EXPECT_EQ(image->mode, NORK_IMAGE_RGB);
    EXPECT_EQ(Bytes(image->data, image->data + 196608), pixels);
    ASSERT_NE(image->palette, nullptr);
    EXPECT_EQ(image->palette->num, 1);
    ASSERT_EQ(nork_image_toRGBA8888(lib, image), 0);
    Bytes rgba(image->data, image->data + 262144);
    EXPECT_EQ(rgba, libpngRGBA(file));
    for (size_t i = 3; i < rgba.size(); i += 4) ASSERT_EQ(rgba[i], 255) << i;
    EXPECT_EQ(image->mode, NORK_IMAGE_RGB); /* the mode still names the loaded layout */
}

TEST_F(Image, RgbConversionOfEverySmallSize) {
    /* The widening runs in place from the end, in groups of four pixels and a tail. */
    for (unsigned w : {1u, 2u, 3u, 4u, 5u, 7u, 15u, 16u, 17u, 31u, 64u, 65u})
        for (unsigned h : {1u, 3u}) {
            nork_image_t* img = (nork_image_t*)calloc(1, sizeof(nork_image_t));
            img->width = (uint16_t)w;
            img->height = (uint16_t)h;
            img->mode = NORK_IMAGE_RGB;
            Bytes px = makePixels(w, h, 3, w * 7 + h);
            img->data = (unsigned char*)malloc(px.size());
            memcpy(img->data, px.data(), px.size());
            ASSERT_EQ(nork_image_toRGBA8888(lib, img), 0);
            Bytes want;
            for (size_t i = 0; i < (size_t)w * h; i++) want.insert(want.end(), {px[3 * i], px[3 * i + 1], px[3 * i + 2], 255});
            EXPECT_EQ(Bytes(img->data, img->data + want.size()), want) << w << "x" << h;
            nork_image_delete(lib, &img);
        }
}

TEST_F(Image, RgbaImageConvertsToTheSameBytes) {
    PngSpec spec;
    spec.width = 512;
    spec.height = 512;
    spec.colorType = 6;
    spec.idatSize = 8192;
    Bytes pixels = makePixels(512, 512, 4, 8);
    Bytes file = writePng(spec, pixels);
    ASSERT_NE(loadOne(file), nullptr);
    EXPECT_EQ(image->mode, NORK_IMAGE_RGBA);
    ASSERT_EQ(nork_image_toRGBA8888(lib, image), 0);
    EXPECT_EQ(Bytes(image->data, image->data + pixels.size()), pixels);
}

TEST_F(Image, SixteenEntryPaletteConverts) {
    PngSpec spec;
    spec.width = 33;
    spec.height = 17;
    spec.colorType = 3;
    for (int i = 0; i < 16; i++) spec.palette.insert(spec.palette.end(), {(unsigned char)(i * 16), (unsigned char)(255 - i), (unsigned char)(i * 3)});
    Bytes file = writePng(spec, makePixels(33, 17, 1, 2, 16));
    ASSERT_NE(loadOne(file), nullptr);
    EXPECT_EQ(image->mode, NORK_IMAGE_PALETTE);
    EXPECT_EQ(image->palette->num, 16);
    EXPECT_EQ(traceLines()[8], "palette entries: 16");
    EXPECT_EQ(image->palette->data[15 * 3], 240);
    ASSERT_EQ(nork_image_toRGBA8888(lib, image), 0);
    EXPECT_EQ(Bytes(image->data, image->data + 33 * 17 * 4), libpngRGBA(file));
}

TEST_F(Image, PaletteIndexBeyondTheEntriesReadsAZeroEntry) {
    /* Two entries, but a pixel names entry 200: the table has 256 slots, unset ones black. */
    Bytes file = cat({signature(), ihdr(2, 1, 8, 3), chunk("PLTE", {1, 2, 3, 4, 5, 6}),
                      chunk("IDAT", zlibCompress(filteredRows({{0, {1, 200}}}))), chunk("IEND", {})});
    ASSERT_NE(loadOne(file), nullptr);
    EXPECT_EQ(image->palette->num, 2);
    ASSERT_EQ(nork_image_toRGBA8888(lib, image), 0);
    EXPECT_EQ(Bytes(image->data, image->data + 8), (Bytes{4, 5, 6, 255, 0, 0, 0, 255}));
}

TEST_F(Image, GreyLayoutsAreLeftAlone) {
    for (int colorType : {0, 4}) {
        PngSpec spec;
        spec.width = 9;
        spec.height = 5;
        spec.colorType = colorType;
        Bytes pixels = makePixels(9, 5, channelsOf(colorType));
        ASSERT_NE(loadOne(writePng(spec, pixels)), nullptr);
        EXPECT_EQ(image->mode, colorType == 0 ? NORK_IMAGE_GREY : NORK_IMAGE_GREYA);
        unsigned char* before = image->data;
        EXPECT_EQ(nork_image_toRGBA8888(lib, image), 0);
        EXPECT_EQ(image->data, before);
        EXPECT_EQ(Bytes(image->data, image->data + pixels.size()), pixels);
    }
}

TEST_F(Image, FailuresGiveNullAndTheResultCode) {
    addArchive({{"data/bad.png", Bytes(20, 'x')}, {"data/cut.png", simplePng(1, 3, 2, filteredRows({{0, {1, 2, 3}}}))}});
    EXPECT_EQ(nork_imageFromPNG(lib, "data/none.png"), nullptr);
    EXPECT_EQ(nork_lastError(lib), -1);
    EXPECT_EQ(nork_imageFromPNG(lib, "data/bad.png"), nullptr);
    EXPECT_EQ(nork_lastError(lib), 4097);
    EXPECT_EQ(traceLines().back(), "png loadFromMem 4097");
    EXPECT_EQ(nork_imageFromPNG(lib, "data/cut.png"), nullptr);
    EXPECT_EQ(nork_lastError(lib), -1);
    EXPECT_EQ(traceLines().back(), "png loadFromMem -1");
    EXPECT_EQ(access("DUMMY.RAW", F_OK), -1);
}

TEST_F(Image, SidesBeyondSixteenBitsAreRefused) {
    Bytes file = cat({signature(), ihdr(70000, 1, 8, 0),
                      chunk("IDAT", zlibCompress(filteredRows({{0, Bytes(70000, 7)}}))), chunk("IEND", {})});
    EXPECT_EQ(loadOne(file), nullptr);
    EXPECT_EQ(nork_lastError(lib), -1);
}

TEST_F(Image, NullImages) {
    EXPECT_EQ(nork_image_toRGBA8888(lib, nullptr), -1);
    EXPECT_EQ(nork_image_RGBToRGBA8888(lib, nullptr), -1);
    EXPECT_EQ(nork_image_delete(lib, nullptr), 0);
    nork_image_t* none = nullptr;
    EXPECT_EQ(nork_image_delete(lib, &none), 0);
}

TEST_F(Image, UnknownModeIsLeftUntouched) {
    nork_image_t* img = (nork_image_t*)calloc(1, sizeof(nork_image_t));
    img->width = 2;
    img->height = 2;
    img->mode = 9;
    img->data = (unsigned char*)malloc(4);
    unsigned char* before = img->data;
    EXPECT_EQ(nork_image_toRGBA8888(lib, img), 0);
    EXPECT_EQ(img->data, before);
    EXPECT_EQ(nork_image_delete(lib, &img), 0);
    EXPECT_EQ(img, nullptr);
}

TEST_F(Image, ImageFromDirectorySource) {
    PngSpec spec;
    spec.width = 4;
    spec.height = 4;
    Bytes pixels = makePixels(4, 4, 3);
    Bytes file = writePng(spec, pixels);
    ASSERT_EQ(mkdir("data", 0755), 0);
    FILE* f = fopen("data/d.png", "wb");
    ASSERT_NE(f, nullptr);
    fwrite(file.data(), 1, file.size(), f);
    fclose(f);
    nork_dar_add_dir(lib, ".");
    image = nork_imageFromPNG(lib, "data/d.png");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(Bytes(image->data, image->data + 48), pixels);
    unlink("data/d.png");
    rmdir("data");
}

}  // namespace
