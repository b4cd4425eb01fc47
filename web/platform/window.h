/*
 * Window layer of the browser edition: the page's canvas with a WebGL context, the
 * frame loop driven by the browser's animation frames, and the page's size changes.
 * Same calls as the X11 layer; the browser owns the loop, so loopWindow registers the
 * frame and returns at once, and cleanWindow has nothing to do. The page shows the show
 * where it loads: windowMode is accepted and left alone (the page has its own full screen,
 * on F), and checkDisplay finds nothing in the way.
 */
#ifndef PLATFORM_WINDOW_H
#define PLATFORM_WINDOW_H

#include "window_mode.h"

extern char* commandLineName;
extern windowMode_t windowMode;
extern int windowWidth;
extern int windowHeight;

/* Event types reported to the loop's event function. */
enum { WINDOW_EVENT_SIZE = 1 };

typedef int (*frameFn_t)(void);
typedef void (*eventFn_t)(int type, int x, int y);

/* width -1 asks for the page's size; height is then ignored too. */
int initWindow(int width, int height);
void loopWindow(frameFn_t frameFn, eventFn_t eventFn);
int cleanWindow(void);
const char* checkDisplay(int* status);

#endif
