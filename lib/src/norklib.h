/*
 * norklib: the demo's support library.
 *
 * Plain functions over plain records. Every operation takes the library handle
 * first (except where noted), reports failure through its result (0 / offset /
 * record for success, -1 or null for failure) and leaves numbered entries in the
 * handle's trace instead of printing. Nothing here throws.
 *
 * Widths: fields and results that the format or the record fixes at 32 bits use
 * fixed-width types, so the library behaves the same on 32- and 64-bit builds.
 */
#ifndef NORKLIB_H
#define NORKLIB_H

#include <stdint.h>

/* ---------------------------------------------------------------------------
 * Library context and trace.
 * The handle is created by nork_new and owns the registered sources and the
 * trace window. nork_getTrace returns one process-wide buffer; never free it.
 * ------------------------------------------------------------------------- */
typedef void nork_lib_t;

nork_lib_t* nork_new(void);
int nork_delete(nork_lib_t* handle);
int32_t nork_lastError(nork_lib_t* handle);
char* nork_getTrace(nork_lib_t* handle);

/* ---------------------------------------------------------------------------
 * Data archives (NDAR) and directories as sources of named files.
 * Registered archive images stay the caller's and must outlive the handle's use;
 * archives loaded from files and directory names are owned by the context.
 * ------------------------------------------------------------------------- */
typedef struct nork_data_t {
    void* data;   /* first byte of the archive image (its magic) */
    int32_t size; /* image length in bytes, as registered */
} nork_data_t;

int _nork_dar_add(nork_lib_t* handle, nork_data_t* record);
int nork_dar_add(nork_lib_t* handle, nork_data_t* archive);
int nork_dar_add_file(nork_lib_t* handle, const char* filename);
int nork_dar_add_dir(nork_lib_t* handle, const char* dirname);

/* nl is the library context (the handle); pDAR the address of an archive image. */
int32_t nork_dar_getPos(nork_lib_t* nl, const void* pDAR, const char* pszName);
int32_t nork_dar_getSize(const void* pDAR, int32_t iOffset);
void* nork_dar_getData(const void* pDAR, int32_t iOffset);

/* ---------------------------------------------------------------------------
 * In-memory files.
 * A record points at a named file's bytes: in place inside an archive image, or
 * in a buffer read from a directory (owned by the record, released on delete).
 * Loaded data carries no terminator of its own. Loading again points the record
 * at the new bytes; the bytes of earlier loads stay valid until it is deleted.
 * ------------------------------------------------------------------------- */
typedef struct nork_memfile_t {
    unsigned char* pData; /* first byte, null until a load succeeds */
    int32_t iSize;        /* length in bytes */
    int32_t iPos;         /* read position, 0 to iSize */
    unsigned char* pOwned; /* buffer read from a directory, released on delete; null for archive bytes */
    unsigned char** ppKept; /* buffers of earlier loads, kept valid until delete */
    int32_t iKept;
} nork_memfile_t;

nork_memfile_t* nork_memfile_new(nork_lib_t* handle);
int32_t nork_memfile_delete(nork_memfile_t** ppmf);
int32_t nork_memfile_load(nork_lib_t* handle, nork_memfile_t* memfile, const char* name);
int32_t nork_memfile_load_from_memory(nork_lib_t* handle, nork_data_t* archive, nork_memfile_t* memfile,
                                      const char* name);
int32_t nork_memfile_load_from_dir(nork_lib_t* handle, const char* dirname, nork_memfile_t* memfile,
                                   const char* name);
int32_t nork_memfile_read(nork_lib_t* handle, nork_memfile_t* memfile, void* buf, int32_t num);

/* ---------------------------------------------------------------------------
 * Images.
 * nork_imageFromPNG decodes a named PNG into a record that owns its pixels and
 * palette; nork_image_toRGBA8888 converts the pixels in place to R, G, B, A bytes.
 * mode keeps naming the layout as loaded; bRGBA8888 tells whether data holds
 * RGBA8888 now (a conversion that ran out of memory leaves the old layout).
 * ------------------------------------------------------------------------- */
enum {
    NORK_IMAGE_PALETTE = 1, /* 1 byte per pixel: palette index */
    NORK_IMAGE_RGB = 2,     /* R, G, B */
    NORK_IMAGE_RGBA = 3,    /* R, G, B, A */
    NORK_IMAGE_GREY = 4,    /* 1 byte per pixel, left alone by the conversion */
    NORK_IMAGE_GREYA = 5    /* grey, alpha; left alone by the conversion */
};

typedef struct nork_image_pal_t {
    uint16_t data[768]; /* 256 entries of red, green, blue */
    uint16_t num;       /* entries copied from the PNG, 1 to 256 */
} nork_image_pal_t;

typedef struct nork_image_t {
    uint16_t width;
    uint16_t height;
    unsigned char* data; /* rows top to bottom, no padding; layout by mode, RGBA8888 after conversion */
    uint8_t mode;
    nork_image_pal_t* palette;
    uint8_t bRGBA8888; /* data holds R, G, B, A bytes: loaded so (mode 3) or converted */
} nork_image_t;

nork_image_t* nork_imageFromPNG(nork_lib_t* handle, const char* name);
int32_t nork_image_toRGBA8888(nork_lib_t* handle, nork_image_t* image);
int32_t nork_image_palToRGBA8888(nork_lib_t* handle, nork_image_t* image);
int32_t nork_image_RGBToRGBA8888(nork_lib_t* handle, nork_image_t* image);
int32_t nork_image_RGBAToRGBA8888(nork_lib_t* handle, nork_image_t* image);
int nork_image_delete(nork_lib_t* handle, nork_image_t** ppImage);

/* ---------------------------------------------------------------------------
 * Vertex-array models (NoIA).
 * The record holds exactly the arguments of glInterleavedArrays(format, stride,
 * pointer) and glDrawArrays(mode, 0, count); it owns the vertex data.
 * ------------------------------------------------------------------------- */
typedef struct nork_oia_t {
    nork_lib_t* pnl;
    uint32_t format; /* GLenum: GL_V3F, GL_N3F_V3F, GL_T2F_V3F or GL_T2F_N3F_V3F */
    int32_t stride;  /* GLsizei: bytes per vertex */
    uint32_t mode;   /* GLenum: always GL_TRIANGLES */
    int32_t count;   /* GLsizei: number of vertices */
    void* pointer;   /* count * stride bytes */
} nork_oia_t;

nork_oia_t* nork_oia_new(nork_lib_t* handle);
int32_t nork_oia_delete(nork_lib_t* handle, nork_oia_t** pOia);
int32_t nork_oia_loadFromMem(nork_oia_t* po, nork_memfile_t* pmf);
nork_oia_t* nork_oia_load(nork_lib_t* handle, const char* filename);

#endif
