// The same GL 1.x call sequences drawn by one program built twice: against the
// real fixed-function GL (fixedgl_ref) and against our layer over OpenGL ES 2
// (fixedgl_es, FIXEDGL_ES defined). Both draw off screen on Mesa through EGL's
// surfaceless platform into a framebuffer object and write one PPM per case, and
// errors.txt, every error glGetError answered in the cases.
//   fixedgl_ref OUTDIR
//   fixedgl_es OUTDIR [FAULT]   (a deliberate fault of the layer: fixedgl.h)
//   fixedgl_ref|fixedgl_es --bench [FRAMES [FAULT]]   (the steady-state frame: bench/)
// Prints the milliseconds each case took. With --bench, prints the CPU and wall
// time per frame and, for the layer, the most draws, bytes uploaded and program
// changes any one of the frames cost.
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#define EGL_NO_X11
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glu.h>
#ifdef FIXEDGL_ES
#include "fixedgl.h"
#endif

#include "Scene1.h"
#include "archive.h"
#include "draw.h"
#include "global.h"
#include "util.h"

nork_lib_t* pNorkLib = nullptr;

namespace {

// What the drawing needs beyond the demo's calls, from the GL underneath.
struct Extra {
    void (*GenFramebuffers)(GLsizei, GLuint*);
    void (*BindFramebuffer)(GLenum, GLuint);
    void (*GenRenderbuffers)(GLsizei, GLuint*);
    void (*BindRenderbuffer)(GLenum, GLuint);
    void (*RenderbufferStorage)(GLenum, GLenum, GLsizei, GLsizei);
    void (*FramebufferRenderbuffer)(GLenum, GLenum, GLenum, GLuint);
    void (*DeleteFramebuffers)(GLsizei, const GLuint*);
    void (*DeleteRenderbuffers)(GLsizei, const GLuint*);
    GLenum (*CheckFramebufferStatus)(GLenum);
    void (*ReadPixels)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*);
    void (*Finish)(void);
    void (*PixelStorei)(GLenum, GLint);
} ex;

const GLenum kFramebuffer = 0x8D40, kRenderbuffer = 0x8D41, kColorAttachment0 = 0x8CE0,
             kDepthAttachment = 0x8D00, kRGBA8 = 0x8058, kDepth24 = 0x81A6, kComplete = 0x8CD5,
             kPackAlignment = 0x0D05;

template <typename F> void load(F& f, const char* name) {
    f = (F)eglGetProcAddress(name);
    if (!f) {
        fprintf(stderr, "no %s\n", name);
        exit(2);
    }
}

EGLDisplay display = nullptr;
EGLContext context = nullptr;

void makeContext() {
    auto getDisplay = (PFNEGLGETPLATFORMDISPLAYEXTPROC)eglGetProcAddress("eglGetPlatformDisplayEXT");
    display = getDisplay ? getDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr) : nullptr;
    if (!display || !eglInitialize(display, nullptr, nullptr)) {
        fprintf(stderr, "no surfaceless EGL display\n");
        exit(2);
    }
#ifdef FIXEDGL_ES
    eglBindAPI(EGL_OPENGL_ES_API);
    const EGLint attributes[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
#else
    eglBindAPI(EGL_OPENGL_API);
    const EGLint attributes[] = {EGL_NONE};
#endif
    context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    if (!context || !eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        fprintf(stderr, "no GL context\n");
        exit(2);
    }
    load(ex.GenFramebuffers, "glGenFramebuffers");
    load(ex.BindFramebuffer, "glBindFramebuffer");
    load(ex.GenRenderbuffers, "glGenRenderbuffers");
    load(ex.BindRenderbuffer, "glBindRenderbuffer");
    load(ex.RenderbufferStorage, "glRenderbufferStorage");
    load(ex.FramebufferRenderbuffer, "glFramebufferRenderbuffer");
    load(ex.DeleteFramebuffers, "glDeleteFramebuffers");
    load(ex.DeleteRenderbuffers, "glDeleteRenderbuffers");
    load(ex.CheckFramebufferStatus, "glCheckFramebufferStatus");
    load(ex.ReadPixels, "glReadPixels");
    load(ex.Finish, "glFinish");
    load(ex.PixelStorei, "glPixelStorei");
}

