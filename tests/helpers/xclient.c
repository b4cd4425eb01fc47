/*
 * nv_xclient: what the end-to-end scripts ask of the X server that the standard tools do not
 * answer.
 *
 *   nv_xclient window WxH [gl|nogl]  makes and maps a top-level window titled "nv test
 *                                    window" (gl: the screen's default visual; nogl: a
 *                                    visual no GL context can draw in double-buffered),
 *                                    prints its id as 0x... and keeps it until killed
 *   nv_xclient cursor X Y            moves the pointer to (X, Y) and prints the cursor's
 *                                    image there as "WxH visible N" (N: pixels not fully
 *                                    transparent), from XFixes
 *   nv_xclient destroy WIN           destroys another client's window, as a client may
 *   nv_xclient saver-timeout S       the server's screen saver starts after S idle seconds
 *   nv_xclient saver-state           "on", "off" or "disabled": the server's screen saver
 *
 * Exit status 0, or 1 with a line on standard error.
 */
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/scrnsaver.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int fail(const char* what)
{
    fprintf(stderr, "nv_xclient: %s\n", what);
    return 1;
}

/* A visual of the default depth that GLX serves without double buffering. */
static Visual* visualWithoutDoubleBuffer(Display* d, int screen, int* depth)
{
    XVisualInfo wanted;
    memset(&wanted, 0, sizeof wanted);
    wanted.screen = screen;
    wanted.depth = DefaultDepth(d, screen);
    int count = 0;
    XVisualInfo* all = XGetVisualInfo(d, VisualScreenMask | VisualDepthMask, &wanted, &count);
    Visual* found = NULL;
    for (int i = 0; i < count && !found; i++) {
        int doubleBuffer = 1;
        if (glXGetConfig(d, &all[i], GLX_DOUBLEBUFFER, &doubleBuffer) == 0 && !doubleBuffer) {
            found = all[i].visual;
            *depth = all[i].depth;
        }
    }
    if (all) XFree(all);
    return found;
}

static int makeWindow(Display* d, const char* size, const char* kind)
{
    unsigned width, height;
    if (sscanf(size, "%ux%u", &width, &height) != 2) return fail("window: size WxH");
    int screen = DefaultScreen(d);
    Window root = RootWindow(d, screen);
    Visual* visual = DefaultVisual(d, screen);
    int depth = DefaultDepth(d, screen);
    if (kind && !strcmp(kind, "nogl")) {
        visual = visualWithoutDoubleBuffer(d, screen, &depth);
        if (!visual) return fail("window: no visual without double buffering");
    }
    XSetWindowAttributes attributes;
    memset(&attributes, 0, sizeof attributes);
    attributes.background_pixel = WhitePixel(d, screen);
    attributes.border_pixel = 0;
    attributes.colormap = XCreateColormap(d, root, visual, AllocNone);
    attributes.event_mask = StructureNotifyMask;
    Window w = XCreateWindow(d, root, 0, 0, width, height, 0, depth, InputOutput, visual,
                             CWBackPixel | CWBorderPixel | CWColormap | CWEventMask, &attributes);
    XStoreName(d, w, "nv test window");
    XMapWindow(d, w);
    for (;;) { /* mapped: the id can be used */
        XEvent e;
        XNextEvent(d, &e);
        if (e.type == MapNotify) break;
    }
    printf("0x%lx\n", w);
    fflush(stdout);
    for (;;) {
        XEvent e;
        XNextEvent(d, &e);
    }
}

static int cursor(Display* d, int x, int y)
{
    int eventBase, errorBase;
    if (!XFixesQueryExtension(d, &eventBase, &errorBase)) return fail("no XFixes");
    XWarpPointer(d, None, DefaultRootWindow(d), 0, 0, 0, 0, x, y);
    XSync(d, False);
    usleep(200000);
    XFixesCursorImage* image = XFixesGetCursorImage(d);
    if (!image) return fail("no cursor image");
    unsigned long visible = 0;
    for (unsigned long i = 0; i < (unsigned long)image->width * image->height; i++)
        if ((image->pixels[i] >> 24) & 0xff) visible++;
    printf("%ux%u visible %lu\n", image->width, image->height, visible);
    XFree(image);
    return 0;
}

int main(int argc, char** argv)
{
    if (argc < 2) return fail("usage: window WxH [gl|nogl] | cursor X Y | destroy WIN | saver-timeout S | saver-state");
    Display* d = XOpenDisplay(NULL);
    if (!d) return fail("cannot open the display");
    if (!strcmp(argv[1], "window") && argc >= 3) return makeWindow(d, argv[2], argc > 3 ? argv[3] : NULL);
    if (!strcmp(argv[1], "cursor") && argc == 4) return cursor(d, atoi(argv[2]), atoi(argv[3]));
    if (!strcmp(argv[1], "destroy") && argc == 3) {
        XDestroyWindow(d, (Window)strtoul(argv[2], NULL, 0));
        XSync(d, False);
        return 0;
    }
    if (!strcmp(argv[1], "saver-timeout") && argc == 3) {
        XSetScreenSaver(d, atoi(argv[2]), 0, DontPreferBlanking, AllowExposures);
        XSync(d, False);
        return 0;
    }
    if (!strcmp(argv[1], "saver-state")) {
        int eventBase, errorBase;
        if (!XScreenSaverQueryExtension(d, &eventBase, &errorBase)) return fail("no MIT-SCREEN-SAVER");
        XScreenSaverInfo* info = XScreenSaverAllocInfo();
        XScreenSaverQueryInfo(d, DefaultRootWindow(d), info);
        puts(info->state == ScreenSaverOn ? "on" : info->state == ScreenSaverOff ? "off" : "disabled");
        XFree(info);
        return 0;
    }
    return fail("unknown command");
}
