/*
 * The fixed-function layer's upper half: the GL 1.x calls the demo makes, kept
 * as GL keeps them. Matrices are multiplied in float in GL's own order, the
 * light's position is taken into eye space by the model-view current when it is
 * given, primitives are gathered between glBegin and glEnd (or read from the
 * interleaved array) and handed to es.cpp, which batches them. Display lists
 * hold the recorded vertex calls and play them back into the batch.
 */
#include <math.h>
#include <stddef.h>
#include <string.h>

#include <unordered_map>
#include <vector>

#include <GL/gl.h>
#include <GL/glu.h>

#include "fixedgl.h"
#include "fixedgl_internal.h"

namespace fgl {
Breaks g_breaks = {};
}

namespace {

const int kStackDepth = 32;      /* matrices per stack, as Mesa */
const int kMaxListNesting = 64;  /* glCallList inside lists, as GL's minimum */
const double kPi = 3.14159265358979323846;

/* Column-major, as GL stores it: element (row r, column c) is m[4 * c + r]. */
struct Matrix {
    float m[16];
};
const Matrix kIdentity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
const float kIdentity3[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

/* a * b, each element summed left to right in float. */
Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix p;
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            p.m[4 * c + r] = a.m[r] * b.m[4 * c] + a.m[4 + r] * b.m[4 * c + 1] + a.m[8 + r] * b.m[4 * c + 2] +
                             a.m[12 + r] * b.m[4 * c + 3];
    return p;
}

/* The normal matrix: the inverse transpose of the upper 3x3, which is the
 * cofactor matrix over the determinant. A singular matrix gives the identity. */
void normalMatrix(const Matrix& mv, float out[9]) {
    const float* m = mv.m;
    float a = m[0], b = m[4], c = m[8], d = m[1], e = m[5], f = m[9], g = m[2], h = m[6], i = m[10];
    float cof[3][3] = {{e * i - f * h, f * g - d * i, d * h - e * g},
                       {c * h - b * i, a * i - c * g, b * g - a * h},
                       {b * f - c * e, c * d - a * f, a * e - b * d}};
    float det = a * cof[0][0] + b * cof[0][1] + c * cof[0][2];
    for (int r = 0; r < 3; r++)
        for (int col = 0; col < 3; col++)
            out[3 * col + r] = det != 0 ? cof[r][col] / det : (r == col ? 1.0f : 0.0f);
}

/* A call recorded in a display list. */
struct Command {
    enum Op { BEGIN, END, COLOR, TEXCOORD, VERTEX, CALL } op;
    float v[4];
    GLuint n; /* BEGIN: the mode; CALL: the list */
};

struct State {
    Matrix stacks[2][kStackDepth];
    int depth[2] = {0, 0};
    int mode = 0; /* 0: model-view, 1: projection */

    bool lighting = false, texturing = false;
    float color[4] = {1, 1, 1, 1};
    float tex[2] = {0, 0};
    /* GL's defaults: the material, the global ambient, and GL_LIGHT1 (dark, from +z). */
    fgl::Lighting lit = {{0, 0, 0, 1},   {0.2f, 0.2f, 0.2f, 1}, {0.8f, 0.8f, 0.8f, 1}, {0, 0, 0, 1}, 0,
                         {0.2f, 0.2f, 0.2f, 1}, {0, 0, 1, 0}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1},
                         0,              0};

    bool inBegin = false;
    GLenum primitive = 0;
    std::vector<fgl::Vertex> vertices; /* of the primitive being specified */

    std::unordered_map<GLuint, std::vector<Command>> lists;
    GLuint compiling = 0; /* the list being recorded, or 0 */
    std::vector<Command> recording;
    int nesting = 0;

    fgl::Array array = {}; /* no pointer: none given yet */

    GLenum error = GL_NO_ERROR; /* the first error since glGetError last answered */

    State() {
        stacks[0][0] = kIdentity;
        stacks[1][0] = kIdentity;
    }
};

State& S() {
    static State state;
    return state;
}

Matrix& top() {
    State& s = S();
    return s.stacks[s.mode][s.depth[s.mode]];
}

void multiplyTop(const Matrix& m) { top() = multiply(top(), m); }

bool record(Command::Op op, float a = 0, float b = 0, float c = 0, float d = 0, GLuint n = 0) {
    State& s = S();
    if (!s.compiling) return false;
    s.recording.push_back({op, {a, b, c, d}, n});
    return true;
}

fgl::Vertex vertex(const float pos[3], const float* normal, const float* tex) {
    static const float kNormal[3] = {0, 0, 1}; /* the current normal: nothing sets it */
    State& s = S();
    fgl::Vertex v;
    memcpy(v.pos, pos, sizeof v.pos);
    memcpy(v.normal, normal ? normal : kNormal, sizeof v.normal);
    memcpy(v.color, s.color, sizeof v.color);
    memcpy(v.tex, tex ? tex : s.tex, sizeof v.tex);
    return v;
}

