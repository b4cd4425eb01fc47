/* The PNG decoder: signature, chunks, one-shot inflate, row filters. */
#include "png.h"

#include "norklib_internal.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

static const unsigned char pngSig[8] = {137, 80, 78, 71, 13, 10, 26, 10};

enum {
    IDAT_TABLE_SLOTS = 1024,
    /* Deflate codes at most 258 bytes in 2 bits: no stream inflates beyond this ratio. */
    INFLATE_MAX_RATIO = 1032
};

/* The chunk lengths and header numbers are big-endian; this reads them on a little-endian host. */
uint32_t nork_png_ntohl(uint32_t in) {
    return ((in & 0xffu) << 24) | ((in & 0xff00u) << 8) | ((in >> 8) & 0xff00u) | (in >> 24);
}

static uint32_t readBigEndian32(const unsigned char* p) {
    uint32_t v;
    memcpy(&v, p, 4);
    return nork_png_ntohl(v);
}

/* ---------------------------------------------------------------------------
 * Record lifecycle
 * ------------------------------------------------------------------------- */

nork_png_t* nork_png_new(nork_lib_t* handle) {
    nl_t* nl = (nl_t*)handle;
    nl_trace(nl, NL_TR_PNG_CREATE, 0);

    nork_png_t* pp = (nork_png_t*)calloc(1, sizeof(nork_png_t));
    if (!pp) {
        nl_trace(nl, NL_TR_OUT_OF_MEMORY, 0);
        return nullptr;
    }
    pp->pnl = nl;
    pp->ppcIDAT = (nork_png_chunk_t**)calloc(IDAT_TABLE_SLOTS, sizeof(nork_png_chunk_t*));
    pp->iNumIDAT = 0;
    pp->pIHDR = (nork_png_IHDR_t*)calloc(1, sizeof(nork_png_IHDR_t));
    /* Zeroed, so the one entry that a PNG without PLTE leaves behind is black. */
    pp->pPLTE = (nork_png_PLTE_t*)calloc(1, sizeof(nork_png_PLTE_t));
    if (!pp->ppcIDAT || !pp->pIHDR || !pp->pPLTE) {
        nl_trace(nl, NL_TR_OUT_OF_MEMORY, 0);
        nork_png_delete(&pp);
        return nullptr;
    }
    pp->pIDAT = nullptr;
    return pp;
}

int nork_png_delete(nork_png_t** pPng) {
    if (!pPng || !*pPng) return 0;
    nork_png_t* pp = *pPng;
    if (pp->pIDAT) {
        free(pp->pIDAT->pData);
        free(pp->pIDAT);
    }
    free(pp->pData);
    free(pp->pScanlines);
    free(pp->ppcIDAT);
    free(pp->pIHDR);
    free(pp->pPLTE);
    free(pp);
    *pPng = nullptr;
    return 0;
}

/* ---------------------------------------------------------------------------
 * Chunks
 * ------------------------------------------------------------------------- */

/* Reads the chunk at iPos. A stream that ends before a whole chunk (length,
 * type, data and CRC) ends the chunk sequence; nothing past iSize is read. */
nork_png_chunk_t* nork_png_chunkNext(nork_memfile_t* pmf) {
    if (!pmf || !pmf->pData || pmf->iPos < 0) return nullptr;
    int64_t avail = (int64_t)pmf->iSize - pmf->iPos;
    if (avail < 4) return nullptr;
    const unsigned char* p = pmf->pData + pmf->iPos;
    uint32_t length = readBigEndian32(p);
    if ((int64_t)length + 12 > avail) return nullptr; /* cut chunk */

    nork_png_chunk_t* pc = (nork_png_chunk_t*)calloc(1, sizeof(nork_png_chunk_t));
    if (!pc) return nullptr;
    pc->length = length;
    memcpy(pc->type, p + 4, 4);
    pc->type[4] = 0;
    if (length > 0) {
        pc->pData = malloc(length);
        if (!pc->pData) {
            free(pc);
            return nullptr;
        }
        memcpy(pc->pData, p + 8, length);
    }
    memcpy(&pc->crc, p + 8 + length, 4);
    pmf->iPos += 12 + (int32_t)length;

    if (memcmp(pc->type, "IDAT", 4) == 0)
        pc->bType = NORK_PNG_CHUNK_IDAT;
    else if (memcmp(pc->type, "IHDR", 4) == 0)
        pc->bType = NORK_PNG_CHUNK_IHDR;
    else if (memcmp(pc->type, "IEND", 4) == 0)
        pc->bType = NORK_PNG_CHUNK_IEND;
    else if (memcmp(pc->type, "PLTE", 4) == 0)
        pc->bType = NORK_PNG_CHUNK_PLTE;
    else
        pc->bType = NORK_PNG_CHUNK_OTHER;
    return pc;
}

