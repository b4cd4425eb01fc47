/*
 * nork find: looks names up exactly as the demo does at start-up (the
 * linked-in archive, then "." and ".."), says where each was found and shows
 * the library's trace of the search.
 */
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string>

#include "archive.h"
#include "args.h"
#include "commands.h"

/* The demo's directory sources, in its order, after the linked-in archive. */
static const char* const DIRECTORIES[] = {".", ".."};

static void findUsage(FILE* out) {
    fputs("usage: nork find NAME...\n"
          "  looks each NAME up in the linked-in archive, then in \".\" and \"..\" (run it\n"
          "  from the demo's directory), prints where it was found and the library's trace\n"
          "  of the search in the archive (its last ten lines; \"...\" marks where earlier\n"
          "  ones were left out), which ends \"couldn't find\" for a name found in a directory\n"
          "  \"--\" ends the options\n"
          "exit status: 0 all found, 1 bad arguments, 3 a file is there but the library\n"
          "  cannot load it (not a regular file, or too large), 4 a name was not found\n",
          out);
}

/* The library's handle with the demo's sources, in its order. */
static nork_lib_t* demoSources(void) {
    nork_lib_t* lib = nork_new();
    if (!lib) return nullptr;
    nork_dar_add(lib, dataVelandor_data);
    for (const char* dir : DIRECTORIES) nork_dar_add_dir(lib, dir);
    return lib;
}

/* Which source served the loaded file: the linked-in archive when its bytes
 * lie there, else the first directory the file can be read from. */
static void reportSource(nork_lib_t* lib, const char* name, const nork_memfile_t* memfile) {
    const unsigned char* base = dataVelandor_data_data;
    if (!memfile->pOwned && memfile->pData >= base && memfile->pData <= base + dataVelandor_data_size) {
        long offset = (long)(memfile->pData - base) - 7;
        printf("%s: found in the linked-in archive, entry at %ld, %" PRId32 " bytes\n", name, offset,
               memfile->iSize);
        return;
    }
    for (const char* dir : DIRECTORIES) {
        nork_memfile_t probe = {};
        if (nork_memfile_load_from_dir(lib, dir, &probe, name) != 0) continue;
        free(probe.pOwned);
        /* The trace is of the archive's search alone (the directories are not traced), so
         * it ends in "couldn't find": said here, or the two lines seem to disagree. */
        printf("%s: found in directory \"%s\" as %s/%s, %" PRId32
               " bytes; not in the linked-in archive, searched first (its trace follows)\n",
               name, dir, dir, name, memfile->iSize);
        return;
    }
    printf("%s: found, %" PRId32 " bytes\n", name, memfile->iSize);
}

/* A name the load missed may still be there, in a form the library does not
 * load: says so of the first directory that holds it. */
static bool reportUnloadable(const char* name) {
    for (const char* dir : DIRECTORIES) {
        std::string path = std::string(dir) + "/" + name;
        struct stat st;
        if (stat(path.c_str(), &st) != 0) continue;
        if (!S_ISREG(st.st_mode))
            printf("%s: in directory \"%s\" as %s, but not a regular file\n", name, dir, path.c_str());
        else if (st.st_size > INT32_MAX)
            printf("%s: in directory \"%s\" as %s, but too large: %" PRIu64 " bytes, the library loads at most %d\n",
                   name, dir, path.c_str(), (uint64_t)st.st_size, INT32_MAX);
        else
            continue;
        return true;
    }
    return false;
}

/* The trace window of one search, indented; the window holds the last ten
 * lines, so when the first is no longer "Started" earlier ones were dropped. */
static void printTrace(nork_lib_t* lib) {
    fputs("trace:\n", stdout);
    const char* trace = nork_getTrace(lib);
    if (strncmp(trace, "Started\n", 8) != 0) fputs("  ... (earlier lines left out)\n", stdout);
    while (*trace) {
        const char* end = strchr(trace, '\n');
        int length = end ? (int)(end - trace) : (int)strlen(trace);
        printf("  %.*s\n", length, trace);
        trace += length + (end ? 1 : 0);
    }
}

int cmd_find(int argc, char** argv) {
    tool_args_t args;
    if (!tool_readArgs(argc, argv, 1, "find", nullptr, 0, &args)) return NORK_EXIT_USAGE;
    if (args.help) {
        findUsage(stdout);
        return NORK_EXIT_OK;
    }
    if (args.operands.empty()) {
        fputs("nork: find: no name given (see nork find --help)\n", stderr);
        return NORK_EXIT_USAGE;
    }

    int status = NORK_EXIT_OK;
    for (const char* name : args.operands) {
        /* A fresh handle per name, so that its trace is this search's alone. */
        nork_lib_t* lib = demoSources();
        nork_memfile_t* memfile = lib ? nork_memfile_new(lib) : nullptr;
        if (!memfile) {
            fputs("nork: find: out of memory\n", stderr);
            nork_delete(lib);
            return NORK_EXIT_IO;
        }
        if (nork_memfile_load(lib, memfile, name) == 0) {
            reportSource(lib, name, memfile);
        } else if (reportUnloadable(name)) {
            if (status == NORK_EXIT_OK) status = NORK_EXIT_MALFORMED;
        } else {
            printf("%s: not found\n", name);
            status = NORK_EXIT_NOT_FOUND;
        }
        printTrace(lib);
        nork_memfile_delete(&memfile);
        nork_delete(lib);
    }
    return status;
}
