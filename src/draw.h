/*
 * The picture of one frame, apart from the driver's clock, sound and memory
 * housekeeping: the demo's frame, the GL layer's comparison with real GL and
 * the frame benchmark all draw through this one function.
 */
#ifndef DRAW_H
#define DRAW_H

#include "Scene.h"

/* Draws one frame into a window of winW x winH pixels: clear, the letterbox lifted
 * by the beat level base (its amplitude swings with t, seconds since start), the
 * sky, the default camera, scene's frame of deltaTime seconds, and the logo
 * (texture texLogo) added over the whole window. */
void drawFrame(Scene* scene, int texLogo, int winW, int winH, float t, float deltaTime, float base);

#endif