int32_t nork_png_chunkDelete(nork_png_chunk_t* ppc) {
    if (!ppc) return 0;
    free(ppc->pData);
    free(ppc);
    return 0;
}

int nork_png_addIHDRFromChunk(nork_png_t* pPng, nork_png_chunk_t* pc) {
    if (!pPng || !pc) return NORK_PNG_FAILED;
    if (pc->length < 13 || !pc->pData) {
        pPng->bBadStream = 1;
        return NORK_PNG_FAILED;
    }
    const unsigned char* d = (const unsigned char*)pc->pData;
    nork_png_IHDR_t* h = pPng->pIHDR;
    h->width = readBigEndian32(d);
    h->height = readBigEndian32(d + 4);
    h->bitDepth = d[8];
    h->colorType = d[9];
    h->compressionMethod = d[10];
    h->filterMethod = d[11];
    h->interlaceMethod = d[12];
    pPng->bHaveIHDR = 1;
    return NORK_PNG_OK;
}

int nork_png_addPLTEFromChunk(nork_png_t* pPng, nork_png_chunk_t* pc) {
    if (!pPng || !pc) return NORK_PNG_FAILED;
    if (pc->length < 3 || pc->length > 768 || !pc->pData) {
        pPng->bBadStream = 1;
        return NORK_PNG_FAILED;
    }
    pPng->pPLTE->num = (unsigned char)(pc->length / 3 - 1);
    memcpy(pPng->pPLTE->data, pc->pData, (pc->length / 3) * 3);
    return NORK_PNG_OK;
}

/* Appends one IDAT chunk to the joined stream. The buffer is first sized from
 * the header (at most the size of the file it comes from) and grows when the
 * compressed data outruns it, as it does for very small images. */
int nork_png_addIDATFromChunk(nork_png_t* pPng, nork_png_chunk_t* pc) {
    if (!pPng || !pc) return NORK_PNG_FAILED;
    if (!pPng->bHaveIHDR) { /* the capacity comes from the header */
        pPng->bBadStream = 1;
        return NORK_PNG_FAILED;
    }
    if (!pPng->pIDAT) {
        const nork_png_IHDR_t* h = pPng->pIHDR;
        uint64_t capacity = (uint64_t)h->width * h->height * h->bitDepth / 8 * 4;
        if (h->width == 0 || h->height == 0 || capacity > UINT32_MAX) {
            pPng->bBadStream = 1;
            return NORK_PNG_FAILED;
        }
        if (pPng->iStreamSize > 0 && capacity > (uint64_t)pPng->iStreamSize) capacity = pPng->iStreamSize;
        if (capacity < pc->length) capacity = pc->length;
        if (capacity == 0) capacity = 1;

        pPng->pIDAT = (nork_png_IDAT_t*)calloc(1, sizeof(nork_png_IDAT_t));
        if (!pPng->pIDAT) {
            nl_trace(pPng->pnl, NL_TR_OUT_OF_MEMORY, 0);
            pPng->bBadStream = 1;
            return NORK_PNG_FAILED;
        }
        pPng->pIDAT->pData = malloc((size_t)capacity);
        if (!pPng->pIDAT->pData) {
            nl_trace(pPng->pnl, NL_TR_OUT_OF_MEMORY, 0);
            pPng->bBadStream = 1;
            return NORK_PNG_NO_BUFFER;
        }
        pPng->pIDAT->capacity = (uint32_t)capacity;
        pPng->pIDAT->size = 0;
    }
    nork_png_IDAT_t* idat = pPng->pIDAT;
    if (!idat->pData) return NORK_PNG_NO_BUFFER; /* an earlier allocation failed */
    if (pc->length == 0) return NORK_PNG_OK;

    uint64_t needed = (uint64_t)idat->size + pc->length;
    if (needed > INT32_MAX) {
        pPng->bBadStream = 1;
        return NORK_PNG_FAILED;
    }
    if (needed > idat->capacity) {
        uint64_t grown = (uint64_t)idat->capacity * 2;
        if (grown < needed) grown = needed;
        if (grown > INT32_MAX) grown = INT32_MAX;
        void* p = realloc(idat->pData, (size_t)grown);
        if (!p) {
            nl_trace(pPng->pnl, NL_TR_OUT_OF_MEMORY, 0);
            pPng->bBadStream = 1;
            return NORK_PNG_NO_BUFFER;
        }
        idat->pData = p;
        idat->capacity = (uint32_t)grown;
    }
    memcpy((unsigned char*)idat->pData + idat->size, pc->pData, pc->length);
    idat->size = (int32_t)needed;
    return NORK_PNG_OK;
}

