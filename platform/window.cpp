#include "window_x11.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/scrnsaver.h>
#include <GL/glxproto.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

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
windowMode_t windowMode = {};

static int visualAttributes[] = {GLX_RGBA, GLX_RED_SIZE, 1, GLX_GREEN_SIZE, 1, GLX_BLUE_SIZE, 1,
                                 GLX_DEPTH_SIZE, 1, GLX_DOUBLEBUFFER, None};

/* Cursor glyph of the standard cursor font: an odd number, between two named shapes. */
static const unsigned int CURSOR_GLYPH = 149;

/* After SIGTERM (or a kiosk's SIGINT) the loop ends at its next frame; if that frame or the
 * clean-up after it hangs (a swap waiting on a window the screen no longer shows), the
 * process ends anyway this long after the signal, with the same status 0. */
static const long kEndDeadlineNs = 250 * 1000 * 1000;

/* A kiosk resets the display's screen-saver timer this often, for servers and savers that
 * take no suspension. */
static const time_t kKeepAwakeSeconds = 30;

/* _NET_WM_STATE's actions, and the source a normal application gives. */
enum { NET_WM_STATE_REMOVE = 0, NET_WM_STATE_ADD = 1, NET_WM_SOURCE_APPLICATION = 1 };

/* The window given to draw into (the root window or another program's), 0 when the show has
 * its own. window is the given one itself, or the show's child filling it when the given
 * window's visual takes no GL context. */
static Window s_given = 0;
/* The show's window (or the given one around it) was destroyed under the show: the loop
 * ends, and the clean-up leaves it alone. */
static bool s_windowGone = false;
/* Full screen as last asked of the window manager, and the key that asked, while held. */
static bool s_fullscreen = false;
static bool s_fullscreenKeyDown = false;
static Cursor s_glyphCursor = None;
static Cursor s_blankCursor = None;

static volatile sig_atomic_t s_endSignal = 0;
static timer_t s_endDeadline;
static bool s_haveEndDeadline = false;
static XErrorHandler s_defaultErrorHandler = nullptr;
static int s_glxErrorBase = 0;

static void onDeadline(int) { _exit(0); }

static void onEndSignal(int) {
    if (s_endSignal) return;
    s_endSignal = 1;
    if (s_haveEndDeadline) {
        struct itimerspec deadline = {};
        deadline.it_value.tv_nsec = kEndDeadlineNs;
        timer_settime(s_endDeadline, 0, &deadline, nullptr);
    }
}

/* SIGTERM, and in a kiosk SIGINT, ask the loop to end; the deadline makes sure it does. */
static void catchEndSignals(void) {
    struct sigaction action = {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = onDeadline;
    sigaction(SIGALRM, &action, nullptr);
    struct sigevent expiry = {};
    expiry.sigev_notify = SIGEV_SIGNAL;
    expiry.sigev_signo = SIGALRM;
    s_haveEndDeadline = timer_create(CLOCK_MONOTONIC, &expiry, &s_endDeadline) == 0;

    action.sa_handler = onEndSignal;
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    if (windowMode.kiosk) sigaction(SIGINT, &action, nullptr);
}

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

static void makeContextCurrent(XVisualInfo* visual) {
    context = glXCreateContext(display, visual, nullptr, True);
    if (!context) {
        fprintf(stderr, "%s: can't open GLX context.\n", commandLineName);
        exit(1);
    }
    if (!glXMakeCurrent(display, window, context)) {
        fprintf(stderr, "%s: can't set GL context.\n", commandLineName);
        exit(1);
    }
}

/* A cursor that shows nothing: one transparent pixel. */
static Cursor blankCursor(void) {
    static const char bits[1] = {0};
    Pixmap pixmap = XCreateBitmapFromData(display, window, bits, 1, 1);
    XColor black = {};
    Cursor cursor = XCreatePixmapCursor(display, pixmap, pixmap, &black, &black, 0, 0);
    XFreePixmap(display, pixmap);
    return cursor;
}

/* The cursor the show's window shows: none while full screen, the glyph otherwise. */
static void defineCursor(bool fullscreen) {
    if (fullscreen && s_blankCursor == None) s_blankCursor = blankCursor();
    XDefineCursor(display, window, fullscreen ? s_blankCursor : s_glyphCursor);
}

/* Full screen asked of the window manager (EWMH) after the window is mapped, with the cursor
 * hidden while full screen. The screen's video mode is never touched. */
static void askFullscreen(bool on) {
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = on ? NET_WM_STATE_ADD : NET_WM_STATE_REMOVE;
    event.xclient.data.l[1] = (long)XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
    event.xclient.data.l[3] = NET_WM_SOURCE_APPLICATION;
    XSendEvent(display, rootWindow, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    defineCursor(on);
    s_fullscreen = on;
}

/* The display's screen saver and power saving stay off while a kiosk runs: suspended where
 * the server can (MIT-SCREEN-SAVER 1.1; the server lifts it when the connection closes),
 * and the timer reset now, which also wakes a saver already on, and every half minute. */
static void holdOffScreenSaver(void) {
    int eventBase, errorBase, major = 0, minor = 0;
    if (XScreenSaverQueryExtension(display, &eventBase, &errorBase) &&
        XScreenSaverQueryVersion(display, &major, &minor) && (major > 1 || (major == 1 && minor >= 1)))
        XScreenSaverSuspend(display, True);
    XResetScreenSaver(display);
}

static time_t monotonicSeconds(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec;
}

/* Whether name is one of the space-separated extensions, whole: GLX_EXT_swap_control is not
 * GLX_EXT_swap_control_tear. */
static bool hasExtension(const char* extensions, const char* name) {
    size_t length = strlen(name);
    for (const char* at = extensions; at && (at = strstr(at, name)); at += length) {
        bool starts = at == extensions || at[-1] == ' ';
        bool ends = at[length] == ' ' || at[length] == '\0';
        if (starts && ends) return true;
    }
    return false;
}

static __GLXextFuncPtr glxFunction(const char* name) {
    return glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name));
}

