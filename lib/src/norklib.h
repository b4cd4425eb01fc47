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
#include <stdio.h>

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

/* One directory entry of an archive image of limit bytes, read with every
 * offset checked: returns the number of entries and fills *entry when index is
 * below it, or -1 when the image is malformed (the entry asked for included).
 * Records no trace. */
typedef struct nork_dar_entry_t {
    int32_t offset;   /* of the entry record ("DAT" tag) */
    int32_t size;     /* data bytes, which start at offset + 7 */
    const char* name; /* inside the image, NUL-terminated */
} nork_dar_entry_t;

int32_t nork_dar_entry(const void* pDAR, int32_t limit, int32_t index, nork_dar_entry_t* entry);

/* ---------------------------------------------------------------------------
 * Input files.
 * nork_input_open opens a file for binary reading and gives its size, as every
 * load from a directory does; a FIFO or a device is refused without blocking on
 * it. Returns null with *error set to the errno of the failure, EISDIR for a
 * directory or NORK_INPUT_E_NOT_REGULAR for anything else that is not a
 * regular file; the caller closes what it returns.
 * ------------------------------------------------------------------------- */
enum { NORK_INPUT_E_NOT_REGULAR = -1 };

FILE* nork_input_open(const char* path, uint64_t* size, int32_t* error);

/* ---------------------------------------------------------------------------
 * Outputs written whole.
 * An output goes to a fresh temporary file beside its target and is renamed
 * over the target only once all of it is on disk: a failure, or an output
 * given up, leaves an existing target as it was and no temporary file. A
 * replaced target keeps its permissions; a new one gets those the umask allows.
 * While an output is open, temp names its temporary file (a fixed buffer a
 * signal handler may read); target is the caller's string and must outlive it.
 * ------------------------------------------------------------------------- */
enum {
    NORK_OUTPUT_OK = 0,
    NORK_OUTPUT_E_SYSTEM = -1,      /* a system call failed: error holds its errno (0: a write error) */
    NORK_OUTPUT_E_DIRECTORY = -2,   /* the target is a directory */
    NORK_OUTPUT_E_DIR_NAME = -3,    /* the target's name ends in '/' */
    NORK_OUTPUT_E_NOT_REGULAR = -4  /* the target exists and is not a regular file */
};
enum { NORK_OUTPUT_PATH = 4096 /* bytes of temp, terminator included */ };

typedef struct nork_output_t {
    FILE* file;                  /* write here while the output is open */
    char temp[NORK_OUTPUT_PATH]; /* the temporary file, "" when none exists */
    const char* target;          /* the caller's string */
    int32_t error;               /* errno of the latest failure, 0 when none was given */
    int32_t bTargetExists;           /* the target existed when the output was opened, */
    uint64_t targetDev, targetIno;   /* as this file */
} nork_output_t;

int32_t nork_output_open(nork_output_t* out, const char* target);
int32_t nork_output_commit(nork_output_t* out);
void nork_output_abandon(nork_output_t* out);

/* ---------------------------------------------------------------------------
 * Writing archives.
 * nork_dar_write writes an NDAR archive of count entries to an open output,
 * each entry a name and its bytes (in memory, or a file read as it is written),
 * in the order given: header, one record per entry (its data followed by a
 * spare byte repeating the last one), the directory with the names in the same
 * order, the trailer. The names, the format's limits and every input file are
 * checked before the first byte is written. An archive no lookup could fully
 * serve (no entries, an empty name, a name twice) is refused, so is an input
 * that is the output's own target. On failure report says which input (or -1)
 * and the errno of a failed system call; the caller then gives the output up.
 * nork_dar_save does it all for a file: open, write, and commit or give up.
 * ------------------------------------------------------------------------- */
enum {
    NORK_DAR_MAX_ENTRIES = 65535,    /* N is 16 bits */
    NORK_DAR_MAX_NAMES = 65535,      /* bytes of names, terminators included: name offsets are 16 bits */
    NORK_DAR_MAX_SIZE = 0x7fffffff   /* bytes of an archive: the library holds its length in 32 signed bits */
};

enum {
    NORK_DAR_OK = 0,
    NORK_DAR_E_EMPTY = -1,       /* no entries */
    NORK_DAR_E_NAME = -2,        /* input: an empty name, or a name given before */
    NORK_DAR_E_ENTRIES = -3,     /* more entries than NORK_DAR_MAX_ENTRIES */
    NORK_DAR_E_NAMES = -4,       /* more bytes of names than NORK_DAR_MAX_NAMES */
    NORK_DAR_E_SIZE = -5,        /* over NORK_DAR_MAX_SIZE bytes, at input (-1: with the directory) */
    NORK_DAR_E_READ = -6,        /* input: the file cannot be read; error holds errno (EISDIR: a directory) */
    NORK_DAR_E_NOT_REGULAR = -7, /* input: not a regular file (a FIFO, a device) */
    NORK_DAR_E_CHANGED = -8,     /* input: the file changed while it was written */
    NORK_DAR_E_SELF = -9,        /* input: the file is the output's target */
    NORK_DAR_E_WRITE = -10       /* the output could not be opened or written; error holds errno */
};

typedef struct nork_dar_input_t {
    const char* name; /* stored exactly as given */
    const char* path; /* the file holding the bytes, or null for data and size */
    const void* data;
    int32_t size;
} nork_dar_input_t;

typedef struct nork_dar_report_t {
    int32_t input; /* index of the input the failure concerns, -1 for none */
    int32_t error; /* errno of the failed system call, 0 for none */
} nork_dar_report_t;

int32_t nork_dar_write(nork_lib_t* handle, nork_output_t* out, const nork_dar_input_t* inputs, int32_t count,
                       nork_dar_report_t* report);
int32_t nork_dar_save(nork_lib_t* handle, const char* filename, const nork_dar_input_t* inputs, int32_t count,
                      nork_dar_report_t* report);

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
