#include "args.h"

#include <stdio.h>
#include <string.h>

bool tool_readArgs(int argc, char** argv, int first, const char* who, const tool_option_t* known, int count,
                   tool_args_t* args) {
    *args = tool_args_t();
    int i = first;
    for (; i < argc; i++) {
        const char* a = argv[i];
        if (strcmp(a, "--") == 0) {
            i++;
            break;
        }
        if (a[0] != '-' || a[1] == '\0') break;
        if (strcmp(a, "--help") == 0 || strcmp(a, "-h") == 0) {
            args->help = true;
            continue;
        }
        const tool_option_t* option = nullptr;
        for (int k = 0; k < count; k++)
            if (strcmp(a, known[k].name) == 0) option = &known[k];
        if (!option) {
            fprintf(stderr, "nork: %s: unknown option '%s' (see nork %s --help)\n", who, a, who);
            return false;
        }
        char* value = nullptr;
        if (option->takesValue) {
            if (i + 1 >= argc) {
                fprintf(stderr, "nork: %s: %s takes a value (see nork %s --help)\n", who, a, who);
                return false;
            }
            value = argv[++i];
        }
        args->given.push_back(option->name);
        args->values.push_back(value);
    }
    for (; i < argc; i++) args->operands.push_back(argv[i]);
    return true;
}

char* tool_option(const tool_args_t* args, const char* name, bool* given) {
    char* value = nullptr;
    bool found = false;
    for (size_t k = 0; k < args->given.size(); k++)
        if (strcmp(args->given[k], name) == 0) {
            found = true;
            value = args->values[k];
        }
    if (given) *given = found;
    return value;
}
