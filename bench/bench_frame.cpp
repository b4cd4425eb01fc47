/*
 * The driver's frame with the tower scene, as the demo runs it.
 *
 *   bench_frame        on an X server (1280x1024 or larger): frames per second of
 *                      the demo's frame and of an empty frame (clear and swap)
 *                      in the same window, and their ratio.
 *   bench_frame_cpu    the same frame against a GL that does nothing: the CPU
 *                      time of our own code per frame, outside any GL driver.
 *
 * Both draw through the demo's own drawFrame, with the driver's clock and
 * spectrum update around it, so the frame measured is the demo's.
 */
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>

#include "Scene1.h"
#include "draw.h"
#include "frame.h"
#include "global.h"
#include "info.h"

nork_lib_t* pNorkLib = nullptr;
static Scene* scene1 = nullptr;
static int texNork = 0;
static info_t info = {};
static timestamp_t startTime, lastTime;
static float silence[SPECTRUM_BINS];

#ifdef NV_FRAME_GL
#include <GL/gl.h>
#include "window_x11.h"
#endif

static const int W = 1280, H = 1024;

/* The driver's frame: the clock, the picture, the spectrum (of silence: no sound
 * runs here) read into the shared record. */
static void run() {
    timestamp_t nowTime = timeStamp();
    float t = secondsSince(startTime, nowTime);
    float deltaTime = frameDelta(lastTime, nowTime);
    lastTime = nowTime;
    drawFrame(scene1, texNork, W, H, t, deltaTime, info.base);
    updateInfo(&info, silence);
}

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
    nork_image_t* image = nork_imageFromPNG(pNorkLib, "data/nork.png");
    nork_image_toRGBA8888(pNorkLib, image);
    texNork = util_textureFromNorkImage(pNorkLib, image);
    nork_image_delete(pNorkLib, &image);
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
