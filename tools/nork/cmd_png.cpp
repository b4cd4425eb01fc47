/*
 * nork png: the library's PNG decoder on files from disk. Without options it
 * prints each file's header, the decoder's result and what the image layer
 * makes of the pixels; with --rgba it writes the RGBA8888 pixels that the demo
 * would upload as a texture (rows top to bottom, no header). Like the demo,
 * every successful decode writes DUMMY.RAW in the working directory; the
 * report says whether that write worked.
 */
#include <libgen.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "args.h"
#include "commands.h"
#include "files.h"
#include "png.h"

static const char WHO[] = "png: ";
static const uint64_t MAX_PNG = INT32_MAX; /* the library holds a file's length in 32 signed bits */
static const char TOO_BIG[] = "larger than any PNG the library reads";
static const uint32_t MAX_SIDE = 0xffff; /* the image record's sides are 16 bits */

static void pngUsage(FILE* out) {
    fputs("usage: nork png FILE...\n"
          "       nork png --rgba OUT FILE\n"
          "  the first form prints each PNG's header, whether the library decodes it and\n"
          "  what the image layer makes of it, and writes DUMMY.RAW (the decoded pixels,\n"
          "  as the demo does) in the working directory; the second writes FILE's pixels\n"
          "  as the demo's texture holds them, RGBA8888 bytes to OUT, rows top to bottom\n"
          "  (its decode writes DUMMY.RAW too); \"--\" ends the options\n"
          "exit status: 0 success, 1 bad arguments, 2 a file (DUMMY.RAW too) could not be\n"
          "  read or written, 3 a file is not a PNG the library decodes and the image\n"
          "  layer takes\n",
          out);
}

/* Why the decoder refuses a file with this header, or null for a header it
 * takes. The answer goes into buf. */
static const char* unsupported(const nork_png_IHDR_t* h, char* buf, size_t size) {
    if (h->bitDepth != 8)
        snprintf(buf, size, "unsupported: bit depth %d (only 8 is decoded)", h->bitDepth);
    else if (h->interlaceMethod != 0)
        snprintf(buf, size, "unsupported: interlaced (method %d)", h->interlaceMethod);
    else if (h->colorType != 0 && h->colorType != 2 && h->colorType != 3 && h->colorType != 4 && h->colorType != 6)
        snprintf(buf, size, "unsupported: colour type %d (not a PNG colour type)", h->colorType);
    else
        return nullptr;
    return buf;
}

/* The decoder's verdict on a file, in words. */
static const char* describe(int result, const nork_png_t* png, char* buf, size_t size) {
    if (result == NORK_PNG_OK) return "decoded";
    if (result == NORK_PNG_BAD_SIGNATURE) return "not a PNG (bad signature)";
    if (!png || !png->bHaveIHDR) return "malformed (no complete IHDR chunk)";
    const char* why = unsupported(png->pIHDR, buf, size);
    return why ? why : "malformed (the image data does not decode)";
}

/* What the image layer does with decoded pixels of this header: null when it
 * refuses them (the answer says why), otherwise how the texture will hold them. */
static const char* imageLayer(const nork_png_IHDR_t* h, char* buf, size_t size) {
    if (h->width > MAX_SIDE || h->height > MAX_SIDE) {
        snprintf(buf, size, "refused: %lu x %lu pixels, at most %lu a side", (unsigned long)h->width,
                 (unsigned long)h->height, (unsigned long)MAX_SIDE);
        return nullptr;
    }
    switch (h->colorType) {
    case 3: return "palette, converted to RGBA8888";
    case 2: return "RGB, converted to RGBA8888";
    case 6: return "RGBA8888 as loaded";
    case 0: return "grey, 1 byte a pixel, uploaded as grey";
    default: return "grey and alpha, 2 bytes a pixel, uploaded as grey with alpha";
    }
}

/* Header report, decode result and image layer of one file. */
static int reportOne(nork_lib_t* lib, const char* path) {
    std::vector<unsigned char> bytes;
    int status = NORK_EXIT_OK;
    if (!tool_readInput(WHO, path, MAX_PNG, TOO_BIG, &bytes, &status)) return status;
    nork_png_t* png = nork_png_new(lib);
    if (!png) {
        fputs("nork: png: out of memory\n", stderr);
        return NORK_EXIT_IO;
    }
    nork_memfile_t mf = {};
    mf.pData = bytes.data();
    mf.iSize = (int32_t)bytes.size();
    int result = nork_png_loadFromMem(png, &mf);

    char why[96];
    printf("%s:\n", path);
    if (png->bHaveIHDR) nork_png_printInfo(png);
    printf("\tResult: %d, %s", result, describe(result, png, why, sizeof why));
    if (result == NORK_PNG_OK) printf(", %lu bytes of pixels", (unsigned long)png->iSize);
    printf("\n");
    status = result == NORK_PNG_OK ? NORK_EXIT_OK : NORK_EXIT_MALFORMED;
    if (result == NORK_PNG_OK) {
        const char* layer = imageLayer(png->pIHDR, why, sizeof why);
        printf("\tImage: %s\n", layer ? layer : why);
        if (!layer) status = NORK_EXIT_MALFORMED;
        if (png->iRawError == 0) {
            printf("\tDUMMY.RAW: written\n");
        } else {
            const char* reason = png->iRawError > 0 ? strerror(png->iRawError) : "write error";
            printf("\tDUMMY.RAW: not written: %s\n", reason);
            fflush(stdout);
            fprintf(stderr, "nork: png: DUMMY.RAW: cannot write: %s\n", reason);
            if (status == NORK_EXIT_OK) status = NORK_EXIT_IO;
        }
    }
    fflush(stdout);
    nork_png_delete(&png);
    return status;
}

