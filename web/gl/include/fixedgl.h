/*
 * Entry points of the fixed-function layer beyond GL's own calls.
 *
 * fixedgl_contextRestored: the WebGL context was lost and is back (after the
 * canvas's "webglcontextrestored" event, before the next frame is drawn; natively:
 * a new context was made current in place of the old one). Everything the layer
 * had made on the GL side is gone; it makes it all again: its shader programs, its
 * buffers (the kept model arrays' on their next draw; display lists are held by the
 * layer itself), and every texture, uploaded again from the copy of its pixels and
 * parameters the layer keeps. The texture and list names the
 * demo holds stay valid, and the state the layer passes on (blending, depth,
 * culling, viewport, clear values) is set again as it was.
 *
 * fixedgl_flush: draws what the layer has batched. The layer does so itself
 * whenever the state changes and, in the browser, before the frame is shown;
 * a program that reads the picture back past the layer (a test) calls it first.
 *
 * fixedgl_counters: what the layer has asked of the GL underneath since the
 * start or the last fixedgl_resetCounters, as the cost model in GL/gl.h counts
 * it: the draw calls, the bytes uploaded (vertices and indices of the batches,
 * kept model arrays, texture images) and the changes of shader program. Batches
 * still open are not counted until they are drawn: a frame's figures are read
 * after fixedgl_flush (or, in the browser, once the frame is shown).
 *
 * fixedgl_break, a test hook: draws deliberately wrong so that a
 * comparison against real GL can show it notices.
 *   "light_position"  the light's position is taken as given, not into eye space
 *   "lighting"  lit vertices take their colour as if lighting were off
 *   "emission"  the material's emission is left out of the lighting (the demo's own
 *               lighting saturates to white, so lighting switched off hardly shows in
 *               its frames; without the emission the tower is plainly darker)
 *   "blend"     the destination factor of every blend is GL_ONE_MINUS_SRC_ALPHA
 *   "texture"   texturing is treated as off
 *   "batching"  every primitive is drawn with a draw and an upload of its own: the
 *               picture is the same, the counters are not
 *   NULL or ""  normal drawing
 */
#ifndef FIXEDGL_H
#define FIXEDGL_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct fixedgl_counters_t {
    unsigned long draws;    /* glDrawElements and glDrawArrays */
    unsigned long bytes;    /* glBufferData and glTexImage2D */
    unsigned long programs; /* glUseProgram */
} fixedgl_counters_t;

void fixedgl_contextRestored(void);
void fixedgl_flush(void);
fixedgl_counters_t fixedgl_counters(void);
void fixedgl_resetCounters(void);

void fixedgl_break(const char* what);

#ifdef __cplusplus
}
#endif

#endif
