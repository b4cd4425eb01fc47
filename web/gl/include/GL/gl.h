/*
 * The GL 1.x calls the demo makes, for the browser edition: fixed-function GL
 * drawn by our own layer over WebGL 1 (OpenGL ES 2 natively). Names, types and
 * enum values are GL's own, so the demo's sources build unchanged against it.
 *
 * Served, with fixed-function GL's arithmetic:
 * - immediate mode: glBegin/glEnd with GL_QUADS, GL_QUAD_STRIP, GL_TRIANGLES
 *   and GL_LINES; glColor3f/4f, glTexCoord2f/2fv, glVertex2f/3f/3i. Quads are
 *   cut from their first to their third vertex, as Mesa cuts them, so that
 *   colours interpolate alike.
 * - glInterleavedArrays with GL_V3F, GL_N3F_V3F, GL_T2F_V3F and GL_T2F_N3F_V3F
 *   (what the model reader gives), then glDrawArrays with the modes above.
 * - the model-view and projection stacks (32 deep each), glOrtho, and in
 *   GL/glu.h gluPerspective and gluLookAt.
 * - per-vertex lighting in eye space with GL_LIGHT1 (position, ambient,
 *   diffuse, specular; constant attenuation, no spot), the front material
 *   (emission, ambient, diffuse, specular, shininess; two-sided lighting is off,
 *   so the back material is never used), the default global ambient of 0.2 and
 *   GL_LIGHT_MODEL_LOCAL_VIEWER. Specular is summed into the primary colour
 *   (single-colour model). Normals are not renormalised (GL_NORMALIZE is off).
 *   The current normal is (0, 0, 1): only vertex arrays carry normals.
 * - GL_TEXTURE_2D with GL_MODULATE; images in GL_RGBA, GL_RGB, GL_LUMINANCE
 *   and GL_LUMINANCE_ALPHA of GL_UNSIGNED_BYTE, level 0 only; GL_REPEAT (the
 *   default wrap) also on sizes that are not powers of two, which WebGL 1
 *   cannot repeat: there the layer filters in its shader, with the magnifying
 *   filter in both directions. A texture without an image, or with a
 *   minifying filter that needs mipmaps, draws as if texturing were off.
 *   Texture names are the layer's own; it keeps a copy of every image, so that
 *   a lost context can be made again (fixedgl.h).
 * - display lists: glNewList(GL_COMPILE) records glBegin, glEnd, glColor,
 *   glTexCoord, glVertex and glCallList; any other call made while a list is
 *   open takes effect at once (the demo makes none there).
 * - GL_LIGHTING, GL_LIGHT1 and GL_TEXTURE_2D are the layer's own state; every
 *   other capability goes to glEnable/glDisable of the underlying GL, as do
 *   blending, depth, culling, viewport, clearing and the texture objects.
 * - glShadeModel takes GL_SMOOTH only (the default); glHint does nothing.
 * - glGetFloatv answers GL_MODELVIEW_MATRIX; glGetIntegerv and other glGetFloatv
 *   queries go to the underlying GL.
 * - errors as GL records them: the call does nothing, and glGetError answers
 *   the first error since it was last called. The layer's own are
 *   GL_STACK_OVERFLOW and GL_STACK_UNDERFLOW of glPushMatrix and glPopMatrix
 *   (32 matrices per stack), GL_INVALID_VALUE of glOrtho with left = right,
 *   bottom = top or near = far, of glMaterialfv with a shininess outside 0-128
 *   and of glInterleavedArrays with a negative stride, and GL_INVALID_ENUM of
 *   glInterleavedArrays with a format not served; without one of its own,
 *   glGetError answers the underlying GL's. Any other enum the layer does not
 *   serve is ignored without an error where the layer handles the call itself.
 * Needs a current WebGL 1 / OpenGL ES 2 context.
 *
 * What it costs (counted by fixedgl_counters in fixedgl.h: the draws, the bytes
 * uploaded and the changes of program; the layer's test holds the show's
 * steady-state frame to at most 20 draws and 64 KB):
 * - one shader program per combination of lighting (with GL_LIGHT1 and the
 *   local viewer, or not) and texturing (none; repeated by GL; repeated in the
 *   shader for the sides that are not powers of two, linear or nearest), made
 *   the first time a draw needs it; a power-of-two texture costs one fetch.
 * - glBegin/glEnd, glCallList and small glDrawArrays only record vertices. All
 *   primitives drawn while the program, texture, lighting, projection (and, when
 *   lit, the model-view) and the state passed on stay the same go up in one
 *   vertex and one index upload and are drawn with one call, when that state
 *   changes, at fixedgl_flush, or, in the browser, before the frame is shown.
 *   Unlit vertices are multiplied by the model-view and projection here, so a
 *   model-view of its own per primitive (the flares) still makes one draw.
 * - A vertex carries only what its program reads: position, the normal only
 *   from arrays that have one (when lit), the colour only when unlit, texture
 *   coordinates only when textured.
 * - With culling on, quads that GL would discard whole are not sent.
 * - glDrawArrays of 64 vertices or more (the tower) is kept in a GL buffer of
 *   its own, per array address, sent again only when its bytes change (one
 *   comparison with a kept copy per draw); up to 16 such arrays are kept.
 * - Calls that repeat the state GL already has go no further.
 */
#ifndef FIXEDGL_GL_H
#define FIXEDGL_GL_H

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned int GLenum;
typedef unsigned char GLboolean;
typedef unsigned int GLbitfield;
typedef void GLvoid;
typedef int GLint;
typedef unsigned int GLuint;
typedef int GLsizei;
typedef float GLfloat;
typedef float GLclampf;
typedef double GLdouble;
typedef double GLclampd;

