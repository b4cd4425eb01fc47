/*
 * nork: everyday work with the demo's data. One table maps command names to
 * their functions; adding a command is one line here and one in commands.h.
 */
#include <stdio.h>
#include <string.h>

#include "commands.h"
#include "files.h"
#include "nv_version.h"

typedef struct command_t {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* synopsis;
} command_t;

static const command_t commands[] = {
    {"ar", cmd_ar, "ar create|list|extract ...   make, list and unpack NDAR archives"},
    {"find", cmd_find, "find NAME...                 look names up as the demo does, with the trace"},
    {"png", cmd_png, "png FILE... | png --rgba OUT FILE   PNG header and decode (writes DUMMY.RAW); RGBA8888 pixels"},
    {"oia", cmd_oia, "oia FILE... | oia --obj OUT FILE   NoIA model header, bounds; export as OBJ"},
};

static void usage(FILE* out) {
    fputs("usage: nork COMMAND [ARGUMENTS]\n"
          "       nork --help            this text\n"
          "       nork --version         the version\n"
          "       nork COMMAND --help    the command's own usage\n"
          "\ncommands:\n",
          out);
    for (const command_t& c : commands) fprintf(out, "  %s\n", c.synopsis);
    fputs("\nexit status:\n"
          "  0  success\n"
          "  1  bad arguments\n"
          "  2  a file could not be read or written\n"
          "  3  malformed input: an archive, image or model that is not one or is\n"
          "     damaged, or a file the library cannot load\n"
          "  4  a name was not found\n"
          "  5  the inputs do not fit the archive format\n",
          out);
}

int main(int argc, char** argv) {
    tool_initSignals();
    if (argc < 2) {
        fputs("nork: missing command (see nork --help)\n", stderr);
        return NORK_EXIT_USAGE;
    }
    if (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
        usage(stdout);
        return NORK_EXIT_OK;
    }
    if (strcmp(argv[1], "--version") == 0) {
        puts("nork (nork velandor) " NV_VERSION);
        return NORK_EXIT_OK;
    }
    for (const command_t& c : commands)
        if (strcmp(argv[1], c.name) == 0) return c.run(argc - 1, argv + 1);

    fprintf(stderr, "nork: unknown command '%s' (see nork --help)\n", argv[1]);
    return NORK_EXIT_USAGE;
}
