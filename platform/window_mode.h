/*
 * How the show takes the screen: the record the driver fills from its command line and both
 * editions' window layers read in initWindow. The zero record is the show's own window as the
 * show always had it; every field only adds to that.
 */
#ifndef PLATFORM_WINDOW_MODE_H
#define PLATFORM_WINDOW_MODE_H

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

#endif