/* Swaps once a refresh of the display (interval 1) or as soon as a frame is ready (0), where
 * the driver offers a way to ask. SGI's extension knows no interval 0: there the driver's
 * own choice stays. */
static void setSwapInterval(int interval) {
    const char* extensions = glXQueryExtensionsString(display, screen_num);
    if (hasExtension(extensions, "GLX_EXT_swap_control")) {
        auto swapInterval = reinterpret_cast<PFNGLXSWAPINTERVALEXTPROC>(glxFunction("glXSwapIntervalEXT"));
        if (swapInterval) {
            swapInterval(display, window, interval);
            return;
        }
    }
    if (hasExtension(extensions, "GLX_MESA_swap_control")) {
        auto swapInterval = reinterpret_cast<PFNGLXSWAPINTERVALMESAPROC>(glxFunction("glXSwapIntervalMESA"));
        if (swapInterval) {
            swapInterval(interval);
            return;
        }
    }
    if (interval > 0 && hasExtension(extensions, "GLX_SGI_swap_control")) {
        auto swapInterval = reinterpret_cast<PFNGLXSWAPINTERVALSGIPROC>(glxFunction("glXSwapIntervalSGI"));
        if (swapInterval) swapInterval(interval);
    }
}

/* The show's own window, as large as asked, at the top left corner of the screen. */
static void openOwnWindow(int width, int height) {
    if (width == -1) desktopSize(&width, &height);

    XVisualInfo* visual = glXChooseVisual(display, screen_num, visualAttributes);
    if (!visual) exit(1);

    Colormap colormap = XCreateColormap(display, rootWindow, visual->visual, AllocNone);

    // A kiosk reads no keys at all; the show's window reads F besides the quit keys, and its
    // release, so that a held key toggles full screen once.
    XSetWindowAttributes attributes = {};
    attributes.background_pixel = BlackPixel(display, screen_num);
    attributes.border_pixel = BlackPixel(display, screen_num);
    attributes.backing_pixel = BlackPixel(display, screen_num);
    attributes.event_mask = windowMode.kiosk ? StructureNotifyMask
                                             : KeyPressMask | KeyReleaseMask | StructureNotifyMask;
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

    // Full screen from the first frame: the state is set before the window is mapped, where
    // the window manager reads it.
    s_fullscreen = windowMode.fullscreen || windowMode.kiosk;
    if (s_fullscreen) {
        Atom fullscreen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
        XChangeProperty(display, window, XInternAtom(display, "_NET_WM_STATE", False), XA_ATOM, 32,
                        PropModeReplace, reinterpret_cast<unsigned char*>(&fullscreen), 1);
    }

    makeContextCurrent(visual);

    XFree(visual);
    XMapWindow(display, window);
    XMoveWindow(display, window, 0, 0);
    XSync(display, False);

    s_glyphCursor = XCreateFontCursor(display, CURSOR_GLYPH);
    defineCursor(s_fullscreen);

    // Without it, a held key repeats as a release and a press.
    XkbSetDetectableAutoRepeat(display, True, nullptr);
    if (windowMode.kiosk) holdOffScreenSaver();
}