#ifdef FIXEDGL_ES
// The context lost and a new one in its place, as a browser restores WebGL:
// nothing made in the old one is there any more.
void replaceContext() {
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display, context);
    makeContext();
    fixedgl_contextRestored();
}
#endif

// An 8-bit RGBA colour buffer and a 24-bit depth buffer, as the window has.
struct Target {
    GLuint fb = 0, rb[2] = {0, 0};
    int w, h;
    Target(int w_, int h_) : w(w_), h(h_) {
        ex.GenFramebuffers(1, &fb);
        ex.BindFramebuffer(kFramebuffer, fb);
        ex.GenRenderbuffers(2, rb);
        ex.BindRenderbuffer(kRenderbuffer, rb[0]);
        ex.RenderbufferStorage(kRenderbuffer, kRGBA8, w, h);
        ex.FramebufferRenderbuffer(kFramebuffer, kColorAttachment0, kRenderbuffer, rb[0]);
        ex.BindRenderbuffer(kRenderbuffer, rb[1]);
        ex.RenderbufferStorage(kRenderbuffer, kDepth24, w, h);
        ex.FramebufferRenderbuffer(kFramebuffer, kDepthAttachment, kRenderbuffer, rb[1]);
        if (ex.CheckFramebufferStatus(kFramebuffer) != kComplete) {
            fprintf(stderr, "framebuffer incomplete\n");
            exit(2);
        }
    }
    ~Target() {
        ex.DeleteRenderbuffers(2, rb);
        ex.DeleteFramebuffers(1, &fb);
    }
    // The picture top row first, as PPM wants it.
    void write(const std::string& path) {
#ifdef FIXEDGL_ES
        fixedgl_flush();
#endif
        ex.Finish();
        std::vector<unsigned char> rgba((size_t)w * h * 4);
        ex.PixelStorei(kPackAlignment, 1);
        ex.ReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        FILE* f = fopen(path.c_str(), "wb");
        if (!f) {
            perror(path.c_str());
            exit(2);
        }
        fprintf(f, "P6\n%d %d\n255\n", w, h);
        for (int y = h - 1; y >= 0; y--)
            for (int x = 0; x < w; x++) fwrite(&rgba[((size_t)y * w + x) * 4], 1, 3, f);
        fclose(f);
    }
};

// The state every case starts from, whatever the one before left.
void resetState(int w, int h) {
    glViewport(0, 0, w, h);
    glClearColor(0.1f, 0.1f, 0.15f, 1);
    glClearDepth(1);
    glDepthMask(GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glBlendFunc(GL_ONE, GL_ZERO);
    glCullFace(GL_BACK);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor4f(1, 1, 1, 1);
}

// A texture uploaded as the demo's util_textureFromNorkImage does it.
GLuint texture(GLenum format, int w, int h, int channels, unsigned (*texel)(int x, int y, int c)) {
    std::vector<unsigned char> pixels((size_t)w * h * channels);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < channels; c++) pixels[((size_t)y * w + x) * channels + c] = (unsigned char)texel(x, y, c);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, format, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    return name;
}

// A unit sphere as GL_T2F_N3F_V3F triangles.
std::vector<float> sphere(int slices, int stacks) {
    std::vector<float> v;
    auto put = [&](int i, int j) {
        double a = 2 * M_PI * i / slices, b = M_PI * j / stacks - M_PI / 2;
        float n[3] = {(float)(cos(b) * cos(a)), (float)sin(b), (float)(cos(b) * sin(a))};
        v.insert(v.end(), {(float)i / slices, (float)j / stacks, n[0], n[1], n[2], n[0], n[1], n[2]});
    };
    for (int i = 0; i < slices; i++)
        for (int j = 0; j < stacks; j++) {
            put(i, j), put(i, j + 1), put(i + 1, j + 1);
            put(i, j), put(i + 1, j + 1), put(i + 1, j);
        }
    return v;
}

void quad(float x0, float y0, float x1, float y1, float z, float s = 1, float t = 1) {
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex3f(x0, y0, z);
    glTexCoord2f(s, 0);
    glVertex3f(x1, y0, z);
    glTexCoord2f(s, t);
    glVertex3f(x1, y1, z);
    glTexCoord2f(0, t);
    glVertex3f(x0, y1, z);
    glEnd();
}

