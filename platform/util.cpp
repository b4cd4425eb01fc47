#include "util.h"

#include <GL/gl.h>

/* The GL format of an image's bytes as they stand, or 0 for a layout GL cannot
 * take (palette indices that were never converted). Grey layouts are kept as
 * they were loaded; GL widens them to (L, L, L, 1) and (L, L, L, A). */
static GLenum uploadFormat(const nork_image_t* image) {
    if (image->bRGBA8888 || image->mode == NORK_IMAGE_RGBA) return GL_RGBA;
    switch (image->mode) {
    case NORK_IMAGE_RGB: return GL_RGB; /* a conversion that ran out of memory */
    case NORK_IMAGE_GREY: return GL_LUMINANCE;
    case NORK_IMAGE_GREYA: return GL_LUMINANCE_ALPHA;
    default: return 0;
    }
}

int util_textureFromNorkImage(nork_lib_t* lib, nork_image_t* image) {
    (void)lib;
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    GLenum format = image && image->data ? uploadFormat(image) : 0;
    if (format) {
        // Rows of 1, 2 or 3 bytes a pixel are not padded to four bytes.
        GLint alignment = 4;
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, image->width, image->height, 0, format, GL_UNSIGNED_BYTE,
                     image->data);
        glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    }
    return (int)name;
}
