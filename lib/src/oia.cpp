/* Vertex-array models: the NoIA reader. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "norklib_internal.h"

/* The OpenGL values the record carries, so that the library needs no GL header. */
enum {
    NL_GL_TRIANGLES = 0x0004,
    NL_GL_V3F = 0x2A21,
    NL_GL_N3F_V3F = 0x2A25,
    NL_GL_T2F_V3F = 0x2A27,
    NL_GL_T2F_N3F_V3F = 0x2A2B
};

/* The header: magic, two unread bytes, extended-mode byte, mode, big-endian count. */
enum {
    NL_OIA_HEADER = 10,
    NL_OIA_EXTENDED = 6,
    NL_OIA_MODE = 7,
    NL_OIA_COUNT_HI = 8,
    NL_OIA_COUNT_LO = 9
};

static const char nl_oia_magic[4] = {'N', 'o', 'I', 'A'};

/* The accepted mode bytes: a sum of position (0x02), normal (0x04) and texture
 * coordinate (0x08), always with a position. */
static const struct {
    uint8_t mode;
    uint32_t format;
    int32_t stride; /* bytes per vertex */
} nl_oia_modes[] = {
    {0x02, NL_GL_V3F, 12},
    {0x06, NL_GL_N3F_V3F, 24},
    {0x0A, NL_GL_T2F_V3F, 20},
    {0x0E, NL_GL_T2F_N3F_V3F, 32},
};

static void nl_oia_out_of_memory(nork_lib_t* handle)
{
    if (handle)
        nl_trace((nl_t*)handle, NL_TR_OUT_OF_MEMORY, 0);
}

/* Releases a record that a failed read leaves behind. */
static int32_t nl_oia_fail(nork_oia_t* po)
{
    free(po->pointer);
    free(po);
    return -1;
}

nork_oia_t* nork_oia_new(nork_lib_t* handle)
{
    nork_oia_t* po = (nork_oia_t*)calloc(1, sizeof(nork_oia_t));
    if (!po) {
        nl_oia_out_of_memory(handle);
        return nullptr;
    }
    po->pnl = handle;
    return po;
}

int32_t nork_oia_delete(nork_lib_t* handle, nork_oia_t** pOia)
{
    (void)handle;
    if (pOia && *pOia) {
        free((*pOia)->pointer);
        free(*pOia);
        *pOia = nullptr;
    }
    return 0;
}

/* Fills po from pmf's read position on. Every read is checked for its length: a
 * short header or short vertex data fails the load like a bad header does. On any
 * failure po is released. */
int32_t nork_oia_loadFromMem(nork_oia_t* po, nork_memfile_t* pmf)
{
    if (!po)
        return -1;
    po->mode = NL_GL_TRIANGLES;
    if (!pmf)
        return nl_oia_fail(po);

    unsigned char header[NL_OIA_HEADER];
    if (nork_memfile_read(po->pnl, pmf, header, NL_OIA_HEADER) != NL_OIA_HEADER)
        return nl_oia_fail(po);

    if (memcmp(header, nl_oia_magic, sizeof nl_oia_magic) != 0)
        return nl_oia_fail(po);

    if (header[NL_OIA_EXTENDED] != 0) {
        puts("Extended modes not supported!");
        return nl_oia_fail(po);
    }

    uint8_t mode = header[NL_OIA_MODE];
    size_t m = 0;
    while (m < sizeof nl_oia_modes / sizeof nl_oia_modes[0] && nl_oia_modes[m].mode != mode)
        m++;
    if (m == sizeof nl_oia_modes / sizeof nl_oia_modes[0]) {
        printf("Mode ->%02x not supported!\n", mode);
        return nl_oia_fail(po);
    }
    po->format = nl_oia_modes[m].format;
    po->stride = nl_oia_modes[m].stride;

    po->count = header[NL_OIA_COUNT_HI] * 256 + header[NL_OIA_COUNT_LO];

    /* At most 65535 vertices of 32 bytes: the size fits the memfile's reads. */
    int32_t size = po->count * po->stride;
    free(po->pointer); /* a record read twice keeps only the second model */
    po->pointer = nullptr;
    if (size == 0)
        return 0; /* a valid model that draws nothing */
    po->pointer = malloc((size_t)size);
    if (!po->pointer) {
        nl_oia_out_of_memory(po->pnl);
        return nl_oia_fail(po);
    }
    if (nork_memfile_read(po->pnl, pmf, po->pointer, size) != size)
        return nl_oia_fail(po);
    return 0;
}

nork_oia_t* nork_oia_load(nork_lib_t* handle, const char* filename)
{
    nork_memfile_t* pmf = nork_memfile_new(handle);
    if (!pmf)
        return nullptr;
    /* A name that no source holds leaves the file empty and the header read fails. */
    nork_memfile_load(handle, pmf, filename);

    nork_oia_t* po = nork_oia_new(handle);
    if (po && nork_oia_loadFromMem(po, pmf) != 0)
        po = nullptr;

    nork_memfile_delete(&pmf);
    return po;
}
