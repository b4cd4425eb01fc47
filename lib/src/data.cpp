/*
 * Data sources: the registry of archives and directories, and the lookup of a
 * named entry in an NDAR archive image.
 *
 * NDAR, all integers little-endian, offsets from the first byte:
 *   header   "NDAR", u32 Size (whole archive)
 *   records  "DAT", u32 data size, the data (writers add one spare byte)
 *   dir      "DIR", u16 N, N x (u32 record offset, u16 name offset), names (NUL-ended)
 *   trailer  "END", u32 dir offset          -- the last 7 bytes
 * The lookup reads only what it needs, and every offset it reads is checked
 * against the image's length before it is followed.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "norklib_internal.h"

enum {
    DAR_HEADER = 8,  /* magic + Size */
    DAR_TRAILER = 7, /* "END" + dir offset */
    DAR_DIR_HEAD = 5, /* "DIR" + N */
    DAR_DIR_ENTRY = 6, /* record offset + name offset */
    DAR_RECORD_HEAD = 7 /* "DAT" + data size */
};

static uint32_t rd32(const unsigned char* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static uint32_t rd16(const unsigned char* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8; }

/* True when [offset, offset + len) lies inside the first limit bytes. */
static bool inside(uint64_t offset, uint64_t len, uint64_t limit) { return offset <= limit && len <= limit - offset; }

/* The NUL-terminated string at offset, or null when no NUL comes before limit. */
static const char* nameAt(const unsigned char* p, uint64_t offset, uint64_t limit) {
    if (offset >= limit) return nullptr;
    if (!memchr(p + offset, 0, (size_t)(limit - offset))) return nullptr;
    return (const char*)(p + offset);
}

/* The record at offset must hold its head and all of its data inside limit. */
static bool recordInside(const unsigned char* p, uint64_t offset, uint64_t limit) {
    if (offset > INT32_MAX || !inside(offset, DAR_RECORD_HEAD, limit)) return false;
    return inside(offset + DAR_RECORD_HEAD, rd32(p + offset + 3), limit);
}

/* The directory of an archive image, with its table and name area known to
 * lie inside the image. */
typedef struct dar_dir_t {
    uint64_t limit; /* bytes of the image that may be read */
    uint64_t table; /* offset of the first table entry */
    uint64_t names; /* offset of the name area */
    uint32_t count; /* N */
} dar_dir_t;

/*
 * The lookup. Trace entries as the archive has always recorded them: Size, the
 * directory offset, N, then the record and name offsets of each entry examined,
 * and the match. A malformed image fails at the first offset that points outside.
 */
static int32_t dar_lookup(nl_t* nl, const unsigned char* p, uint64_t limit, const char* pszName) {
    if (!p || !pszName || limit < DAR_HEADER) return -1;
    if (memcmp(p, "NDAR", 4) != 0) return -1;

    uint32_t size = rd32(p + 4);
    nl_trace(nl, NL_TR_DAR_SIZE, size);
    /* The archive ends where its header says, and never past what may be read. */
    if (size > limit || size < DAR_HEADER + DAR_TRAILER) return -1;
    limit = size;

    uint32_t dir = rd32(p + size - 4);
    nl_trace(nl, NL_TR_DAR_DIR_OFFSET, dir);
    if (!inside(dir, DAR_DIR_HEAD, limit)) return -1;
    if (memcmp(p + dir, "DIR", 3) != 0) return -1;

    uint32_t count = rd16(p + dir + 3);
    nl_trace(nl, NL_TR_DAR_DIR_COUNT, count);
    if (count == 0) return -1;
    uint64_t table = (uint64_t)dir + DAR_DIR_HEAD;
    if (!inside(table, (uint64_t)count * DAR_DIR_ENTRY, limit)) return -1;
    uint64_t names = table + (uint64_t)count * DAR_DIR_ENTRY;

    for (uint32_t i = 0; i < count; i++) {
        const unsigned char* e = p + table + (uint64_t)i * DAR_DIR_ENTRY;
        uint32_t offset = rd32(e);
        nl_trace(nl, NL_TR_DAR_DATA_OFFSET, offset);
        uint32_t nameOffset = rd16(e + 4);
        nl_trace(nl, NL_TR_DAR_NAME_OFFSET, nameOffset);

        const char* name = nameAt(p, names + nameOffset, limit);
        if (!name) return -1;
        if (strcmp(name, pszName) == 0) {
            if (!recordInside(p, offset, limit)) return -1;
            nl_trace(nl, NL_TR_DAR_MATCH, offset);
            return (int32_t)offset;
        }
    }
    return -1;
}

int32_t nork_dar_getPos(nork_lib_t* nl, const void* pDAR, const char* pszName) {
    /* No length comes with the image: its own header Size bounds every read. */
    const unsigned char* p = (const unsigned char*)pDAR;
    if (!p || memcmp(p, "NDAR", 4) != 0) return -1;
    return dar_lookup((nl_t*)nl, p, rd32(p + 4), pszName);
}

int32_t nl_dar_find(nl_t* nl, const void* pDAR, int32_t limit, const char* pszName) {
    if (limit < 0) return -1;
    return dar_lookup(nl, (const unsigned char*)pDAR, (uint64_t)limit, pszName);
}

int32_t nl_dar_entry(const void* pDAR, int32_t limit, int32_t index, nl_dar_entry_t* entry) {
    const unsigned char* p = (const unsigned char*)pDAR;
    if (!p || limit < DAR_HEADER || memcmp(p, "NDAR", 4) != 0) return -1;
    uint32_t size = rd32(p + 4);
    if (size > (uint32_t)limit || size < DAR_HEADER + DAR_TRAILER) return -1;

    uint32_t dir = rd32(p + size - 4);
    if (!inside(dir, DAR_DIR_HEAD, size) || memcmp(p + dir, "DIR", 3) != 0) return -1;
    uint32_t count = rd16(p + dir + 3);
    uint64_t table = (uint64_t)dir + DAR_DIR_HEAD;
    if (!inside(table, (uint64_t)count * DAR_DIR_ENTRY, size)) return -1;
    if (index < 0 || (uint32_t)index >= count) return (int32_t)count;

    const unsigned char* e = p + table + (uint64_t)index * DAR_DIR_ENTRY;
    uint32_t offset = rd32(e);
    const char* name = nameAt(p, table + (uint64_t)count * DAR_DIR_ENTRY + rd16(e + 4), size);
    if (!name || !recordInside(p, offset, size)) return -1;
    if (entry) {
        entry->offset = (int32_t)offset;
        entry->size = (int32_t)rd32(p + offset + 3);
        entry->name = name;
    }
    return (int32_t)count;
}

int32_t nork_dar_getSize(const void* pDAR, int32_t iOffset) {
    return (int32_t)rd32((const unsigned char*)pDAR + iOffset + 3);
}

void* nork_dar_getData(const void* pDAR, int32_t iOffset) {
    return (void*)((const unsigned char*)pDAR + iOffset + DAR_RECORD_HEAD);
}

/* ------------------------------------------------------------------------ *
 * Registration. Sources are appended in order, at most NL_MAX_SOURCES; a
 * refused registration leaves the context exactly as it was and returns -1.
 * ------------------------------------------------------------------------ */

static bool full(const nl_t* nl) { return nl->iNumData < 0 || nl->iNumData >= NL_MAX_SOURCES; }

static int addSource(nl_t* nl, int32_t type, void* payload) {
    if (full(nl)) return -1;
    nl_data_t* src = (nl_data_t*)malloc(sizeof *src);
    if (!src) {
        nl_trace(nl, NL_TR_OUT_OF_MEMORY, 0);
        return -1;
    }
    src->type = type;
    src->data = payload;
    nl->data[nl->iNumData++] = src;
    return 0;
}

/* The context takes the record over on success; on refusal it stays the caller's. */
int _nork_dar_add(nork_lib_t* handle, nork_data_t* record) {
    if (!handle || !record) return -1;
    return addSource((nl_t*)handle, NL_SRC_ARCHIVE, record);
}

int nork_dar_add(nork_lib_t* handle, nork_data_t* archive) {
    nl_t* nl = (nl_t*)handle;
    if (!nl || !archive || full(nl)) return -1;
    nork_data_t* record = (nork_data_t*)malloc(sizeof *record);
    if (!record) {
        nl_trace(nl, NL_TR_OUT_OF_MEMORY, 0);
        return -1;
    }
    /* The argument is the image itself; its size is the one its header gives. */
    record->data = archive;
    record->size = (int32_t)rd32((const unsigned char*)archive + 4);
    if (_nork_dar_add(handle, record) != 0) {
        free(record);
        return -1;
    }
    return 0;
}

int nork_dar_add_file(nork_lib_t* handle, const char* filename) {
    nl_t* nl = (nl_t*)handle;
    if (!nl || !filename || full(nl)) return -1;
    int32_t length = 0;
    FILE* f = nl_openRegular(filename, &length);
    if (!f) return -1;

    /* Record and bytes in one block, so releasing the record releases both. */
    nork_data_t* record = (nork_data_t*)malloc(sizeof *record + (size_t)length);
    if (!record) {
        fclose(f);
        nl_trace(nl, NL_TR_OUT_OF_MEMORY, 0);
        return -1;
    }
    record->data = record + 1;
    size_t got = fread(record->data, 1, (size_t)length, f);
    bool failed = ferror(f) != 0;
    fclose(f);
    record->size = (int32_t)got;
    if (failed || _nork_dar_add(handle, record) != 0) {
        free(record);
        return -1;
    }
    return 0;
}

int nork_dar_add_dir(nork_lib_t* handle, const char* dirname) {
    nl_t* nl = (nl_t*)handle;
    if (!nl || !dirname || full(nl)) return -1;
    char* copy = strdup(dirname);
    if (!copy) {
        nl_trace(nl, NL_TR_OUT_OF_MEMORY, 0);
        return -1;
    }
    if (addSource(nl, NL_SRC_DIRECTORY, copy) != 0) {
        free(copy);
        return -1;
    }
    return 0;
}
