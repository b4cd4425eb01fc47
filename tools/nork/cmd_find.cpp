/*
 * nork find: looks names up exactly as the demo does at start-up (the
 * linked-in archive, then "." and ".."), says where each was found and shows
 * the library's trace of the search.
 */
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "archive.h"
#include "commands.h"
#include "norklib_internal.h"

static void findUsage(FILE* out) {
    fputs("usage: nork find NAME...\n"
          "  looks each NAME up in the linked-in archive, then in \".\" and \"..\" (run it\n"
          "  from the demo's directory), prints where it was found and the library's trace\n"
          "exit status: 0 all found, 1 bad arguments, 4 a name was not found\n",
          out);
}

/* Which source served the loaded file: the archive whose image holds its
 * bytes, or the first directory the file can be read from (the load's order). */
static void reportSource(nork_lib_t* lib, const char* name, const nork_memfile_t* memfile) {
    nl_t* nl = (nl_t*)lib;
    for (int32_t i = 0; i < nl->iNumData; i++) {
        const nl_data_t* src = nl->data[i];
        if (src->type == NL_SRC_ARCHIVE && !memfile->pOwned) {
            const nork_data_t* archive = (const nork_data_t*)src->data;
            const unsigned char* base = (const unsigned char*)archive->data;
            if (memfile->pData < base || memfile->pData > base + archive->size) continue;
            long offset = (long)(memfile->pData - base) - 7;
            const char* which = archive->data == dataVelandor_data ? "the linked-in archive" : "an archive";
            printf("%s: found in %s, entry at %ld, %" PRId32 " bytes\n", name, which, offset, memfile->iSize);
            return;
        }
        if (src->type == NL_SRC_DIRECTORY && memfile->pOwned) {
            nork_memfile_t probe = {};
            if (nork_memfile_load_from_dir(lib, (const char*)src->data, &probe, name) != 0) continue;
            free(probe.pOwned);
            printf("%s: found in directory \"%s\" as %s/%s, %" PRId32 " bytes\n", name, (const char*)src->data,
                   (const char*)src->data, name, memfile->iSize);
            return;
        }
    }
    printf("%s: found, %" PRId32 " bytes\n", name, memfile->iSize);
}

int cmd_find(int argc, char** argv) {
    if (argc >= 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        findUsage(stdout);
        return NORK_EXIT_OK;
    }
    if (argc < 2) {
        fputs("nork: find: no name given (see nork find --help)\n", stderr);
        return NORK_EXIT_USAGE;
    }

    /* The demo's own sources, in its order. */
    nork_lib_t* lib = nork_new();
    if (!lib) {
        fputs("nork: find: out of memory\n", stderr);
        return NORK_EXIT_IO;
    }
    nork_dar_add(lib, dataVelandor_data);
    nork_dar_add_dir(lib, ".");
    nork_dar_add_dir(lib, "..");

    int status = NORK_EXIT_OK;
    for (int i = 1; i < argc; i++) {
        nork_memfile_t* memfile = nork_memfile_new(lib);
        if (memfile && nork_memfile_load(lib, memfile, argv[i]) == 0) {
            reportSource(lib, argv[i], memfile);
        } else {
            printf("%s: not found\n", argv[i]);
            status = NORK_EXIT_NOT_FOUND;
        }
        fputs("trace:\n", stdout);
        const char* trace = nork_getTrace(lib);
        while (*trace) {
            const char* end = strchr(trace, '\n');
            int length = end ? (int)(end - trace) : (int)strlen(trace);
            printf("  %.*s\n", length, trace);
            trace += length + (end ? 1 : 0);
        }
        nork_memfile_delete(&memfile);
    }
    nork_delete(lib);
    return status;
}
