/*
 * The library's own PNG decoder.
 *
 * A PNG lying whole in an in-memory file is checked, its chunks gathered, the
 * joined image data inflated with one zlib uncompress call and the row filters
 * undone straight into the output buffer. Bit depth 8, colour types 0, 2, 3, 4
 * and 6, no interlacing; everything else is refused before any row is touched.
 *
 * The decoder record owns its header, palette, IDAT buffer and pixels; a chunk
 * owns its data copy. The in-memory file stays the caller's: the decoder only
 * reads its bytes and advances iPos.
 */
#ifndef NORK_PNG_H
#define NORK_PNG_H

#include <stdint.h>

#include "norklib.h"

typedef struct nl_t nl_t; /* the library context, private to the library */

enum {
    NORK_PNG_OK = 0,
    NORK_PNG_FAILED = -1,
    NORK_PNG_NO_BUFFER = -2,      /* the IDAT buffer could not be allocated */
    NORK_PNG_BAD_SIGNATURE = 4097 /* hexadecimal 1001 */
};

/* Chunk kinds (nork_png_chunk_t.bType). */
enum {
    NORK_PNG_CHUNK_OTHER = 0,
    NORK_PNG_CHUNK_IHDR = 1,
    NORK_PNG_CHUNK_IDAT = 2,
    NORK_PNG_CHUNK_PLTE = 3,
    NORK_PNG_CHUNK_IEND = 255
};

typedef struct nork_png_chunk_t {
    uint32_t length;         /* data length, converted from big-endian */
    unsigned char type[5];   /* four type letters as in the file, then 0 */
    unsigned char bType;     /* NORK_PNG_CHUNK_* */
    uint16_t pos;            /* unused */
    void* pData;             /* copy of the chunk data; null when length is 0 */
    uint32_t crc;            /* the CRC bytes as they stand in the file; never checked */
} nork_png_chunk_t;

typedef struct nork_png_IHDR_t {
    uint32_t width;
    uint32_t height;
    uint8_t bitDepth;
    uint8_t colorType;
    uint8_t compressionMethod;
    uint8_t filterMethod;
    uint8_t interlaceMethod;
} nork_png_IHDR_t;

typedef struct nork_png_IDAT_t {
    void* pData;       /* all IDAT data, joined in file order */
    int32_t size;      /* bytes gathered so far */
    uint32_t capacity; /* bytes allocated at pData; grows when the data outruns it */
} nork_png_IDAT_t;

typedef struct nork_png_PLTE_t {
    unsigned char data[768]; /* up to 256 RGB triples in file order */
    unsigned char num;       /* index of the last entry (entries - 1) */
} nork_png_PLTE_t;

typedef struct nork_png_t {
    nl_t* pnl;                  /* receives the trace entries; not owned */
    nork_png_chunk_t* pcIHDR;   /* unused, always null */
    nork_png_chunk_t** ppcIDAT; /* room for 1024 chunk pointers; unused */
    uint16_t iNumIDAT;          /* unused, always 0 */
    nork_png_IHDR_t* pIHDR;     /* filled from the IHDR chunk */
    nork_png_IDAT_t* pIDAT;     /* null until the first IDAT chunk */
    nork_png_PLTE_t* pPLTE;     /* num 0 until a PLTE chunk fills it */
    uint8_t bBytePerPixel;      /* set by decompression */
    unsigned char* pScanlines;  /* inflated, still filtered rows; only during decompression */
    unsigned char* pData;       /* unfiltered pixels, rows top to bottom, no filter bytes */
    uint32_t iSize;             /* bytes in pData */

    /* Private bookkeeping of one load. */
    uint8_t bHaveIHDR;      /* an IHDR chunk of full length was read */
    uint8_t bBadStream;     /* a chunk was malformed or out of order: the load fails */
    int32_t iStreamSize;    /* size of the file being read; bounds the IDAT buffer */
    int32_t iRawError;      /* after a decode: 0 when DUMMY.RAW was written, else its errno or -1 */
} nork_png_t;

nork_png_t* nork_png_new(nork_lib_t* handle);
int nork_png_delete(nork_png_t** pPng);
int nork_png_loadFromMem(nork_png_t* pp, nork_memfile_t* pmf);
int nork_png_loadFromFile(nork_png_t* pPng, const char* pszFilename);
void nork_png_printInfo(nork_png_t* pp);
int nork_png_saveRAW(nork_png_t* pPng, const char* pszFilename);

nork_png_chunk_t* nork_png_chunkNext(nork_memfile_t* pmf);
int32_t nork_png_chunkDelete(nork_png_chunk_t* ppc);
int nork_png_addIHDRFromChunk(nork_png_t* pPng, nork_png_chunk_t* pc);
int nork_png_addPLTEFromChunk(nork_png_t* pPng, nork_png_chunk_t* pc);
int nork_png_addIDATFromChunk(nork_png_t* pPng, nork_png_chunk_t* pc);
int nork_png_decompress(nork_png_t* pPng);

/* Reconstruction of PNG filter method 0. dest: output row; src: filtered row;
 * last: previous output row (zeros for the first row); bpp: bytes per pixel.
 * dest may overlap src if it starts below it: each source byte is read before
 * the output byte at its index is written (the decoder unfilters in place). */
int32_t nork_png_filterSub(unsigned char* dest, unsigned char* src, int len, unsigned char bpp);
int32_t nork_png_filterUp(unsigned char* dest, unsigned char* src, unsigned char* last, int len);
int32_t nork_png_filterAvg(unsigned char* dest, unsigned char* src, unsigned char* last, int len,
                           unsigned char bpp);
int32_t nork_png_filterPaeth(unsigned char* dest, unsigned char* src, unsigned char* last, int len,
                             unsigned char bpp);
unsigned char nork_png_paethPredictor(unsigned char a, unsigned char b, unsigned char c);
uint32_t nork_png_ntohl(uint32_t in);

#endif