/* ---------------------------------------------------------------------------
 * Row filters
 *
 * Each filter has a plain loop for any pixel size and, where SSE2 is at hand,
 * a one-pixel-per-step version for 3 and 4 bytes per pixel (the RGB and RGBA
 * images). The reconstruction is serial along a row, so the gain comes from
 * doing a whole pixel's arithmetic at once.
 * ------------------------------------------------------------------------- */

unsigned char nork_png_paethPredictor(unsigned char a, unsigned char b, unsigned char c) {
    int p = (int)a + b - c;
    int pa = abs(p - a);
    int pb = abs(p - b);
    int pc = abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    if (pb <= pc) return b;
    return c;
}

#if defined(__SSE2__)
/* One pixel in the low lanes of a register. Inside a row a 3-byte pixel is
 * moved with a 4-byte load or store (one move, no store-forwarding stall); the
 * extra byte belongs to the next pixel, which is stored after it. Only where
 * four bytes would pass the row's end (WHOLE false) are exactly BPP bytes moved. */
template <int BPP, bool WHOLE>
static inline __m128i loadPixel(const unsigned char* p) {
    uint32_t v;
    if (BPP == 4 || WHOLE)
        memcpy(&v, p, 4);
    else
        v = (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16;
    return _mm_cvtsi32_si128((int)v);
}

template <int BPP, bool WHOLE>
static inline void storePixel(unsigned char* p, __m128i v) {
    uint32_t x = (uint32_t)_mm_cvtsi128_si32(v);
    memcpy(p, &x, (BPP == 4 || WHOLE) ? 4 : BPP);
}

template <int BPP>
static void filterSubSimd(unsigned char* dest, const unsigned char* src, int len) {
    __m128i a = _mm_setzero_si128();
    int i = 0;
    for (; i + 4 <= len; i += BPP) {
        a = _mm_add_epi8(a, loadPixel<BPP, true>(src + i));
        storePixel<BPP, true>(dest + i, a);
    }
    for (; i < len; i += BPP) {
        a = _mm_add_epi8(a, loadPixel<BPP, false>(src + i));
        storePixel<BPP, false>(dest + i, a);
    }
}

template <int BPP, bool WHOLE>
static inline __m128i avgStep(unsigned char* dest, const unsigned char* src, const unsigned char* last, __m128i a) {
    const __m128i one = _mm_set1_epi8(1);
    __m128i b = loadPixel<BPP, WHOLE>(last);
    /* avg_epu8 rounds up; take the carried-in low bit back to get the floor. */
    __m128i avg = _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
    a = _mm_add_epi8(avg, loadPixel<BPP, WHOLE>(src));
    storePixel<BPP, WHOLE>(dest, a);
    return a;
}

template <int BPP>
static void filterAvgSimd(unsigned char* dest, const unsigned char* src, const unsigned char* last, int len) {
    __m128i a = _mm_setzero_si128();
    int i = 0;
    for (; i + 4 <= len; i += BPP) a = avgStep<BPP, true>(dest + i, src + i, last + i, a);
    for (; i < len; i += BPP) a = avgStep<BPP, false>(dest + i, src + i, last + i, a);
}

static inline __m128i abs16(__m128i x) { return _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x)); }