/* An error that says the show's window, or the given one around it, is no more: it was
 * destroyed by another client (a screensaver's daemon may do that before it ends the show),
 * and the swap after it failed. The loop ends as if the window had been closed. Every other
 * error goes to Xlib's own handler, which ends the program with its message. */
static int onXError(Display* errorDisplay, XErrorEvent* error) {
    bool ours = error->resourceid == window || (s_given && error->resourceid == s_given);
    bool gone = error->error_code == BadWindow || error->error_code == BadDrawable ||
                (s_glxErrorBase && (error->error_code == s_glxErrorBase + GLXBadDrawable ||
                                    error->error_code == s_glxErrorBase + GLXBadWindow));
    if (ours && gone) {
        s_windowGone = true;
        return 0;
    }
    return s_defaultErrorHandler(errorDisplay, error);
}

static bool s_lookupFailed = false;
static int onLookupError(Display*, XErrorEvent*) {
    s_lookupFailed = true;
    return 0;
}

/* The given window's attributes, or false when there is no such window. */
static bool givenWindowAttributes(Window given, XWindowAttributes* attributes) {
    XSync(display, False);
    XErrorHandler previous = XSetErrorHandler(onLookupError);
    s_lookupFailed = false;
    Status found = XGetWindowAttributes(display, given, attributes);
    XSync(display, False);
    XSetErrorHandler(previous);
    return found && !s_lookupFailed;
}

/* The visual's GLX description when a GL context can draw in it the way the show's own
 * visual does (RGBA, double-buffered, a depth buffer); else null. */
static XVisualInfo* glVisualOf(Visual* visual) {
    XVisualInfo wanted = {};
    wanted.visualid = XVisualIDFromVisual(visual);
    int count = 0;
    XVisualInfo* info = XGetVisualInfo(display, VisualIDMask, &wanted, &count);
    if (!info) return nullptr;
    int useGL = 0, rgba = 0, doubleBuffer = 0, red = 0, green = 0, blue = 0, depth = 0;
    bool usable = glXGetConfig(display, info, GLX_USE_GL, &useGL) == 0 && useGL &&
                  glXGetConfig(display, info, GLX_RGBA, &rgba) == 0 && rgba &&
                  glXGetConfig(display, info, GLX_DOUBLEBUFFER, &doubleBuffer) == 0 && doubleBuffer &&
                  glXGetConfig(display, info, GLX_RED_SIZE, &red) == 0 && red > 0 &&
                  glXGetConfig(display, info, GLX_GREEN_SIZE, &green) == 0 && green > 0 &&
                  glXGetConfig(display, info, GLX_BLUE_SIZE, &blue) == 0 && blue > 0 &&
                  glXGetConfig(display, info, GLX_DEPTH_SIZE, &depth) == 0 && depth > 0;
    if (usable) return info;
    XFree(info);
    return nullptr;
}

/*
 * Draws into a window that is there already, the root window or another program's (a
 * screensaver daemon's), at its size: no window of the show's own, no keys (the owner of the
 * window owns the input), its resizes and its destruction followed. Where its visual takes
 * no GL context, a child window of the show's visual fills it and follows its size.
 */
static void enterGivenWindow(void) {
    Window given = windowMode.drawInto ? (Window)windowMode.drawInto : rootWindow;
    XWindowAttributes attributes;
    if (!givenWindowAttributes(given, &attributes)) {
        fprintf(stderr, "%s: there is no window 0x%lx on the display.\n", commandLineName, given);
        exit(1);
    }
    if (attributes.c_class == InputOnly) {
        fprintf(stderr, "%s: window 0x%lx takes no drawing (it is input only).\n", commandLineName, given);
        exit(1);
    }
    s_given = given;
    XSelectInput(display, given, StructureNotifyMask);
    windowWidth = attributes.width;
    windowHeight = attributes.height;

    XVisualInfo* visual = glVisualOf(attributes.visual);
    if (visual) {
        window = given;
    } else {
        visual = glXChooseVisual(display, screen_num, visualAttributes);
        if (!visual) exit(1);
        XSetWindowAttributes child = {};
        child.background_pixel = BlackPixel(display, screen_num);
        child.border_pixel = BlackPixel(display, screen_num);
        child.event_mask = StructureNotifyMask;
        child.colormap = XCreateColormap(display, rootWindow, visual->visual, AllocNone);
        window = XCreateWindow(display, given, 0, 0, windowWidth, windowHeight, 0, visual->depth, InputOutput,
                               visual->visual, CWBackPixel | CWBorderPixel | CWEventMask | CWColormap, &child);
        XMapWindow(display, window);
    }
    makeContextCurrent(visual);
    XFree(visual);
    XSync(display, False);
}

