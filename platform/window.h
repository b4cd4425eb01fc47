/*
 * Window layer: one double-buffered OpenGL picture to draw the show into, the frame and
 * event loop, and the teardown. The same calls in both editions, each in its own source:
 *
 *   desktop  an X11 window with a GLX context (window.cpp); the loop draws, swaps and reads
 *            the queued events until a quit key, the window manager's close or the window's
 *            end. initWindow ends the process itself when the window cannot be made. Its
 *            X11 state is in window_x11.h, for the code that needs it.
 *   browser  the page's canvas with a WebGL context (web/platform/window.cpp); the browser
 *            owns the loop, so loopWindow registers the frame and returns at once, and
 *            cleanWindow has nothing to do.
 *
 * windowMode, set before initWindow, chooses where the show appears: its own window (the
 * zero record), full screen, a kiosk, or another program's window such as a screensaver's.
 * On the desktop SIGTERM ends the loop in every mode, and the program with status 0 within a
 * quarter of a second even when a frame or the clean-up hangs; a kiosk ends on SIGINT the
 * same way. The page shows the show where it loads: there windowMode is accepted and left
 * alone (the page has its own full screen, on F), and checkDisplay finds nothing in the way.
 */
#ifndef PLATFORM_WINDOW_H
#define PLATFORM_WINDOW_H

/* How the show takes the screen: the record the driver fills from its command line. Every
 * field only adds to the zero record, the show's own window as the show always had it. */
typedef struct {
    /* Another program's window to draw into, as a screensaver draws into the one its daemon
     * gives it: no window of the show's own, no keys read (0: a window of the show's own). */
    unsigned long drawInto;
    /* Draw into the screen's root window (when drawInto is 0). */
    bool drawIntoRoot;
    /* Ask the window manager for full screen, without a cursor; F toggles it. */
    bool fullscreen;
    /* Full screen that keys, clicks and the window manager do not end, only SIGTERM and
     * SIGINT; the display's screen saver and power saving are held off meanwhile. */
    bool kiosk;
    /* Swap as soon as a frame is drawn instead of once a refresh of the display. */
    bool noVsync;
} windowMode_t;

/* The program's name, printed ahead of the layer's messages; the driver sets it first. */
extern char* commandLineName;
extern windowMode_t windowMode;
/* The picture's last known size in pixels. */
extern int windowWidth;
extern int windowHeight;

/* Event types reported to the loop's event function. */
enum { WINDOW_EVENT_SIZE = 1 };

typedef int (*frameFn_t)(void);
typedef void (*eventFn_t)(int type, int x, int y);

/* width -1 asks for the desktop's current size (the page's, in a browser); height is then
 * ignored too. Returns 0 once the picture and its GL context are ready. */
int initWindow(int width, int height);
/* Reports the size through eventFn, then calls frameFn once a frame until it returns
 * non-zero or the user ends the show; every later size change is reported the same way. */
void loopWindow(frameFn_t frameFn, eventFn_t eventFn);
int cleanWindow(void);

/* Whether the display can take the show's window, tried the way initWindow tries it: null
 * when it can, else one line saying what stands in the way, with the status the show would
 * end with (255: no display, 1: no OpenGL) in *status. */
const char* checkDisplay(int* status);

#endif
