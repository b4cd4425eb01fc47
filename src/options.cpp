/*
 * The command line: GNU-style long options (a value after a space or an '='), refused
 * whole when anything in it is not understood, so that a mistyped option never starts a
 * show the user did not ask for.
 */
#include "options.h"

#include <stdarg.h>
#include <string.h>

#include "nv_version.h"

/* The largest side a window may be asked for, in pixels: what GL drivers draw to. */
static const int kMaxSide = 16384;
/* X resource ids have 29 bits. */
static const unsigned long kMaxWindowId = 0x1fffffff;

static void refuse(options_t* options, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(options->refusal, sizeof options->refusal, format, args);
    va_end(args);
    options->action = OPTIONS_REFUSED;
}

/* Digits of the base (10, or 16 in either case) only, as a value from 1 to max; false for
 * anything else or more. */
static bool parseNumber(const char* text, const char* end, unsigned base, unsigned long max, unsigned long* value) {
    if (text == end) return false;
    unsigned long v = 0;
    for (const char* c = text; c < end; c++) {
        char lower = (char)(*c | 0x20);
        unsigned digit;
        if (*c >= '0' && *c <= '9')
            digit = (unsigned)(*c - '0');
        else if (base == 16 && lower >= 'a' && lower <= 'f')
            digit = (unsigned)(lower - 'a' + 10);
        else
            return false;
        v = v * base + digit;
        if (v > max) return false;
    }
    if (v == 0) return false;
    *value = v;
    return true;
}