int initWindow(int width, int height) {
    display = XOpenDisplay(nullptr);
    if (!display) exit(-1);

    screen_num = DefaultScreen(display);
    rootWindow = RootWindow(display, screen_num);
    catchEndSignals();
    int glxEventBase;
    if (!glXQueryExtension(display, &s_glxErrorBase, &glxEventBase)) s_glxErrorBase = 0;
    s_defaultErrorHandler = XSetErrorHandler(onXError);

    if (windowMode.drawInto || windowMode.drawIntoRoot)
        enterGivenWindow();
    else
        openOwnWindow(width, height);
    setSwapInterval(windowMode.noVsync ? 0 : 1);
    return 0;
}

void loopWindow(frameFn_t frameFn, eventFn_t eventFn) {
    Atom wmProtocols = XInternAtom(display, "WM_PROTOCOLS", False);
    Atom wmDeleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    if (!s_given) XSetWMProtocols(display, window, &wmDeleteWindow, 1);

    eventFn(WINDOW_EVENT_SIZE, windowWidth, windowHeight);

    time_t keptAwakeAt = monotonicSeconds();
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
                if ((text[0] == 'f' || text[0] == 'F') && !s_fullscreenKeyDown) {
                    s_fullscreenKeyDown = true;
                    askFullscreen(!s_fullscreen);
                }
                break;
            case KeyRelease:
                XLookupString(&event.xkey, text, 1, nullptr, nullptr);
                if (text[0] == 'f' || text[0] == 'F') s_fullscreenKeyDown = false;
                break;
            case DestroyNotify:
                // Destroyed by another client: there is nothing left to take down.
                s_windowGone = true;
                return;
            case ConfigureNotify:
                // The given window around the show's child: the child follows its size.
                if (event.xconfigure.window != window) {
                    XResizeWindow(display, window, event.xconfigure.width, event.xconfigure.height);
                    break;
                }
                if (event.xconfigure.width == windowWidth && event.xconfigure.height == windowHeight) break;
                windowWidth = event.xconfigure.width;
                windowHeight = event.xconfigure.height;
                eventFn(WINDOW_EVENT_SIZE, windowWidth, windowHeight);
                break;
            case ClientMessage:
                if (event.xclient.message_type == wmProtocols &&
                    (Atom)event.xclient.data.l[0] == wmDeleteWindow && !windowMode.kiosk)
                    return;
                break;
            default:
                break;
            }
        }
        if (r != 0 || s_endSignal || s_windowGone) return;

        if (windowMode.kiosk && monotonicSeconds() - keptAwakeAt >= kKeepAwakeSeconds) {
            XResetScreenSaver(display);
            keptAwakeAt = monotonicSeconds();
        }
    }
}

int cleanWindow(void) {
    if (display) {
        // A given window is its owner's to destroy; the show's own, or its child, is the show's.
        if (window && window != s_given && !s_windowGone) XDestroyWindow(display, window);
        XCloseDisplay(display);
    }
    return 0;
}

const char* checkDisplay(int* status) {
    static char why[320];
    const char* name = XDisplayName(nullptr);
    Display* tried = XOpenDisplay(nullptr);
    if (!tried) {
        *status = 255;
        if (!name || !*name)
            snprintf(why, sizeof why, "no X display is set (DISPLAY is empty)");
        else
            snprintf(why, sizeof why,
                     "cannot open the X display \"%s\": is its server running, and may this user connect to it?",
                     name);
        return why;
    }
    int errorBase, eventBase;
    const char* problem = nullptr;
    if (!glXQueryExtension(tried, &errorBase, &eventBase)) {
        problem = "offers no OpenGL (its server has no GLX extension)";
    } else {
        XVisualInfo* visual = glXChooseVisual(tried, DefaultScreen(tried), visualAttributes);
        if (visual)
            XFree(visual);
        else
            problem = "offers no OpenGL visual with double buffering and a depth buffer";
    }
    XCloseDisplay(tried);
    *status = problem ? 1 : 0;
    if (!problem) return nullptr;
    snprintf(why, sizeof why, "the X display \"%s\" %s", name, problem);
    return why;
}
