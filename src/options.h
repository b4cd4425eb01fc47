/*
 * The command line, read in one place: what the show is asked to do and where. Reading it
 * prints nothing and needs no display; the driver answers what it asks for.
 */
#ifndef OPTIONS_H
#define OPTIONS_H

#include <stdio.h>

#include "window.h"

/* What the command line asks for. */
enum { OPTIONS_RUN, OPTIONS_HELP, OPTIONS_VERSION, OPTIONS_CHECK_DISPLAY, OPTIONS_REFUSED };

typedef struct {
    int action;
    /* The window's size: -1 (and 600) asks for the desktop's, as without options. */
    int width, height;
    windowMode_t window;
    /* The music plays; only a show drawn into another window is silent, unless --sound. */
    bool sound;
    /* Why the command line was refused, for OPTIONS_REFUSED. */
    char refusal[160];
} options_t;

/* Reads argv. saverWindow is the value of XSCREENSAVER_WINDOW (or null): a screensaver
 * daemon names the window to draw into there. */
void parseOptions(int argc, char* const argv[], const char* saverWindow, options_t* options);

/* The usage, naming the program as it was started. */
void printUsage(FILE* to, const char* program);
void printVersion(FILE* to, const char* program);

#endif
