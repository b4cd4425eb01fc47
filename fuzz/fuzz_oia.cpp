// Arbitrary bytes as a NoIA model, read through an in-memory file. A model that
// loads must own exactly count * stride readable bytes.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "norklib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static nork_lib_t* lib = nork_new();

    // A copy of exactly the input's size, so that any read past it is caught.
    unsigned char* bytes = (unsigned char*)malloc(size ? size : 1);
    if (!bytes)
        return 0;
    if (size)
        memcpy(bytes, data, size);

    nork_memfile_t mf;
    memset(&mf, 0, sizeof mf);
    mf.pData = bytes;
    mf.iSize = (int32_t)size;
    // The first byte, when there is one, picks a read position inside the file.
    mf.iPos = size > 1 && (data[0] & 0x80) ? (int32_t)(data[0] & 0x0F) % (int32_t)size : 0;

    nork_oia_t* po = nork_oia_new(lib);
    if (po && nork_oia_loadFromMem(po, &mf) == 0) {
        if (po->mode != 4 || po->stride <= 0 || po->count < 0)
            abort();
        if ((size_t)po->count * (size_t)po->stride > size - 10)
            abort();
        volatile unsigned sum = 0;
        const unsigned char* v = (const unsigned char*)po->pointer;
        for (int32_t i = 0; i < po->count * po->stride; i++)
            sum = sum + v[i];
        nork_oia_delete(lib, &po);
        if (po)
            abort();
    }
    free(bytes);
    return 0;
}