static inline __m128i select128(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

/* a and c are the left and upper-left pixels, one 16-bit lane per byte; |p - a|
 * with p = a + b - c is |b - c| and does not wait for the left pixel. */
template <int BPP, bool WHOLE>
static inline __m128i paethStep(unsigned char* dest, const unsigned char* src, const unsigned char* last, __m128i a,
                                __m128i* c) {
    const __m128i zero = _mm_setzero_si128();
    __m128i b = _mm_unpacklo_epi8(loadPixel<BPP, WHOLE>(last), zero);
    __m128i s = loadPixel<BPP, WHOLE>(src);
    __m128i bc = _mm_sub_epi16(b, *c);
    __m128i pa = abs16(bc);
    __m128i ac = _mm_sub_epi16(a, *c);
    __m128i pb = abs16(ac);
    __m128i pc = abs16(_mm_add_epi16(bc, ac));
    __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
    __m128i pred = select128(_mm_cmpeq_epi16(smallest, pa), a, select128(_mm_cmpeq_epi16(smallest, pb), b, *c));
    __m128i out = _mm_add_epi8(_mm_packus_epi16(pred, pred), s);
    storePixel<BPP, WHOLE>(dest, out);
    *c = b;
    return _mm_unpacklo_epi8(out, zero);
}

template <int BPP>
static void filterPaethSimd(unsigned char* dest, const unsigned char* src, const unsigned char* last, int len) {
    __m128i a = _mm_setzero_si128(), c = _mm_setzero_si128();
    int i = 0;
    for (; i + 4 <= len; i += BPP) a = paethStep<BPP, true>(dest + i, src + i, last + i, a, &c);
    for (; i < len; i += BPP) a = paethStep<BPP, false>(dest + i, src + i, last + i, a, &c);
}
#endif

int32_t nork_png_filterSub(unsigned char* dest, unsigned char* src, int len, unsigned char bpp) {
    if (bpp == 0) bpp = 1;
#if defined(__SSE2__)
    if (bpp == 4 && len % 4 == 0) return filterSubSimd<4>(dest, src, len), 0;
    if (bpp == 3 && len % 3 == 0) return filterSubSimd<3>(dest, src, len), 0;
#endif
    int i = 0;
    for (; i < bpp && i < len; i++) dest[i] = src[i];
    for (; i < len; i++) dest[i] = (unsigned char)(dest[i - bpp] + src[i]);
    return 0;
}

int32_t nork_png_filterUp(unsigned char* dest, unsigned char* src, unsigned char* last, int len) {
    int i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= len; i += 16) {
        __m128i s = _mm_loadu_si128((const __m128i*)(src + i));
        __m128i l = _mm_loadu_si128((const __m128i*)(last + i));
        _mm_storeu_si128((__m128i*)(dest + i), _mm_add_epi8(s, l));
    }
#endif
    for (; i < len; i++) dest[i] = (unsigned char)(last[i] + src[i]);
    return 0;
}

int32_t nork_png_filterAvg(unsigned char* dest, unsigned char* src, unsigned char* last, int len,
                           unsigned char bpp) {
    if (bpp == 0) bpp = 1;
#if defined(__SSE2__)
    if (bpp == 4 && len % 4 == 0) return filterAvgSimd<4>(dest, src, last, len), 0;
    if (bpp == 3 && len % 3 == 0) return filterAvgSimd<3>(dest, src, last, len), 0;
#endif
    int i = 0;
    for (; i < bpp && i < len; i++) dest[i] = (unsigned char)(src[i] + (last[i] >> 1));
    for (; i < len; i++) dest[i] = (unsigned char)(src[i] + (((unsigned)dest[i - bpp] + last[i]) >> 1));
    return 0;
}

int32_t nork_png_filterPaeth(unsigned char* dest, unsigned char* src, unsigned char* last, int len,
                             unsigned char bpp) {
    if (bpp == 0) bpp = 1;
#if defined(__SSE2__)
    if (bpp == 4 && len % 4 == 0) return filterPaethSimd<4>(dest, src, last, len), 0;
    if (bpp == 3 && len % 3 == 0) return filterPaethSimd<3>(dest, src, last, len), 0;
#endif
    int i = 0;
    for (; i < bpp && i < len; i++) dest[i] = (unsigned char)(src[i] + nork_png_paethPredictor(0, last[i], 0));
    for (; i < len; i++)
        dest[i] = (unsigned char)(src[i] + nork_png_paethPredictor(dest[i - bpp], last[i], last[i - bpp]));
    return 0;
}

/* ---------------------------------------------------------------------------
 * Decompression
 * ------------------------------------------------------------------------- */

