/*
 * The nork tool's commands. Each takes its own name as argv[0] and the rest of
 * the command line after it, prints its results on standard output and its
 * one-line complaints on standard error, and returns one of the exit codes.
 */
#ifndef NORK_TOOL_COMMANDS_H
#define NORK_TOOL_COMMANDS_H

enum nork_exit {
    NORK_EXIT_OK = 0,
    NORK_EXIT_USAGE = 1,     /* bad arguments */
    NORK_EXIT_IO = 2,        /* a file could not be read or written */
    NORK_EXIT_MALFORMED = 3, /* an input is not what it should be */
    NORK_EXIT_NOT_FOUND = 4, /* a name is in none of the places searched */
    NORK_EXIT_TOO_BIG = 5    /* the inputs do not fit the archive format */
};

int cmd_ar(int argc, char** argv);
int cmd_find(int argc, char** argv);
int cmd_png(int argc, char** argv);
int cmd_oia(int argc, char** argv);

#endif