// Lit spheres: a scaled model-view (normals not renormalised), emission,
// specular with and without the local viewer, and a quad with the default normal.
void caseLit() {
    const float lightPos[] = {-5, 3, 8, 0};
    const float lightDiff[] = {1, 0.9f, 0.8f, 1};
    const float lightSpec[] = {1, 1, 1, 1};
    const float lightAmb[] = {0.2f, 0.2f, 0.4f, 1};
    const float emission[] = {0.1f, 0.05f, 0, 1};
    const float ambient[] = {0.6f, 0.6f, 0.8f, 1};
    const float diffuse[] = {0.8f, 0.5f, 0.3f, 1};
    const float specular[] = {1, 1, 1, 1};
    const float shine40[] = {40}, shine8[] = {8};
    glMatrixMode(GL_PROJECTION);
    gluPerspective(60, 1, 1, 100);
    glMatrixMode(GL_MODELVIEW);
    gluLookAt(0, 1, 10, 0, 0, 0, 0, 1, 0);
    // Given under a large turn, which GL applies to the position at once: taken
    // as given, the light would fall from the other side.
    glPushMatrix();
    glRotatef(150, 0.3f, 1, 0.2f);
    glLightfv(GL_LIGHT1, GL_POSITION, lightPos);
    glPopMatrix();
    glLightfv(GL_LIGHT1, GL_DIFFUSE, lightDiff);
    glLightfv(GL_LIGHT1, GL_SPECULAR, lightSpec);
    glLightfv(GL_LIGHT1, GL_AMBIENT, lightAmb);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT1);
    glEnable(GL_DEPTH_TEST);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, emission);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SHININESS, shine40);
    std::vector<float> ball = sphere(32, 16);
    glInterleavedArrays(GL_T2F_N3F_V3F, 0, ball.data());

    glLightModelf(GL_LIGHT_MODEL_LOCAL_VIEWER, 1);
    glPushMatrix();
    glTranslatef(-2.2f, 1.5f, 0);
    glDrawArrays(GL_TRIANGLES, 0, (GLsizei)ball.size() / 8);
    glPopMatrix();

    glPushMatrix();
    glTranslatef(2.2f, 1.5f, 0);
    glRotatef(30, 1, 1, 0);
    glScalef(1.6f, 1.6f, 1.6f); // normals shrink to 1/1.6: dimmer, and a duller highlight
    glDrawArrays(GL_TRIANGLES, 0, (GLsizei)ball.size() / 8);
    glPopMatrix();

    glLightModelf(GL_LIGHT_MODEL_LOCAL_VIEWER, 0);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SHININESS, shine8);
    glPushMatrix();
    glTranslatef(0, -2, 0);
    glScalef(0.8f, 0.8f, 0.8f); // normals grow: brighter
    glDrawArrays(GL_TRIANGLES, 0, (GLsizei)ball.size() / 8);
    glPopMatrix();

    // The same array changed in place: drawn as it is now, not as it was.
    for (size_t i = 0; i < ball.size(); i += 8)
        for (size_t j = 5; j < 8; j++) ball[i + j] *= 0.6f;
    glPushMatrix();
    glTranslatef(3.2f, -2.6f, 0);
    glDrawArrays(GL_TRIANGLES, 0, (GLsizei)ball.size() / 8);
    glPopMatrix();

    // Immediate mode carries no normals: the current normal (0, 0, 1) lights it.
    glPushMatrix();
    glTranslatef(-4, -4, -2);
    glRotatef(-40, 0, 1, 0);
    quad(0, 0, 2.5f, 2.5f, 0);
    glPopMatrix();
    glDisable(GL_LIGHTING);
}

unsigned checker(int x, int y, int c) { return ((x / 8 + y / 8) % 2 ? 230 : 40) - 30 * c + 4 * x; }
unsigned grey(int x, int y, int) { return (unsigned)(128 + 100 * sin(x * 0.2) * cos(y * 0.15)); }
unsigned greyAlpha(int x, int y, int c) { return c == 0 ? 255 - 3 * y : (unsigned)(255 * (x < 32 ? x / 32.0 : (63 - x) / 32.0)); }
unsigned rgbaRings(int x, int y, int c) {
    double r = hypot(x - 31.5, y - 31.5);
    return c == 3 ? (unsigned)(r < 30 ? 255 - 8 * r : 0) : (unsigned)(127 + 120 * sin(r * 0.5 + c));
}
unsigned npotRamp(int x, int y, int c) { return (unsigned)(c == 0 ? 5 * x : c == 1 ? 6 * y : 200 - 4 * x); }

