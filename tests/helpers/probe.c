/*
 * Preloaded into the demo by the soak and end-to-end tests; the demo itself is unchanged.
 *
 * Wraps glXSwapBuffers: counts the frames and reads glGetError before every swap (error
 * flags stay set until read, so nothing raised during the frame is missed).
 *
 * With NV_CLOCK_STEP_US=S set, also answers the demo's own reads of the monotonic clock
 * (clock_gettime calls from the program's code; the libraries keep the real clock) with a
 * clock that starts at the real time of its first call and moves S microseconds per swap;
 * with NV_CLOCK_STOP=N it stands still from the N-th swap on. The frames then depend on
 * their number alone, and once the clock stands every frame is the same picture: two runs
 * can be compared pixel for pixel.
 *
 * With NV_HOLD_AT=N and NV_HOLD_WHILE=PATH, the N-th swap does not return while PATH
 * exists: frame N stays on the screen for a screenshot (effects that move by the frame, not
 * by the clock, move no further), and the demo carries on when the file is removed.
 *
 * With NV_KEEP_LIBRARIES set, dlclose does nothing: the GL driver that XCloseDisplay
 * unloads stays mapped, so that the leak check at exit can still name the driver's own
 * allocations (and the suppressions for them apply) instead of "<unknown module>".
 *
 * With NV_SWAP_INTERVAL_OUT=PATH, the swap-interval functions the demo looks up through
 * glXGetProcAddress(ARB) come back wrapped: each call appends "<function> <interval>" to PATH
 * and then calls the driver's. With NV_GLX_EXTENSIONS set, glXQueryExtensionsString answers
 * that list instead of the driver's, so that a test chooses which ways of asking are offered;
 * the calls are then only written down (the driver may not serve what the list offers).
 *
 * NV_GLCHECK_OUT names a file that is rewritten every 64 frames and at exit with
 *   frames <swaps> errors <count> first <code> at <frame> heap <bytes> free <bytes>
 * (first 0 at 0 while no error was seen; heap is what malloc has handed out and not yet
 * taken back, to tell the program's own growth from the driver's mappings; free is what
 * malloc holds in its arenas between the blocks in use, ready for reuse but resident).
 */
#define _GNU_SOURCE
#include <GL/gl.h>
#include <GL/glx.h>
#include <dlfcn.h>
#include <link.h>
#include <malloc.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

typedef void (*swap_fn)(Display*, GLXDrawable);
typedef int (*clock_gettime_fn)(clockid_t, struct timespec*);

static swap_fn s_realSwap;
static unsigned long s_frames;
static unsigned long s_errors;
static unsigned s_firstError;
static unsigned long s_firstErrorFrame;

static void report(void)
{
    const char* path = getenv("NV_GLCHECK_OUT");
    if (!path) return;
    char tmp[4096];
    if (snprintf(tmp, sizeof tmp, "%s.tmp", path) >= (int)sizeof tmp) return;
    FILE* f = fopen(tmp, "w");
    if (!f) return;
    struct mallinfo2 heap = mallinfo2();
    fprintf(f, "frames %lu errors %lu first %#x at %lu heap %zu free %zu\n", s_frames, s_errors,
            s_firstError, s_firstErrorFrame, heap.uordblks + heap.hblkhd, heap.fordblks);
    fclose(f);
    rename(tmp, path); /* readers never see a half-written line */
}

int dlclose(void* handle)
{
    static int (*real)(void*);
    if (getenv("NV_KEEP_LIBRARIES")) return 0;
    if (!real) real = (int (*)(void*))dlsym(RTLD_NEXT, "dlclose");
    return real(handle);
}

/* The executable segments of the program itself: the first object dl_iterate_phdr reports. */
static uintptr_t s_codeFrom[8], s_codeTo[8];
static int s_codeRanges = -1;

static int collectProgram(struct dl_phdr_info* info, size_t size, void* data)
{
    (void)size;
    (void)data;
    s_codeRanges = 0;
    for (int i = 0; i < info->dlpi_phnum && s_codeRanges < 8; i++) {
        const ElfW(Phdr)* ph = &info->dlpi_phdr[i];
        if (ph->p_type != PT_LOAD || !(ph->p_flags & PF_X)) continue;
        s_codeFrom[s_codeRanges] = info->dlpi_addr + ph->p_vaddr;
        s_codeTo[s_codeRanges++] = info->dlpi_addr + ph->p_vaddr + ph->p_memsz;
    }
    return 1; /* the program only */
}

static int fromProgram(const void* caller)
{
    if (s_codeRanges < 0) dl_iterate_phdr(collectProgram, NULL);
    for (int i = 0; i < s_codeRanges; i++)
        if ((uintptr_t)caller >= s_codeFrom[i] && (uintptr_t)caller < s_codeTo[i]) return 1;
    return 0;
}