/* Channels of a colour type, or 0 for a type this decoder does not handle. */
static unsigned channelsOf(uint8_t colorType) {
    switch (colorType) {
    case 0: return 1; /* grey */
    case 2: return 3; /* RGB */
    case 3: return 1; /* palette index */
    case 4: return 2; /* grey and alpha */
    case 6: return 4; /* RGBA */
    default: return 0;
    }
}

/* Inflates the joined IDAT data in one call and unfilters every row straight
 * into the output; the previous row is the one just written. The output rows
 * are laid over the inflated ones in the same buffer: row y is written at
 * y * length, below its own filtered bytes at y * (length + 1) + 1, so every
 * filter reads a source byte before anything lands on it, and the buffer then
 * only shrinks by the filter bytes. Everything the rows depend on is checked
 * before the first allocation. */
int nork_png_decompress(nork_png_t* pPng) {
    if (!pPng || pPng->bBadStream || !pPng->bHaveIHDR) return NORK_PNG_FAILED;
    const nork_png_IDAT_t* idat = pPng->pIDAT;
    if (!idat || !idat->pData || idat->size <= 0) return NORK_PNG_FAILED;

    const nork_png_IHDR_t* h = pPng->pIHDR;
    unsigned channels = channelsOf(h->colorType);
    if (channels == 0 || h->bitDepth != 8 || h->interlaceMethod != 0) return NORK_PNG_FAILED;
    if (h->width == 0 || h->height == 0) return NORK_PNG_FAILED;

    uint64_t length = (uint64_t)h->width * channels;
    uint64_t lines = h->height;
    uint64_t filtered = (length + 1) * lines;
    if (filtered > UINT32_MAX || length > INT32_MAX) return NORK_PNG_FAILED;
    /* The stream cannot fill the rows: refuse before allocating them. */
    if (filtered > (uint64_t)idat->size * INFLATE_MAX_RATIO + 258) return NORK_PNG_FAILED;
    pPng->bBytePerPixel = (uint8_t)channels;

    free(pPng->pScanlines);
    pPng->pScanlines = (unsigned char*)malloc((size_t)filtered);
    unsigned char* pNullLine = (unsigned char*)calloc(1, (size_t)length);
    if (!pPng->pScanlines || !pNullLine) {
        nl_trace(pPng->pnl, NL_TR_OUT_OF_MEMORY, 0);
        free(pNullLine);
        free(pPng->pScanlines);
        pPng->pScanlines = nullptr;
        return NORK_PNG_FAILED;
    }
    uLongf produced = (uLongf)filtered;
    int zr = uncompress(pPng->pScanlines, &produced, (const Bytef*)idat->pData, (uLong)idat->size);
    if (zr != Z_OK || produced != filtered) {
        free(pNullLine);
        free(pPng->pScanlines);
        pPng->pScanlines = nullptr;
        return NORK_PNG_FAILED;
    }

    int len = (int)length;
    unsigned char bpp = pPng->bBytePerPixel;
    unsigned char* pLastLine = pNullLine;
    unsigned char* pDest = pPng->pScanlines;
    int result = NORK_PNG_OK;
    for (uint64_t line = 0; line < lines; line++) {
        unsigned char* row = pPng->pScanlines + line * (length + 1);
        unsigned char* src = row + 1;
        switch (row[0]) {
        case 0: memmove(pDest, src, length); break;
        case 1: nork_png_filterSub(pDest, src, len, bpp); break;
        case 2: nork_png_filterUp(pDest, src, pLastLine, len); break;
        case 3: nork_png_filterAvg(pDest, src, pLastLine, len, bpp); break;
        case 4: nork_png_filterPaeth(pDest, src, pLastLine, len, bpp); break;
        default:
            printf("Filter %d for line %d not supported ... yet.\n", row[0], (int)line);
            result = NORK_PNG_FAILED;
            break;
        }
        if (result != NORK_PNG_OK) break;
        pLastLine = pDest;
        pDest += length;
    }
    free(pNullLine);

    /* The unfiltered rows become the pixels; drop the space of the filter bytes. */
    free(pPng->pData);
    pPng->iSize = (uint32_t)(length * lines);
    pPng->pData = (unsigned char*)realloc(pPng->pScanlines, pPng->iSize);
    if (!pPng->pData) pPng->pData = pPng->pScanlines; /* shrinking in place failed: keep the larger block */
    pPng->pScanlines = nullptr;
    return result;
}

/* ---------------------------------------------------------------------------
 * Loading, dumping, reporting
 * ------------------------------------------------------------------------- */

