#include "window.h"

#include <stdio.h>
#include <stdlib.h>
#include <X11/Xutil.h>

Display* display = nullptr;
int screen_num = 0;
Window rootWindow = 0;
Window window = 0;
GLXContext context = nullptr;
int windowWidth = 0;
int windowHeight = 0;
XF86VidModeModeLine old_modeline;
int old_dotclock = 0;
char* commandLineName = nullptr;

static int visualAttributes[] = {GLX_RGBA, GLX_RED_SIZE, 1, GLX_GREEN_SIZE, 1, GLX_BLUE_SIZE, 1,
                                 GLX_DEPTH_SIZE, 1, GLX_DOUBLEBUFFER, None};

/* Cursor glyph of the standard cursor font: an odd number, between two named shapes. */
static const unsigned int CURSOR_GLYPH = 149;

/*
 * The desktop's current size. The video-mode line is asked for only where the
 * extension exists (asking without it makes Xlib complain on stderr); servers
 * without it, such as Xvfb, or a mode line that cannot be read, give the
 * screen's size.
 */
static void desktopSize(int* width, int* height) {
    int eventBase, errorBase;
    if (XF86VidModeQueryExtension(display, &eventBase, &errorBase) &&
        XF86VidModeGetModeLine(display, screen_num, &old_dotclock, &old_modeline) &&
        old_modeline.hdisplay > 0 && old_modeline.vdisplay > 0) {
        *width = old_modeline.hdisplay;
        *height = old_modeline.vdisplay;
        if (old_modeline.privsize > 0 && old_modeline.c_private) {
            XFree(old_modeline.c_private);
            old_modeline.c_private = nullptr;
        }
        return;
    }
    *width = DisplayWidth(display, screen_num);
    *height = DisplayHeight(display, screen_num);
}

int initWindow(int width, int height) {
    display = XOpenDisplay(nullptr);
    if (!display) exit(-1);

    screen_num = DefaultScreen(display);
    rootWindow = RootWindow(display, screen_num);

    if (width == -1) desktopSize(&width, &height);

    XVisualInfo* visual = glXChooseVisual(display, screen_num, visualAttributes);
    if (!visual) exit(1);

    Colormap colormap = XCreateColormap(display, rootWindow, visual->visual, AllocNone);

    XSetWindowAttributes attributes = {};
    attributes.background_pixel = BlackPixel(display, screen_num);
    attributes.border_pixel = BlackPixel(display, screen_num);
    attributes.backing_pixel = BlackPixel(display, screen_num);
    attributes.event_mask = KeyPressMask | StructureNotifyMask;
    attributes.colormap = colormap;
    unsigned long valueMask = CWBackPixel | CWBorderPixel | CWBackingPixel | CWEventMask | CWColormap;

    windowWidth = width;
    windowHeight = height;

    window = XCreateWindow(display, rootWindow, 0, 0, width, height, 0, visual->depth, InputOutput,
                           visual->visual, valueMask, &attributes);

    XSizeHints* sizeHints = XAllocSizeHints();
    sizeHints->flags = USSize;
    sizeHints->width = windowWidth;
    sizeHints->height = windowHeight;
    XWMHints* wmHints = XAllocWMHints();
    wmHints->flags = InputHint;
    wmHints->input = True;
    XmbSetWMProperties(display, window, "nork velandor", "nork velandor", nullptr, 0, sizeHints, wmHints,
                       nullptr);
    XFree(sizeHints);
    XFree(wmHints);

    context = glXCreateContext(display, visual, nullptr, True);
    if (!context) {
        fprintf(stderr, "%s: can't open GLX context.\n", commandLineName);
        exit(1);
    }
    if (!glXMakeCurrent(display, window, context)) {
        fprintf(stderr, "%s: can't set GL context.\n", commandLineName);
        exit(1);
    }

    XFree(visual);
    XMapWindow(display, window);
    XMoveWindow(display, window, 0, 0);
    XSync(display, False);

    Cursor cursor = XCreateFontCursor(display, CURSOR_GLYPH);
    XDefineCursor(display, window, cursor);
    return 0;
}

void loopWindow(frameFn_t frameFn, eventFn_t eventFn) {
    Atom wmProtocols = XInternAtom(display, "WM_PROTOCOLS", False);
    Atom wmDeleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &wmDeleteWindow, 1);

    eventFn(WINDOW_EVENT_SIZE, windowWidth, windowHeight);

    for (;;) {
        int r = frameFn();
        glXSwapBuffers(display, window);

        // Only what is already queued: the loop never waits for the server.
        while (XPending(display)) {
            XEvent event;
            char text[1] = {0};
            XNextEvent(display, &event);
            switch (event.type) {
            case KeyPress:
                XLookupString(&event.xkey, text, 1, nullptr, nullptr);
                if (text[0] == 'q' || text[0] == 'Q' || text[0] == 3 || text[0] == 27) return;
                break;
            case DestroyNotify:
                return;
            case ConfigureNotify:
                if (event.xconfigure.width == windowWidth && event.xconfigure.height == windowHeight) break;
                windowWidth = event.xconfigure.width;
                windowHeight = event.xconfigure.height;
                eventFn(WINDOW_EVENT_SIZE, windowWidth, windowHeight);
                break;
            case ClientMessage:
                if (event.xclient.message_type == wmProtocols &&
                    (Atom)event.xclient.data.l[0] == wmDeleteWindow)
                    return;
                break;
            default:
                break;
            }
        }
        if (r != 0) return;
    }
}

int cleanWindow(void) {
    if (display) {
        if (window) XDestroyWindow(display, window);
        XCloseDisplay(display);
    }
    return 0;
}