int clock_gettime(clockid_t clock, struct timespec* ts)
{
    static clock_gettime_fn real;
    static long long step = -1, stop, start;
    if (!real) real = (clock_gettime_fn)dlsym(RTLD_NEXT, "clock_gettime");
    if (step < 0) {
        const char* s = getenv("NV_CLOCK_STEP_US");
        const char* n = getenv("NV_CLOCK_STOP");
        step = s ? atoll(s) : 0;
        stop = n ? atoll(n) : -1;
    }
    if (step == 0 || clock != CLOCK_MONOTONIC || !fromProgram(__builtin_return_address(0)))
        return real(clock, ts);
    if (start == 0) {
        struct timespec now;
        real(CLOCK_MONOTONIC, &now);
        start = now.tv_sec * 1000000LL + now.tv_nsec / 1000;
    }
    long long frames = (long long)s_frames;
    if (stop >= 0 && frames > stop) frames = stop;
    long long us = start + frames * step;
    ts->tv_sec = (time_t)(us / 1000000);
    ts->tv_nsec = (long)(us % 1000000) * 1000;
    return 0;
}

void glXSwapBuffers(Display* dpy, GLXDrawable drawable)
{
    if (!s_realSwap) {
        s_realSwap = (swap_fn)dlsym(RTLD_NEXT, "glXSwapBuffers");
        atexit(report);
    }
    for (GLenum e = glGetError(); e != GL_NO_ERROR; e = glGetError()) {
        if (s_errors++ == 0) {
            s_firstError = e;
            s_firstErrorFrame = s_frames;
        }
        if (s_errors > 1000) break; /* a lost context answers errors for ever */
    }
    s_realSwap(dpy, drawable);
    if (++s_frames % 64 == 0) report();
    const char* holdAt = getenv("NV_HOLD_AT");
    const char* holdWhile = getenv("NV_HOLD_WHILE");
    if (holdAt && holdWhile && s_frames == strtoul(holdAt, NULL, 10)) {
        report();
        const struct timespec pause = {0, 10000000};
        while (access(holdWhile, F_OK) == 0) nanosleep(&pause, NULL);
    }
}

/* The swap-interval calls, written down and passed on. */
typedef int (*interval_mesa_sgi_fn)(unsigned int);
typedef void (*interval_ext_fn)(Display*, GLXDrawable, int);
typedef __GLXextFuncPtr (*proc_fn)(const GLubyte*);
static interval_ext_fn s_realIntervalEXT;
static interval_mesa_sgi_fn s_realIntervalMESA, s_realIntervalSGI;

/* Writes the call down; whether to pass it on to the driver. */
static int noteInterval(const char* function, int interval)
{
    const char* path = getenv("NV_SWAP_INTERVAL_OUT");
    FILE* f = path ? fopen(path, "a") : NULL;
    if (f) {
        fprintf(f, "%s %d\n", function, interval);
        fclose(f);
    }
    return getenv("NV_GLX_EXTENSIONS") == NULL;
}

static void wrappedIntervalEXT(Display* dpy, GLXDrawable drawable, int interval)
{
    if (noteInterval("glXSwapIntervalEXT", interval) && s_realIntervalEXT)
        s_realIntervalEXT(dpy, drawable, interval);
}

static int wrappedIntervalMESA(unsigned int interval)
{
    if (noteInterval("glXSwapIntervalMESA", (int)interval) && s_realIntervalMESA)
        return s_realIntervalMESA(interval);
    return 0;
}

static int wrappedIntervalSGI(unsigned int interval)
{
    if (noteInterval("glXSwapIntervalSGI", (int)interval) && s_realIntervalSGI)
        return s_realIntervalSGI(interval);
    return 0;
}

static __GLXextFuncPtr lookUp(const char* which, const GLubyte* name)
{
    proc_fn real = (proc_fn)dlsym(RTLD_NEXT, which);
    __GLXextFuncPtr found = real ? real(name) : NULL;
    if (!getenv("NV_SWAP_INTERVAL_OUT")) return found;
    const char* n = (const char*)name;
    if (!strcmp(n, "glXSwapIntervalEXT")) {
        s_realIntervalEXT = (interval_ext_fn)found;
        return (__GLXextFuncPtr)wrappedIntervalEXT;
    }
    if (!strcmp(n, "glXSwapIntervalMESA")) {
        s_realIntervalMESA = (interval_mesa_sgi_fn)found;
        return (__GLXextFuncPtr)wrappedIntervalMESA;
    }
    if (!strcmp(n, "glXSwapIntervalSGI")) {
        s_realIntervalSGI = (interval_mesa_sgi_fn)found;
        return (__GLXextFuncPtr)wrappedIntervalSGI;
    }
    return found;
}

__GLXextFuncPtr glXGetProcAddressARB(const GLubyte* name) { return lookUp("glXGetProcAddressARB", name); }
__GLXextFuncPtr glXGetProcAddress(const GLubyte* name) { return lookUp("glXGetProcAddress", name); }

const char* glXQueryExtensionsString(Display* dpy, int screen)
{
    const char* chosen = getenv("NV_GLX_EXTENSIONS");
    if (chosen) return chosen;
    typedef const char* (*query_fn)(Display*, int);
    query_fn real = (query_fn)dlsym(RTLD_NEXT, "glXQueryExtensionsString");
    return real ? real(dpy, screen) : "";
}
