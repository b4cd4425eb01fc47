/*
 * The GL entry points of gl_recorder.h. The definitions take the place of
 * libGL's at link time; they never touch a context.
 */
#include "gl_recorder.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <stdio.h>
#include <string.h>

namespace glrec {

Record* recording = nullptr;

std::string call(const char* name, unsigned a, unsigned b) {
    char buf[64];
    snprintf(buf, sizeof buf, "%s %#x %#x", name, a, b);
    return buf;
}

namespace {

GLuint nextName = 1;

void state(const char* name, unsigned a = 0, unsigned b = 0) {
    if (recording) recording->state.push_back(call(name, a, b));
}

void vertex(float x, float y, float z) {
    if (recording) recording->vertices.push_back({recording->s, recording->t, x, y, z});
}

void color(float r, float g, float b, float a) {
    if (recording) recording->colors.push_back({r, g, b, a});
}

void texCoord(float s, float t) {
    if (!recording) return;
    recording->s = s;
    recording->t = t;
}

}  // namespace
}  // namespace glrec

using namespace glrec;

extern "C" {

/* Recorded. */
void glEnable(GLenum cap) { state("enable", cap); }
void glDisable(GLenum cap) { state("disable", cap); }
void glBlendFunc(GLenum sfactor, GLenum dfactor) { state("blend", sfactor, dfactor); }
void glBindTexture(GLenum target, GLuint texture) { state("bind", target, texture); }
void glDepthMask(GLboolean flag) { state("depthmask", flag); }
void glDepthFunc(GLenum func) { state("depthfunc", func); }
void glCullFace(GLenum mode) { state("cullface", mode); }
void glShadeModel(GLenum mode) { state("shademodel", mode); }
void glMatrixMode(GLenum mode) { state("matrixmode", mode); }
void glBegin(GLenum mode) {
    if (recording) recording->begins++;
    state("begin", mode);
}
void glEnd(void) {
    if (recording) recording->state.push_back("end");
}
void glNewList(GLuint list, GLenum mode) { state("newlist", list, mode); }
void glEndList(void) {
    if (recording) recording->state.push_back("endlist");
}
void glCallList(GLuint list) { state("calllist", list); }
void glColor3f(GLfloat red, GLfloat green, GLfloat blue) { color(red, green, blue, 1); }
void glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha) { color(red, green, blue, alpha); }
void glTexCoord2f(GLfloat s, GLfloat t) { texCoord(s, t); }
void glTexCoord2fv(const GLfloat* v) { texCoord(v[0], v[1]); }
void glVertex2f(GLfloat x, GLfloat y) { vertex(x, y, 0); }
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) { vertex(x, y, z); }
void glVertex3i(GLint x, GLint y, GLint z) { vertex((float)x, (float)y, (float)z); }

/* Answered. */
GLuint glGenLists(GLsizei range) {
    GLuint first = nextName;
    nextName += (GLuint)range;
    return first;
}
void glGenTextures(GLsizei n, GLuint* textures) {
    for (GLsizei i = 0; i < n; i++) textures[i] = nextName++;
}
void glGetFloatv(GLenum, GLfloat* params) {
    static const GLfloat identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    memcpy(params, identity, sizeof identity);
}
void glGetIntegerv(GLenum pname, GLint* params) { *params = pname == GL_UNPACK_ALIGNMENT ? 4 : 0; }

/* Ignored. */
void glClear(GLbitfield) {}
void glClearColor(GLclampf, GLclampf, GLclampf, GLclampf) {}
void glClearDepth(GLclampd) {}
void glDeleteLists(GLuint, GLsizei) {}
void glDeleteTextures(GLsizei, const GLuint*) {}
void glDrawArrays(GLenum, GLint, GLsizei) {}
void glHint(GLenum, GLenum) {}
void glInterleavedArrays(GLenum, GLsizei, const GLvoid*) {}
void glLightModelf(GLenum, GLfloat) {}
void glLightfv(GLenum, GLenum, const GLfloat*) {}
void glLoadIdentity(void) {}
void glMaterialfv(GLenum, GLenum, const GLfloat*) {}
void glPixelStorei(GLenum, GLint) {}
void glOrtho(GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble) {}
void glPopMatrix(void) {}
void glPushMatrix(void) {}
void glRotatef(GLfloat, GLfloat, GLfloat, GLfloat) {}
void glScalef(GLfloat, GLfloat, GLfloat) {}
void glTexImage2D(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const GLvoid*) {}
void glTexParameteri(GLenum, GLenum, GLint) {}
void glTranslatef(GLfloat, GLfloat, GLfloat) {}
void glViewport(GLint, GLint, GLsizei, GLsizei) {}
void gluLookAt(GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble) {}
void gluPerspective(GLdouble, GLdouble, GLdouble, GLdouble) {}
}