// Texture modulate with every image layout the demo uploads, repeats on a
// power-of-two and on a non-power-of-two texture, and a texture with no image.
void caseTexture() {
    GLuint rgb = texture(GL_RGB, 64, 64, 3, checker);
    GLuint lum = texture(GL_LUMINANCE, 64, 32, 1, grey);
    GLuint la = texture(GL_LUMINANCE_ALPHA, 64, 64, 2, greyAlpha);
    GLuint rgba = texture(GL_RGBA, 64, 64, 4, rgbaRings);
    GLuint npot = texture(GL_RGB, 48, 40, 3, npotRamp);
    GLuint empty = 0;
    glGenTextures(1, &empty);
    glBindTexture(GL_TEXTURE_2D, empty);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);

    glMatrixMode(GL_PROJECTION);
    glOrtho(0, 3, 0, 2, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 0.8f, 0.6f, 1);
    glBindTexture(GL_TEXTURE_2D, rgb);
    quad(0.05f, 1.05f, 0.95f, 1.95f, 0, 2.5f, 2);
    glColor4f(0.9f, 1, 0.7f, 1);
    glBindTexture(GL_TEXTURE_2D, lum);
    quad(1.05f, 1.05f, 1.95f, 1.95f, 0, 1, 1.5f);
    glColor4f(1, 1, 1, 1);
    glBindTexture(GL_TEXTURE_2D, npot);
    quad(2.05f, 1.05f, 2.95f, 1.95f, 0, 2.5f, 1.75f);

    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glColor4f(0.5f, 0.9f, 1, 0.8f);
    glBindTexture(GL_TEXTURE_2D, la);
    quad(0.05f, 0.05f, 0.95f, 0.95f, 0);
    glColor4f(1, 1, 1, 0.9f);
    glBindTexture(GL_TEXTURE_2D, rgba);
    quad(1.05f, 0.05f, 1.95f, 0.95f, 0);
    glBlendFunc(GL_ONE, GL_ZERO);
    glDisable(GL_BLEND);
    glColor4f(0.3f, 0.6f, 0.2f, 1);
    glBindTexture(GL_TEXTURE_2D, empty);
    quad(2.05f, 0.05f, 2.95f, 0.95f, 0);
    glDisable(GL_TEXTURE_2D);
    GLuint names[] = {rgb, lum, la, rgba, npot, empty};
    glDeleteTextures(6, names);
}

unsigned burst(int x, int y, int) {
    double r = hypot(x - 31.5, y - 31.5) / 32;
    return (unsigned)(r < 1 ? 255 * (1 - r) * (1 - r) : 0);
}

// Flares over a shaded background: additive, no depth writes, alpha from the colour.
void caseBlend() {
    GLuint flare = texture(GL_RGB, 64, 64, 3, burst);
    glBegin(GL_QUADS);
    glColor3f(0.1f, 0.2f, 0.5f);
    glVertex2f(-1, -1);
    glVertex2f(1, -1);
    glColor3f(0.6f, 0.3f, 0.1f);
    glVertex2f(1, 1);
    glVertex2f(-1, 1);
    glEnd();
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, flare);
    glEnable(GL_BLEND);
    glDepthMask(GL_FALSE);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    for (int i = 0; i < 12; i++) {
        float x = (float)(0.6 * cos(i * 0.9)), y = (float)(0.6 * sin(i * 1.3));
        glColor4f(1, 0.9f - 0.05f * i, 0.5f + 0.04f * i, 0.15f + 0.07f * i);
        quad(x - 0.35f, y - 0.35f, x + 0.35f, y + 0.35f, 0);
    }
    glDepthMask(GL_TRUE);
    glBlendFunc(GL_ONE, GL_ZERO);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glDeleteTextures(1, &flare);
}

