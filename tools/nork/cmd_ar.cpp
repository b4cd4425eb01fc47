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
#include <vector>

#include "commands.h"
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
          "       nork ar list ARCHIVE\n"
          "         one line per entry: name, entry offset, data size (tab-separated)\n"
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

/* Opens a regular file for reading and gives its size, or says why not. */
static FILE* openInput(const char* path, uint64_t* size) {
    FILE* f = fopen(path, "rb");
    if (!f) {
        fprintf(stderr, "nork: %s: cannot read: %s\n", path, strerror(errno));
        return nullptr;
    }
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        fprintf(stderr, "nork: %s: cannot read: not a regular file\n", path);
        fclose(f);
        return nullptr;
    }
    *size = (uint64_t)st.st_size;
    return f;
}

/* Reads a whole archive file into memory. */
static bool readArchive(const char* path, std::vector<unsigned char>* bytes) {
    uint64_t size = 0;
    FILE* f = openInput(path, &size);
    if (!f) return false;
    if (size > MAX_ARCHIVE) {
        fprintf(stderr, "nork: %s: malformed archive: larger than any archive can be\n", path);
        fclose(f);
        return false;
    }
    bytes->resize((size_t)size);
    size_t got = fread(bytes->data(), 1, bytes->size(), f);
    bool failed = ferror(f) != 0 || got != bytes->size();
    fclose(f);
    if (failed) fprintf(stderr, "nork: %s: cannot read: short read\n", path);
    return !failed;
}

/* Copies exactly size bytes of in to out; the last byte copied lands in *last. */
static bool copyBytes(FILE* in, FILE* out, uint64_t size, unsigned char* last) {
    unsigned char buffer[65536];
    while (size > 0) {
        size_t want = size < sizeof buffer ? (size_t)size : sizeof buffer;
        size_t got = fread(buffer, 1, want, in);
        if (got != want) return false;
        if (fwrite(buffer, 1, got, out) != got) return false;
        *last = buffer[got - 1];
        size -= got;
    }
    return true;
}

int nork_ar_create(const char* archive, int count, char* const* files) {
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

    /* Lay out first, so that nothing is written for inputs that cannot fit. */
    std::vector<uint64_t> sizes((size_t)count), offsets((size_t)count);
    uint64_t at = HEADER;
    for (int i = 0; i < count; i++) {
        FILE* f = openInput(files[i], &sizes[(size_t)i]);
        if (!f) return NORK_EXIT_IO;
        fclose(f);
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

    /* Written beside the target and renamed over it when complete, so a failure
     * never leaves a half archive under the real name. */
    std::string temp = std::string(archive) + ".tmp";
    FILE* out = fopen(temp.c_str(), "wb");
    if (!out) {
        fprintf(stderr, "nork: %s: cannot write: %s\n", temp.c_str(), strerror(errno));
        return NORK_EXIT_IO;
    }
    bool ok = true;
    unsigned char head[HEADER];
    memcpy(head, "NDAR", 4);
    put32(head + 4, (uint32_t)total);
    ok = fwrite(head, 1, sizeof head, out) == sizeof head;

    for (int i = 0; ok && i < count; i++) {
        uint64_t size = 0;
        FILE* in = openInput(files[i], &size);
        if (!in) {
            fclose(out);
            remove(temp.c_str());
            return NORK_EXIT_IO;
        }
        unsigned char record[RECORD_HEAD];
        memcpy(record, "DAT", 3);
        put32(record + 3, (uint32_t)sizes[(size_t)i]);
        unsigned char last = 0; /* the spare byte of an empty file */
        bool same = size == sizes[(size_t)i];
        bool copied = same && fwrite(record, 1, sizeof record, out) == sizeof record &&
                      copyBytes(in, out, size, &last) && fgetc(in) == EOF;
        fclose(in);
        if (!copied) {
            fprintf(stderr, "nork: %s: cannot read: the file changed while it was packed\n", files[i]);
            fclose(out);
            remove(temp.c_str());
            return NORK_EXIT_IO;
        }
        ok = fputc(last, out) != EOF;
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
    ok = ok && fwrite(p, 1, tail.size(), out) == tail.size();

    ok = (fclose(out) == 0) && ok;
    if (!ok || rename(temp.c_str(), archive) != 0) {
        fprintf(stderr, "nork: %s: cannot write: %s\n", archive, strerror(errno));
        remove(temp.c_str());
        return NORK_EXIT_IO;
    }
    return NORK_EXIT_OK;
}

/* Reads an archive and checks its header and directory. Returns the entry
 * count, or -1 after saying what is wrong. */
static int32_t loadArchive(const char* path, std::vector<unsigned char>* bytes, int* status) {
    if (!readArchive(path, bytes)) {
        *status = NORK_EXIT_IO;
        return -1;
    }
    int32_t count = nl_dar_entry(bytes->data(), (int32_t)bytes->size(), -1, nullptr);
    if (count < 0) {
        fprintf(stderr, "nork: %s: malformed archive: no valid NDAR header and directory\n", path);
        *status = NORK_EXIT_MALFORMED;
    }
    return count;
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
        printf("%s\t%" PRId32 "\t%" PRId32 "\n", entry.name, entry.offset, entry.size);
    }
    return status;
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
    } else {
        FILE* out = outPath ? fopen(outPath, "wb") : stdout;
        const char* shown = outPath ? outPath : "standard output";
        size_t size = (size_t)memfile->iSize;
        bool ok = out && fwrite(memfile->pData, 1, size, out) == size;
        if (out) ok = (out == stdout ? fflush(out) == 0 : fclose(out) == 0) && ok;
        if (!ok) {
            fprintf(stderr, "nork: %s: cannot write: %s\n", shown, strerror(errno));
            status = NORK_EXIT_IO;
        }
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
