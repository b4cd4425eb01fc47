/*
 * nork ar: make, list and unpack NDAR archives.
 *
 * The writer lays an archive out exactly as the demo's own archive is laid out:
 * header, one record per file in the order given ("DAT", size, bytes, and one
 * spare byte repeating the last data byte), the directory with its names in the
 * same order, and the trailer. Listing and extraction go through the library,
 * so they see an archive just as the demo does.
 */
#include <errno.h>
#include <inttypes.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "commands.h"
#include "files.h"
#include "norklib_internal.h"

enum {
    MAX_ENTRIES = 65535,   /* N is 16 bits */
    MAX_NAME_AREA = 65535, /* name offsets are 16 bits */
    HEADER = 8,
    RECORD_HEAD = 7,
    SPARE = 1,
    DIR_HEAD = 5,
    DIR_ENTRY = 6,
    TRAILER = 7
};
/* Every size and offset is 32 bits in the format, and the library holds an
 * archive's length in a signed 32-bit field: that is the largest archive. */
static const uint64_t MAX_ARCHIVE = INT32_MAX;

static void arUsage(FILE* out) {
    fputs("usage: nork ar create ARCHIVE FILE...\n"
          "         write ARCHIVE with one entry per FILE, in the order given, each named\n"
          "         exactly as written on the command line (run it where the names hold)\n"
          "         (at least one FILE, each name once)\n"
          "       nork ar list ARCHIVE\n"
          "         one line per entry: name, entry offset, data size (tab-separated; in a\n"
          "         name, tab, line break, backslash and control bytes read \\t \\n \\\\ \\xNN)\n"
          "       nork ar extract ARCHIVE NAME [OUT]\n"
          "         the entry's bytes to OUT, or to standard output\n"
          "exit status: 0 success, 1 bad arguments, 2 unreadable or unwritable file,\n"
          "             3 malformed archive, 4 no such entry, 5 inputs too large for the format\n",
          out);
}

static void put16(unsigned char* p, uint32_t v) {
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
}

static void put32(unsigned char* p, uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}

/* Reads a whole archive file into memory. */
static bool readArchive(const char* path, std::vector<unsigned char>* bytes, int* status) {
    return tool_readInput("", path, MAX_ARCHIVE, "malformed archive: larger than any archive can be", bytes, status);
}

typedef enum copy_result { COPY_DONE, COPY_SHORT, COPY_WRITE_FAILED } copy_result;

/* Copies exactly size bytes of in to out; the last byte copied lands in *last. */
static copy_result copyBytes(FILE* in, FILE* out, uint64_t size, unsigned char* last) {
    unsigned char buffer[65536];
    while (size > 0) {
        size_t want = size < sizeof buffer ? (size_t)size : sizeof buffer;
        size_t got = fread(buffer, 1, want, in);
        if (got != want) return COPY_SHORT;
        if (fwrite(buffer, 1, got, out) != got) return COPY_WRITE_FAILED;
        *last = buffer[got - 1];
        size -= got;
    }
    return COPY_DONE;
}

/* Refuses names that would make entries no lookup can reach: a name given
 * twice (only its first entry could ever be found) or an empty one. Says why
 * and returns false. */
static bool namesUsable(int count, char* const* files) {
    std::unordered_set<std::string_view> seen;
    for (int i = 0; i < count; i++) {
        if (!*files[i]) {
            fprintf(stderr, "nork: ar create: an empty file name (entry %d)\n", i + 1);
            return false;
        }
        if (!seen.insert(files[i]).second) {
            fprintf(stderr, "nork: ar create: %s is given twice; only its first entry could be found\n", files[i]);
            return false;
        }
    }
    return true;
}

