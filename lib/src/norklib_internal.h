/*
 * norklib internals: the context behind the handle, the source records and the
 * trace. Users of the library never include this header.
 */
#ifndef NORKLIB_INTERNAL_H
#define NORKLIB_INTERNAL_H

#include <stdint.h>
#include <stdio.h>

#include "norklib.h"

enum {
    NL_SRC_ARCHIVE = 1,   /* payload: nork_data_t* owned by the context */
    NL_SRC_DIRECTORY = 3  /* payload: private copy of the directory path */
};

enum {
    NL_MAX_SOURCES = 16,
    NL_TRACE_SLOTS = 10,
    NL_TRACE_TEXT = 100 /* bytes per trace text, terminator included */
};

/* Trace codes: the index into nl_trace_msgs. */
enum nl_trace_code {
    NL_TR_NONE = 0,
    NL_TR_PNG_NEW = 1,        /* "png new: %08x"                  decoder address */
    NL_TR_PNG_LOAD = 2,       /* "png loadFromMem %d"             decoder result */
    NL_TR_OUT_OF_MEMORY = 3,  /* "OUT OF MEMORY"                  */
    NL_TR_PAL_ENTRIES = 4,    /* "palette entries: %ld"           */
    NL_TR_IMAGE = 5,          /* "image %08x"                     image address */
    NL_TR_DAR_SIZE = 6,       /* "Size: %ld"                      */
    NL_TR_DAR_DIR_OFFSET = 7, /* "Dir offset: %ld"                */
    NL_TR_DAR_DIR_COUNT = 8,  /* "Dir entries: %ld"               */
    NL_TR_DAR_DATA_OFFSET = 9, /* "data offset: %ld"              each entry examined */
    NL_TR_DAR_NAME_OFFSET = 10, /* "name offset: %ld"             */
    NL_TR_DAR_MATCH = 11,     /* "data offset: %ld"               the matching entry */
    NL_TR_SEARCHING = 12,     /* "searching %s"                   name address */
    NL_TR_NOT_FOUND = 13,     /* "couldn't find %s"               name address */
    NL_TR_FOUND_AT = 14,      /* "found @ %d"                     */
    NL_TR_BAD_POS = 15,       /* "somthing is wrong pos was %ld"  */
    NL_TR_PNG_CREATE = 16,    /* "nork_png_new"                   */
    NL_TR_PNG_BAD_SIG = 17,   /* "invalid png signature"          */
    NL_TR_PNG_IDAT = 18,      /* "IDAT"                           */
    NL_TR_PNG_IHDR = 19,      /* "IHDR"                           */
    NL_TR_PNG_IEND = 20,      /* "IEND"                           */
    NL_TR_PNG_PLTE = 21,      /* "PLTE"                           */
    NL_TR_NONE2 = 22,
    NL_TR_COUNT = 23
};

typedef struct nl_data_t {
    int32_t type; /* NL_SRC_ARCHIVE or NL_SRC_DIRECTORY */
    void* data;
} nl_data_t;

typedef struct nl_t {
    nl_data_t* data[NL_MAX_SOURCES]; /* registered sources, first iNumData valid */
    int32_t iNumData;
    int32_t lastError;                /* result of the image loader's latest step */
    char* traceFmt[NL_TRACE_SLOTS];   /* slot 0 oldest, slot 9 newest, null = empty */
    int32_t traceValue[NL_TRACE_SLOTS];
} nl_t;

extern const char* const nl_trace_msgs[NL_TR_COUNT];
extern const char nl_trace_started[]; /* "Started": static, never released */

/* Records one trace entry. value carries a number, or an address for codes 1, 5, 12, 13. */
int32_t nl_trace(nl_t* nl, int msg, intptr_t value);

/* Archive lookup over the first limit bytes of an image (the smaller of the
 * registered size and the header's Size counts): every offset read is checked,
 * and anything pointing outside fails with -1. Records the lookup's trace. */
int32_t nl_dar_find(nl_t* nl, const void* pDAR, int32_t limit, const char* pszName);

/* Opens a regular file of at most INT32_MAX bytes for binary reading and gives
 * its size; null for anything else. */
FILE* nl_openRegular(const char* path, int32_t* size);

#endif