#define GL_FALSE 0
#define GL_TRUE 1

/* Errors */
#define GL_NO_ERROR 0
#define GL_INVALID_ENUM 0x0500
#define GL_INVALID_VALUE 0x0501
#define GL_STACK_OVERFLOW 0x0503
#define GL_STACK_UNDERFLOW 0x0504

/* Primitives */
#define GL_LINES 0x0001
#define GL_TRIANGLES 0x0004
#define GL_QUADS 0x0007
#define GL_QUAD_STRIP 0x0008

/* Clearing */
#define GL_DEPTH_BUFFER_BIT 0x00000100
#define GL_COLOR_BUFFER_BIT 0x00004000

/* Depth functions and blend factors */
#define GL_LESS 0x0201
#define GL_LEQUAL 0x0203
#define GL_ALWAYS 0x0207
#define GL_ZERO 0
#define GL_ONE 1
#define GL_SRC_ALPHA 0x0302

/* Faces */
#define GL_FRONT 0x0404
#define GL_BACK 0x0405
#define GL_FRONT_AND_BACK 0x0408

/* Capabilities */
#define GL_CULL_FACE 0x0B44
#define GL_LIGHTING 0x0B50
#define GL_DEPTH_TEST 0x0B71
#define GL_BLEND 0x0BE2
#define GL_TEXTURE_2D 0x0DE1
#define GL_LIGHT1 0x4001

/* Lighting */
#define GL_LIGHT_MODEL_LOCAL_VIEWER 0x0B51
#define GL_AMBIENT 0x1200
#define GL_DIFFUSE 0x1201
#define GL_SPECULAR 0x1202
#define GL_POSITION 0x1203
#define GL_EMISSION 0x1600
#define GL_SHININESS 0x1601
#define GL_SMOOTH 0x1D01

/* Matrices */
#define GL_MODELVIEW_MATRIX 0x0BA6
#define GL_MODELVIEW 0x1700
#define GL_PROJECTION 0x1701

/* Hints */
#define GL_PERSPECTIVE_CORRECTION_HINT 0x0C50
#define GL_NICEST 0x1102

/* Textures and pixels */
#define GL_UNPACK_ALIGNMENT 0x0CF5
#define GL_UNSIGNED_BYTE 0x1401
#define GL_RGB 0x1907
#define GL_RGBA 0x1908
#define GL_LUMINANCE 0x1909
#define GL_LUMINANCE_ALPHA 0x190A
#define GL_LINEAR 0x2601
#define GL_TEXTURE_MAG_FILTER 0x2800
#define GL_TEXTURE_MIN_FILTER 0x2801

/* Display lists */
#define GL_COMPILE 0x1300

/* Interleaved array formats */
#define GL_V3F 0x2A21
#define GL_N3F_V3F 0x2A25
#define GL_T2F_V3F 0x2A27
#define GL_T2F_N3F_V3F 0x2A2B

/* State */
void glEnable(GLenum cap);
void glDisable(GLenum cap);
void glHint(GLenum target, GLenum mode);
void glShadeModel(GLenum mode);
void glGetFloatv(GLenum pname, GLfloat* params);
void glGetIntegerv(GLenum pname, GLint* params);
GLenum glGetError(void);

/* Framebuffer, depth, blending, culling */
void glViewport(GLint x, GLint y, GLsizei width, GLsizei height);
void glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha);
void glClearDepth(GLclampd depth);
void glClear(GLbitfield mask);
void glDepthFunc(GLenum func);
void glDepthMask(GLboolean flag);
void glBlendFunc(GLenum sfactor, GLenum dfactor);
void glCullFace(GLenum mode);

/* Matrices */
void glMatrixMode(GLenum mode);
void glPushMatrix(void);
void glPopMatrix(void);
void glLoadIdentity(void);
void glTranslatef(GLfloat x, GLfloat y, GLfloat z);
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z);
void glScalef(GLfloat x, GLfloat y, GLfloat z);
void glOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear, GLdouble zFar);

/* Immediate mode */
void glBegin(GLenum mode);
void glEnd(void);
void glColor3f(GLfloat red, GLfloat green, GLfloat blue);
void glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha);
void glTexCoord2f(GLfloat s, GLfloat t);
void glTexCoord2fv(const GLfloat* v);
void glVertex2f(GLfloat x, GLfloat y);
void glVertex3f(GLfloat x, GLfloat y, GLfloat z);
void glVertex3i(GLint x, GLint y, GLint z);

/* Vertex arrays */
void glInterleavedArrays(GLenum format, GLsizei stride, const GLvoid* pointer);
void glDrawArrays(GLenum mode, GLint first, GLsizei count);

/* Lighting */
void glLightfv(GLenum light, GLenum pname, const GLfloat* params);
void glLightModelf(GLenum pname, GLfloat param);
void glMaterialfv(GLenum face, GLenum pname, const GLfloat* params);

/* Display lists */
GLuint glGenLists(GLsizei range);
void glNewList(GLuint list, GLenum mode);
void glEndList(void);
void glCallList(GLuint list);
void glDeleteLists(GLuint list, GLsizei range);

/* Textures */
void glGenTextures(GLsizei n, GLuint* textures);
void glDeleteTextures(GLsizei n, const GLuint* textures);
void glBindTexture(GLenum target, GLuint texture);
void glTexParameteri(GLenum target, GLenum pname, GLint param);
void glTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height, GLint border,
                  GLenum format, GLenum type, const GLvoid* pixels);
void glPixelStorei(GLenum pname, GLint param);

#ifdef __cplusplus
}
#endif

#endif
