// Arbitrary bytes as the scroller's text: set it, scroll through it frame by frame,
// look every visible character up in the font and draw the helix. The GL calls of
// draw are answered here: they check that the geometry and texture coordinates
// stay finite and inside the font image.
#include <GL/gl.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <cmath>

#include "ScrollerSpiral.h"

namespace {
int vertices;
}

extern "C" {
void glEnable(GLenum) {}
void glBlendFunc(GLenum, GLenum) {}
void glBindTexture(GLenum, GLuint) {}
void glDepthMask(GLboolean) {}
void glBegin(GLenum) { vertices = 0; }
void glEnd(void)
{
    if (vertices != 288 * 4)
        abort();
}
void glColor4f(GLfloat, GLfloat, GLfloat, GLfloat) {}
void glTexCoord2fv(const GLfloat* v)
{
    if (!(v[0] >= 0 && v[0] < 1 && v[1] >= 0 && v[1] < 1))
        abort();
}
void glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z))
        abort();
    vertices++;
}
}

// The whole window, terminator included, lies inside the buffer and every character
// of it has a cell.
static void checkWindow(ScrollerSpiral& sc, int len)
{
    if (sc.iPos < 0 || sc.iPos > sc.iTextLen)
        abort();
    const char* w = sc.getText();
    for (int i = 0; i <= len; i++)
        if (!sc.char2texCoords(w[i]))
            abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The first byte steers: the window length, the frames to run (enough for a
    // wrap of the smooth scroll), and extra steps of the window.
    int len = 288, frames = 0, steps = 0;
    if (size > 0) {
        len = data[0] & 0x80 ? (data[0] & 0x3F) * 8 : 288;
        frames = data[0] & 0x40 ? 300 : 0;
        steps = data[0] & 0x0F;
        data++;
        size--;
    }
    char* text = (char*)malloc(size + 1);
    if (!text)
        return 0;
    memcpy(text, data, size);
    text[size] = '\0';

    ScrollerSpiral sc;
    sc.setLen(len);
    sc.setText(size % 2 ? nullptr : text);
    sc.setText(text);
    checkWindow(sc, len);
    sc.draw();
    for (int f = 0; f < frames; f++) {
        int pos = sc.iPos;
        sc.update(0.02f);
        if (sc.iPos != pos) {
            checkWindow(sc, len);
            sc.draw();
        }
    }
    for (int i = 0; i < steps; i++) {
        sc.hardscroll(36);
        checkWindow(sc, len);
    }
    sc.draw();
    free(text);
    return 0;
}
