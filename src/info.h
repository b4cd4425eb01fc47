/*
 * The per-frame record passed from the driver to the scenes.
 */
#ifndef INFO_H
#define INFO_H

/* The per-frame record the driver fills at the end of every frame and the scenes read. */
typedef struct info_t {
    float base;           /* beat level: 1.0 on a beat, then down by 0.03 a frame */
    float* spectrum;      /* the sound layer's 512 magnitudes, lowest frequency first */
    float spectrum16[16]; /* means of bins 32i .. 32i+31 */
} info_t;

#endif