// Interpenetrating quads under perspective, the depth functions and the depth
// mask, and culling of either winding.
void caseDepthCull() {
    glMatrixMode(GL_PROJECTION);
    gluPerspective(50, 1, 2, 40);
    glMatrixMode(GL_MODELVIEW);
    gluLookAt(0, 0, 12, 0, 0, 0, 0, 1, 0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glColor3f(0.8f, 0.2f, 0.2f);
    glPushMatrix();
    glRotatef(35, 0, 1, 0);
    quad(-4, -1, 4, 3, 0);
    glPopMatrix();
    glColor3f(0.2f, 0.8f, 0.3f);
    glPushMatrix();
    glRotatef(-35, 0, 1, 0);
    quad(-4, -2, 4, 2, 0);
    glPopMatrix();
    // The same plane again: LESS keeps the first, LEQUAL takes the second.
    glColor3f(1, 1, 0);
    glPushMatrix();
    glRotatef(-35, 0, 1, 0);
    quad(-4, -2, -1, 0, 0);
    glDepthFunc(GL_LEQUAL);
    glColor3f(0, 1, 1);
    quad(1, -2, 4, 0, 0);
    glPopMatrix();
    // Behind everything but drawn over it; without writing depth.
    glDepthFunc(GL_ALWAYS);
    glDepthMask(GL_FALSE);
    glColor3f(0.5f, 0.5f, 1);
    quad(-1, 2.5f, 1, 4, -10);
    glDepthMask(GL_TRUE);
    glDepthFunc(GL_LESS);
    // Culling: counter-clockwise is front. Four quads, two of each winding.
    glEnable(GL_CULL_FACE);
    glCullFace(GL_FRONT);
    glColor3f(1, 0.5f, 0);
    quad(-5, -5, -3, -3, 1);                           // front: culled
    glBegin(GL_QUADS);                                 // back: drawn
    glVertex3f(-2.5f, -5, 1);
    glVertex3f(-2.5f, -3, 1);
    glVertex3f(-0.5f, -3, 1);
    glVertex3f(-0.5f, -5, 1);
    glEnd();
    glCullFace(GL_BACK);
    glColor3f(0.6f, 0, 1);
    quad(0.5f, -5, 2.5f, -3, 1);                       // front: drawn
    glBegin(GL_QUADS);                                 // back: culled
    glVertex3f(3, -5, 1);
    glVertex3f(3, -3, 1);
    glVertex3f(5, -3, 1);
    glVertex3f(5, -5, 1);
    glEnd();
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
}

// A billboard list made from the model-view matrix and called under other
// matrices and colours, a list calling a list, and interleaved arrays drawn as
// quads (the logo) and as triangles.
void caseListArrays() {
    GLuint tex = texture(GL_RGB, 64, 64, 3, burst);
    glMatrixMode(GL_PROJECTION);
    gluPerspective(70, 1, 1, 50);
    glMatrixMode(GL_MODELVIEW);
    gluLookAt(3, 4, 10, 0, 0, 0, 0, 1, 0);
    glRotatef(25, 0, 1, 0);
    glScalef(1.5f, 2, 1.5f);
    GLuint list = glGenLists(2);
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    float rx = m[0], ry = m[4], rz = m[8], ux = m[1], uy = m[5], uz = m[9];
    glNewList(list, GL_COMPILE);
    glColor4f(1, 0.6f, 0.3f, 1); // recorded, not applied now
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex3f(-rx - ux, -ry - uy, -rz - uz);
    glTexCoord2f(1, 0);
    glVertex3f(rx - ux, ry - uy, rz - uz);
    glTexCoord2f(1, 1);
    glVertex3f(rx + ux, ry + uy, rz + uz);
    glTexCoord2f(0, 1);
    glVertex3f(-rx + ux, -ry + uy, -rz + uz);
    glEnd();
    glEndList();
    glNewList(list + 1, GL_COMPILE);
    glCallList(list);
    glEndList();
    glColor4f(0.4f, 1, 0.4f, 1);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, tex);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    for (int i = 0; i < 5; i++) {
        glPushMatrix();
        glTranslatef(-3.0f + 1.5f * i, 0.5f * (i % 2), 0);
        glCallList(i % 2 ? list + 1 : list);
        glPopMatrix();
        glColor4f(0.2f + 0.15f * i, 0.5f, 1, 0.8f); // the list's own colour wins from the next call on
    }
    glDeleteLists(list, 2);
    glCallList(list); // deleted: draws nothing

    // The logo's quad in device coordinates, over it all.
    static float logo[20] = {
        1, 0, -0.28f, -0.4f, 0, 0, 0, -0.98f, -0.4f, 0, 0, 1, -0.98f, -1.25f, 0, 1, 1, -0.28f, -1.25f, 0,
    };
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor4f(1, 1, 1, 0.8f);
    glInterleavedArrays(GL_T2F_V3F, 0, logo);
    glDrawArrays(GL_QUADS, 0, 4);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    // Positions only, with a stride wider than the vertex, from the second vertex on.
    static float tris[] = {9, 9, 9, 9, 0.2f, 0.2f, 0, 0, 0.9f, 0.3f, 0, 0, 0.5f, 0.9f, 0, 0, 0.1f, 0.95f, 0, 0};
    glColor3f(0.9f, 0.9f, 0.2f);
    glInterleavedArrays(GL_V3F, 16, tris);
    glDrawArrays(GL_TRIANGLES, 1, 3);

    // A ring of model size (kept in a GL buffer), again with a stride wider than
    // the vertex, whose last position ends where its memory does: an unreadable
    // page follows, so reading a whole stride for the last vertex faults.
    const int kRing = 22, kVertices = 3 * kRing, kStride = 16;
    size_t page = (size_t)sysconf(_SC_PAGESIZE);
    size_t bytes = (size_t)(kVertices - 1) * kStride + 3 * sizeof(float);
    auto* mem = (unsigned char*)mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mem == MAP_FAILED || mprotect(mem + page, page, PROT_NONE) != 0) {
        fprintf(stderr, "no guarded memory\n");
        exit(2);
    }
    unsigned char* ring = mem + page - bytes;
    for (int i = 0; i < kVertices; i++) {
        float a = (float)(2 * M_PI) * (float)(i / 3 + (i % 3 == 2)) / kRing, r = i % 3 ? 0.3f : 0.1f;
        float p[3] = {-0.6f + r * cosf(a), 0.6f + r * sinf(a), 0};
        memcpy(ring + (size_t)i * kStride, p, sizeof p);
    }
    glColor3f(0.3f, 0.8f, 0.9f);
    glInterleavedArrays(GL_V3F, kStride, ring);
    glDrawArrays(GL_TRIANGLES, 0, kVertices);
    munmap(mem, 2 * page);
    glDeleteTextures(1, &tex);
}

