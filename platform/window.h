/*
 * Window layer: one double-buffered OpenGL window on X11 with GLX, the frame and
 * event loop, and the teardown. State lives in the globals below; initWindow
 * ends the process itself when the window cannot be made.
 */
#ifndef PLATFORM_WINDOW_H
#define PLATFORM_WINDOW_H

#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>
#include <GL/glx.h>

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

/* Event types reported to the loop's event function. */
enum { WINDOW_EVENT_SIZE = 1 };

typedef int (*frameFn_t)(void);
typedef void (*eventFn_t)(int type, int x, int y);

/* width -1 asks for the desktop's current size; height is then ignored too. */
int initWindow(int width, int height);
void loopWindow(frameFn_t frameFn, eventFn_t eventFn);
int cleanWindow(void);

#endif
