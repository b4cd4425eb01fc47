/*
 * The browser edition's GL layer against the fixed-function GL it stands in
 * for, on the same rasteriser: the show's steady-state frame (90 s, 1280x720,
 * frames of 1/60 s) drawn by Mesa's own fixed-function GL (fixedgl_ref) and by
 * our layer over OpenGL ES 2 (fixedgl_es), both off screen through EGL, in
 * interleaved rounds of one run. Prints the CPU time per frame of each (the
 * whole process: the rasteriser's threads included) and their ratio.
 *
 *   bench_fixedgl [ROUNDS [FRAMES]]     (defaults: 5 rounds of 200 frames)
 */
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

/* One timed run of a drawing program: its CPU and wall milliseconds per frame. */
static bool timeOne(const char* program, int frames, double* cpu, double* wall) {
    std::string command = std::string("'") + program + "' --bench " + std::to_string(frames);
    FILE* p = popen(command.c_str(), "r");
    if (!p) return false;
    bool ok = fscanf(p, "cpu_ms_per_frame %lf wall_ms_per_frame %lf", cpu, wall) == 2;
    return pclose(p) == 0 && ok;
}

static double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int main(int argc, char** argv) {
    int rounds = argc > 1 ? atoi(argv[1]) : 5, frames = argc > 2 ? atoi(argv[2]) : 200;
    if (rounds < 1 || frames < 1) {
        fprintf(stderr, "usage: %s [ROUNDS [FRAMES]]\n", argv[0]);
        return 2;
    }
    const char* const programs[2] = {NV_FIXEDGL_REF, NV_FIXEDGL_ES};
    const char* const names[2] = {"Mesa fixed-function GL", "our layer over ES 2"};
    std::vector<double> cpu[2], ratios;
    for (int r = 0; r < rounds; r++) {
        double c[2], w[2];
        for (int i = 0; i < 2; i++) {
            if (!timeOne(programs[i], frames, &c[i], &w[i])) {
                fprintf(stderr, "%s --bench failed\n", programs[i]);
                return 1;
            }
            cpu[i].push_back(c[i]);
        }
        ratios.push_back(c[1] / c[0]);
        printf("round %d: %s %.2f ms CPU (%.2f ms wall), %s %.2f ms CPU (%.2f ms wall), ratio %.2f\n", r + 1, names[0],
               c[0], w[0], names[1], c[1], w[1], c[1] / c[0]);
    }
    printf("median: %s %.2f ms, %s %.2f ms CPU per frame; ratio %.2f (range %.2f-%.2f)\n", names[0], median(cpu[0]),
           names[1], median(cpu[1]), median(ratios), *std::min_element(ratios.begin(), ratios.end()),
           *std::max_element(ratios.begin(), ratios.end()));
    return 0;
}
