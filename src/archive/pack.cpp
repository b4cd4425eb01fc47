/*
 * nork-pack ARCHIVE FILE...: packs the linked-in archive, one entry per FILE in
 * the order given, each named exactly as written (the build runs it from the
 * repository root). The archive appears only when it is whole.
 */
#include <stdio.h>
#include <string.h>

#include <vector>

#include "norklib.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        fputs("usage: nork-pack ARCHIVE FILE...\n", stderr);
        return 1;
    }
    std::vector<nork_dar_input_t> inputs;
    for (int i = 2; i < argc; i++) inputs.push_back({argv[i], argv[i], nullptr, 0});

    nork_lib_t* lib = nork_new();
    nork_dar_report_t report = {-1, 0};
    int32_t result = nork_dar_save(lib, argv[1], inputs.data(), (int32_t)inputs.size(), &report);
    nork_delete(lib);
    if (result == NORK_DAR_OK) return 0;
    fprintf(stderr, "nork-pack: %s: not written (result %d)%s%s%s%s\n", argv[1], (int)result,
            report.input >= 0 ? " at " : "", report.input >= 0 ? inputs[(size_t)report.input].name : "",
            report.error ? ": " : "", report.error ? strerror(report.error) : "");
    return 1;
}