/* The state a primitive is drawn with now. */
fgl::Draw currentDraw() {
    State& s = S();
    fgl::Draw d;
    d.lit = s.lighting && !fgl::g_breaks.lighting;
    d.texturing = s.texturing && !fgl::g_breaks.texture;
    const Matrix& mv = s.stacks[0][s.depth[0]];
    const Matrix& projection = s.stacks[1][s.depth[1]];
    d.modelview = mv.m;
    d.projection = projection.m;
    Matrix mvp = multiply(projection, mv);
    memcpy(d.mvp, mvp.m, sizeof d.mvp);
    if (d.lit)
        normalMatrix(mv, d.normal);
    else
        memcpy(d.normal, kIdentity3, sizeof d.normal);
    d.lighting = &s.lit;
    d.color = s.color;
    return d;
}

void copy4(float* to, const GLfloat* from) { memcpy(to, from, 4 * sizeof(float)); }

/* As GL records an error: the call has no effect, and the flag keeps the first
 * error until glGetError reads it. */
void fail(GLenum error) {
    GLenum& flag = S().error;
    if (flag == GL_NO_ERROR) flag = error;
}

} // namespace

extern "C" {

void fixedgl_break(const char* what) {
    fgl::Breaks& b = fgl::g_breaks;
    b = {};
    if (what) {
        b.lighting = strcmp(what, "lighting") == 0;
        b.emission = strcmp(what, "emission") == 0;
        b.blend = strcmp(what, "blend") == 0;
        b.texture = strcmp(what, "texture") == 0;
        b.lightPosition = strcmp(what, "light_position") == 0;
        b.batching = strcmp(what, "batching") == 0;
    }
    fgl::esReapplyBlend();
}

/* State */

static void setCapability(GLenum cap, bool on) {
    State& s = S();
    switch (cap) {
    case GL_LIGHTING: s.lighting = on; break;
    case GL_LIGHT1: s.lit.light = on; break;
    case GL_TEXTURE_2D: s.texturing = on; break;
    default: fgl::esEnable(cap, on);
    }
}

void glEnable(GLenum cap) { setCapability(cap, true); }
void glDisable(GLenum cap) { setCapability(cap, false); }

/* Perspective-correct interpolation is all the underlying GL does. */
void glHint(GLenum, GLenum) {}

/* Smooth shading is all the layer does, and the default. */
void glShadeModel(GLenum) {}

/* The layer's own error first, then the underlying GL's (GL keeps a flag per
 * kind of error and answers them one call at a time). */
GLenum glGetError(void) {
    GLenum& flag = S().error;
    GLenum error = flag;
    flag = GL_NO_ERROR;
    return error != GL_NO_ERROR ? error : fgl::esGetError();
}

void glGetFloatv(GLenum pname, GLfloat* params) {
    State& s = S();
    if (pname == GL_MODELVIEW_MATRIX)
        memcpy(params, s.stacks[0][s.depth[0]].m, 16 * sizeof(GLfloat));
    else
        fgl::esGetFloatv(pname, params);
}

/* Matrices */

void glMatrixMode(GLenum mode) {
    if (mode == GL_MODELVIEW) S().mode = 0;
    if (mode == GL_PROJECTION) S().mode = 1;
}

void glPushMatrix(void) {
    State& s = S();
    int& d = s.depth[s.mode];
    if (d + 1 >= kStackDepth) return fail(GL_STACK_OVERFLOW);
    s.stacks[s.mode][d + 1] = s.stacks[s.mode][d];
    d++;
}

void glPopMatrix(void) {
    State& s = S();
    if (s.depth[s.mode] == 0) return fail(GL_STACK_UNDERFLOW);
    s.depth[s.mode]--;
}

void glLoadIdentity(void) { top() = kIdentity; }

void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    float* m = top().m;
    for (int r = 0; r < 4; r++) m[12 + r] = m[r] * x + m[4 + r] * y + m[8 + r] * z + m[12 + r];
}

void glScalef(GLfloat x, GLfloat y, GLfloat z) {
    float* m = top().m;
    for (int r = 0; r < 4; r++) {
        m[r] *= x;
        m[4 + r] *= y;
        m[8 + r] *= z;
    }
}

/* A turn of angle degrees, counter-clockwise looking down the normalised axis. */
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    float mag = sqrtf(x * x + y * y + z * z);
    if (mag == 0) return;
    x /= mag, y /= mag, z /= mag;
    float s = (float)sin(angle * kPi / 180.0), c = (float)cos(angle * kPi / 180.0), k = 1 - c;
    Matrix r = {{x * x * k + c, y * x * k + z * s, x * z * k - y * s, 0,
                 x * y * k - z * s, y * y * k + c, y * z * k + x * s, 0,
                 x * z * k + y * s, y * z * k - x * s, z * z * k + c, 0,
                 0, 0, 0, 1}};
    multiplyTop(r);
}

void glOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top_, GLdouble zNear, GLdouble zFar) {
    float l = (float)left, r = (float)right, b = (float)bottom, t = (float)top_, n = (float)zNear, f = (float)zFar;
    if (l == r || b == t || n == f) return fail(GL_INVALID_VALUE);
    Matrix m = {{2 / (r - l), 0, 0, 0,
                 0, 2 / (t - b), 0, 0,
                 0, 0, -2 / (f - n), 0,
                 -(r + l) / (r - l), -(t + b) / (t - b), -(f + n) / (f - n), 1}};
    multiplyTop(m);
}

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    double radians = fovy / 2 * kPi / 180;
    double deltaZ = zFar - zNear, sine = sin(radians);
    if (deltaZ == 0 || sine == 0 || aspect == 0) return;
    double cotangent = cos(radians) / sine;
    Matrix m = {{(float)(cotangent / aspect), 0, 0, 0,
                 0, (float)cotangent, 0, 0,
                 0, 0, (float)(-(zFar + zNear) / deltaZ), -1,
                 0, 0, (float)(-2 * zNear * zFar / deltaZ), 0}};
    multiplyTop(m);
}

void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY, GLdouble centerZ,
               GLdouble upX, GLdouble upY, GLdouble upZ) {
    auto normalize = [](float v[3]) {
        float r = sqrtf(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (r == 0) return;
        v[0] /= r, v[1] /= r, v[2] /= r;
    };
    auto cross = [](const float a[3], const float b[3], float out[3]) {
        out[0] = a[1] * b[2] - a[2] * b[1];
        out[1] = a[2] * b[0] - a[0] * b[2];
        out[2] = a[0] * b[1] - a[1] * b[0];
    };
    float forward[3] = {(float)(centerX - eyeX), (float)(centerY - eyeY), (float)(centerZ - eyeZ)};
    float up[3] = {(float)upX, (float)upY, (float)upZ};
    float side[3];
    normalize(forward);
    cross(forward, up, side);
    normalize(side);
    cross(side, forward, up);
    Matrix m = {{side[0], up[0], -forward[0], 0,
                 side[1], up[1], -forward[1], 0,
                 side[2], up[2], -forward[2], 0,
                 0, 0, 0, 1}};
    multiplyTop(m);
    glTranslatef((float)-eyeX, (float)-eyeY, (float)-eyeZ);
}

/* Immediate mode */

void glBegin(GLenum mode) {
    if (record(Command::BEGIN, 0, 0, 0, 0, mode)) return;
    State& s = S();
    s.inBegin = true;
    s.primitive = mode;
    s.vertices.clear();
}

void glEnd(void) {
    if (record(Command::END)) return;
    State& s = S();
    if (!s.inBegin) return;
    s.inBegin = false;
    if (s.vertices.empty()) return;
    fgl::esPrimitive(currentDraw(), s.primitive, s.vertices.data(), (int)s.vertices.size(), false);
}

void glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha) {
    if (record(Command::COLOR, red, green, blue, alpha)) return;
    float* c = S().color;
    c[0] = red, c[1] = green, c[2] = blue, c[3] = alpha;
}

void glColor3f(GLfloat red, GLfloat green, GLfloat blue) { glColor4f(red, green, blue, 1); }

void glTexCoord2f(GLfloat s, GLfloat t) {
    if (record(Command::TEXCOORD, s, t)) return;
    S().tex[0] = s, S().tex[1] = t;
}

void glTexCoord2fv(const GLfloat* v) { glTexCoord2f(v[0], v[1]); }

void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
    if (record(Command::VERTEX, x, y, z)) return;
    State& s = S();
    if (!s.inBegin) return;
    const float pos[3] = {x, y, z};
    s.vertices.push_back(vertex(pos, nullptr, nullptr));
}

void glVertex2f(GLfloat x, GLfloat y) { glVertex3f(x, y, 0); }
void glVertex3i(GLint x, GLint y, GLint z) { glVertex3f((float)x, (float)y, (float)z); }

/* Vertex arrays */

void glInterleavedArrays(GLenum format, GLsizei stride, const GLvoid* pointer) {
    State& s = S();
    if (stride < 0) return fail(GL_INVALID_VALUE);
    if (format != GL_V3F && format != GL_N3F_V3F && format != GL_T2F_V3F && format != GL_T2F_N3F_V3F)
        return fail(GL_INVALID_ENUM);
    fgl::Array& a = s.array;
    a.pointer = (const unsigned char*)pointer;
    a.hasTex = format == GL_T2F_V3F || format == GL_T2F_N3F_V3F;
    a.hasNormal = format == GL_N3F_V3F || format == GL_T2F_N3F_V3F;
    a.normalAt = a.hasTex ? 2 : 0;
    a.posAt = a.normalAt + (a.hasNormal ? 3 : 0);
    a.stride = stride ? stride : (a.posAt + 3) * (int)sizeof(float);
}

