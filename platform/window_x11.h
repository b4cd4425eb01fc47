/*
 * The desktop window layer's X11 and GLX state, for the code that works beside it on the
 * same connection: the layer itself, and tests and benchmarks that look at the window from
 * the outside or swap its buffers. The show's own code needs only window.h.
 */
#ifndef PLATFORM_WINDOW_X11_H
#define PLATFORM_WINDOW_X11_H

#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>
#include <GL/glx.h>

#include "window.h"

extern Display* display;
extern int screen_num;
extern Window rootWindow;
/* The window drawn into: the show's own, or the one it was given (or the show's child
 * filling it). 0 until made. */
extern Window window;
extern GLXContext context;
/* The desktop's mode line and its dot clock, read when initWindow is asked for the desktop's
 * size on a display with the VidMode extension. */
extern XF86VidModeModeLine old_modeline;
extern int old_dotclock;

#endif
