#include "window.h"

#include <stdio.h>
#include <stdlib.h>

#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include "fixedgl.h"
#include "webclock.h"

char* commandLineName = nullptr;
windowMode_t windowMode = {};
int windowWidth = 0;
int windowHeight = 0;

static const char* const kCanvas = "#canvas";
static EMSCRIPTEN_WEBGL_CONTEXT_HANDLE s_context = 0;
static frameFn_t s_frameFn = nullptr;
static eventFn_t s_eventFn = nullptr;
static bool s_stopped = false;
static bool s_contextLost = false; /* between webglcontextlost and webglcontextrestored */
static double s_pixelRatio = 0;     /* the ratio the canvas's size was taken at */

/* The canvas's size in device pixels: its box on the page times the pixel ratio, so the
 * picture is as sharp as the screen. */
static void pageSize(int* width, int* height) {
    double cssW = 0, cssH = 0;
    emscripten_get_element_css_size(kCanvas, &cssW, &cssH);
    double ratio = emscripten_get_device_pixel_ratio();
    *width = (int)(cssW * ratio + 0.5);
    *height = (int)(cssH * ratio + 0.5);
    if (*width < 1) *width = 1;
    if (*height < 1) *height = 1;
}

int initWindow(int width, int height) {
    s_pixelRatio = emscripten_get_device_pixel_ratio();
    if (width == -1) pageSize(&width, &height);
    emscripten_set_canvas_element_size(kCanvas, width, height);
    windowWidth = width;
    windowHeight = height;

    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_TRUE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.premultipliedAlpha = EM_FALSE;
    attributes.preserveDrawingBuffer = EM_FALSE;
    attributes.majorVersion = 1;
    attributes.minorVersion = 0;
    s_context = emscripten_webgl_create_context(kCanvas, &attributes);
    if (s_context <= 0) {
        fprintf(stderr, "%s: can't open a WebGL context.\n", commandLineName);
        webclock_failed("This browser cannot show WebGL.");
        exit(1);
    }
    if (emscripten_webgl_make_context_current(s_context) != EMSCRIPTEN_RESULT_SUCCESS) {
        fprintf(stderr, "%s: can't set GL context.\n", commandLineName);
        webclock_failed("This browser cannot show WebGL.");
        exit(1);
    }
    return 0;
}

/* Follows the page: a new size or pixel ratio reshapes the canvas and is reported like a
 * window's size. */
static void followPage(void) {
    s_pixelRatio = emscripten_get_device_pixel_ratio();
    int width, height;
    pageSize(&width, &height);
    if (width == windowWidth && height == windowHeight) return;
    emscripten_set_canvas_element_size(kCanvas, width, height);
    windowWidth = width;
    windowHeight = height;
    s_eventFn(WINDOW_EVENT_SIZE, width, height);
    // Before the show starts the first frame is drawn again at the new size.
    if (!webclock_running()) webclock_redraw();
}

static EM_BOOL onResize(int, const EmscriptenUiEvent*, void*) {
    followPage();
    return EM_FALSE;
}

/* The browser may take the context away (a GPU reset, a switch of GPU, a tab in the
 * background of a phone) and give it back later. Preventing the default asks for it back;
 * until then nothing is drawn, while the clock and the music go on. */
static EM_BOOL onContextLost(int, const void*, void*) {
    s_contextLost = true;
    webclock_say("The picture was lost; waiting for the browser to give it back.");
    return EM_TRUE;
}

/* Everything the GL layer made died with the old context: it is made again before the next
 * frame, which then draws the show where the clock stands. */
static EM_BOOL onContextRestored(int, const void*, void*) {
    fixedgl_contextRestored();
    s_contextLost = false;
    webclock_say(nullptr);
    if (!webclock_running()) webclock_redraw();
    return EM_TRUE;
}

static EM_BOOL onFrame(double, void*) {
    if (s_stopped) return EM_FALSE;
    // The window moved to a screen of another pixel density, or the page was zoomed: no
    // resize need come with it, so the ratio is looked at every animation frame.
    if (emscripten_get_device_pixel_ratio() != s_pixelRatio) followPage();
    if (s_contextLost || !webclock_frameWanted()) return EM_TRUE;
    int r = s_frameFn();
    webclock_frameDone();
    if (r != 0) s_stopped = true;
    return s_stopped ? EM_FALSE : EM_TRUE;
}

void loopWindow(frameFn_t frameFn, eventFn_t eventFn) {
    s_frameFn = frameFn;
    s_eventFn = eventFn;
    eventFn(WINDOW_EVENT_SIZE, windowWidth, windowHeight);
    emscripten_set_resize_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, onResize);
    emscripten_set_webglcontextlost_callback(kCanvas, nullptr, EM_FALSE, onContextLost);
    emscripten_set_webglcontextrestored_callback(kCanvas, nullptr, EM_FALSE, onContextRestored);
    emscripten_request_animation_frame_loop(onFrame, nullptr);
    // The browser calls the frames from here on: main returns and the runtime stays.
}

int cleanWindow(void) { return 0; }

const char* checkDisplay(int* status) {
    *status = 0;
    return nullptr;
}
