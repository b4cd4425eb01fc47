/*
 * Window layer: one double-buffered OpenGL window on X11 with GLX, the frame and
 * event loop, and the teardown. State lives in the globals below; initWindow
 * ends the process itself when the window cannot be made.
 *
 * windowMode, set before initWindow, chooses where the show appears: its own window (the
 * zero record), full screen, a kiosk, or another program's window such as a screensaver's.
 * In every mode SIGTERM ends the loop, and the program with status 0 within a quarter of a
 * second even when a frame or the clean-up hangs; a kiosk ends on SIGINT the same way.
 */
#ifndef PLATFORM_WINDOW_H
#define PLATFORM_WINDOW_H

#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>
#include <GL/glx.h>

#include "window_mode.h"

extern Display* display;
extern int screen_num;
extern Window rootWindow;
extern Window window;
extern GLXContext context;
extern int windowWidth;
extern int windowHeight;
extern XF86VidModeModeLine old_modeline;
extern int old_dotclock;
extern char* commandLineName;
extern windowMode_t windowMode;

/* Event types reported to the loop's event function. */
enum { WINDOW_EVENT_SIZE = 1 };

typedef int (*frameFn_t)(void);
typedef void (*eventFn_t)(int type, int x, int y);

/* width -1 asks for the desktop's current size; height is then ignored too. */
int initWindow(int width, int height);
void loopWindow(frameFn_t frameFn, eventFn_t eventFn);
int cleanWindow(void);

/* Whether the display can take the show's window, tried the way initWindow tries it: null
 * when it can, else one line saying what stands in the way, with the status the show would
 * end with (255: no display, 1: no OpenGL) in *status. */
const char* checkDisplay(int* status);

#endif
