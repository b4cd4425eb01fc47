/*
 * Data sources: the registry of archives and directories, the lookup of a
 * named entry in an NDAR archive image, and the writer of such images.
 *
 * NDAR, all integers little-endian, offsets from the first byte:
 *   header   "NDAR", u32 Size (whole archive)
 *   records  "DAT", u32 data size, the data (writers add one spare byte)
 *   dir      "DIR", u16 N, N x (u32 record offset, u16 name offset), names (NUL-ended)
 *   trailer  "END", u32 dir offset          -- the last 7 bytes
 * The lookup reads only what it needs, and every offset it reads is checked
 * against the image's length before it is followed.
 */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "norklib_internal.h"

enum {
    DAR_HEADER = 8,  /* magic + Size */
    DAR_TRAILER = 7, /* "END" + dir offset */
    DAR_DIR_HEAD = 5, /* "DIR" + N */
    DAR_DIR_ENTRY = 6, /* record offset + name offset */
    DAR_RECORD_HEAD = 7, /* "DAT" + data size */
    DAR_SPARE = 1        /* the byte a writer adds after each record's data */
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

int32_t nork_dar_entry(const void* pDAR, int32_t limit, int32_t index, nork_dar_entry_t* entry) {
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
 * The writer. It lays an archive out as the demo's own is laid out, checks
 * all of it before the first byte goes out, then streams each input through.
 * ------------------------------------------------------------------------ */

static void put16(unsigned char* p, uint32_t v) {
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
}

static void put32(unsigned char* p, uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}

static int32_t fail(nork_dar_report_t* report, int32_t result, int32_t input, int32_t error) {
    report->input = input;
    report->error = error;
    return result;
}

/* Opens an input file as it is at this moment; its size in *size. */
static int32_t openInput(const nork_dar_input_t* in, int32_t i, FILE** f, uint64_t* size,
                         nork_dar_report_t* report) {
    int32_t error = 0;
    *f = nork_input_open(in->path, size, &error);
    if (*f) return NORK_DAR_OK;
    if (error == NORK_INPUT_E_NOT_REGULAR) return fail(report, NORK_DAR_E_NOT_REGULAR, i, 0);
    return fail(report, NORK_DAR_E_READ, i, error);
}

typedef struct dar_name_t {
    const char* name;
    int32_t input;
} dar_name_t;

static int byName(const void* a, const void* b) {
    const dar_name_t* x = (const dar_name_t*)a;
    const dar_name_t* y = (const dar_name_t*)b;
    int c = strcmp(x->name, y->name);
    return c ? c : (x->input > y->input) - (x->input < y->input);
}

/* The first input whose name no lookup could reach: an empty one, or the
 * second of two equal ones. -1 when there is none, -2 out of memory. */
static int32_t unreachableName(const nork_dar_input_t* inputs, int32_t count) {
    dar_name_t* sorted = (dar_name_t*)malloc((size_t)count * sizeof *sorted);
    if (!sorted) return -2;
    for (int32_t i = 0; i < count; i++) sorted[i] = {inputs[i].name, i};
    qsort(sorted, (size_t)count, sizeof *sorted, byName);
    int32_t first = -1;
    for (int32_t k = 0; k < count; k++) {
        bool repeated = k > 0 && strcmp(sorted[k - 1].name, sorted[k].name) == 0;
        int32_t i = sorted[k].input;
        if ((!*sorted[k].name || repeated) && (first < 0 || i < first)) first = i;
    }
    free(sorted);
    return first;
}

/* Everything that can be known before writing: names, limits and the inputs'
 * sizes (sizes[i]), and where the directory starts and the archive ends. */
static int32_t darPlan(nl_t* nl, const nork_output_t* out, const nork_dar_input_t* inputs, int32_t count,
                       uint64_t* sizes, uint64_t* dir, uint64_t* total, nork_dar_report_t* report) {
    uint64_t nameArea = 0;
    for (int32_t i = 0; i < count; i++) {
        if (!inputs[i].name) return fail(report, NORK_DAR_E_NAME, i, 0);
        nameArea += strlen(inputs[i].name) + 1;
    }
    if (nameArea > NORK_DAR_MAX_NAMES) return fail(report, NORK_DAR_E_NAMES, -1, 0);
    int32_t unreachable = unreachableName(inputs, count);
    if (unreachable == -2) {
        nl_trace(nl, NL_TR_OUT_OF_MEMORY, 0);
        return fail(report, NORK_DAR_E_WRITE, -1, ENOMEM);
    }
    if (unreachable >= 0) return fail(report, NORK_DAR_E_NAME, unreachable, 0);

    uint64_t at = DAR_HEADER;
    for (int32_t i = 0; i < count; i++) {
        const nork_dar_input_t* in = &inputs[i];
        uint64_t size = 0;
        if (in->path) {
            FILE* f = nullptr;
            int32_t result = openInput(in, i, &f, &size, report);
            if (result != NORK_DAR_OK) return result;
            struct stat st;
            bool self = out->bTargetExists && fstat(fileno(f), &st) == 0 && (uint64_t)st.st_dev == out->targetDev &&
                        (uint64_t)st.st_ino == out->targetIno;
            fclose(f);
            if (self) return fail(report, NORK_DAR_E_SELF, i, 0);
        } else {
            if (in->size < 0 || (in->size > 0 && !in->data)) return fail(report, NORK_DAR_E_SIZE, i, 0);
            size = (uint64_t)in->size;
        }
        sizes[i] = size;
        at += DAR_RECORD_HEAD + size + DAR_SPARE;
        if (at > NORK_DAR_MAX_SIZE) return fail(report, NORK_DAR_E_SIZE, i, 0);
    }
    *dir = at;
    *total = at + DAR_DIR_HEAD + (uint64_t)count * DAR_DIR_ENTRY + nameArea + DAR_TRAILER;
    if (*total > NORK_DAR_MAX_SIZE) return fail(report, NORK_DAR_E_SIZE, -1, 0);
    return NORK_DAR_OK;
}

/* Writes n bytes, or says why not. */
static int32_t put(FILE* out, const void* p, size_t n, nork_dar_report_t* report) {
    errno = 0;
    if (fwrite(p, 1, n, out) == n) return NORK_DAR_OK;
    return fail(report, NORK_DAR_E_WRITE, -1, errno);
}

/* Copies an input file of the planned size; its last byte goes to *last. */
static int32_t copyInput(const nork_dar_input_t* in, int32_t i, uint64_t planned, FILE* out, unsigned char* last,
                         nork_dar_report_t* report) {
    FILE* f = nullptr;
    uint64_t size = 0;
    int32_t result = openInput(in, i, &f, &size, report);
    if (result != NORK_DAR_OK) return result;
    if (size != planned) result = fail(report, NORK_DAR_E_CHANGED, i, 0);
    unsigned char buffer[65536];
    for (uint64_t left = size; result == NORK_DAR_OK && left > 0;) {
        size_t want = left < sizeof buffer ? (size_t)left : sizeof buffer;
        if (fread(buffer, 1, want, f) != want) {
            result = fail(report, NORK_DAR_E_CHANGED, i, 0);
        } else {
            result = put(out, buffer, want, report);
            *last = buffer[want - 1];
            left -= want;
        }
    }
    /* A file that grew since it was measured is not packed half. */
    if (result == NORK_DAR_OK && fgetc(f) != EOF) result = fail(report, NORK_DAR_E_CHANGED, i, 0);
    fclose(f);
    return result;
}

/* The records, from the header on; the inputs' sizes as planned. */
static int32_t writeRecords(FILE* out, const nork_dar_input_t* inputs, int32_t count, const uint64_t* sizes,
                            uint64_t total, nork_dar_report_t* report) {
    unsigned char head[DAR_HEADER];
    memcpy(head, "NDAR", 4);
    put32(head + 4, (uint32_t)total);
    int32_t result = put(out, head, sizeof head, report);
    for (int32_t i = 0; i < count && result == NORK_DAR_OK; i++) {
        unsigned char record[DAR_RECORD_HEAD];
        memcpy(record, "DAT", 3);
        put32(record + 3, (uint32_t)sizes[i]);
        if ((result = put(out, record, sizeof record, report)) != NORK_DAR_OK) break;
        unsigned char last = 0; /* the spare byte of an empty entry */
        if (inputs[i].path) {
            result = copyInput(&inputs[i], i, sizes[i], out, &last, report);
        } else if (sizes[i] > 0) {
            result = put(out, inputs[i].data, (size_t)sizes[i], report);
            last = ((const unsigned char*)inputs[i].data)[sizes[i] - 1];
        }
        if (result == NORK_DAR_OK) result = put(out, &last, DAR_SPARE, report);
    }
    return result;
}

/* The directory and the trailer, laid out in tail (total - dir bytes). */
static void layOutDirectory(unsigned char* tail, uint64_t tailSize, const nork_dar_input_t* inputs, int32_t count,
                            const uint64_t* sizes, uint64_t dir) {
    memcpy(tail, "DIR", 3);
    put16(tail + 3, (uint32_t)count);
    unsigned char* names = tail + DAR_DIR_HEAD + (size_t)count * DAR_DIR_ENTRY;
    uint64_t record = DAR_HEADER;
    uint32_t nameOffset = 0;
    for (int32_t i = 0; i < count; i++) {
        unsigned char* e = tail + DAR_DIR_HEAD + (size_t)i * DAR_DIR_ENTRY;
        put32(e, (uint32_t)record);
        put16(e + 4, nameOffset);
        size_t length = strlen(inputs[i].name) + 1;
        memcpy(names + nameOffset, inputs[i].name, length);
        nameOffset += (uint32_t)length;
        record += DAR_RECORD_HEAD + sizes[i] + DAR_SPARE;
    }
    unsigned char* trailer = tail + tailSize - DAR_TRAILER;
    memcpy(trailer, "END", 3);
    put32(trailer + 3, (uint32_t)dir);
}

int32_t nork_dar_write(nork_lib_t* handle, nork_output_t* out, const nork_dar_input_t* inputs, int32_t count,
                       nork_dar_report_t* report) {
    nl_t* nl = (nl_t*)handle;
    nork_dar_report_t ignored;
    if (!report) report = &ignored;
    report->input = -1;
    report->error = 0;
    if (!out || !out->file || (count > 0 && !inputs)) return fail(report, NORK_DAR_E_WRITE, -1, EINVAL);
    if (count <= 0) return fail(report, NORK_DAR_E_EMPTY, -1, 0);
    if (count > NORK_DAR_MAX_ENTRIES) return fail(report, NORK_DAR_E_ENTRIES, -1, 0);

    uint64_t* sizes = (uint64_t*)malloc((size_t)count * sizeof *sizes);
    if (!sizes) {
        nl_trace(nl, NL_TR_OUT_OF_MEMORY, 0);
        return fail(report, NORK_DAR_E_WRITE, -1, ENOMEM);
    }
    uint64_t dir = 0, total = 0;
    int32_t result = darPlan(nl, out, inputs, count, sizes, &dir, &total, report);
    if (result == NORK_DAR_OK) result = writeRecords(out->file, inputs, count, sizes, total, report);
    if (result == NORK_DAR_OK) {
        /* At most 65535 entries and as many bytes of names: under 500 KB. */
        uint64_t tailSize = total - dir;
        unsigned char* tail = (unsigned char*)malloc((size_t)tailSize);
        if (tail) {
            layOutDirectory(tail, tailSize, inputs, count, sizes, dir);
            result = put(out->file, tail, (size_t)tailSize, report);
            free(tail);
        } else {
            nl_trace(nl, NL_TR_OUT_OF_MEMORY, 0);
            result = fail(report, NORK_DAR_E_WRITE, -1, ENOMEM);
        }
    }
    free(sizes);
    return result;
}

int32_t nork_dar_save(nork_lib_t* handle, const char* filename, const nork_dar_input_t* inputs, int32_t count,
                      nork_dar_report_t* report) {
    nork_dar_report_t ignored;
    if (!report) report = &ignored;
    nork_output_t out;
    int32_t opened = nork_output_open(&out, filename);
    if (opened != NORK_OUTPUT_OK)
        return fail(report, NORK_DAR_E_WRITE, -1, opened == NORK_OUTPUT_E_SYSTEM ? out.error : EISDIR);
    int32_t result = nork_dar_write(handle, &out, inputs, count, report);
    if (result != NORK_DAR_OK) {
        nork_output_abandon(&out);
        return result;
    }
    if (nork_output_commit(&out) != NORK_OUTPUT_OK) return fail(report, NORK_DAR_E_WRITE, -1, out.error);
    return NORK_DAR_OK;
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
