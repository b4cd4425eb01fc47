/*
 * A GL that does nothing: the entry points the demo's frame calls, as no-ops, so
 * that a benchmark linked with them measures the CPU time of our own frame code
 * alone. No GL header is included: the definitions only need the C names, and
 * the calling convention ignores the arguments the callee does not read.
 */
#include <string.h>

#define NOOP(name) \
    extern "C" void name() {}

NOOP(glBegin)
NOOP(glBindTexture)
NOOP(glBlendFunc)
NOOP(glCallList)
NOOP(glClear)
NOOP(glClearColor)
NOOP(glClearDepth)
NOOP(glColor3f)
NOOP(glColor4f)
NOOP(glCullFace)
NOOP(glDeleteLists)
NOOP(glDeleteTextures)
NOOP(glDepthFunc)
NOOP(glDepthMask)
NOOP(glDisable)
NOOP(glDrawArrays)
NOOP(glEnable)
NOOP(glEnd)
NOOP(glEndList)
NOOP(glHint)
NOOP(glInterleavedArrays)
NOOP(glLightModelf)
NOOP(glLightfv)
NOOP(glLoadIdentity)
NOOP(glMaterialfv)
NOOP(glMatrixMode)
NOOP(glNewList)
NOOP(glOrtho)
NOOP(glPopMatrix)
NOOP(glPushMatrix)
NOOP(glRotatef)
NOOP(glScalef)
NOOP(glShadeModel)
NOOP(glTexCoord2f)
NOOP(glTexCoord2fv)
NOOP(glTexImage2D)
NOOP(glTexParameteri)
NOOP(glTranslatef)
NOOP(glVertex2f)
NOOP(glVertex3f)
NOOP(glVertex3i)
NOOP(glViewport)
NOOP(gluLookAt)
NOOP(gluPerspective)

static unsigned nextName = 1;

extern "C" unsigned glGenLists(int range) {
    unsigned first = nextName;
    nextName += (unsigned)range;
    return first;
}

extern "C" void glGenTextures(int n, unsigned* names) {
    for (int i = 0; i < n; i++) names[i] = nextName++;
}

/* The model-view matrix of a camera looking at the scene from the side. */
extern "C" void glGetFloatv(unsigned pname, float* params) {
    (void)pname;
    static const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    memcpy(params, identity, sizeof identity);
}
