/* Library context, trace read-out and images. */
#include <stdlib.h>
#include <string.h>

#include "norklib_internal.h"

/* ======================================================================== *
 * Context and trace read-out
 * ======================================================================== */

nork_lib_t* nork_new(void) {
    nl_t* nl = (nl_t*)calloc(1, sizeof *nl);
    if (!nl) return nullptr;
    nl->iNumData = 0;
    nl->lastError = 0;
    /* The window fills from its newest slot; the first text is static. */
    nl->traceFmt[NL_TRACE_SLOTS - 1] = (char*)nl_trace_started;
    nl->traceValue[NL_TRACE_SLOTS - 1] = 0;
    return nl;
}

/* Releases everything the context owns: its source records with their
 * directory names and the archives read from files, and its trace texts.
 * Archive images registered from memory stay the caller's. */
int nork_delete(nork_lib_t* handle) {
    nl_t* nl = (nl_t*)handle;
    if (!nl) return 0;
    for (int32_t i = 0; i < nl->iNumData && i < NL_MAX_SOURCES; i++) {
        if (nl->data[i]) free(nl->data[i]->data);
        free(nl->data[i]);
    }
    for (int i = 0; i < NL_TRACE_SLOTS; i++)
        if (nl->traceFmt[i] != nl_trace_started) free(nl->traceFmt[i]);
    free(nl);
    return 0;
}

int32_t nork_lastError(nork_lib_t* handle) { return handle ? ((nl_t*)handle)->lastError : -1; }

/* One buffer for the whole process, large enough for ten full texts, each with
 * its newline, and the terminator, so nothing is ever cut. */
static char nl_traceText[NL_TRACE_SLOTS * NL_TRACE_TEXT + 1];

char* nork_getTrace(nork_lib_t* handle) {
    nl_t* nl = (nl_t*)handle;
    size_t used = 0;
    nl_traceText[0] = '\0';
    for (int i = 0; nl && i < NL_TRACE_SLOTS; i++) {
        if (!nl->traceFmt[i]) continue;
        /* Bounded even if a text were longer than its block: cut, never overrun. */
        size_t room = sizeof nl_traceText - 1 - used;
        size_t n = strnlen(nl->traceFmt[i], room);
        memcpy(nl_traceText + used, nl->traceFmt[i], n);
        used += n;
        if (used < sizeof nl_traceText - 1) nl_traceText[used++] = '\n';
    }
    nl_traceText[used] = '\0';
    return nl_traceText;
}

/* ======================================================================== *
 * Images
 * ======================================================================== */
#include "png.h"

/* Image modes by PNG colour type; 0 for a type the decoder refuses anyway. */
static uint8_t nl_imageMode(uint8_t colorType) {
    switch (colorType) {
    case 3: return NORK_IMAGE_PALETTE;
    case 2: return NORK_IMAGE_RGB;
    case 6: return NORK_IMAGE_RGBA;
    case 0: return NORK_IMAGE_GREY;
    case 4: return NORK_IMAGE_GREYA;
    default: return 0;
    }
}

/* Loads a named PNG through the registered sources and decodes it into an
 * image that owns its pixels and palette. Sides beyond 16 bits are refused:
 * the record could not describe the pixels. */
nork_image_t* nork_imageFromPNG(nork_lib_t* handle, const char* name) {
    nl_t* nl = (nl_t*)handle;
    if (!nl || !name) return nullptr;

    nork_memfile_t* mf = nork_memfile_new(handle);
    if (!mf) {
        nl->lastError = -1;
        return nullptr;
    }
    nl->lastError = nork_memfile_load(handle, mf, name);
    if (nl->lastError != 0) {
        nork_memfile_delete(&mf);
        return nullptr;
    }

    nork_png_t* png = nork_png_new(handle);
    nl_trace(nl, NL_TR_PNG_NEW, (intptr_t)png);
    if (!png) {
        nork_memfile_delete(&mf);
        return nullptr;
    }
    int result = nork_png_loadFromMem(png, mf);
    nl->lastError = result;
    nl_trace(nl, NL_TR_PNG_LOAD, result);
    if (result == 0 && (png->pIHDR->width > 0xffff || png->pIHDR->height > 0xffff)) {
        nl->lastError = -1;
        result = -1;
    }

    nork_image_t* image = nullptr;
    if (result == 0) {
        image = (nork_image_t*)calloc(1, sizeof(nork_image_t));
        if (!image) nl_trace(nl, NL_TR_OUT_OF_MEMORY, 0);
    }
    if (image) {
        image->width = (uint16_t)png->pIHDR->width;
        image->height = (uint16_t)png->pIHDR->height;
        image->mode = nl_imageMode(png->pIHDR->colorType);
        image->bRGBA8888 = image->mode == NORK_IMAGE_RGBA;

        /* The decoder's rows are exactly the image's pixels: take the buffer over. */
        size_t bytes = (size_t)image->width * image->height * png->bBytePerPixel;
        if (png->pData && png->iSize == bytes) {
            image->data = png->pData;
            png->pData = nullptr;
        } else {
            image->data = (unsigned char*)malloc(bytes ? bytes : 1);
            if (image->data && png->pData) memcpy(image->data, png->pData, bytes < png->iSize ? bytes : png->iSize);
        }

        image->palette = (nork_image_pal_t*)calloc(1, sizeof(nork_image_pal_t));
        if (image->palette) {
            int entries = png->pPLTE->num + 1;
            for (int i = 0; i < entries * 3; i++) image->palette->data[i] = png->pPLTE->data[i];
            image->palette->num = (uint16_t)entries;
            nl_trace(nl, NL_TR_PAL_ENTRIES, entries);
        }
        if (!image->data || !image->palette) {
            nl_trace(nl, NL_TR_OUT_OF_MEMORY, 0);
            nork_image_delete(handle, &image);
        }
    }

    nork_png_delete(&png);
    if (image) nl_trace(nl, NL_TR_IMAGE, (intptr_t)image);
    nork_memfile_delete(&mf);
    return image;
}

