/*
 * The command line of one command, read the POSIX way: options come before
 * the operands, "--" ends them, and "-" alone is an operand (standard input or
 * output, where a command takes it so). "--help" and "-h" ask for the usage.
 */
#ifndef NORK_TOOL_ARGS_H
#define NORK_TOOL_ARGS_H

#include <vector>

/* An option the command knows; one with a value takes the next argument. */
typedef struct tool_option_t {
    const char* name;
    bool takesValue;
} tool_option_t;

typedef struct tool_args_t {
    bool help;
    std::vector<const char*> given; /* each option given, by its name in the table */
    std::vector<char*> values;      /* the value of each, null for none */
    std::vector<char*> operands;
} tool_args_t;

/* Reads argv[first..argc). An unknown option, or one without its value, is
 * said on standard error ("nork: WHO: ...") and gives false. */
bool tool_readArgs(int argc, char** argv, int first, const char* who, const tool_option_t* known, int count,
                   tool_args_t* args);

/* The value of the option name, or null when it was not given; *given says
 * whether it was (for options without a value). */
char* tool_option(const tool_args_t* args, const char* name, bool* given);

#endif
