/*
 * nork velandor: start-up, and the body of one frame.
 */
#include <malloc.h>
#include <math.h>
#include <GL/gl.h>
#include <GL/glu.h>

#include "Scene1.h"
#include "archive.h"
#include "frame.h"
#include "global.h"
#include "info.h"
#include "music.h"
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

/* The logo quad, GL_T2F_V3F (s, t, x, y, z), in normalised device coordinates:
 * lower left of the window, its foot cut off by the window's edge. */
float oiaLogo[20] = {
    1, 0, -0.28f, -0.4f,  0,
    0, 0, -0.98f, -0.4f,  0,
    0, 1, -0.98f, -1.25f, 0,
    1, 1, -0.28f, -1.25f, 0,
};

static const timestamp_t kTrimInterval = 10 * 1000000; /* microseconds */
static const int kMmapThreshold = 256 * 1024;             /* bytes */
static const int kTrimThreshold = 64 * 1024 * 1024;       /* bytes */

int run(void) {
    static float t = 0;

    int realH = letterboxHeight(winW);
    int offH = letterboxOffset(winH, realH);

    timestamp_t nowTime = timeStamp();
    t = secondsSince(startTime, nowTime);
    float deltaTime = frameDelta(lastTime, nowTime);
    lastTime = nowTime;

    glViewport(0, 0, winW, winH);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    // The letterbox, lifted by the beat.
    glViewport(0, offH + bounceShift(info.base, bounceTilt(t)), winW, realH);

    // Sky: flat light blue below the middle, shading to dark blue at the top.
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glDepthFunc(GL_ALWAYS);
    glDisable(GL_TEXTURE_2D);
    glBegin(GL_QUAD_STRIP);
    glColor4f(0.5f, 0.7f, 0.9f, 1);
    glVertex3i(-1, -1, 1);
    glVertex3i(1, -1, 1);
    glColor4f(0.5f, 0.7f, 0.9f, 1);
    glVertex3i(-1, 0, 1);
    glVertex3i(1, 0, 1);
    glColor4f(0.2f, 0.3f, 0.6f, 1);
    glVertex3i(-1, 1, 1);
    glVertex3i(1, 1, 1);
    glEnd();
    glDepthFunc(GL_LESS);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();

    // Default camera; the scene sets its own.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(100, 1, 1, 150);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0, 0, -50, 0, 0, 0, 0, 1, 0);

    scene1->run(deltaTime);

    // Logo overlay: over the whole window, in device coordinates, added onto the
    // picture at 80 % of its brightness.
    glViewport(0, 0, winW, winH);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glBindTexture(GL_TEXTURE_2D, texNork);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glColor4f(1, 1, 1, 0.8f);
    glInterleavedArrays(GL_T2F_V3F, 0, oiaLogo);
    glDrawArrays(GL_QUADS, 0, 4);
    glDisable(GL_BLEND);

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

int main(int argc, char** argv) {
    (void)argc;
    commandLineName = argv[0];
    // Fixed thresholds: the driver's occasional half- and whole-megabyte blocks are mapped
    // and unmapped on their own instead of opening holes in the heap (glibc would otherwise
    // raise the threshold past them after the first one is freed), and the top of the heap,
    // where the driver's ten megabytes of a frame come and go, is not handed back and
    // faulted in again every frame: that is left to the trim every ten seconds.
    mallopt(M_MMAP_THRESHOLD, kMmapThreshold);
    mallopt(M_TRIM_THRESHOLD, kTrimThreshold);
    winH = 600;
    winW = -1;
    initWindow(winW, winH);

    // Named files come from the linked-in archive first, then "." and "..".
    pNorkLib = nork_new();
    nork_dar_add(pNorkLib, dataVelandor_data);
    nork_dar_add_dir(pNorkLib, ".");
    nork_dar_add_dir(pNorkLib, "..");

    soundInit();

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
