/*
 * The driver's frame with the tower scene, as the demo runs it.
 *
 *   bench_frame        on an X server (1280x1024 or larger): frames per second of
 *                      the demo's frame and of an empty frame (clear and swap)
 *                      in the same window, and their ratio.
 *   bench_frame_cpu    the same frame against a GL that does nothing: the CPU
 *                      time of our own code per frame, outside any GL driver.
 *
 * Both link the driver's own source with its main() renamed, so the frame
 * measured is the demo's, not a copy of it.
 */
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>

#include "Scene1.h"
#include "frame.h"
#include "global.h"
#include "info.h"

int run(void);
void callback(int type, int x, int y);
extern Scene* scene1;
extern info_t info;
extern timestamp_t startTime;
extern timestamp_t lastTime;

#ifdef NV_FRAME_GL
#include <GL/gl.h>
#include "window.h"
#else
/* No window: the frame is called directly. */
char* commandLineName = nullptr;
int initWindow(int, int) { return 0; }
void loopWindow(int (*)(void), void (*)(int, int, int)) {}
int cleanWindow(void) { return 0; }
#endif

static const int W = 1280, H = 1024;

/* Start-up as the demo does it, with the data read from the source tree. */
static void startDemo() {
    static bool started = false;
    if (started) return;
    started = true;
#ifdef NV_FRAME_GL
    static char name[] = "bench_frame";
    commandLineName = name;
    initWindow(W, H);
#endif
    pNorkLib = nork_new();
    nork_dar_add_dir(pNorkLib, NV_SOURCE_ROOT);
    callback(1, W, H);
    scene1 = new Scene1;
    scene1->setInfo(&info);
    startTime = lastTime = timeStamp();
    // Run into the steady state: 150 flares and the scroller moving.
    for (int i = 0; i < 40; i++) run();
    for (int i = 0; i < 180; i++) scene1->run(0.5f);
}

#ifdef NV_FRAME_GL
static void BM_DemoFrame(benchmark::State& state) {
    startDemo();
    for (auto _ : state) {
        run();
        glXSwapBuffers(display, window);
    }
    glFinish();
    state.counters["fps"] = benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DemoFrame)->UseRealTime()->MinTime(5.0);

static void BM_EmptyFrame(benchmark::State& state) {
    startDemo();
    for (auto _ : state) {
        glViewport(0, 0, W, H);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glXSwapBuffers(display, window);
    }
    glFinish();
    state.counters["fps"] = benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EmptyFrame)->UseRealTime()->MinTime(5.0);
#else
static void BM_FrameCpuOwnCode(benchmark::State& state) {
    startDemo();
    for (auto _ : state) run();
}
BENCHMARK(BM_FrameCpuOwnCode)->MinTime(2.0);
#endif

BENCHMARK_MAIN();