int nork_ar_create(const char* archive, int count, char* const* files) {
    if (!*archive) {
        fputs("nork: ar create: an empty archive name\n", stderr);
        return NORK_EXIT_USAGE;
    }
    if (count == 0) {
        fprintf(stderr, "nork: ar create: no files to pack into %s (see nork ar --help)\n", archive);
        return NORK_EXIT_USAGE;
    }
    if (count > MAX_ENTRIES) {
        fprintf(stderr, "nork: %s: %d files, but an archive holds at most %d entries\n", archive, count,
                MAX_ENTRIES);
        return NORK_EXIT_TOO_BIG;
    }
    uint64_t nameArea = 0;
    for (int i = 0; i < count; i++) nameArea += strlen(files[i]) + 1;
    if (nameArea > MAX_NAME_AREA) {
        fprintf(stderr, "nork: %s: the names take %" PRIu64 " bytes, but an archive holds at most %d\n", archive,
                nameArea, MAX_NAME_AREA);
        return NORK_EXIT_TOO_BIG;
    }
    if (!namesUsable(count, files)) return NORK_EXIT_USAGE;

    /* Lay out first, so that nothing is written for inputs that cannot fit. */
    struct stat target;
    bool targetExists = stat(archive, &target) == 0;
    std::vector<uint64_t> sizes((size_t)count), offsets((size_t)count);
    uint64_t at = HEADER;
    int status = NORK_EXIT_OK;
    for (int i = 0; i < count; i++) {
        FILE* f = tool_openInput("", files[i], UINT64_MAX, "", &sizes[(size_t)i], &status);
        if (!f) return status;
        struct stat st;
        bool same = targetExists && fstat(fileno(f), &st) == 0 && st.st_dev == target.st_dev &&
                    st.st_ino == target.st_ino;
        fclose(f);
        if (same) {
            fprintf(stderr, "nork: %s: the archive would replace its own input %s\n", archive, files[i]);
            return NORK_EXIT_USAGE;
        }
        offsets[(size_t)i] = at;
        at += RECORD_HEAD + sizes[(size_t)i] + SPARE;
        if (at > MAX_ARCHIVE) {
            fprintf(stderr, "nork: %s: too large for an archive (over %" PRIu64 " bytes) at %s\n", archive,
                    MAX_ARCHIVE, files[i]);
            return NORK_EXIT_TOO_BIG;
        }
    }
    uint64_t dir = at;
    uint64_t total = dir + DIR_HEAD + (uint64_t)count * DIR_ENTRY + nameArea + TRAILER;
    if (total > MAX_ARCHIVE) {
        fprintf(stderr, "nork: %s: too large for an archive (over %" PRIu64 " bytes)\n", archive, MAX_ARCHIVE);
        return NORK_EXIT_TOO_BIG;
    }

    tool_output_t out;
    if (!tool_outputOpen(&out, "", archive, &status)) return status;
    unsigned char head[HEADER];
    memcpy(head, "NDAR", 4);
    put32(head + 4, (uint32_t)total);
    if (fwrite(head, 1, sizeof head, out.file) != sizeof head) return tool_outputFail(&out, "");

    for (int i = 0; i < count; i++) {
        uint64_t size = 0;
        FILE* in = tool_openInput("", files[i], UINT64_MAX, "", &size, &status);
        if (!in) {
            tool_outputAbandon(&out);
            return status;
        }
        unsigned char record[RECORD_HEAD];
        memcpy(record, "DAT", 3);
        put32(record + 3, (uint32_t)sizes[(size_t)i]);
        if (fwrite(record, 1, sizeof record, out.file) != sizeof record) {
            fclose(in);
            return tool_outputFail(&out, "");
        }
        unsigned char last = 0; /* the spare byte of an empty file */
        copy_result copied = size == sizes[(size_t)i] ? copyBytes(in, out.file, size, &last) : COPY_SHORT;
        if (copied == COPY_DONE && fgetc(in) != EOF) copied = COPY_SHORT;
        fclose(in);
        if (copied == COPY_WRITE_FAILED) return tool_outputFail(&out, "");
        if (copied != COPY_DONE) {
            fprintf(stderr, "nork: %s: cannot read: the file changed while it was packed\n", files[i]);
            tool_outputAbandon(&out);
            return NORK_EXIT_IO;
        }
        if (fputc(last, out.file) == EOF) return tool_outputFail(&out, "");
    }

    std::vector<unsigned char> tail((size_t)(total - dir));
    unsigned char* p = tail.data();
    memcpy(p, "DIR", 3);
    put16(p + 3, (uint32_t)count);
    uint32_t nameOffset = 0;
    for (int i = 0; i < count; i++) {
        unsigned char* e = p + DIR_HEAD + (size_t)i * DIR_ENTRY;
        put32(e, (uint32_t)offsets[(size_t)i]);
        put16(e + 4, nameOffset);
        size_t length = strlen(files[i]) + 1;
        memcpy(p + DIR_HEAD + (size_t)count * DIR_ENTRY + nameOffset, files[i], length);
        nameOffset += (uint32_t)length;
    }
    unsigned char* trailer = p + tail.size() - TRAILER;
    memcpy(trailer, "END", 3);
    put32(trailer + 3, (uint32_t)dir);
    if (fwrite(p, 1, tail.size(), out.file) != tail.size()) return tool_outputFail(&out, "");
    return tool_outputCommit(&out, "");
}

/* Reads an archive and checks its header and directory. Returns the entry
 * count, or -1 after saying what is wrong. */
