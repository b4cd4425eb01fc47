/*
 * A GL that draws nothing: the entry points the demo's frame calls, answered
 * without a context by gl_recorder.cpp, for tests and benchmarks that
 * link it in place of libGL's. Names are handed out counting up from 1, the
 * model-view matrix reads as the identity and the unpack alignment as GL's 4.
 *
 * While glrec::recording points at a Record, the calls that set state and the
 * vertices given between glBegin and glEnd are written into it; otherwise every
 * call returns at once, so that a benchmark measures our own code alone.
 */
#ifndef TESTS_GL_RECORDER_H
#define TESTS_GL_RECORDER_H

#include <string>
#include <vector>

namespace glrec {

struct Vertex {
    float s, t;  // texture coordinate in effect when the vertex was given
    float x, y, z;
};

struct Color {
    float r, g, b, a;
};

struct Record {
    // The state calls in order, as call() writes them: glEnable, glDisable,
    // glBlendFunc, glBindTexture, glDepthMask, glDepthFunc, glCullFace,
    // glShadeModel, glMatrixMode, glBegin, glEnd, glNewList, glEndList, glCallList.
    std::vector<std::string> state;
    std::vector<Vertex> vertices;  // glVertex*, z 0 for glVertex2f
    std::vector<Color> colors;     // glColor*, alpha 1 for glColor3f
    float s = -1, t = -1;          // the texture coordinate in effect
    int begins = 0;

    void clear() { *this = Record(); }
};

extern Record* recording;

// A state call as the record holds it: "enable 0xbe2 0".
std::string call(const char* name, unsigned a, unsigned b = 0);

}  // namespace glrec

#endif
