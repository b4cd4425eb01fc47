/*
 * The generator behind glibc's rand(): the flares take their places and speeds from
 * rand(), and the browser's C library has another generator, so the browser edition
 * brings glibc's own sequence along and its fire matches the desktop's, flare for flare.
 */
#ifndef WEB_GLIBC_RAND_H
#define WEB_GLIBC_RAND_H

/* As glibc's srand: a seed of 0 is taken as 1. */
void nv_srand(unsigned int seed);
/* As glibc's rand: 0 .. 2^31 - 1, the default generator seeded with 1 until nv_srand. */
int nv_rand(void);

#endif
