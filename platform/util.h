#ifndef PLATFORM_UTIL_H
#define PLATFORM_UTIL_H

#include "norklib.h"

/* Makes a linearly filtered GL texture from an image and leaves it bound. The
 * pixels are read in the layout they have now: RGBA8888 once converted, else
 * RGB, grey or grey and alpha as loaded. A null image, or one whose layout GL
 * cannot take (unconverted palette indices), gives an empty texture. lib is
 * not used. */
int util_textureFromNorkImage(nork_lib_t* lib, nork_image_t* image);

#endif
