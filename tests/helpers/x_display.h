/*
 * For tests that open the window layer's window: initWindow ends the process
 * silently when it cannot connect, so the test first makes sure the server
 * answers (a loaded machine may need a moment) and says so when it does not.
 */
#ifndef TESTS_X_DISPLAY_H
#define TESTS_X_DISPLAY_H

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
#include <X11/Xlib.h>

inline bool xServerAnswers() {
    const char* name = getenv("DISPLAY");
    if (!name) {
        fprintf(stderr, "DISPLAY is not set: these tests need an X server\n");
        return false;
    }
    for (int attempt = 0; attempt < 10; attempt++) {
        Display* d = XOpenDisplay(nullptr);
        if (d) {
            XCloseDisplay(d);
            return true;
        }
        fprintf(stderr, "X server %s did not answer, trying again\n", name);
        sleep(1);
    }
    return false;
}

#endif
