// Arbitrary bytes as a registered archive image, looked up through the file
// loader. The registered size is the input's true length, so any read past it
// is a finding.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "norklib.h"

static void load(nork_lib_t* lib, const char* name) {
    nork_memfile_t* mf = nork_memfile_new(lib);
    if (!mf) return;
    if (nork_memfile_load(lib, mf, name) == 0) {
        unsigned char buffer[4096];
        while (nork_memfile_read(lib, mf, buffer, sizeof buffer) > 0) {
        }
    }
    nork_memfile_delete(&mf);
    nork_getTrace(lib);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > INT32_MAX) return 0;
    // An exact copy, so that the sanitizer fences the image at its length.
    unsigned char* image = (unsigned char*)malloc(size ? size : 1);
    if (!image) return 0;
    if (size) memcpy(image, data, size);

    nork_lib_t* lib = nork_new();
    nork_data_t* record = (nork_data_t*)malloc(sizeof *record);
    record->data = image;
    record->size = (int32_t)size;
    if (_nork_dar_add(lib, record) != 0) free(record);

    load(lib, "data/nork.png");
    load(lib, "a");
    load(lib, "");

    // Every name the directory lists, so that the paths of a hit are covered.
    int32_t count = nork_dar_entry(image, (int32_t)size, -1, nullptr);
    for (int32_t i = 0; i < count && i < 64; i++) {
        nork_dar_entry_t entry;
        if (nork_dar_entry(image, (int32_t)size, i, &entry) < 0) break;
        load(lib, entry.name);
    }

    // The public lookup trusts the header's Size; with the Size inside the
    // input it must stay inside too.
    if (size >= 8) {
        uint32_t headerSize = (uint32_t)image[4] | (uint32_t)image[5] << 8 | (uint32_t)image[6] << 16 |
                              (uint32_t)image[7] << 24;
        if (headerSize <= size) nork_dar_getPos(lib, image, "a");
    }

    nork_delete(lib);
    free(image);
    return 0;
}
