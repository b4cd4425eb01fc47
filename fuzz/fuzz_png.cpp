/* Arbitrary bytes through the PNG decoder; inputs that decode go on through
 * the image loader (from an in-memory archive, as the demo reads its files)
 * and the RGBA conversion that precedes a texture upload. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "png.h"

static void putLE32(std::vector<unsigned char>& b, uint32_t v) {
    for (int i = 0; i < 4; i++) b.push_back((unsigned char)(v >> (8 * i)));
}

/* A one-entry NDAR archive image holding the input as "f.png". */
static std::vector<unsigned char> archiveOf(const uint8_t* data, size_t size) {
    std::vector<unsigned char> a = {'N', 'D', 'A', 'R', 0, 0, 0, 0, 'D', 'A', 'T'};
    putLE32(a, (uint32_t)size);
    a.insert(a.end(), data, data + size);
    uint32_t dir = (uint32_t)a.size();
    a.insert(a.end(), {'D', 'I', 'R', 1, 0});
    putLE32(a, 8);
    a.insert(a.end(), {0, 0, 'f', '.', 'p', 'n', 'g', 0, 'E', 'N', 'D'});
    putLE32(a, dir);
    uint32_t total = (uint32_t)a.size();
    memcpy(&a[4], &total, 4);
    return a;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 24)) return 0;
    nork_lib_t* lib = nork_new();
    if (!lib) return 0;

    /* An exact-size copy, so that any read past the end is caught. */
    unsigned char* copy = (unsigned char*)malloc(size ? size : 1);
    if (copy) {
        if (size) memcpy(copy, data, size);
        nork_memfile_t mf = {};
        mf.pData = copy;
        mf.iSize = (int32_t)size;
        nork_png_t* png = nork_png_new(lib);
        int result = png ? nork_png_loadFromMem(png, &mf) : -1;
        nork_png_delete(&png);
        free(copy);

        if (result == 0) {
            std::vector<unsigned char> archive = archiveOf(data, size);
            nork_dar_add(lib, (nork_data_t*)archive.data());
            nork_image_t* image = nork_imageFromPNG(lib, "f.png");
            if (image) {
                nork_image_toRGBA8888(lib, image);
                nork_image_toRGBA8888(lib, image); /* a second conversion stays in bounds */
            }
            nork_image_delete(lib, &image);
            nork_getTrace(lib);
        }
    }
    nork_delete(lib);
    return 0;
}
