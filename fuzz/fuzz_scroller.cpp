// Arbitrary bytes as the scroller's text: set it, scroll through it frame by frame,
// look every visible character up in the font and draw the helix. The GL calls of
// draw go to the tests' GL recorder, and the recorded geometry and texture
// coordinates must stay finite and inside the font image.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <cmath>

#include "ScrollerSpiral.h"
#include "gl_recorder.h"

namespace {

glrec::Record gl;

// One frame's drawing: 288 quads a batch, every vertex finite, every texture
// coordinate inside the font image.
void drawChecked(ScrollerSpiral& sc)
{
    gl.clear();
    sc.draw();
    if (gl.vertices.size() != 288 * 4 * (size_t)gl.begins)
        abort();
    for (const glrec::Vertex& v : gl.vertices) {
        if (!(v.s >= 0 && v.s < 1 && v.t >= 0 && v.t < 1))
            abort();
        if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z))
            abort();
    }
}

}  // namespace

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

    glrec::recording = &gl;
    ScrollerSpiral sc;
    sc.setLen(len);
    sc.setText(size % 2 ? nullptr : text);
    sc.setText(text);
    checkWindow(sc, len);
    drawChecked(sc);
    for (int f = 0; f < frames; f++) {
        int pos = sc.iPos;
        sc.update(0.02f);
        if (sc.iPos != pos) {
            checkWindow(sc, len);
            drawChecked(sc);
        }
    }
    for (int i = 0; i < steps; i++) {
        sc.hardscroll(36);
        checkWindow(sc, len);
    }
    drawChecked(sc);
    free(text);
    return 0;
}