/* A window id, decimal or 0x hexadecimal, with blanks around it when blanksAround. */
static bool parseWindowId(const char* text, bool blanksAround, unsigned long* id) {
    const char* end = text + strlen(text);
    if (blanksAround) {
        while (*text == ' ' || *text == '\t') text++;
        while (end > text && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\n')) end--;
    }
    if (end - text > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return parseNumber(text + 2, end, 16, kMaxWindowId, id);
    return parseNumber(text, end, 10, kMaxWindowId, id);
}

/* WIDTHxHEIGHT, each side from 1 to kMaxSide. */
static bool parseSize(const char* text, int* width, int* height) {
    const char* x = strpbrk(text, "xX");
    unsigned long w, h;
    if (!x || !parseNumber(text, x, 10, kMaxSide, &w) || !parseNumber(x + 1, x + 1 + strlen(x + 1), 10, kMaxSide, &h))
        return false;
    *width = (int)w;
    *height = (int)h;
    return true;
}

/* Whether arg is the option name, alone or with "=value"; the value (null when alone). */
static bool isOption(const char* arg, const char* name, const char** value) {
    size_t length = strlen(name);
    if (strncmp(arg, name, length) != 0) return false;
    if (arg[length] == '\0') {
        *value = nullptr;
        return true;
    }
    if (arg[length] != '=') return false;
    *value = arg + length + 1;
    return true;
}

/* An option's value: the one after its '=', else the next argument (taken), else null. */
static const char* valueOf(const char* afterEquals, int argc, char* const argv[], int* i) {
    if (afterEquals) return afterEquals;
    if (*i + 1 < argc) return argv[++*i];
    return nullptr;
}

void parseOptions(int argc, char* const argv[], const char* saverWindow, options_t* options) {
    *options = options_t();
    options->action = OPTIONS_RUN;
    options->width = -1;
    options->height = 600;

    bool sized = false, soundAsked = false, checkDisplay = false;
    unsigned long windowId = 0;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        const char* value = nullptr;
        if (!strcmp(arg, "--help") || !strcmp(arg, "-h")) {
            options->action = OPTIONS_HELP;
            return;
        }
        if (!strcmp(arg, "--version") || !strcmp(arg, "-V")) {
            options->action = OPTIONS_VERSION;
            return;
        }
        if (isOption(arg, "--size", &value)) {
            value = valueOf(value, argc, argv, &i);
            if (!value) return refuse(options, "--size needs a value, such as 1920x1080");
            if (!parseSize(value, &options->width, &options->height))
                return refuse(options, "--size takes WIDTHxHEIGHT, each from 1 to %d, such as 1920x1080, not '%s'",
                              kMaxSide, value);
            sized = true;
        } else if (isOption(arg, "--window-id", &value)) {
            value = valueOf(value, argc, argv, &i);
            if (!value) return refuse(options, "--window-id needs a value, such as 0x2a00007");
            if (!parseWindowId(value, false, &windowId))
                return refuse(options, "--window-id takes a window id, decimal or 0x hexadecimal, not '%s'", value);
        } else if (!strcmp(arg, "--root")) {
            options->window.drawIntoRoot = true;
        } else if (!strcmp(arg, "--fullscreen")) {
            options->window.fullscreen = true;
        } else if (!strcmp(arg, "--kiosk")) {
            options->window.kiosk = true;
        } else if (!strcmp(arg, "--sound")) {
            soundAsked = true;
        } else if (!strcmp(arg, "--no-vsync")) {
            options->window.noVsync = true;
        } else if (!strcmp(arg, "--check-display")) {
            checkDisplay = true;
        } else if (arg[0] == '-') {
            return refuse(options, "unknown option '%s'", arg);
        } else {
            return refuse(options, "unexpected argument '%s'", arg);
        }
    }

    windowMode_t& mode = options->window;
    bool ownWindow = mode.fullscreen || mode.kiosk || sized;
    if ((windowId || mode.drawIntoRoot) && ownWindow)
        return refuse(options, "--window-id and --root draw into a window that is there already; "
                               "--fullscreen, --kiosk and --size make one");
    if (mode.kiosk && sized) return refuse(options, "a kiosk is always full screen; it takes no --size");

    // A screensaver daemon names its window in the environment; a show asked for a window
    // of its own, or for another window by option, does not look there.
    if (!windowId && !ownWindow && saverWindow && *saverWindow &&
        !parseWindowId(saverWindow, true, &windowId))
        return refuse(options, "XSCREENSAVER_WINDOW is not a window id: '%s'", saverWindow);
    mode.drawInto = windowId;
    options->sound = soundAsked || !(mode.drawInto || mode.drawIntoRoot);
    if (checkDisplay) options->action = OPTIONS_CHECK_DISPLAY;
}

/* The name the program was started under, without its folder. */
static const char* baseName(const char* program) {
    const char* slash = program ? strrchr(program, '/') : nullptr;
    return slash ? slash + 1 : program ? program : "velandor";
}

void printUsage(FILE* to, const char* program) {
    fprintf(to,
            "Usage: %s [OPTION]...\n"
            "Shows nork velandor, a real-time audiovisual demo, in a window as large as the desktop.\n"
            "\n"
            "  --fullscreen      full screen, without decorations or a cursor\n"
            "  --kiosk           full screen that keys, clicks and the window manager do not end,\n"
            "                    only SIGTERM or SIGINT; the screen saver is held off meanwhile\n"
            "  --size WxH        a window of W by H pixels instead of the desktop's size\n"
            "  --window-id ID    draw into another program's window, such as a screensaver's (ID\n"
            "                    decimal or 0x hexadecimal; XSCREENSAVER_WINDOW names one too)\n"
            "  --root            draw into the root window (XSCREENSAVER_WINDOW's when set)\n"
            "  --sound           play the music when drawing into another window too\n"
            "  --no-vsync        draw as fast as possible, not once a refresh of the display\n"
            "  --check-display   say in one line what keeps the show off the display, and end\n"
            "  -h, --help        this text\n"
            "  -V, --version     the version\n"
            "\n"
            "Keys in the show's own window: q, Q, Escape or Ctrl+C end it, F toggles full screen\n"
            "(none in a kiosk). SIGTERM ends the show with status 0.\n",
            baseName(program));
}

void printVersion(FILE* to, const char* program) {
    fprintf(to, "%s (nork velandor) %s\n", baseName(program), NV_VERSION);
}
