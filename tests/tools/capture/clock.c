/*
 * A stand-in for the demo under the capture library (LD_PRELOAD): it reads the clocks the
 * way a program does, before each of its frames, and swaps. Under the library the program's
 * clock starts on a whole second when the library is loaded and moves on by exactly one
 * frame period per swap, rounded down to the microsecond without drift: frame 0 reads exactly
 * the start, frame k reads k / fps seconds later, on the monotonic and the wall clock alike.
 *
 *   clock FRAMES FPS
 *
 * Prints a line for every frame that is off and exits 1 if any is; 2 on bad usage or when
 * no GL window can be made.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/time.h>
#include <time.h>

#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>

int main(int argc, char** argv)
{
    int frames = argc == 3 ? atoi(argv[1]) : 0, fps = argc == 3 ? atoi(argv[2]) : 0;
    if (frames < 1 || fps < 1) {
        fprintf(stderr, "usage: clock FRAMES FPS\n");
        return 2;
    }
    Display* dpy = XOpenDisplay(NULL);
    int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, None};
    XVisualInfo* vi = dpy ? glXChooseVisual(dpy, DefaultScreen(dpy), attributes) : NULL;
    if (!vi) {
        fprintf(stderr, "clock: no display or no double-buffered visual\n");
        return 2;
    }
    XSetWindowAttributes swa = {0};
    swa.colormap = XCreateColormap(dpy, RootWindow(dpy, vi->screen), vi->visual, AllocNone);
    Window win = XCreateWindow(dpy, RootWindow(dpy, vi->screen), 0, 0, 32, 32, 0, vi->depth, InputOutput,
                               vi->visual, CWColormap, &swa);
    GLXContext ctx = glXCreateContext(dpy, vi, NULL, True);
    if (!ctx || !glXMakeCurrent(dpy, win, ctx)) {
        fprintf(stderr, "clock: no GL context\n");
        return 2;
    }

    int bad = 0;
    int64_t monotonic0 = 0, wall0 = 0;
    for (int k = 0; k < frames; k++) {
        struct timespec ts;
        struct timeval tv;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        gettimeofday(&tv, NULL);
        int64_t monotonic = (int64_t)ts.tv_sec * 1000000000 + ts.tv_nsec;
        int64_t wall = (int64_t)tv.tv_sec * 1000000 + tv.tv_usec;
        if (k == 0) {
            monotonic0 = monotonic;
            wall0 = wall;
        }
        /* The start is a whole second; frame k lies k / fps after it, in whole microseconds. */
        int64_t want = (int64_t)k * 1000000 / fps;
        if (monotonic0 % 1000000000 != 0 || wall0 % 1000000 != 0 || monotonic - monotonic0 != want * 1000 ||
            wall - wall0 != want) {
            if (++bad <= 5)
                printf("frame %d: monotonic %lld ns after its start (%lld ns into its second), wall %lld us "
                       "after (%lld us into its second); wanted %lld us\n",
                       k, (long long)(monotonic - monotonic0), (long long)(monotonic0 % 1000000000),
                       (long long)(wall - wall0), (long long)(wall0 % 1000000), (long long)want);
        }
        glClear(GL_COLOR_BUFFER_BIT);
        glXSwapBuffers(dpy, win);
    }
    glXMakeCurrent(dpy, None, NULL);
    glXDestroyContext(dpy, ctx);
    XDestroyWindow(dpy, win);
    XCloseDisplay(dpy);
    printf("%d frames at %d per second, %d off\n", frames, fps, bad);
    return bad ? 1 : 0;
}
