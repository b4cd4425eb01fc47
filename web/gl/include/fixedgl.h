/*
 * Test hook of the fixed-function layer: draws deliberately wrong so that a
 * comparison against real GL can show it notices.
 *   "lighting"  lit vertices take their colour as if lighting were off
 *   "emission"  the material's emission is left out of the lighting (the demo's own
 *               lighting saturates to white, so lighting switched off hardly shows in
 *               its frames; without the emission the tower is plainly darker)
 *   "blend"     the destination factor of every blend is GL_ONE_MINUS_SRC_ALPHA
 *   "texture"   texturing is treated as off
 *   NULL or ""  normal drawing
 */
#ifndef FIXEDGL_H
#define FIXEDGL_H

#ifdef __cplusplus
extern "C" {
#endif

void fixedgl_break(const char* what);

#ifdef __cplusplus
}
#endif

#endif
