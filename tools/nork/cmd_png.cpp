/*
 * nork png: the library's PNG decoder on files from disk. Without options it
 * prints each file's header and the decoder's result; with --rgba it writes the
 * RGBA8888 pixels that the demo would upload as a texture (rows top to bottom,
 * no header). Like the demo, every successful decode leaves DUMMY.RAW in the
 * working directory.
 */
#include <libgen.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "commands.h"
#include "png.h"

static void pngUsage(FILE* out) {
    fputs("usage: nork png FILE...\n"
          "       nork png --rgba OUT FILE\n"
          "  the first form prints each PNG's header and whether the library decodes it;\n"
          "  the second writes FILE's pixels as RGBA8888 bytes to OUT, rows top to bottom\n"
          "  (every successful decode also writes DUMMY.RAW in the working directory)\n"
          "exit status: 0 success, 1 bad arguments, 2 a file could not be read or written,\n"
          "  3 a file is not a PNG the library decodes\n",
          out);
}

static bool readWhole(const char* path, std::vector<unsigned char>* bytes) {
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    unsigned char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) bytes->insert(bytes->end(), buf, buf + n);
    bool ok = !ferror(f);
    fclose(f);
    return ok && bytes->size() <= INT32_MAX;
}

static const char* describe(int result) {
    switch (result) {
    case NORK_PNG_OK: return "decoded";
    case NORK_PNG_BAD_SIGNATURE: return "not a PNG (bad signature)";
    default: return "not decoded (malformed or unsupported)";
    }
}

/* Header report and decode result of one file. */
static int reportOne(nork_lib_t* lib, const char* path) {
    std::vector<unsigned char> bytes;
    if (!readWhole(path, &bytes)) {
        fprintf(stderr, "nork: png: cannot read '%s'\n", path);
        return NORK_EXIT_IO;
    }
    nork_png_t* png = nork_png_new(lib);
    if (!png) {
        fputs("nork: png: out of memory\n", stderr);
        return NORK_EXIT_IO;
    }
    nork_memfile_t mf = {};
    mf.pData = bytes.data();
    mf.iSize = (int32_t)bytes.size();
    int result = nork_png_loadFromMem(png, &mf);

    printf("%s:\n", path);
    if (png->bHaveIHDR) nork_png_printInfo(png);
    printf("\tResult: %d, %s", result, describe(result));
    if (result == NORK_PNG_OK) printf(", %lu bytes of pixels", (unsigned long)png->iSize);
    printf("\n");
    fflush(stdout);
    nork_png_delete(&png);
    return result == NORK_PNG_OK ? NORK_EXIT_OK : NORK_EXIT_MALFORMED;
}

/* Decodes FILE through the library's image loader, as the demo does, and writes its RGBA8888 pixels. */
static int writeRGBA(nork_lib_t* lib, const char* out, const char* path) {
    std::string dirCopy = path, baseCopy = path;
    const char* dir = dirname(&dirCopy[0]);
    const char* base = basename(&baseCopy[0]);
    FILE* probe = fopen(path, "rb");
    if (!probe) {
        fprintf(stderr, "nork: png: cannot read '%s'\n", path);
        return NORK_EXIT_IO;
    }
    fclose(probe);

    nork_dar_add_dir(lib, dir);
    nork_image_t* image = nork_imageFromPNG(lib, base);
    if (!image) {
        fprintf(stderr, "nork: png: '%s' is %s (result %d)\n", path, describe(nork_lastError(lib)),
                (int)nork_lastError(lib));
        return NORK_EXIT_MALFORMED;
    }
    if (image->mode != NORK_IMAGE_PALETTE && image->mode != NORK_IMAGE_RGB && image->mode != NORK_IMAGE_RGBA) {
        fprintf(stderr, "nork: png: '%s' is a grey image, which has no RGBA8888 form here\n", path);
        nork_image_delete(lib, &image);
        return NORK_EXIT_MALFORMED;
    }
    if (nork_image_toRGBA8888(lib, image) != 0) {
        fputs("nork: png: out of memory\n", stderr);
        nork_image_delete(lib, &image);
        return NORK_EXIT_IO;
    }
    size_t bytes = (size_t)image->width * image->height * 4;
    FILE* f = fopen(out, "wb");
    bool ok = f && fwrite(image->data, 1, bytes, f) == bytes;
    if (f && fclose(f) != 0) ok = false;
    nork_image_delete(lib, &image);
    if (!ok) {
        fprintf(stderr, "nork: png: cannot write '%s'\n", out);
        return NORK_EXIT_IO;
    }
    return NORK_EXIT_OK;
}

int cmd_png(int argc, char** argv) {
    if (argc >= 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        pngUsage(stdout);
        return NORK_EXIT_OK;
    }
    bool rgba = argc >= 2 && strcmp(argv[1], "--rgba") == 0;
    if (argc < 2 || (rgba && argc != 4)) {
        fputs(rgba ? "nork: png: --rgba takes OUT and one FILE (see nork png --help)\n"
                   : "nork: png: no file given (see nork png --help)\n",
              stderr);
        return NORK_EXIT_USAGE;
    }

    nork_lib_t* lib = nork_new();
    if (!lib) {
        fputs("nork: png: out of memory\n", stderr);
        return NORK_EXIT_IO;
    }
    int status = NORK_EXIT_OK;
    if (rgba) {
        status = writeRGBA(lib, argv[2], argv[3]);
    } else {
        for (int i = 1; i < argc; i++) {
            int s = reportOne(lib, argv[i]);
            if (status == NORK_EXIT_OK) status = s;
        }
    }
    nork_delete(lib);
    return status;
}
