/*
 * The two GLU calls the demo makes, with GLU's own formulas, multiplied onto
 * the current matrix of the fixed-function layer.
 */
#ifndef FIXEDGL_GLU_H
#define FIXEDGL_GLU_H

#include <GL/gl.h>

#ifdef __cplusplus
extern "C" {
#endif

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar);
void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY, GLdouble centerZ,
               GLdouble upX, GLdouble upY, GLdouble upZ);

#ifdef __cplusplus
}
#endif

#endif