void glDrawArrays(GLenum mode, GLint first, GLsizei count) {
    State& s = S();
    const fgl::Array& a = s.array;
    if (first < 0 || count <= 0 || !a.pointer) return;
    fgl::Draw d = currentDraw();
    if (fgl::esKeptArray(d, mode, a, first, count)) return;
    s.vertices.clear();
    for (GLsizei i = 0; i < count; i++) {
        float f[8];
        memcpy(f, a.pointer + ((size_t)first + (size_t)i) * (size_t)a.stride, (size_t)(a.posAt + 3) * sizeof(float));
        s.vertices.push_back(vertex(f + a.posAt, a.hasNormal ? f + a.normalAt : nullptr, a.hasTex ? f : nullptr));
    }
    fgl::esPrimitive(d, mode, s.vertices.data(), count, a.hasNormal);
}

/* Lighting */

void glLightfv(GLenum light, GLenum pname, const GLfloat* params) {
    if (light != GL_LIGHT1) return;
    fgl::Lighting& l = S().lit;
    switch (pname) {
    case GL_POSITION: {
        const float* m = fgl::g_breaks.lightPosition ? kIdentity.m : S().stacks[0][S().depth[0]].m;
        for (int r = 0; r < 4; r++)
            l.lightPosition[r] = m[r] * params[0] + m[4 + r] * params[1] + m[8 + r] * params[2] + m[12 + r] * params[3];
        break;
    }
    case GL_AMBIENT: copy4(l.lightAmbient, params); break;
    case GL_DIFFUSE: copy4(l.lightDiffuse, params); break;
    case GL_SPECULAR: copy4(l.lightSpecular, params); break;
    }
}

void glLightModelf(GLenum pname, GLfloat param) {
    if (pname == GL_LIGHT_MODEL_LOCAL_VIEWER) S().lit.localViewer = param != 0;
}

/* Two-sided lighting is off, so only the front material is ever used. */
void glMaterialfv(GLenum face, GLenum pname, const GLfloat* params) {
    if (face != GL_FRONT && face != GL_FRONT_AND_BACK) return;
    fgl::Lighting& l = S().lit;
    switch (pname) {
    case GL_EMISSION: copy4(l.matEmission, params); break;
    case GL_AMBIENT: copy4(l.matAmbient, params); break;
    case GL_DIFFUSE: copy4(l.matDiffuse, params); break;
    case GL_SPECULAR: copy4(l.matSpecular, params); break;
    case GL_SHININESS:
        if (!(params[0] >= 0 && params[0] <= 128)) return fail(GL_INVALID_VALUE);
        l.matShininess = params[0];
        break;
    }
}

/* Display lists */

GLuint glGenLists(GLsizei range) {
    State& s = S();
    if (range <= 0) return 0;
    for (GLuint first = 1;; first++) {
        GLsizei n = 0;
        while (n < range && !s.lists.count(first + (GLuint)n)) n++;
        if (n == range) {
            for (GLsizei i = 0; i < range; i++) s.lists[first + (GLuint)i];
            return first;
        }
        first += (GLuint)n;
    }
}

void glNewList(GLuint list, GLenum mode) {
    State& s = S();
    if (list == 0 || mode != GL_COMPILE || s.compiling || s.inBegin) return;
    s.compiling = list;
    s.recording.clear();
}

void glEndList(void) {
    State& s = S();
    if (!s.compiling) return;
    s.lists[s.compiling] = s.recording;
    s.compiling = 0;
}

void glCallList(GLuint list) {
    State& s = S();
    if (record(Command::CALL, 0, 0, 0, 0, list)) return;
    auto it = s.lists.find(list);
    if (it == s.lists.end() || s.nesting >= kMaxListNesting) return;
    s.nesting++;
    for (const Command& c : it->second) {
        switch (c.op) {
        case Command::BEGIN: glBegin(c.n); break;
        case Command::END: glEnd(); break;
        case Command::COLOR: glColor4f(c.v[0], c.v[1], c.v[2], c.v[3]); break;
        case Command::TEXCOORD: glTexCoord2f(c.v[0], c.v[1]); break;
        case Command::VERTEX: glVertex3f(c.v[0], c.v[1], c.v[2]); break;
        case Command::CALL: glCallList(c.n); break;
        }
    }
    s.nesting--;
}

void glDeleteLists(GLuint list, GLsizei range) {
    State& s = S();
    for (GLsizei i = 0; i < range; i++) s.lists.erase(list + (GLuint)i);
}

} // extern "C"