// Colours at every corner: the quads' diagonal shows in the interpolation.
// Quads, a quad strip and lines, under glOrtho, with 2f, 3f and 3i vertices.
void caseGouraud() {
    glMatrixMode(GL_PROJECTION);
    glOrtho(0, 10, 0, 10, -5, 5);
    glMatrixMode(GL_MODELVIEW);
    glBegin(GL_QUADS);
    glColor3f(1, 0, 0);
    glVertex2f(0.5f, 5.5f);
    glColor3f(0, 1, 0);
    glVertex2f(4.5f, 5.5f);
    glColor3f(0, 0, 1);
    glVertex2f(4.5f, 9.5f);
    glColor3f(1, 1, 1);
    glVertex2f(0.5f, 9.5f);
    glColor3f(1, 1, 0); // a second quad, not square
    glVertex3f(5.5f, 6, 0);
    glColor3f(0, 0, 0);
    glVertex3f(9.5f, 5.5f, 1);
    glColor3f(1, 0, 1);
    glVertex3f(9, 9.5f, 0);
    glColor3f(0, 1, 1);
    glVertex3f(6, 8.5f, 0);
    glEnd();
    glBegin(GL_QUAD_STRIP);
    const float colours[6][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {1, 0, 1}, {0, 1, 1}};
    for (int i = 0; i < 6; i++) {
        glColor3f(colours[i][0], colours[i][1], colours[i][2]);
        glVertex3i(1 + (i % 2) * 7, 1 + (i / 2) * 2, 0);
    }
    glEnd();
    glBegin(GL_LINES);
    for (int i = 0; i < 8; i++) {
        glColor3f(1, 1 - i / 8.0f, i / 8.0f);
        glVertex2f(0.3f + i * 1.2f, 0.2f);
        glColor3f(0, 1, 0);
        glVertex2f(1.0f + i * 1.2f, 5.3f);
    }
    glEnd();
}

