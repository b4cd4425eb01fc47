/*
 * In-memory files: a named file looked up through the registered sources, in
 * registration order. Archive entries are served in place; files in directories
 * are read whole into a buffer that the record owns (pOwned). A caller may
 * still hold the bytes of an earlier load, so a reload keeps the old buffer
 * (ppKept) until the record is deleted.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "norklib_internal.h"

enum {
    PATH_BUFFER = 1024,
    PATH_LIMIT = 1023 /* size given to the formatter: at most 1022 characters */
};

/* Points the record at new bytes. A buffer read earlier is kept with the
 * record, not released: its bytes may still be in use. Fails, leaving the
 * record as it was, only when there is no room to keep it. */
static int32_t setData(nork_memfile_t* memfile, unsigned char* data, int32_t size, unsigned char* owned) {
    if (memfile->pOwned && memfile->pOwned != owned) {
        unsigned char** kept =
            (unsigned char**)realloc(memfile->ppKept, ((size_t)memfile->iKept + 1) * sizeof *kept);
        if (!kept) return -1;
        kept[memfile->iKept++] = memfile->pOwned;
        memfile->ppKept = kept;
    }
    memfile->pData = data;
    memfile->iSize = size;
    memfile->pOwned = owned;
    return 0;
}

nork_memfile_t* nork_memfile_new(nork_lib_t* handle) {
    nork_memfile_t* memfile = (nork_memfile_t*)calloc(1, sizeof *memfile);
    if (!memfile) nl_trace((nl_t*)handle, NL_TR_OUT_OF_MEMORY, 0);
    return memfile;
}

/* Releases the record and every buffer it read from a directory, never archive
 * bytes. The caller's pointer is left as it was. */
int32_t nork_memfile_delete(nork_memfile_t** ppmf) {
    if (ppmf && *ppmf) {
        nork_memfile_t* memfile = *ppmf;
        for (int32_t i = 0; i < memfile->iKept; i++) free(memfile->ppKept[i]);
        free(memfile->ppKept);
        free(memfile->pOwned);
        free(memfile);
    }
    return 0;
}

int32_t nork_memfile_load(nork_lib_t* handle, nork_memfile_t* memfile, const char* name) {
    nl_t* nl = (nl_t*)handle;
    if (!nl) return -1;
    nl_trace(nl, NL_TR_SEARCHING, (intptr_t)name);
    if (!memfile || !name) return -1;

    /* With no source registered nothing can be found. */
    int32_t result = -1;
    for (int32_t i = 0; i < nl->iNumData && i < NL_MAX_SOURCES; i++) {
        nl_data_t* src = nl->data[i];
        if (!src) continue;
        if (src->type == NL_SRC_ARCHIVE)
            result = nork_memfile_load_from_memory(handle, (nork_data_t*)src->data, memfile, name);
        else if (src->type == NL_SRC_DIRECTORY)
            result = nork_memfile_load_from_dir(handle, (const char*)src->data, memfile, name);
        else
            continue;
        if (result == 0) {
            memfile->iPos = 0;
            return 0;
        }
    }
    return result;
}

int32_t nork_memfile_load_from_memory(nork_lib_t* handle, nork_data_t* archive, nork_memfile_t* memfile,
                                      const char* name) {
    nl_t* nl = (nl_t*)handle;
    if (!archive || !memfile || !name) return -1;

    /* The registered size bounds every read of the image. */
    int32_t offset = nl_dar_find(nl, archive->data, archive->size, name);
    if (offset < 0) {
        nl_trace(nl, NL_TR_NOT_FOUND, (intptr_t)name);
        return -1;
    }
    nl_trace(nl, NL_TR_FOUND_AT, offset);
    if (offset > archive->size) {
        nl_trace(nl, NL_TR_BAD_POS, offset);
        return -1;
    }
    if (setData(memfile, (unsigned char*)nork_dar_getData(archive->data, offset),
                nork_dar_getSize(archive->data, offset), nullptr) != 0) {
        nl_trace(nl, NL_TR_OUT_OF_MEMORY, 0);
        return -1;
    }
    return 0;
}

int32_t nork_memfile_load_from_dir(nork_lib_t* handle, const char* dirname, nork_memfile_t* memfile,
                                   const char* name) {
    (void)handle;
    if (!dirname || !memfile || !name) return -1;

    /* A path that does not fit would name another file: refuse it instead. */
    char path[PATH_BUFFER];
    int length = snprintf(path, PATH_LIMIT, "%s/%s", dirname, name);
    if (length < 0 || length >= PATH_LIMIT) return -1;

    /* Only regular files: a directory opens too, but holds no bytes to serve,
     * and a FIFO would wait for a writer. */
    int32_t size = 0;
    FILE* f = nl_openRegular(path, &size);
    if (!f) return -1;

    /* One byte at least, so that an empty file still gets its own buffer. */
    unsigned char* buffer = (unsigned char*)malloc(size > 0 ? (size_t)size : 1);
    if (!buffer) {
        fclose(f);
        nl_trace((nl_t*)handle, NL_TR_OUT_OF_MEMORY, 0);
        return -1;
    }
    size_t got = fread(buffer, 1, (size_t)size, f);
    bool failed = ferror(f) != 0;
    fclose(f);
    if (failed || setData(memfile, buffer, (int32_t)got, buffer) != 0) {
        free(buffer);
        return -1;
    }
    return 0;
}

int32_t nork_memfile_read(nork_lib_t* handle, nork_memfile_t* memfile, void* buf, int32_t num) {
    (void)handle;
    /* Callers move iPos themselves, so it is checked here, not trusted. */
    if (!memfile || !memfile->pData || !buf || num <= 0) return 0;
    if (memfile->iPos < 0 || memfile->iPos >= memfile->iSize) return 0;
    int32_t cnt = memfile->iSize - memfile->iPos;
    if (num < cnt) cnt = num;
    memcpy(buf, memfile->pData + memfile->iPos, (size_t)cnt);
    memfile->iPos += cnt;
    return cnt;
}
