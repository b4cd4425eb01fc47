/*
 * PNG decoding to RGBA8888 in one run: the library (nork_imageFromPNG from an
 * in-memory archive, then nork_image_toRGBA8888), libpng's simplified API,
 * libspng and stb_image, on the shipped images and on generated 2048x2048 RGB
 * and RGBA images whose rows take the five filters in turn. zlib's uncompress of the same IDAT data
 * into a new buffer is the floor for any decoder built on it.
 *
 * The library writes DUMMY.RAW on every decode; the benchmark runs in a scratch
 * directory where that name is a link to /dev/null, and times the dump apart.
 */
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <spng.h>
#include <stb_image.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "png.h"
#include "png_helpers.h"

using namespace pngt;

namespace {

struct Input {
    std::string name; /* archive name */
    Bytes file;
    Bytes idat;       /* joined IDAT data */
    size_t filtered;  /* (row bytes + 1) x height */
};

std::vector<Input> inputs;
Bytes archive;
nork_lib_t* lib;

Input describe(const std::string& name, Bytes file) {
    Input in{name, std::move(file), {}, 0};
    size_t pos = 8;
    uint32_t w = 0, h = 0;
    int colorType = 0;
    while (pos + 12 <= in.file.size()) {
        const unsigned char* p = &in.file[pos];
        uint32_t len = (uint32_t)p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3];
        if (memcmp(p + 4, "IHDR", 4) == 0) {
            w = (uint32_t)p[8] << 24 | p[9] << 16 | p[10] << 8 | p[11];
            h = (uint32_t)p[12] << 24 | p[13] << 16 | p[14] << 8 | p[15];
            colorType = p[17];
        }
        if (memcmp(p + 4, "IDAT", 4) == 0) in.idat.insert(in.idat.end(), p + 8, p + 8 + len);
        pos += 12 + len;
    }
    in.filtered = ((size_t)w * channelsOf(colorType) + 1) * h;
    return in;
}

void oursDecode(benchmark::State& state, const Input* in) {
    for (auto _ : state) {
        nork_image_t* image = nork_imageFromPNG(lib, in->name.c_str());
        if (!image || nork_image_toRGBA8888(lib, image) != 0) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(image->data);
        nork_image_delete(lib, &image);
    }
}

void libpngDecode(benchmark::State& state, const Input* in) {
    for (auto _ : state) {
        png_image img = {};
        img.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_memory(&img, in->file.data(), in->file.size())) {
            state.SkipWithError("libpng failed");
            break;
        }
        img.format = PNG_FORMAT_RGBA;
        unsigned char* out = (unsigned char*)malloc(PNG_IMAGE_SIZE(img));
        png_image_finish_read(&img, nullptr, out, 0, nullptr);
        benchmark::DoNotOptimize(out);
        free(out);
    }
}

void spngDecode(benchmark::State& state, const Input* in) {
    for (auto _ : state) {
        spng_ctx* ctx = spng_ctx_new(0);
        spng_set_png_buffer(ctx, in->file.data(), in->file.size());
        size_t size = 0;
        spng_decoded_image_size(ctx, SPNG_FMT_RGBA8, &size);
        unsigned char* out = (unsigned char*)malloc(size);
        if (spng_decode_image(ctx, out, size, SPNG_FMT_RGBA8, 0) != 0) state.SkipWithError("libspng failed");
        benchmark::DoNotOptimize(out);
        free(out);
        spng_ctx_free(ctx);
    }
}

void stbDecode(benchmark::State& state, const Input* in) {
    for (auto _ : state) {
        int w, h, n;
        unsigned char* out = stbi_load_from_memory(in->file.data(), (int)in->file.size(), &w, &h, &n, 4);
        if (!out) state.SkipWithError("stb_image failed");
        benchmark::DoNotOptimize(out);
        stbi_image_free(out);
    }
}

void uncompressOnly(benchmark::State& state, const Input* in) {
    for (auto _ : state) {
        unsigned char* out = (unsigned char*)malloc(in->filtered);
        uLongf n = in->filtered;
        if (uncompress(out, &n, in->idat.data(), in->idat.size()) != Z_OK) state.SkipWithError("uncompress failed");
        benchmark::DoNotOptimize(out);
        free(out);
    }
}

/* The dump that every decode ends with, to a file in memory (tmpfs). */
void dumpRaw(benchmark::State& state, const Input* in) {
    nork_png_t* png = nork_png_new(lib);
    nork_memfile_t mf = {};
    mf.pData = const_cast<unsigned char*>(in->file.data());
    mf.iSize = (int32_t)in->file.size();
    nork_png_loadFromMem(png, &mf);
    for (auto _ : state) nork_png_saveRAW(png, "/dev/shm/nv_bench_DUMMY.RAW");
    unlink("/dev/shm/nv_bench_DUMMY.RAW");
    nork_png_delete(&png);
}

Bytes readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

}  // namespace

int main(int argc, char** argv) {
    /* The shipped images, then the large generated ones. */
    std::string dataDir = NV_SOURCE_ROOT "/data";
    std::vector<std::string> names;
    if (DIR* d = opendir(dataDir.c_str())) {
        while (dirent* e = readdir(d))
            if (strstr(e->d_name, ".png")) names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) inputs.push_back(describe("data/" + n, readFile(dataDir + "/" + n)));
    for (int colorType : {2, 6}) {
        PngSpec spec;
        spec.width = 2048;
        spec.height = 2048;
        spec.colorType = colorType;
        spec.idatSize = 1 << 16;
        spec.cycleFilters = true; /* None, Sub, Up, Average, Paeth in turn */
        inputs.push_back(describe(colorType == 2 ? "gen/2048-rgb.png" : "gen/2048-rgba.png",
                                  writePng(spec, makePixels(2048, 2048, channelsOf(colorType), 7, 256, 0x7))));
    }

    std::vector<std::pair<std::string, Bytes>> files;
    for (const Input& in : inputs) files.push_back({in.name, in.file});
    archive = makeArchive(files);
    lib = nork_new();
    nork_dar_add(lib, (nork_data_t*)archive.data());

    char scratch[] = "/tmp/nv_bench_png_XXXXXX";
    if (!mkdtemp(scratch) || chdir(scratch) != 0 || symlink("/dev/null", "DUMMY.RAW") != 0) {
        fprintf(stderr, "bench_png: cannot set up a scratch directory\n");
        return 1;
    }

    for (const Input& in : inputs) {
        const Input* p = &in;
        benchmark::RegisterBenchmark((in.name + "/nork").c_str(), oursDecode, p)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((in.name + "/libpng").c_str(), libpngDecode, p)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((in.name + "/libspng").c_str(), spngDecode, p)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((in.name + "/stb_image").c_str(), stbDecode, p)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((in.name + "/uncompress").c_str(), uncompressOnly, p)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((in.name + "/dump DUMMY.RAW").c_str(), dumpRaw, p)->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    unlink("DUMMY.RAW");
    if (chdir("/") == 0) rmdir(scratch);
    nork_delete(lib);
    return 0;
}