// glGetError's answers as "CALL [N]: 0xERROR" lines, for the test to hold the
// layer's against real GL's.
std::string g_errors;

void noteError(const char* call, int n = 0) {
    GLenum error = glGetError();
    if (error == GL_NO_ERROR) return;
    char line[96];
    if (n)
        snprintf(line, sizeof line, "%s %d: 0x%04x\n", call, n, error);
    else
        snprintf(line, sizeof line, "%s: 0x%04x\n", call, error);
    g_errors += line;
}

// The matrix stacks pushed past their 32 matrices and popped past the first:
// GL refuses those calls with an error and leaves the stack as it was, so the
// steps taken after a refused push move the top matrix, and the pops come back
// down the matrices kept (one mark each, then a step up that the next pop
// undoes) and stay on the first. Then the values glOrtho, glMaterialfv and
// glInterleavedArrays refuse.
void caseStack() {
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; i++) {
    }
    glMatrixMode(GL_PROJECTION);
    glOrtho(-1, 47, -1, 47, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    auto mark = [](float y, int i) {
        glColor3f(0.3f + 0.015f * i, 1 - 0.02f * i, 0.4f + 0.01f * (i % 7));
        quad(0, y, 0.8f, y + 0.8f, 0);
    };
    const int kCalls = 40;
    for (int i = 1; i <= kCalls; i++) {
        glPushMatrix();
        noteError("model-view push", i);
        glTranslatef(1, 0, 0);
        mark(40, i);
    }
    for (int i = 1; i <= kCalls; i++) {
        glPopMatrix();
        noteError("model-view pop", i);
        mark(0, i);
        glTranslatef(0, 1, 0);
    }
    glMatrixMode(GL_PROJECTION);
    for (int i = 1; i <= kCalls; i++) {
        glPushMatrix();
        noteError("projection push", i);
        glTranslatef(0.01f, 0, 0);
    }
    for (int i = 1; i <= kCalls; i++) {
        glPopMatrix();
        noteError("projection pop", i);
    }
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor3f(1, 1, 1);
    quad(20, 20, 24, 24, 0); // under the projection kept at the bottom of its stack

    glOrtho(0, 0, 0, 1, -1, 1);
    noteError("glOrtho with left = right");
    glOrtho(0, 1, 0, 1, 2, 2);
    noteError("glOrtho with near = far");
    const float shininess[] = {200};
    glMaterialfv(GL_FRONT, GL_SHININESS, shininess);
    noteError("glMaterialfv of shininess 200");
    static const float vertices[9] = {};
    glInterleavedArrays(GL_V3F, -12, vertices);
    noteError("glInterleavedArrays with a negative stride");
    glInterleavedArrays(GL_LINES, 0, vertices);
    noteError("glInterleavedArrays of no format");
}

// The driver's frame at 1280x1024 (the beat level stays 0).
const int kFrameW = 1280, kFrameH = 1024;

