/*
 * nork oia: shows what the demo's model loader makes of NoIA files (format,
 * stride, vertex and triangle counts, bounding box, first vertex) and exports a
 * model as Wavefront OBJ for a look in any 3D viewer.
 */
#include <errno.h>
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "args.h"
#include "commands.h"
#include "files.h"
#include "norklib.h"

static const char WHO[] = "oia: ";

static void oiaUsage(FILE* out) {
    fputs("usage: nork oia FILE...\n"
          "       nork oia --obj OUT FILE\n"
          "  prints each NoIA model's header, bounding box and first vertex; with --obj\n"
          "  also writes the model to OUT as Wavefront OBJ (v, vt, vn, f)\n"
          "exit status: 0 success, 1 bad arguments, 2 a file could not be read or written,\n"
          "  3 a file is not a NoIA model the demo can load; \"--\" ends the options\n",
          out);
}

/* What one vertex of a format holds; the components come in this order. */
typedef struct oia_layout_t {
    uint32_t format;
    const char* name;
    int hasTex;    /* s, t */
    int hasNormal; /* nx, ny, nz */
} oia_layout_t;

static const oia_layout_t layouts[] = {
    {0x2A21, "GL_V3F", 0, 0},
    {0x2A25, "GL_N3F_V3F", 0, 1},
    {0x2A27, "GL_T2F_V3F", 1, 0},
    {0x2A2B, "GL_T2F_N3F_V3F", 1, 1},
};

static const oia_layout_t* layoutOf(const nork_oia_t* po) {
    for (const oia_layout_t& l : layouts)
        if (l.format == po->format) return &l;
    return nullptr;
}

/* The vertex's floats: texture coordinate, normal and position, where present. */
typedef struct oia_vertex_t {
    float st[2];
    float n[3];
    float p[3];
} oia_vertex_t;

static oia_vertex_t vertexAt(const nork_oia_t* po, const oia_layout_t* l, int32_t i) {
    oia_vertex_t v = {};
    const unsigned char* b = (const unsigned char*)po->pointer + (size_t)i * (size_t)po->stride;
    size_t at = 0;
    if (l->hasTex) {
        memcpy(v.st, b + at, sizeof v.st);
        at += sizeof v.st;
    }
    if (l->hasNormal) {
        memcpy(v.n, b + at, sizeof v.n);
        at += sizeof v.n;
    }
    memcpy(v.p, b + at, sizeof v.p);
    return v;
}

/* Why the loader refused a file, told from its header. */
static void explainFailure(const char* path, const unsigned char* data, int32_t size) {
    if (size < 10) {
        fprintf(stderr, "nork: oia: %s: %" PRId32 " bytes, shorter than the 10-byte header\n", path, size);
    } else if (memcmp(data, "NoIA", 4) != 0) {
        fprintf(stderr, "nork: oia: %s: not a NoIA model (no \"NoIA\" magic)\n", path);
    } else if (data[6] != 0) {
        fprintf(stderr, "nork: oia: %s: extended mode byte %#04x\n", path, data[6]);
    } else if (data[7] != 0x02 && data[7] != 0x06 && data[7] != 0x0A && data[7] != 0x0E) {
        fprintf(stderr, "nork: oia: %s: unsupported mode byte %#04x\n", path, data[7]);
    } else {
        fprintf(stderr, "nork: oia: %s: vertex data cut short (%" PRId32 " bytes after the header)\n", path,
                size - 10);
    }
}

static void printModel(const char* path, const nork_oia_t* po, const oia_layout_t* l) {
    printf("%s:\n", path);
    printf("  format    %s (0x%04" PRIx32 "), stride %" PRId32 " bytes\n", l->name, po->format, po->stride);
    printf("  vertices  %" PRId32 ", triangles %" PRId32, po->count, po->count / 3);
    if (po->count % 3) printf(" (%" PRId32 " vertices left over)", po->count % 3);
    putchar('\n');
    if (po->count == 0) {
        puts("  bounds    none (no vertices)");
        return;
    }
    oia_vertex_t first = vertexAt(po, l, 0);
    float lo[3], hi[3];
    memcpy(lo, first.p, sizeof lo);
    memcpy(hi, first.p, sizeof hi);
    for (int32_t i = 1; i < po->count; i++) {
        oia_vertex_t v = vertexAt(po, l, i);
        for (int k = 0; k < 3; k++) {
            if (v.p[k] < lo[k]) lo[k] = v.p[k];
            if (v.p[k] > hi[k]) hi[k] = v.p[k];
        }
    }
    printf("  bounds    min (%g, %g, %g) max (%g, %g, %g)\n", lo[0], lo[1], lo[2], hi[0], hi[1], hi[2]);
    printf("  vertex 0 ");
    if (l->hasTex) printf(" st (%g, %g)", first.st[0], first.st[1]);
    if (l->hasNormal) printf(" normal (%g, %g, %g)", first.n[0], first.n[1], first.n[2]);
    printf(" position (%g, %g, %g)\n", first.p[0], first.p[1], first.p[2]);
}