static int32_t loadArchive(const char* path, std::vector<unsigned char>* bytes, int* status) {
    if (!readArchive(path, bytes, status)) return -1;
    int32_t count = nl_dar_entry(bytes->data(), (int32_t)bytes->size(), -1, nullptr);
    if (count < 0) {
        fprintf(stderr, "nork: %s: malformed archive: no valid NDAR header and directory\n", path);
        *status = NORK_EXIT_MALFORMED;
    }
    return count;
}

/* A name as one unambiguous field of a tab-separated line: tab, line break,
 * backslash and the other control bytes are written as \t, \n, \\ and \xNN. */
static void printEscaped(const char* name) {
    for (const unsigned char* c = (const unsigned char*)name; *c; c++) {
        if (*c == '\t')
            fputs("\\t", stdout);
        else if (*c == '\n')
            fputs("\\n", stdout);
        else if (*c == '\\')
            fputs("\\\\", stdout);
        else if (*c < 0x20 || *c == 0x7f)
            printf("\\x%02x", *c);
        else
            putchar(*c);
    }
}

static int arList(const char* path) {
    std::vector<unsigned char> bytes;
    int status = NORK_EXIT_OK;
    int32_t count = loadArchive(path, &bytes, &status);
    for (int32_t i = 0; i < count; i++) {
        nl_dar_entry_t entry;
        if (nl_dar_entry(bytes.data(), (int32_t)bytes.size(), i, &entry) < 0) {
            fprintf(stderr, "nork: %s: malformed archive: entry %" PRId32 " points outside the archive\n", path,
                    i);
            return NORK_EXIT_MALFORMED;
        }
        printEscaped(entry.name);
        printf("\t%" PRId32 "\t%" PRId32 "\n", entry.offset, entry.size);
    }
    return status;
}

/* Writes bytes to a file through a temporary beside it. */
static int writeFile(const char* path, const unsigned char* data, size_t size) {
    tool_output_t out;
    int status = NORK_EXIT_OK;
    if (!tool_outputOpen(&out, "", path, &status)) return status;
    if (fwrite(data, 1, size, out.file) != size) return tool_outputFail(&out, "");
    return tool_outputCommit(&out, "");
}

static int arExtract(const char* path, const char* name, const char* outPath) {
    std::vector<unsigned char> bytes;
    int status = NORK_EXIT_OK;
    if (loadArchive(path, &bytes, &status) < 0) return status;

    /* The lookup is the library's own, with the image registered as a source. */
    nork_lib_t* lib = nork_new();
    nork_data_t* record = (nork_data_t*)malloc(sizeof *record);
    nork_memfile_t* memfile = nork_memfile_new(lib);
    if (!lib || !record || !memfile) {
        fprintf(stderr, "nork: %s: out of memory\n", path);
        free(record);
        nork_memfile_delete(&memfile);
        nork_delete(lib);
        return NORK_EXIT_IO;
    }
    record->data = bytes.data();
    record->size = (int32_t)bytes.size();
    _nork_dar_add(lib, record);

    if (nork_memfile_load(lib, memfile, name) != 0) {
        /* Was it absent, or did the lookup stop at a damaged entry? */
        status = NORK_EXIT_NOT_FOUND;
        int32_t count = nl_dar_entry(bytes.data(), (int32_t)bytes.size(), -1, nullptr);
        for (int32_t i = 0; i < count; i++)
            if (nl_dar_entry(bytes.data(), (int32_t)bytes.size(), i, nullptr) < 0) status = NORK_EXIT_MALFORMED;
        if (status == NORK_EXIT_MALFORMED)
            fprintf(stderr, "nork: %s: malformed archive: an entry points outside the archive\n", path);
        else
            fprintf(stderr, "nork: %s: no entry named '%s'\n", path, name);
    } else if (!outPath) {
        if (!tool_writeStdout("", memfile->pData, (size_t)memfile->iSize)) status = NORK_EXIT_IO;
    } else {
        status = writeFile(outPath, memfile->pData, (size_t)memfile->iSize);
    }
    nork_memfile_delete(&memfile);
    nork_delete(lib); /* releases the record, not the bytes, which are ours */
    return status;
}

int cmd_ar(int argc, char** argv) {
    if (argc >= 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        arUsage(stdout);
        return NORK_EXIT_OK;
    }
    if (argc >= 3 && strcmp(argv[1], "create") == 0) return nork_ar_create(argv[2], argc - 3, argv + 3);
    if (argc == 3 && strcmp(argv[1], "list") == 0) return arList(argv[2]);
    if ((argc == 4 || argc == 5) && strcmp(argv[1], "extract") == 0)
        return arExtract(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);

    if (argc < 2)
        fputs("nork: ar: missing subcommand (see nork ar --help)\n", stderr);
    else
        fprintf(stderr, "nork: ar %s: wrong arguments (see nork ar --help)\n", argv[1]);
    return NORK_EXIT_USAGE;
}
