/*
 * The data archive, which the browser edition does not link in: the page loads it beside the
 * program and puts it in memory before main runs (load.js holds main back until then), where
 * the driver finds it through dataVelandor_data as the desktop's linked-in one.
 */
#include <stdlib.h>

#include <emscripten/emscripten.h>

#include "archive.h"

nork_data_t* dataVelandor_data = nullptr;
int32_t dataVelandor_data_size = 0;

/* Room for the archive's size bytes, which the page then fills; null when there is none. */
extern "C" EMSCRIPTEN_KEEPALIVE unsigned char* nv_web_archive(int32_t size) {
    if (size <= 0 || dataVelandor_data) return nullptr;
    unsigned char* at = (unsigned char*)malloc((size_t)size);
    if (!at) return nullptr;
    dataVelandor_data = (nork_data_t*)at;
    dataVelandor_data_size = size;
    return at;
}