/* Wavefront OBJ: one v (and vt, vn where the model has them) per vertex, one face
 * per three vertices. Indices start at 1. */
static int writeObj(const char* outPath, const char* path, const nork_oia_t* po, const oia_layout_t* l) {
    tool_output_t out;
    int status = NORK_EXIT_OK;
    if (!tool_outputOpen(&out, WHO, outPath, &status)) return status;
    FILE* f = out.file;
    fprintf(f, "# %s: %" PRId32 " vertices, %" PRId32 " triangles\n", path, po->count, po->count / 3);
    for (int32_t i = 0; i < po->count; i++) {
        oia_vertex_t v = vertexAt(po, l, i);
        fprintf(f, "v %.9g %.9g %.9g\n", v.p[0], v.p[1], v.p[2]);
        if (l->hasTex) fprintf(f, "vt %.9g %.9g\n", v.st[0], v.st[1]);
        if (l->hasNormal) fprintf(f, "vn %.9g %.9g %.9g\n", v.n[0], v.n[1], v.n[2]);
    }
    for (int32_t t = 0; t + 2 < po->count; t += 3) {
        fputc('f', f);
        for (int32_t i = t + 1; i <= t + 3; i++) {
            if (l->hasTex && l->hasNormal)
                fprintf(f, " %" PRId32 "/%" PRId32 "/%" PRId32, i, i, i);
            else if (l->hasTex)
                fprintf(f, " %" PRId32 "/%" PRId32, i, i);
            else if (l->hasNormal)
                fprintf(f, " %" PRId32 "//%" PRId32, i, i);
            else
                fprintf(f, " %" PRId32, i);
        }
        fputc('\n', f);
    }
    if (ferror(f)) return tool_outputFail(&out, WHO);
    return tool_outputCommit(&out, WHO);
}

/* Loads one file through the library's reader, as the demo would from its archive. */
static int showFile(nork_lib_t* lib, const char* path, const char* obj) {
    std::vector<unsigned char> bytes;
    int status = NORK_EXIT_OK;
    if (!tool_readInput(WHO, path, INT32_MAX, "larger than any model the library reads", &bytes, &status))
        return status;
    unsigned char* data = bytes.data();
    int32_t size = (int32_t)bytes.size();
    nork_memfile_t memfile = {};
    memfile.pData = data;
    memfile.iSize = size;

    nork_oia_t* po = nork_oia_new(lib);
    if (!po) {
        fputs("nork: oia: out of memory\n", stderr);
        status = NORK_EXIT_IO;
    } else if (nork_oia_loadFromMem(po, &memfile) != 0) {
        fflush(stdout);
        explainFailure(path, data, size);
        status = NORK_EXIT_MALFORMED;
    } else {
        const oia_layout_t* l = layoutOf(po);
        printModel(path, po, l);
        if (obj) status = writeObj(obj, path, po, l);
        nork_oia_delete(lib, &po);
    }
    return status;
}

static const tool_option_t OIA_OPTIONS[] = {{"--obj", true}};

int cmd_oia(int argc, char** argv) {
    tool_args_t args;
    if (!tool_readArgs(argc, argv, 1, "oia", OIA_OPTIONS, 1, &args)) return NORK_EXIT_USAGE;
    if (args.help) {
        oiaUsage(stdout);
        return NORK_EXIT_OK;
    }
    const char* obj = tool_option(&args, "--obj", nullptr);
    if (obj && args.operands.size() != 1) {
        fputs("nork: oia: --obj takes an output name and exactly one FILE (see nork oia --help)\n", stderr);
        return NORK_EXIT_USAGE;
    }
    if (args.operands.empty()) {
        fputs("nork: oia: no file given (see nork oia --help)\n", stderr);
        return NORK_EXIT_USAGE;
    }

    nork_lib_t* lib = nork_new();
    if (!lib) {
        fputs("nork: oia: out of memory\n", stderr);
        return NORK_EXIT_IO;
    }
    int status = NORK_EXIT_OK;
    for (const char* file : args.operands) {
        int s = showFile(lib, file, obj);
        if (s != NORK_EXIT_OK) status = s;
    }
    nork_delete(lib);
    return status;
}
