/*
 * One frame's picture, as GL calls: what the driver draws between reading the
 * clock and reading the spectrum. It takes plain values only, so that the demo,
 * the browser GL layer's comparison with real GL and the frame benchmark draw
 * the very same frame.
 */
#include "draw.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "frame.h"

/* The logo quad, GL_T2F_V3F (s, t, x, y, z), in normalised device coordinates:
 * lower left of the window, its foot cut off by the window's edge. */
static const float oiaLogo[20] = {
    1, 0, -0.28f, -0.4f,  0,
    0, 0, -0.98f, -0.4f,  0,
    0, 1, -0.98f, -1.25f, 0,
    1, 1, -0.28f, -1.25f, 0,
};

void drawFrame(Scene* scene, int texLogo, int winW, int winH, float t, float deltaTime, float base) {
    int realH = letterboxHeight(winW);
    int offH = letterboxOffset(winH, realH);

    glViewport(0, 0, winW, winH);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    // The letterbox, lifted by the beat.
    glViewport(0, letterboxY(offH, base, t), winW, realH);

    // Sky: flat light blue below the middle, shading to dark blue at the top.
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glDepthFunc(GL_ALWAYS);
    glDisable(GL_TEXTURE_2D);
    glBegin(GL_QUAD_STRIP);
    glColor4f(0.5f, 0.7f, 0.9f, 1);
    glVertex3i(-1, -1, 1);
    glVertex3i(1, -1, 1);
    glColor4f(0.5f, 0.7f, 0.9f, 1);
    glVertex3i(-1, 0, 1);
    glVertex3i(1, 0, 1);
    glColor4f(0.2f, 0.3f, 0.6f, 1);
    glVertex3i(-1, 1, 1);
    glVertex3i(1, 1, 1);
    glEnd();
    glDepthFunc(GL_LESS);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();

    // Default camera; the scene sets its own.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(100, 1, 1, 150);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0, 0, -50, 0, 0, 0, 0, 1, 0);

    scene->run(deltaTime);

    // Logo overlay: over the whole window, in device coordinates, added onto the
    // picture at 80 % of its brightness.
    glViewport(0, 0, winW, winH);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glBindTexture(GL_TEXTURE_2D, texLogo);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glColor4f(1, 1, 1, 0.8f);
    glInterleavedArrays(GL_T2F_V3F, 0, oiaLogo);
    glDrawArrays(GL_QUADS, 0, 4);
    glDisable(GL_BLEND);
}
