#ifndef PLATFORM_UTIL_H
#define PLATFORM_UTIL_H

#include "norklib.h"

/* Makes a linearly filtered GL texture from an RGBA8888 image (or an empty one
 * for a null image) and leaves it bound. lib is not used. */
int util_textureFromNorkImage(nork_lib_t* lib, nork_image_t* image);

#endif