/* The header as the file states it, for saying why a file was refused. */
static bool headerOf(const std::vector<unsigned char>& b, nork_png_IHDR_t* h) {
    if (b.size() < 8 + 8 + 13 || memcmp(&b[12], "IHDR", 4) != 0) return false;
    const unsigned char* d = &b[16];
    h->width = (uint32_t)d[0] << 24 | (uint32_t)d[1] << 16 | (uint32_t)d[2] << 8 | d[3];
    h->height = (uint32_t)d[4] << 24 | (uint32_t)d[5] << 16 | (uint32_t)d[6] << 8 | d[7];
    h->bitDepth = d[8];
    h->colorType = d[9];
    h->interlaceMethod = d[12];
    return true;
}

static void explainRefusal(const char* path, const std::vector<unsigned char>& bytes, int result) {
    char why[96];
    nork_png_IHDR_t h = {};
    const char* reason = "malformed (the image data does not decode)";
    if (result == NORK_PNG_BAD_SIGNATURE)
        reason = "not a PNG (bad signature)";
    else if (!headerOf(bytes, &h))
        reason = "malformed (no IHDR chunk first)";
    else if (const char* u = unsupported(&h, why, sizeof why))
        reason = u;
    else if (!imageLayer(&h, why, sizeof why))
        reason = why;
    fprintf(stderr, "nork: png: %s: %s (result %d)\n", path, reason, result);
}

/* The texture's bytes for an image: RGBA8888 as converted, grey widened the
 * way GL widens a grey upload (alpha 255 where the image has none). */
static bool textureBytes(nork_lib_t* lib, nork_image_t* image, std::vector<unsigned char>* out) {
    size_t n = (size_t)image->width * image->height;
    if (image->mode == NORK_IMAGE_GREY || image->mode == NORK_IMAGE_GREYA) {
        size_t step = image->mode == NORK_IMAGE_GREY ? 1 : 2;
        out->resize(n * 4);
        for (size_t i = 0; i < n; i++) {
            unsigned char l = image->data[i * step];
            unsigned char* p = &(*out)[i * 4];
            p[0] = p[1] = p[2] = l;
            p[3] = step == 2 ? image->data[i * step + 1] : 255;
        }
        return true;
    }
    if (nork_image_toRGBA8888(lib, image) != 0) return false;
    out->assign(image->data, image->data + n * 4);
    return true;
}

/* Decodes FILE through the library's image loader, as the demo does, and writes the texture's pixels. */
static int writeRGBA(nork_lib_t* lib, const char* outPath, const char* path) {
    std::vector<unsigned char> bytes;
    int status = NORK_EXIT_OK;
    if (!tool_readInput(WHO, path, MAX_PNG, TOO_BIG, &bytes, &status)) return status;

    std::string dirCopy = path, baseCopy = path;
    nork_dar_add_dir(lib, dirname(&dirCopy[0]));
    nork_image_t* image = nork_imageFromPNG(lib, basename(&baseCopy[0]));
    if (!image) {
        explainRefusal(path, bytes, (int)nork_lastError(lib));
        return NORK_EXIT_MALFORMED;
    }
    std::vector<unsigned char> pixels;
    bool converted = textureBytes(lib, image, &pixels);
    nork_image_delete(lib, &image);
    if (!converted) {
        fputs("nork: png: out of memory\n", stderr);
        return NORK_EXIT_IO;
    }
    return tool_writeFile(WHO, outPath, pixels.data(), pixels.size());
}

static const tool_option_t PNG_OPTIONS[] = {{"--rgba", true}};

int cmd_png(int argc, char** argv) {
    tool_args_t args;
    if (!tool_readArgs(argc, argv, 1, "png", PNG_OPTIONS, 1, &args)) return NORK_EXIT_USAGE;
    if (args.help) {
        pngUsage(stdout);
        return NORK_EXIT_OK;
    }
    bool rgba = false;
    const char* rgbaOut = tool_option(&args, "--rgba", &rgba);
    if (args.operands.empty() || (rgba && args.operands.size() != 1)) {
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
        status = writeRGBA(lib, rgbaOut, args.operands[0]);
    } else {
        for (const char* file : args.operands) {
            int s = reportOne(lib, file);
            if (status == NORK_EXIT_OK) status = s;
        }
    }
    nork_delete(lib);
    return status;
}