int nork_png_loadFromMem(nork_png_t* pp, nork_memfile_t* pmf) {
    if (!pp || !pmf) return NORK_PNG_FAILED;
    if (!pmf->pData || pmf->iPos < 0 || (int64_t)pmf->iPos + 8 > pmf->iSize ||
        memcmp(pmf->pData + pmf->iPos, pngSig, 8) != 0) {
        nl_trace(pp->pnl, NL_TR_PNG_BAD_SIG, 0);
        return NORK_PNG_BAD_SIGNATURE;
    }
    pmf->iPos += 8;
    pp->iStreamSize = pmf->iSize;

    nork_png_chunk_t* pc;
    while ((pc = nork_png_chunkNext(pmf)) != nullptr) {
        switch (pc->bType) {
        case NORK_PNG_CHUNK_IHDR:
            nl_trace(pp->pnl, NL_TR_PNG_IHDR, 0);
            nork_png_addIHDRFromChunk(pp, pc);
            break;
        case NORK_PNG_CHUNK_IDAT:
            nl_trace(pp->pnl, NL_TR_PNG_IDAT, 0);
            nork_png_addIDATFromChunk(pp, pc);
            break;
        case NORK_PNG_CHUNK_PLTE:
            nl_trace(pp->pnl, NL_TR_PNG_PLTE, 0);
            nork_png_addPLTEFromChunk(pp, pc);
            break;
        case NORK_PNG_CHUNK_IEND:
            nl_trace(pp->pnl, NL_TR_PNG_IEND, 0); /* and read on */
            break;
        default: break; /* ancillary or unknown: skipped */
        }
        nork_png_chunkDelete(pc);
    }

    if (nork_png_decompress(pp) != NORK_PNG_OK) return NORK_PNG_FAILED;
    nork_png_saveRAW(pp, "DUMMY.RAW");
    return NORK_PNG_OK;
}

int nork_png_loadFromFile(nork_png_t* pPng, const char* pszFilename) {
    if (!pPng || !pszFilename) return NORK_PNG_FAILED;
    int32_t size = 0;
    FILE* f = nl_openRegular(pszFilename, &size);
    if (!f) return NORK_PNG_FAILED;
    nork_memfile_t* pmf = (nork_memfile_t*)calloc(1, sizeof(nork_memfile_t));
    unsigned char* buf = (unsigned char*)malloc(size > 0 ? (size_t)size : 1);
    if (!pmf || !buf) {
        nl_trace(pPng->pnl, NL_TR_OUT_OF_MEMORY, 0);
        free(pmf);
        free(buf);
        fclose(f);
        return NORK_PNG_FAILED;
    }
    pmf->pData = buf;
    pmf->iSize = (int32_t)fread(buf, 1, (size_t)size, f);
    pmf->iPos = 0;
    fclose(f);

    int result = nork_png_loadFromMem(pPng, pmf);
    free(buf);
    free(pmf);
    return result;
}

void nork_png_printInfo(nork_png_t* pp) {
    if (!pp || !pp->pIHDR) return;
    const nork_png_IHDR_t* h = pp->pIHDR;
    printf("\tWidth: %ld\n", (long)h->width);
    printf("\tHeight: %ld\n", (long)h->height);
    printf("\tBit depth: %d\n", h->bitDepth);
    printf("\tColor type: %d\n", h->colorType);
    printf("\tCompression method: %d\n", h->compressionMethod);
    printf("\tFilter method: %d\n", h->filterMethod);
    printf("\tInterlace method: %d\n", h->interlaceMethod);
}

/* Writes the decoded pixel bytes, no header. The dump is a by-product and
 * never fails a load: returns 0 when the file was written whole, -1 otherwise,
 * and keeps the errno (-1 when none was given) in the record's iRawError. */
int nork_png_saveRAW(nork_png_t* pPng, const char* pszFilename) {
    if (!pPng || !pszFilename) return -1;
    errno = 0;
    FILE* f = fopen(pszFilename, "wb");
    bool ok = f != nullptr;
    if (ok && pPng->pData && pPng->iSize > 0) ok = fwrite(pPng->pData, 1, pPng->iSize, f) == pPng->iSize;
    int err = errno;
    if (f && fclose(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    pPng->iRawError = ok ? 0 : err ? err : -1;
    return ok ? 0 : -1;
}