double clockMs(clockid_t clock) {
    timespec ts;
    clock_gettime(clock, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double now() { return clockMs(CLOCK_MONOTONIC); }

// The show as the demo starts it: the logo, the tower scene, and its clock.
struct Show {
    nork_image_t* image = nullptr;
    int texNork = 0;
    Scene1* scene = nullptr;
    float t = 0;
    Show() {
        pNorkLib = nork_new();
        nork_dar_add(pNorkLib, dataVelandor_data);
        image = nork_imageFromPNG(pNorkLib, "data/nork.png");
        nork_image_toRGBA8888(pNorkLib, image);
        texNork = util_textureFromNorkImage(pNorkLib, image);
        scene = new Scene1;
        if (!scene->poTurm) {
            fprintf(stderr, "the tower model is missing from the linked-in archive\n");
            delete scene;
            scene = nullptr;
        }
    }
    ~Show() {
        delete scene;
        nork_image_delete(pNorkLib, &image);
        nork_delete(pNorkLib);
    }
    void frame(int w, int h, float deltaTime) {
        t += deltaTime;
        drawFrame(scene, texNork, w, h, t, deltaTime, 0);
    }
};

// What the layer asked of GL for the frames drawn between begin and end: the
// most any one of them cost.
struct Cost {
#ifdef FIXEDGL_ES
    fixedgl_counters_t most = {};
    void begin() { fixedgl_resetCounters(); }
    void end() {
        fixedgl_flush();
        fixedgl_counters_t c = fixedgl_counters();
        most.draws = std::max(most.draws, c.draws);
        most.bytes = std::max(most.bytes, c.bytes);
        most.programs = std::max(most.programs, c.programs);
    }
    void print() { printf(" draws %lu bytes %lu programs %lu", most.draws, most.bytes, most.programs); }
#else
    void begin() {}
    void end() {}
    void print() {}
#endif
};

// The steady-state frame (the show at 90 s, 1280x720) drawn again and again in
// steps of 1/60 s: CPU time of the whole process (the rasteriser's threads
// included) and wall time per frame, the last frame finished, and what the
// costliest of them asked of GL.
int bench(int frames) {
    const int w = 1280, h = 720;
    Target target(w, h);
    resetState(w, h);
    Show show;
    if (!show.scene) return 2;
    show.frame(w, h, 0);
    show.frame(w, h, 3);
    for (int i = 0; i < 174; i++) show.frame(w, h, 0.5f);
    ex.Finish();
    Cost cost;
    double cpu0 = clockMs(CLOCK_PROCESS_CPUTIME_ID), wall0 = now();
    for (int i = 0; i < frames; i++) {
        cost.begin();
        show.frame(w, h, 1 / 60.0f);
        cost.end();
    }
    ex.Finish();
    printf("cpu_ms_per_frame %.3f wall_ms_per_frame %.3f", (clockMs(CLOCK_PROCESS_CPUTIME_ID) - cpu0) / frames,
           (now() - wall0) / frames);
    cost.print();
    printf("\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s OUTDIR [FAULT] | --bench [FRAMES [FAULT]]\n", argv[0]);
        return 2;
    }
    std::string out = argv[1];
    bool benchmark = out == "--bench";
    int faultAt = benchmark ? 3 : 2;
    const char* fault = argc > faultAt ? argv[faultAt] : nullptr;
    makeContext();
#ifdef FIXEDGL_ES
    fixedgl_break(fault);
#else
    (void)fault;
#endif
    if (benchmark) return bench(argc > 2 ? atoi(argv[2]) : 200);

    const struct {
        const char* name;
        void (*draw)();
    } cases[] = {{"lit", caseLit},           {"texture", caseTexture},         {"blend", caseBlend},
                 {"depth_cull", caseDepthCull}, {"list_arrays", caseListArrays}, {"gouraud", caseGouraud},
                 {"stack", caseStack}};
    for (const auto& c : cases) {
        Target target(256, 256);
        resetState(256, 256);
        double t0 = now();
        c.draw();
        target.write(out + "/" + c.name + ".ppm");
        printf("%s %.2f ms\n", c.name, now() - t0);
    }
    FILE* errors = fopen((out + "/errors.txt").c_str(), "w");
    if (!errors || fputs(g_errors.c_str(), errors) < 0 || fclose(errors) != 0) {
        perror((out + "/errors.txt").c_str());
        return 2;
    }

    // The show's frames at 0, 3 and 90 seconds, driven with fixed steps; the
    // frames between are drawn too (the scene's state advances as it draws).
    // The layer then loses its context (the real GL keeps it) and draws the
    // next frame in a new one.
    Target* target = new Target(kFrameW, kFrameH);
    resetState(kFrameW, kFrameH);
    Show show;
    if (!show.scene) return 2;
    double t0 = now();
    show.frame(kFrameW, kFrameH, 0);
    target->write(out + "/frame_t0.ppm");
    show.frame(kFrameW, kFrameH, 3);
    target->write(out + "/frame_t3.ppm");
    for (int i = 0; i < 174; i++) show.frame(kFrameW, kFrameH, 0.5f);
    target->write(out + "/frame_t90.ppm");
    ex.Finish();
    printf("frames %.2f ms per frame\n", (now() - t0) / 176);
#ifdef FIXEDGL_ES
    delete target;
    replaceContext();
    target = new Target(kFrameW, kFrameH);
#endif
    show.frame(kFrameW, kFrameH, 0.5f);
    target->write(out + "/frame_restored.ppm");
    delete target;
    return 0;
}
