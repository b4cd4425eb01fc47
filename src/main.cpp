/*
 * nork velandor: start-up, and the driver's part of one frame. Start-up reads
 * the command line, opens the window, registers the data, starts the music,
 * loads the logo and builds the tower scene; every frame the driver reads the
 * clock, has drawFrame draw the picture, reads the spectrum into the shared
 * record and now and then hands free heap pages back to the system.
 */
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>

#include "Scene1.h"
#include "archive.h"
#include "draw.h"
#include "frame.h"
#include "global.h"
#include "info.h"
#include "music.h"
#include "options.h"
#include "util.h"
#include "window.h"

nork_lib_t* pNorkLib = nullptr;
Scene* scene1 = nullptr;
Scene* scene0 = nullptr; /* slot for the logo scene; the show leaves it empty */
int texNork = -1;
info_t info = {};
int winW = -1;
int winH = 600;
timestamp_t startTime;
timestamp_t lastTime;

static const timestamp_t kTrimInterval = 10 * 1000000; /* microseconds */
static const int kMmapThreshold = 256 * 1024;             /* bytes */
static const int kTrimThreshold = 64 * 1024 * 1024;       /* bytes */

int run(void) {
    static float t = 0;

    timestamp_t nowTime = timeStamp();
    t = secondsSince(startTime, nowTime);
    float deltaTime = frameDelta(lastTime, nowTime);
    lastTime = nowTime;

    drawFrame(scene1, texNork, winW, winH, t, deltaTime, info.base);

    updateInfo(&info, FSOUND_DSP_GetSpectrum());

    // The GL driver allocates and frees about ten megabytes a frame, and the blocks it
    // keeps from one frame to the next fall among them; the allocator keeps the free
    // pages between those resident, and the process would grow by a megabyte every few
    // minutes without using any of it. Every ten seconds they go back to the system
    // (about 0.2 ms).
    static timestamp_t trimmedAt = nowTime;
    if (nowTime - trimmedAt >= kTrimInterval) {
        malloc_trim(0);
        trimmedAt = nowTime;
    }
    return 0;
}

void callback(int type, int x, int y) {
    if (type != WINDOW_EVENT_SIZE) return;
    winW = x;
    winH = y;
}

/* What a command line that asks for something else than the show gets: the usage, the
 * version, the display's check, or its refusal with the usage. Returns the exit status. */
static int answerOptions(const options_t& options) {
    switch (options.action) {
    case OPTIONS_HELP:
        printUsage(stdout, commandLineName);
        return 0;
    case OPTIONS_VERSION:
        printVersion(stdout, commandLineName);
        return 0;
    case OPTIONS_CHECK_DISPLAY: {
        int status = 0;
        const char* why = checkDisplay(&status);
        if (why) fprintf(stderr, "%s: %s\n", commandLineName, why);
        return status;
    }
    default:
        fprintf(stderr, "%s: %s\n", commandLineName, options.refusal);
        printUsage(stderr, commandLineName);
        return 1;
    }
}

int main(int argc, char** argv) {
    commandLineName = argv[0];
    options_t options;
    parseOptions(argc, argv, getenv("XSCREENSAVER_WINDOW"), &options);
    if (options.action != OPTIONS_RUN) return answerOptions(options);

    // Fixed thresholds: the driver's occasional half- and whole-megabyte blocks are mapped
    // and unmapped on their own instead of opening holes in the heap (glibc would otherwise
    // raise the threshold past them after the first one is freed), and the top of the heap,
    // where the driver's ten megabytes of a frame come and go, is not handed back and
    // faulted in again every frame: that is left to the trim every ten seconds.
    mallopt(M_MMAP_THRESHOLD, kMmapThreshold);
    mallopt(M_TRIM_THRESHOLD, kTrimThreshold);
    winH = options.height;
    winW = options.width;
    windowMode = options.window;
    initWindow(winW, winH);

    // Named files come from the linked-in archive first, then "." and "..".
    pNorkLib = nork_new();
    nork_dar_add(pNorkLib, dataVelandor_data);
    nork_dar_add_dir(pNorkLib, ".");
    nork_dar_add_dir(pNorkLib, "..");

    // A screensaver is silent unless asked: the show then never opens the sound output.
    if (options.sound) soundInit();

    // The logo texture for the overlay of every frame. The image is kept, like
    // everything start-up makes, until the process ends (static: still reachable then).
    static nork_image_t* image = nork_imageFromPNG(pNorkLib, "data/nork.png");
    nork_image_toRGBA8888(pNorkLib, image);
    texNork = util_textureFromNorkImage(pNorkLib, image);

    scene1 = new Scene1;
    scene1->setInfo(&info);

    startTime = lastTime = timeStamp();
    loopWindow(run, callback);
    cleanWindow();
    return 0;
}
