/*
 * The logo scene: the picture loaded once through the library, then each frame the
 * picture lit by the beat and the sixteen spectrum bars over it, in orthographic
 * canvas units.
 */
#include "Scene0.h"

#include <stdio.h>
#include <GL/gl.h>

#include "global.h"

/* The canvas the scene draws on, whatever the viewport: y grows downward. */
static const float CANVAS_W = 800;
static const float CANVAS_H = 600;
static const int BAR_COUNT = 16;
static const float BAR_SPACING = 45;    /* canvas units between bars */
static const float BAR_MIDDLE = 300;    /* the line the bars are centred on */
static const float BAR_HALF_SCALE = 250; /* half a bar's length per unit of band value */

Scene0::Scene0() : Scene() {
    nork_image_t* image = nork_imageFromPNG(pNorkLib, "data/wisp.png");
    nork_image_toRGBA8888(pNorkLib, image);
    // A missing picture still gives a texture name, one without an image.
    texNork = util_textureFromNorkImage(pNorkLib, image);
    printf("texNork: %d\n", texNork);
}

void Scene0::run(float f) {
    (void)f;

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, CANVAS_W, CANVAS_H, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    // The picture, darkened by the beat level; the blend function is whatever
    // the frame left current.
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texNork);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    float b = pInfo->base;
    glColor3f(b, b, b);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(0, 0);
    glTexCoord2f(0, 1);
    glVertex2f(0, CANVAS_H);
    glTexCoord2f(1, 1);
    glVertex2f(CANVAS_W, CANVAS_H);
    glTexCoord2f(1, 0);
    glVertex2f(CANVAS_W, 0);
    glEnd();

    // Spectrum bars: texturing stays on, so they take the colour of the last
    // texel addressed, (1, 0).
    glColor3f(1, 1, 1);
    glBegin(GL_LINES);
    for (int i = 0; i < BAR_COUNT; i++) {
        float s = pInfo->spectrum16[i] * BAR_HALF_SCALE;
        float x = i * BAR_SPACING;
        glVertex2f(x, BAR_MIDDLE + s);
        glVertex2f(x, BAR_MIDDLE - s);
    }
    glEnd();
}

Scene0::~Scene0() {}