int32_t nork_image_toRGBA8888(nork_lib_t* handle, nork_image_t* image) {
    if (!image) return -1;
    switch (image->mode) {
    case NORK_IMAGE_PALETTE: return nork_image_palToRGBA8888(handle, image);
    case NORK_IMAGE_RGB: return nork_image_RGBToRGBA8888(handle, image);
    case NORK_IMAGE_RGBA: return nork_image_RGBAToRGBA8888(handle, image);
    default: return 0; /* grey layouts stay as they are */
    }
}

/* The converters build each pixel as the number A<<24 | B<<16 | G<<8 | R and
 * store it little-endian, which lays the bytes out R, G, B, A. A buffer that
 * cannot be allocated leaves the image as it was. */
static void nl_storePixel(unsigned char* out, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    uint32_t v = a << 24 | b << 16 | g << 8 | r;
    memcpy(out, &v, 4); /* little-endian target */
}

int32_t nork_image_palToRGBA8888(nork_lib_t* handle, nork_image_t* image) {
    (void)handle;
    if (!image || !image->data || !image->palette) return -1;
    size_t n = (size_t)image->width * image->height;
    unsigned char* out = (unsigned char*)malloc(n ? n * 4 : 1);
    if (!out) return -1;
    const uint16_t* pal = image->palette->data;
    for (size_t i = 0; i < n; i++) {
        const uint16_t* e = pal + 3 * image->data[i];
        nl_storePixel(out + 4 * i, e[0] & 0xff, e[1] & 0xff, e[2] & 0xff, 255);
    }
    free(image->data);
    image->data = out;
    image->bRGBA8888 = 1;
    return 0;
}

#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>

/* Widens pixels [i, n) in place, four per step with one byte shuffle, from the
 * end down; returns the i it stopped at. A group at pixel j reads bytes 3j to
 * 3j + 15 and writes 4j to 4j + 15: from j = 12 on, it writes above every byte
 * still to be read. */
__attribute__((target("ssse3"))) static size_t nl_RGBToRGBA_ssse3(unsigned char* buf, size_t n) {
    const __m128i shuffle = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i alpha = _mm_set1_epi32((int)0xff000000u);
    size_t i = n;
    while (i >= 16) {
        i -= 4;
        __m128i v = _mm_loadu_si128((const __m128i*)(buf + 3 * i));
        _mm_storeu_si128((__m128i*)(buf + 4 * i), _mm_or_si128(_mm_shuffle_epi8(v, shuffle), alpha));
    }
    return i;
}
#endif

/* Grows the buffer and widens the pixels in place, last pixel first, so that
 * no pixel is overwritten before it has been read. */
int32_t nork_image_RGBToRGBA8888(nork_lib_t* handle, nork_image_t* image) {
    (void)handle;
    if (!image || !image->data) return -1;
    size_t n = (size_t)image->width * image->height;
    unsigned char* buf = (unsigned char*)realloc(image->data, n ? n * 4 : 1);
    if (!buf) return -1; /* the old buffer is untouched */
    image->data = buf;
    size_t i = n;
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("ssse3")) i = nl_RGBToRGBA_ssse3(buf, n);
#endif
    while (i-- > 0) {
        unsigned char r = buf[3 * i], g = buf[3 * i + 1], b = buf[3 * i + 2];
        nl_storePixel(buf + 4 * i, r, g, b, 255);
    }
    image->bRGBA8888 = 1;
    return 0;
}

/* The bytes are already R, G, B, A: the buffer stays as it is. */
int32_t nork_image_RGBAToRGBA8888(nork_lib_t* handle, nork_image_t* image) {
    (void)handle;
    if (!image || !image->data) return -1;
    image->bRGBA8888 = 1;
    return 0;
}

int nork_image_delete(nork_lib_t* handle, nork_image_t** ppImage) {
    (void)handle;
    if (!ppImage || !*ppImage) return 0;
    free((*ppImage)->palette);
    free((*ppImage)->data);
    free(*ppImage);
    *ppImage = nullptr;
    return 0;
}
