/*
 * The fixed-function layer's lower half: everything that reaches the real GL
 * underneath, WebGL 1 in the browser, OpenGL ES 2 through EGL natively.
 *
 * It keeps the cost GL/gl.h states (a program per state combination, one
 * batch and one draw while the state holds, model arrays kept in GL buffers,
 * repeated state not passed on), and counts what it asks of GL: the draws, the
 * bytes uploaded and the changes of program (fixedgl_counters).
 *
 * Everything the layer makes on the GL side can be made again from what it
 * keeps (fixedgl_contextRestored): texture names are the layer's own, each
 * standing for a GL texture of the current context and a copy of its image.
 *
 * The real functions are never called by their names: the layer defines
 * glEnable, glViewport, glBindTexture, glDrawArrays and others itself. Under
 * Emscripten each WebGL call is also exported as emscripten_glX
 * (webgl/webgl1.h), and that alias is taken. Natively they come from
 * eglGetProcAddress (EGL_KHR_get_all_proc_addresses: Mesa and the GLVND
 * dispatcher answer for core functions too), and the program links libEGL
 * only, so no driver symbol named like one of ours is ever bound.
 */
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#include <emscripten/html5.h>
#include <webgl/webgl1.h>
#else
#include <EGL/egl.h>
#include <GLES2/gl2.h>
#endif

#include "fixedgl.h"
#include "fixedgl_internal.h"

namespace {

#define FGL_ES_CALLS(X)                                                                                              \
    X(AttachShader) X(BindAttribLocation) X(BindBuffer) X(BindTexture) X(BlendFunc) X(BufferData) X(Clear)           \
    X(ClearColor) X(ClearDepthf) X(CompileShader) X(CreateProgram) X(CreateShader) X(CullFace) X(DeleteBuffers)      \
    X(DeleteShader) X(DeleteTextures) X(DepthFunc) X(DepthMask) X(Disable) X(DisableVertexAttribArray) X(DrawArrays) \
    X(DrawElements) X(Enable) X(EnableVertexAttribArray) X(GenBuffers) X(GenTextures) X(GetError) X(GetFloatv)       \
    X(GetIntegerv) X(GetProgramInfoLog) X(GetProgramiv) X(GetShaderInfoLog) X(GetShaderiv) X(GetUniformLocation)     \
    X(LinkProgram) X(PixelStorei) X(ShaderSource) X(TexImage2D) X(TexParameteri) X(Uniform1f) X(Uniform1i)           \
    X(Uniform2f) X(Uniform4fv) X(UniformMatrix3fv) X(UniformMatrix4fv) X(UseProgram) X(VertexAttrib3f)               \
    X(VertexAttrib4fv) X(VertexAttribPointer) X(Viewport)

struct Calls {
#define FGL_MEMBER(name) decltype(&::gl##name) name;
    FGL_ES_CALLS(FGL_MEMBER)
#undef FGL_MEMBER
};

Calls loadCalls() {
    Calls c;
#ifdef __EMSCRIPTEN__
#define FGL_LOAD(name) c.name = &emscripten_gl##name;
#else
#define FGL_LOAD(name) c.name = (decltype(c.name))eglGetProcAddress("gl" #name);
#endif
    FGL_ES_CALLS(FGL_LOAD)
#undef FGL_LOAD
    return c;
}

const Calls& gl() {
    static const Calls calls = loadCalls();
    return calls;
}

/* Fixed-function GL's per-vertex lighting, in eye space, and its transform.
 * LIGHTING, LIGHT1 and LOCAL_VIEWER are defined by the program's variant. */
const char* const kVertexShader = R"(
attribute vec4 aPosition;
attribute vec3 aNormal;
attribute vec4 aColor;
attribute vec2 aTexCoord;
uniform mat4 uModelview;
uniform mat4 uProjection;
uniform mat3 uNormalMatrix;
uniform vec4 uMatEmission, uMatAmbient, uMatDiffuse, uMatSpecular;
uniform float uMatShininess;
uniform vec4 uModelAmbient;
uniform vec4 uLightPosition, uLightAmbient, uLightDiffuse, uLightSpecular;
varying vec4 vColor;
varying vec2 vTexCoord;

void main() {
    vec4 e = uModelview * aPosition;
    gl_Position = uProjection * e;
    vTexCoord = aTexCoord;
#ifndef LIGHTING
    vColor = clamp(aColor, 0.0, 1.0);
#else
    vec3 c = uMatEmission.rgb + uMatAmbient.rgb * uModelAmbient.rgb;
#ifdef LIGHT1
    // Not renormalised: GL_NORMALIZE is off, so a scaled model-view scales n.
    vec3 n = uNormalMatrix * aNormal;
    vec3 l = uLightPosition.w == 0.0 ? normalize(uLightPosition.xyz)
                                     : normalize(uLightPosition.xyz / uLightPosition.w - e.xyz / e.w);
    float nl = dot(n, l);
    c += uLightAmbient.rgb * uMatAmbient.rgb + max(nl, 0.0) * uLightDiffuse.rgb * uMatDiffuse.rgb;
    if (nl > 0.0) {
#ifdef LOCAL_VIEWER
        vec3 v = normalize(-e.xyz);
#else
        vec3 v = vec3(0.0, 0.0, 1.0);
#endif
        float nh = max(dot(n, normalize(l + v)), 0.0);
        float s = uMatShininess == 0.0 ? 1.0 : pow(nh, uMatShininess);
        c += s * uLightSpecular.rgb * uMatSpecular.rgb;
    }
#endif
    vColor = vec4(clamp(c, 0.0, 1.0), clamp(uMatDiffuse.a, 0.0, 1.0));
#endif
}
)";

/* GL_MODULATE. TEXTURE: GL samples and repeats. REPEAT_LINEAR, REPEAT_NEAREST:
 * GL_REPEAT on a texture whose sides are not powers of two, which WebGL 1 can
 * only clamp: the texture is sampled at texel centres (GL_NEAREST) and the
 * filter of GL_REPEAT is rebuilt here from the wrapped texels. */
const char* const kFragmentShader = R"(
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform sampler2D uTexture;
uniform vec2 uTexSize;
varying vec4 vColor;
varying vec2 vTexCoord;

vec4 texel(vec2 i) {
    return texture2D(uTexture, (mod(i, uTexSize) + 0.5) / uTexSize);
}

void main() {
    vec4 c = vColor;
#if defined(TEXTURE)
    c *= texture2D(uTexture, vTexCoord);
#elif defined(REPEAT_NEAREST)
    c *= texel(floor(vTexCoord * uTexSize));
#elif defined(REPEAT_LINEAR)
    vec2 u = vTexCoord * uTexSize - 0.5;
    vec2 i = floor(u), f = u - i;
    c *= mix(mix(texel(i), texel(i + vec2(1.0, 0.0)), f.x),
             mix(texel(i + vec2(0.0, 1.0)), texel(i + vec2(1.0, 1.0)), f.x), f.y);
#endif
    gl_FragColor = c;
}
)";

enum Attribute { A_POSITION, A_NORMAL, A_COLOR, A_TEXCOORD, A_COUNT };

/* How a draw samples its texture. */
enum TexMode { TEX_NONE, TEX_GL, TEX_REPEAT_LINEAR, TEX_REPEAT_NEAREST };

/* A program variant: TexMode in bits 0-1, then lighting, GL_LIGHT1, local viewer. */
enum { KEY_LIGHTING = 4, KEY_LIGHT1 = 8, KEY_LOCAL_VIEWER = 16, KEY_COUNT = 32 };

const int kMaxBatchVertices = 65535;   /* indices are 16 bits */
const int kKeptArrayMin = 64;          /* vertices: smaller client arrays join the batch */
const size_t kMaxKeptArrays = 16;      /* the least recently drawn is dropped past this */
const float kCullMargin = 1e-5f;       /* device-coordinate area: thinner quads go to GL to decide */
const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

struct Program {
    GLuint id = 0;
    bool failed = false;
    struct {
        GLint modelview, projection, normal, matEmission, matAmbient, matDiffuse, matSpecular, matShininess,
            modelAmbient, lightPosition, lightAmbient, lightDiffuse, lightSpecular, texSize;
    } u = {};
    /* What the uniforms hold, so that an unchanged value is not sent again. */
    float modelview[16], projection[16], normal[9], texSize[2];
    fgl::Lighting lighting;
    bool sent = false, lightingSent = false;
};

/* What the layer must know of a texture object beyond what GL keeps, and what it
 * needs to make it again in a new context. */
struct Texture {
    GLuint real = 0; /* GL's name for it in the current context */
    bool image = false;
    bool repeatHere = false; /* not a power of two: clamped and unfiltered in GL, repeated by the shader */
    GLsizei width = 0, height = 0;
    GLenum format = GL_RGBA;
    GLint minFilter = GL_NEAREST_MIPMAP_LINEAR, magFilter = GL_LINEAR;
    std::vector<unsigned char> pixels; /* level 0, rows packed without padding */
};

/* A client array kept in a GL buffer, with the bytes it was made from. */
struct KeptArray {
    GLuint buffer = 0;
    std::vector<unsigned char> bytes;
    unsigned long long lastDrawn = 0;
};

/* What a batch is drawn with; two primitives share a batch when these agree. */
struct BatchKey {
    int program;
    GLuint texture; /* the layer's name, 0 when the program samples none */
    bool lines;
    bool normals;  /* vertices carry normals (else all have (0, 0, 1)) */
    bool clipSpace; /* positions taken into clip space here: both matrices are the identity */
    float modelview[16], projection[16], normal[9];
    fgl::Lighting lighting;
};

/* The state passed on to GL, as GL has it now. */
struct Passed {
    bool blend = false, depthTest = false, cullFace = false;
    GLenum blendSrc = GL_ONE, blendDst = GL_ZERO; /* as asked, before any deliberate fault */
    GLenum depthFunc = GL_LESS, cullMode = GL_BACK;
    GLboolean depthMask = GL_TRUE;
    GLint viewport[4] = {0, 0, 0, 0};
    bool viewportSet = false;
    float clearColor[4] = {0, 0, 0, 0};
    float clearDepth = 1;
    GLint unpackAlignment = 4;
};

struct Layer {
    Program programs[KEY_COUNT];
    GLuint vertexBuffer = 0, indexBuffer = 0;
    GLuint inUse = 0; /* the program GL uses */
    std::unordered_map<GLuint, Texture> textures;
    GLuint nextTexture = 1;
    GLuint bound = 0;     /* the layer's name */
    GLuint realBound = 0; /* GL's binding as the layer last set it */
    std::map<const unsigned char*, KeptArray> kept;
    unsigned long long keptDraws = 0; /* the clock of KeptArray::lastDrawn */
    Passed passed;
    fixedgl_counters_t counters = {};

    /* The batch being gathered. */
    bool batching = false;
    BatchKey key;
    std::vector<float> vertices;
    std::vector<uint16_t> indices;
    std::vector<fgl::Vertex> quads; /* the quads of a primitive that are drawn */
    int vertexCount = 0;
    bool flushQueued = false;

    /* Vertex attribute arrays as the layer last enabled them. */
    bool attribEnabled[A_COUNT] = {false, false, false, false};
    bool attribKnown = false;
};

Layer& L() {
    static Layer layer;
    return layer;
}

/* The calls a frame pays for, counted where they are made (fixedgl_counters). */
void useProgramId(GLuint id) {
    Layer& l = L();
    gl().UseProgram(id);
    l.inUse = id;
    l.counters.programs++;
}

void bufferData(GLenum target, size_t bytes, const void* data, GLenum usage) {
    gl().BufferData(target, (GLsizeiptr)bytes, data, usage);
    L().counters.bytes += bytes;
}

GLuint compile(GLenum type, const std::string& source) {
    const Calls& g = gl();
    GLuint shader = g.CreateShader(type);
    const char* text = source.c_str();
    g.ShaderSource(shader, 1, &text, nullptr);
    g.CompileShader(shader);
    GLint ok = 0;
    g.GetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = "";
        g.GetShaderInfoLog(shader, sizeof log, nullptr, log);
        fprintf(stderr, "fixedgl: shader does not compile: %s\n", log);
    }
    return shader;
}

bool build(Program& p, int key) {
    const Calls& g = gl();
    std::string defines;
    static const char* const kTexDefines[] = {"", "#define TEXTURE\n", "#define REPEAT_LINEAR\n",
                                              "#define REPEAT_NEAREST\n"};
    defines += kTexDefines[key & 3];
    if (key & KEY_LIGHTING) defines += "#define LIGHTING\n";
    if (key & KEY_LIGHT1) defines += "#define LIGHT1\n";
    if (key & KEY_LOCAL_VIEWER) defines += "#define LOCAL_VIEWER\n";
    GLuint vs = compile(GL_VERTEX_SHADER, defines + kVertexShader);
    GLuint fs = compile(GL_FRAGMENT_SHADER, defines + kFragmentShader);
    p.id = g.CreateProgram();
    g.AttachShader(p.id, vs);
    g.AttachShader(p.id, fs);
    g.BindAttribLocation(p.id, A_POSITION, "aPosition");
    g.BindAttribLocation(p.id, A_NORMAL, "aNormal");
    g.BindAttribLocation(p.id, A_COLOR, "aColor");
    g.BindAttribLocation(p.id, A_TEXCOORD, "aTexCoord");
    g.LinkProgram(p.id);
    g.DeleteShader(vs);
    g.DeleteShader(fs);
    GLint ok = 0;
    g.GetProgramiv(p.id, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[1024] = "";
        g.GetProgramInfoLog(p.id, sizeof log, nullptr, log);
        fprintf(stderr, "fixedgl: shader program does not link: %s\n", log);
        return false;
    }
    useProgramId(p.id);
#define FGL_UNIFORM(field, name) p.u.field = g.GetUniformLocation(p.id, name);
    FGL_UNIFORM(modelview, "uModelview")
    FGL_UNIFORM(projection, "uProjection")
    FGL_UNIFORM(normal, "uNormalMatrix")
    FGL_UNIFORM(matEmission, "uMatEmission")
    FGL_UNIFORM(matAmbient, "uMatAmbient")
    FGL_UNIFORM(matDiffuse, "uMatDiffuse")
    FGL_UNIFORM(matSpecular, "uMatSpecular")
    FGL_UNIFORM(matShininess, "uMatShininess")
    FGL_UNIFORM(modelAmbient, "uModelAmbient")
    FGL_UNIFORM(lightPosition, "uLightPosition")
    FGL_UNIFORM(lightAmbient, "uLightAmbient")
    FGL_UNIFORM(lightDiffuse, "uLightDiffuse")
    FGL_UNIFORM(lightSpecular, "uLightSpecular")
    FGL_UNIFORM(texSize, "uTexSize")
#undef FGL_UNIFORM
    g.Uniform1i(g.GetUniformLocation(p.id, "uTexture"), 0);
    return true;
}

/* The program of key, in use, with its uniforms as the draw needs them. */
Program* useProgram(const BatchKey& k) {
    Layer& l = L();
    Program& p = l.programs[k.program];
    if (!p.id && !p.failed) p.failed = !build(p, k.program);
    if (p.failed) return nullptr;
    const Calls& g = gl();
    if (l.inUse != p.id) useProgramId(p.id);
    if (!p.sent || memcmp(p.modelview, k.modelview, sizeof p.modelview) != 0) {
        g.UniformMatrix4fv(p.u.modelview, 1, GL_FALSE, k.modelview);
        memcpy(p.modelview, k.modelview, sizeof p.modelview);
    }
    if (!p.sent || memcmp(p.projection, k.projection, sizeof p.projection) != 0) {
        g.UniformMatrix4fv(p.u.projection, 1, GL_FALSE, k.projection);
        memcpy(p.projection, k.projection, sizeof p.projection);
    }
    if ((k.program & KEY_LIGHT1) && (!p.sent || memcmp(p.normal, k.normal, sizeof p.normal) != 0)) {
        g.UniformMatrix3fv(p.u.normal, 1, GL_FALSE, k.normal);
        memcpy(p.normal, k.normal, sizeof p.normal);
    }
    if ((k.program & 3) >= TEX_REPEAT_LINEAR) {
        const Texture& t = l.textures[k.texture];
        float size[2] = {(float)t.width, (float)t.height};
        if (!p.sent || memcmp(p.texSize, size, sizeof size) != 0) {
            g.Uniform2f(p.u.texSize, size[0], size[1]);
            memcpy(p.texSize, size, sizeof size);
        }
    }
    p.sent = true;
    if ((k.program & KEY_LIGHTING) && (!p.lightingSent || memcmp(&p.lighting, &k.lighting, sizeof k.lighting) != 0)) {
        const fgl::Lighting& li = k.lighting;
        static const float kNoEmission[4] = {0, 0, 0, 0};
        g.Uniform4fv(p.u.matEmission, 1, fgl::g_breaks.emission ? kNoEmission : li.matEmission);
        g.Uniform4fv(p.u.matAmbient, 1, li.matAmbient);
        g.Uniform4fv(p.u.matDiffuse, 1, li.matDiffuse);
        g.Uniform4fv(p.u.matSpecular, 1, li.matSpecular);
        g.Uniform1f(p.u.matShininess, li.matShininess);
        g.Uniform4fv(p.u.modelAmbient, 1, li.modelAmbient);
        g.Uniform4fv(p.u.lightPosition, 1, li.lightPosition);
        g.Uniform4fv(p.u.lightAmbient, 1, li.lightAmbient);
        g.Uniform4fv(p.u.lightDiffuse, 1, li.lightDiffuse);
        g.Uniform4fv(p.u.lightSpecular, 1, li.lightSpecular);
        p.lighting = li;
        p.lightingSent = true;
    }
    return &p;
}

void bindReal(GLuint real) {
    Layer& l = L();
    if (l.realBound == real) return;
    gl().BindTexture(GL_TEXTURE_2D, real);
    l.realBound = real;
}

/* The texture a draw samples and the program variant for the state given. */
void chooseProgram(const fgl::Draw& d, BatchKey& k) {
    Layer& l = L();
    k.program = TEX_NONE;
    k.texture = 0;
    // An incomplete texture (no image, or a filter that needs mipmaps) leaves
    // the fragment's colour as if texturing were off.
    auto it = l.textures.find(l.bound);
    if (d.texturing && it != l.textures.end()) {
        const Texture& t = it->second;
        if (t.image && (t.minFilter == GL_LINEAR || t.minFilter == GL_NEAREST)) {
            // Where GL would repeat an unfiltered texture, the magnifying filter
            // chooses for both directions (the demo sets the same filter for both).
            k.program = !t.repeatHere ? TEX_GL : t.magFilter == GL_NEAREST ? TEX_REPEAT_NEAREST : TEX_REPEAT_LINEAR;
            k.texture = l.bound;
        }
    }
    if (d.lit) {
        k.program |= KEY_LIGHTING;
        if (d.lighting->light) k.program |= KEY_LIGHT1;
        if (d.lighting->light && d.lighting->localViewer) k.program |= KEY_LOCAL_VIEWER;
        k.lighting = *d.lighting;
    } else {
        memset(&k.lighting, 0, sizeof k.lighting);
    }
}

/* Enables exactly the attribute arrays given; the others take constant values. */
void enableAttributes(const bool want[A_COUNT]) {
    Layer& l = L();
    const Calls& g = gl();
    for (int a = 0; a < A_COUNT; a++) {
        if (l.attribKnown && l.attribEnabled[a] == want[a]) continue;
        if (want[a])
            g.EnableVertexAttribArray((GLuint)a);
        else
            g.DisableVertexAttribArray((GLuint)a);
        l.attribEnabled[a] = want[a];
    }
    l.attribKnown = true;
}

void queueFlush();

/* Binds the texture of a batch and makes sure the vertex and index buffers exist. */
bool prepare(const BatchKey& k) {
    Layer& l = L();
    const Calls& g = gl();
    if (!l.vertexBuffer) {
        g.GenBuffers(1, &l.vertexBuffer);
        g.GenBuffers(1, &l.indexBuffer);
    }
    if (k.program & 3) bindReal(l.textures[k.texture].real);
    return useProgram(k) != nullptr;
}

/* The indices of a primitive's triangles (or lines), first vertex at base. Every
 * quad, of fgl::QUADS or of a strip, is cut on the diagonal from its first to its
 * third vertex in drawing order, as Mesa cuts it, so that its colours
 * interpolate the same way. */
void appendIndices(GLenum mode, int base, int n, std::vector<uint16_t>& out) {
    auto put = [&](int a, int b, int c) {
        out.push_back((uint16_t)(base + a));
        out.push_back((uint16_t)(base + b));
        out.push_back((uint16_t)(base + c));
    };
    switch (mode) {
    case GL_LINES:
        for (int i = 0; i + 1 < n; i += 2) out.push_back((uint16_t)(base + i)), out.push_back((uint16_t)(base + i + 1));
        break;
    case GL_TRIANGLES:
        for (int i = 0; i + 2 < n; i += 3) put(i, i + 1, i + 2);
        break;
    case fgl::QUADS:
        for (int i = 0; i + 3 < n; i += 4) {
            put(i, i + 1, i + 2);
            put(i, i + 2, i + 3);
        }
        break;
    case fgl::QUAD_STRIP: /* quad i in drawing order: i, i+1, i+3, i+2 */
        for (int i = 0; i + 3 < n; i += 2) {
            put(i + 2, i, i + 3);
            put(i, i + 1, i + 3);
        }
        break;
    }
}

/* Whether a culling GL would discard quad q (four vertices of fgl::QUADS) whole:
 * both triangles facing the culled way by a clear margin, all corners in front
 * of the eye. Anything doubtful is left to GL. */
bool culledWhole(const float* mvp, const fgl::Vertex* q) {
    float x[4], y[4];
    for (int i = 0; i < 4; i++) {
        const float* p = q[i].pos;
        float w = mvp[3] * p[0] + mvp[7] * p[1] + mvp[11] * p[2] + mvp[15];
        if (!(w > 1e-6f)) return false;
        x[i] = (mvp[0] * p[0] + mvp[4] * p[1] + mvp[8] * p[2] + mvp[12]) / w;
        y[i] = (mvp[1] * p[0] + mvp[5] * p[1] + mvp[9] * p[2] + mvp[13]) / w;
    }
    auto area = [&](int a, int b, int c) { return (x[b] - x[a]) * (y[c] - y[a]) - (x[c] - x[a]) * (y[b] - y[a]); };
    float a1 = area(0, 1, 2), a2 = area(0, 2, 3);
    // Counter-clockwise is the front.
    GLenum mode = L().passed.cullMode;
    bool frontCulled = mode != GL_BACK && a1 > kCullMargin && a2 > kCullMargin;
    bool backCulled = mode != GL_FRONT && a1 < -kCullMargin && a2 < -kCullMargin;
    return frontCulled || backCulled;
}

int floatsPerVertex(const BatchKey& k) {
    bool lit = k.program & KEY_LIGHTING;
    return (k.clipSpace ? 4 : 3) + (lit && k.normals ? 3 : 0) + (lit ? 0 : 4) + ((k.program & 3) ? 2 : 0);
}

/* Attribute pointers for vertices in the batch's layout. */
void setPointers(const BatchKey& k) {
    const Calls& g = gl();
    GLsizei stride = (GLsizei)(floatsPerVertex(k) * sizeof(float));
    bool lit = k.program & KEY_LIGHTING;
    bool want[A_COUNT] = {true, k.normals && lit, !lit, (k.program & 3) != TEX_NONE};
    enableAttributes(want);
    size_t at = 0;
    int position = k.clipSpace ? 4 : 3;
    g.VertexAttribPointer(A_POSITION, position, GL_FLOAT, GL_FALSE, stride, (const void*)at);
    at += (size_t)position * sizeof(float);
    if (want[A_NORMAL]) {
        g.VertexAttribPointer(A_NORMAL, 3, GL_FLOAT, GL_FALSE, stride, (const void*)at);
        at += 3 * sizeof(float);
    } else if (lit) {
        g.VertexAttrib3f(A_NORMAL, 0, 0, 1);
    }
    if (want[A_COLOR]) {
        g.VertexAttribPointer(A_COLOR, 4, GL_FLOAT, GL_FALSE, stride, (const void*)at);
        at += 4 * sizeof(float);
    }
    if (want[A_TEXCOORD]) g.VertexAttribPointer(A_TEXCOORD, 2, GL_FLOAT, GL_FALSE, stride, (const void*)at);
}

/* Appends vertex v in the batch's layout; in clip space (by mvp) when the key
 * says so. */
void appendVertex(const BatchKey& k, const float* mvp, const fgl::Vertex& v, std::vector<float>& out) {
    const float* p = v.pos;
    if (k.clipSpace) {
        for (int r = 0; r < 4; r++) out.push_back(mvp[r] * p[0] + mvp[4 + r] * p[1] + mvp[8 + r] * p[2] + mvp[12 + r]);
    } else {
        out.insert(out.end(), p, p + 3);
    }
    bool lit = k.program & KEY_LIGHTING;
    if (lit && k.normals) out.insert(out.end(), v.normal, v.normal + 3);
    if (!lit) out.insert(out.end(), v.color, v.color + 4);
    if (k.program & 3) out.insert(out.end(), v.tex, v.tex + 2);
}

/* Uploads vertices in k's layout and the indices into them, and draws them. */
void drawIndexed(const BatchKey& k, const std::vector<float>& vertices, const std::vector<uint16_t>& indices) {
    Layer& l = L();
    const Calls& g = gl();
    g.BindBuffer(GL_ARRAY_BUFFER, l.vertexBuffer);
    bufferData(GL_ARRAY_BUFFER, vertices.size() * sizeof(float), vertices.data(), GL_STREAM_DRAW);
    g.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, l.indexBuffer);
    bufferData(GL_ELEMENT_ARRAY_BUFFER, indices.size() * sizeof(uint16_t), indices.data(), GL_STREAM_DRAW);
    setPointers(k);
    g.DrawElements(k.lines ? GL_LINES : GL_TRIANGLES, (GLsizei)indices.size(), GL_UNSIGNED_SHORT, nullptr);
    l.counters.draws++;
}

/* A primitive too large for 16-bit indices: its triangles (or lines) written
 * out and drawn in pieces below that limit. */
void drawWrittenOut(const BatchKey& k, const float* mvp, GLenum mode, const fgl::Vertex* v, int n) {
    if (!prepare(k)) return;
    std::vector<uint16_t> order;
    appendIndices(mode, 0, n, order);
    std::vector<uint16_t> pieceOrder;
    std::vector<float> out;
    const size_t perPrimitive = k.lines ? 2 : 3, step = perPrimitive * 16384;
    for (size_t start = 0; start < order.size(); start += step) {
        size_t end = order.size() - start < step ? order.size() : start + step;
        out.clear();
        pieceOrder.clear();
        for (size_t i = start; i < end; i++) {
            appendVertex(k, mvp, v[order[i]], out);
            pieceOrder.push_back((uint16_t)(i - start));
        }
        drawIndexed(k, out, pieceOrder);
    }
}

void applyBlend() {
    const Passed& s = L().passed;
    gl().BlendFunc(s.blendSrc, fgl::g_breaks.blend ? GL_ONE_MINUS_SRC_ALPHA : s.blendDst);
}

bool isPowerOfTwo(GLsizei n) { return n > 0 && (n & (n - 1)) == 0; }

int bytesPerPixel(GLenum format) {
    switch (format) {
    case GL_RGBA: return 4;
    case GL_RGB: return 3;
    case GL_LUMINANCE_ALPHA: return 2;
    default: return 1;
    }
}

/* Sends texture t's kept image and parameters to GL; its GL texture is bound. */
void uploadTexture(const Texture& t) {
    const Calls& g = gl();
    if (t.image) {
        g.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
        g.TexImage2D(GL_TEXTURE_2D, 0, (GLint)t.format, t.width, t.height, 0, t.format, GL_UNSIGNED_BYTE,
                     t.pixels.data());
        L().counters.bytes += t.pixels.size();
        g.PixelStorei(GL_UNPACK_ALIGNMENT, L().passed.unpackAlignment);
    }
    GLint wrap = t.repeatHere ? GL_CLAMP_TO_EDGE : GL_REPEAT;
    g.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    g.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    g.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, t.repeatHere ? GL_NEAREST : t.minFilter);
    g.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, t.repeatHere ? GL_NEAREST : t.magFilter);
}

/* The texture of the layer's name, made (in GL too) if it does not exist yet. */
Texture& textureNamed(GLuint name) {
    Layer& l = L();
    Texture& t = l.textures[name];
    if (!t.real && name) gl().GenTextures(1, &t.real);
    return t;
}

} // namespace

namespace fgl {

void esFlush() {
    Layer& l = L();
    if (!l.batching) return;
    l.batching = false;
    if (!l.indices.empty() && prepare(l.key)) drawIndexed(l.key, l.vertices, l.indices);
    l.vertices.clear();
    l.indices.clear();
    l.vertexCount = 0;
}

void esPrimitive(const Draw& d, unsigned mode, const Vertex* v, int n, bool normals) {
    if (n <= 0 || (mode != GL_LINES && mode != GL_TRIANGLES && mode != fgl::QUADS && mode != fgl::QUAD_STRIP)) return;
    Layer& l = L();
    BatchKey k;
    memset(&k, 0, sizeof k);
    chooseProgram(d, k);
    k.lines = mode == GL_LINES;
    k.normals = normals && d.lit;
    // Unlit vertices go into clip space here, by the product GL would use, so
    // that a new model-view (a flare's) does not end the batch.
    k.clipSpace = !d.lit;
    memcpy(k.modelview, k.clipSpace ? kIdentity : d.modelview, sizeof k.modelview);
    memcpy(k.projection, k.clipSpace ? kIdentity : d.projection, sizeof k.projection);
    memcpy(k.normal, d.normal, sizeof k.normal);

    if (l.batching && (memcmp(&k, &l.key, sizeof k) != 0 || l.vertexCount + n > kMaxBatchVertices)) esFlush();
    if (n > kMaxBatchVertices) {
        // 16-bit indices cannot reach past this; the vertices are written out by
        // their indices, so the index of each is its place in the piece.
        drawWrittenOut(k, d.mvp, mode, v, n);
        return;
    }
    if (!l.batching) {
        memcpy(&l.key, &k, sizeof k); /* with its padding, which the comparison reads */
        l.batching = true;
        queueFlush();
    }
    if (mode == fgl::QUADS && l.passed.cullFace) {
        // Only the quads GL would draw go up.
        std::vector<Vertex>& drawn = l.quads;
        drawn.clear();
        for (int q = 0; q + 3 < n; q += 4)
            if (!culledWhole(d.mvp, v + q)) drawn.insert(drawn.end(), v + q, v + q + 4);
        v = drawn.data();
        n = (int)drawn.size();
    }
    size_t before = l.indices.size();
    appendIndices(mode, l.vertexCount, n, l.indices);
    if (l.indices.size() == before) return;
    for (int i = 0; i < n; i++) appendVertex(k, d.mvp, v[i], l.vertices);
    l.vertexCount += n;
    if (g_breaks.batching) esFlush();
}

bool esKeptArray(const Draw& d, unsigned mode, const Array& a, int first, int count) {
    if (count < kKeptArrayMin || (mode != GL_TRIANGLES && mode != GL_LINES)) return false;
    // Up to the end of the last vertex's position: a stride wider than the vertex
    // has nothing to read after that.
    size_t bytes = ((size_t)first + (size_t)count - 1) * (size_t)a.stride + (size_t)(a.posAt + 3) * sizeof(float);
    Layer& l = L();
    const Calls& g = gl();
    BatchKey k;
    memset(&k, 0, sizeof k);
    chooseProgram(d, k);
    if (!a.hasTex && (k.program & 3)) return false; /* sampled at the current coordinates: as a primitive */
    esFlush();
    k.lines = mode == GL_LINES;
    k.normals = a.hasNormal && d.lit;
    memcpy(k.modelview, d.modelview, sizeof k.modelview);
    memcpy(k.projection, d.projection, sizeof k.projection);
    memcpy(k.normal, d.normal, sizeof k.normal);
    if (!prepare(k)) return true;

    KeptArray& kept = l.kept[a.pointer];
    if (!kept.buffer) g.GenBuffers(1, &kept.buffer);
    g.BindBuffer(GL_ARRAY_BUFFER, kept.buffer);
    if (kept.bytes.size() != bytes || memcmp(kept.bytes.data(), a.pointer, bytes) != 0) {
        kept.bytes.assign(a.pointer, a.pointer + bytes);
        bufferData(GL_ARRAY_BUFFER, bytes, a.pointer, GL_STATIC_DRAW);
    }
    kept.lastDrawn = ++l.keptDraws;

    // The array's own layout.
    size_t normalAt = (size_t)a.normalAt * sizeof(float), posAt = (size_t)a.posAt * sizeof(float);
    bool want[A_COUNT] = {true, k.normals, false, (k.program & 3) != TEX_NONE};
    enableAttributes(want);
    g.VertexAttribPointer(A_POSITION, 3, GL_FLOAT, GL_FALSE, a.stride, (const void*)posAt);
    if (k.normals)
        g.VertexAttribPointer(A_NORMAL, 3, GL_FLOAT, GL_FALSE, a.stride, (const void*)normalAt);
    else
        g.VertexAttrib3f(A_NORMAL, 0, 0, 1);
    if (!d.lit) g.VertexAttrib4fv(A_COLOR, d.color);
    if (want[A_TEXCOORD]) g.VertexAttribPointer(A_TEXCOORD, 2, GL_FLOAT, GL_FALSE, a.stride, (const void*)0);
    g.DrawArrays(k.lines ? GL_LINES : GL_TRIANGLES, first, count - count % (k.lines ? 2 : 3));
    l.counters.draws++;

    if (l.kept.size() > kMaxKeptArrays) {
        auto oldest = l.kept.begin();
        for (auto it = l.kept.begin(); it != l.kept.end(); ++it)
            if (it->second.lastDrawn < oldest->second.lastDrawn) oldest = it;
        g.DeleteBuffers(1, &oldest->second.buffer);
        l.kept.erase(oldest);
    }
    return true;
}

void esEnable(unsigned cap, bool on) {
    Passed& s = L().passed;
    bool* flag = cap == GL_BLEND ? &s.blend : cap == GL_DEPTH_TEST ? &s.depthTest : cap == GL_CULL_FACE ? &s.cullFace
                                                                                                     : nullptr;
    if (flag && *flag == on) return;
    esFlush();
    if (flag) *flag = on;
    if (on)
        gl().Enable(cap);
    else
        gl().Disable(cap);
}

void esGetFloatv(unsigned pname, float* params) { gl().GetFloatv(pname, params); }

unsigned esGetError() { return gl().GetError(); }

void esReapplyBlend() {
    // The page may break the layer before the program has made its context.
#ifdef __EMSCRIPTEN__
    if (!emscripten_webgl_get_current_context()) return;
#else
    if (eglGetCurrentContext() == EGL_NO_CONTEXT) return;
#endif
    esFlush();
    applyBlend();
}

} // namespace fgl

namespace {

/* In the browser nothing tells the layer that a frame is over: the frame
 * function returns and the browser shows the canvas. A batch left open then is
 * drawn by a microtask, which runs after the frame function returns and before
 * the browser shows the frame. */
void queueFlush() {
#ifdef __EMSCRIPTEN__
    Layer& l = L();
    if (l.flushQueued) return;
    l.flushQueued = true;
    EM_ASM({ queueMicrotask(function() { Module['_fixedgl_flush'](); }); });
#endif
}

/* A value of the state passed on to GL: set (after drawing what was batched
 * under the old one) only when it changes. */
template <typename T> void pass(T& kept, T value, void (*set)(T)) {
    if (kept == value) return;
    fgl::esFlush();
    kept = value;
    set(value);
}

} // namespace

/* The calls that pass on to GL, with the layer's own bookkeeping. */
extern "C" {

void fixedgl_flush(void) {
    L().flushQueued = false;
    fgl::esFlush();
}

fixedgl_counters_t fixedgl_counters(void) { return L().counters; }

void fixedgl_resetCounters(void) { L().counters = {}; }

void fixedgl_contextRestored(void) {
    Layer& l = L();
    const Calls& g = gl();
    l.batching = false;
    l.vertices.clear();
    l.indices.clear();
    l.vertexCount = 0;
    for (Program& p : l.programs) p = Program();
    l.inUse = 0;
    l.vertexBuffer = l.indexBuffer = 0;
    l.kept.clear();
    l.attribKnown = false;
    l.realBound = 0;
    for (auto& [name, t] : l.textures) {
        if (name) g.GenTextures(1, &t.real);
        g.BindTexture(GL_TEXTURE_2D, t.real);
        uploadTexture(t);
    }
    g.BindTexture(GL_TEXTURE_2D, 0);
    const Passed& s = l.passed;
    auto set = [&](GLenum cap, bool on) { on ? g.Enable(cap) : g.Disable(cap); };
    set(GL_BLEND, s.blend);
    set(GL_DEPTH_TEST, s.depthTest);
    set(GL_CULL_FACE, s.cullFace);
    applyBlend();
    g.DepthFunc(s.depthFunc);
    g.DepthMask(s.depthMask);
    g.CullFace(s.cullMode);
    if (s.viewportSet) g.Viewport(s.viewport[0], s.viewport[1], s.viewport[2], s.viewport[3]);
    g.ClearColor(s.clearColor[0], s.clearColor[1], s.clearColor[2], s.clearColor[3]);
    g.ClearDepthf(s.clearDepth);
    g.PixelStorei(GL_UNPACK_ALIGNMENT, s.unpackAlignment);
}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    Passed& s = L().passed;
    GLint v[4] = {x, y, width, height};
    if (s.viewportSet && memcmp(s.viewport, v, sizeof v) == 0) return;
    fgl::esFlush();
    memcpy(s.viewport, v, sizeof v);
    s.viewportSet = true;
    gl().Viewport(x, y, width, height);
}

void glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha) {
    float* c = L().passed.clearColor;
    c[0] = red, c[1] = green, c[2] = blue, c[3] = alpha;
    gl().ClearColor(red, green, blue, alpha);
}

void glClearDepth(double depth) {
    L().passed.clearDepth = (float)depth;
    gl().ClearDepthf((GLfloat)depth);
}

void glClear(GLbitfield mask) {
    fgl::esFlush();
    gl().Clear(mask);
}

void glDepthFunc(GLenum func) { pass(L().passed.depthFunc, func, gl().DepthFunc); }

void glDepthMask(GLboolean flag) { pass(L().passed.depthMask, flag, gl().DepthMask); }

void glBlendFunc(GLenum sfactor, GLenum dfactor) {
    Passed& s = L().passed;
    if (s.blendSrc == sfactor && s.blendDst == dfactor) return;
    fgl::esFlush();
    s.blendSrc = sfactor;
    s.blendDst = dfactor;
    applyBlend();
}

void glCullFace(GLenum mode) { pass(L().passed.cullMode, mode, gl().CullFace); }

void glGetIntegerv(GLenum pname, GLint* params) { gl().GetIntegerv(pname, params); }

void glPixelStorei(GLenum pname, GLint param) {
    if (pname == GL_UNPACK_ALIGNMENT) L().passed.unpackAlignment = param;
    gl().PixelStorei(pname, param);
}

/* Names are the layer's own, so that they outlive the context they were made in. */
void glGenTextures(GLsizei n, GLuint* textures) {
    Layer& l = L();
    for (GLsizei i = 0; i < n; i++) {
        while (l.textures.count(l.nextTexture) || l.nextTexture == 0) l.nextTexture++;
        textures[i] = l.nextTexture;
        textureNamed(l.nextTexture++);
    }
}

void glDeleteTextures(GLsizei n, const GLuint* textures) {
    Layer& l = L();
    fgl::esFlush();
    for (GLsizei i = 0; i < n; i++) {
        auto it = l.textures.find(textures[i]);
        if (textures[i] == 0 || it == l.textures.end()) continue; /* the default texture cannot be deleted */
        gl().DeleteTextures(1, &it->second.real);
        if (l.realBound == it->second.real) l.realBound = 0;
        l.textures.erase(it);
        if (l.bound == textures[i]) l.bound = 0;
    }
}

void glBindTexture(GLenum target, GLuint texture) {
    if (target != GL_TEXTURE_2D) return;
    textureNamed(texture);
    L().bound = texture;
}

/* The filters are kept (a new context gets them again); the wrap modes stay
 * GL_REPEAT, as the demo leaves them. */
void glTexParameteri(GLenum target, GLenum pname, GLint param) {
    Layer& l = L();
    if (target != GL_TEXTURE_2D || (pname != GL_TEXTURE_MIN_FILTER && pname != GL_TEXTURE_MAG_FILTER)) return;
    fgl::esFlush();
    Texture& t = textureNamed(l.bound);
    (pname == GL_TEXTURE_MIN_FILTER ? t.minFilter : t.magFilter) = param;
    bindReal(t.real);
    gl().TexParameteri(target, pname, t.repeatHere ? GL_NEAREST : param);
}

/* ES takes the image in the format it is given (GL widens it to RGBA the same
 * way when sampling: luminance to (L, L, L, 1), RGB to (R, G, B, 1)), so the
 * internal format is the pixels' own. Only level 0 is kept: nothing here
 * builds mipmaps. The layer keeps a copy of the pixels for a new context. */
void glTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height, GLint border,
                  GLenum format, GLenum type, const void* pixels) {
    (void)internalformat;
    Layer& l = L();
    if (target != GL_TEXTURE_2D || level != 0) return;
    fgl::esFlush();
    Texture& t = textureNamed(l.bound);
    bool known = type == GL_UNSIGNED_BYTE && border == 0 &&
                 (format == GL_RGBA || format == GL_RGB || format == GL_LUMINANCE || format == GL_LUMINANCE_ALPHA);
    t.image = known && width > 0 && height > 0;
    t.repeatHere = t.image && !(isPowerOfTwo(width) && isPowerOfTwo(height));
    t.width = width;
    t.height = height;
    t.format = format;
    t.pixels.clear();
    if (t.image) {
        size_t row = (size_t)width * (size_t)bytesPerPixel(format);
        size_t align = l.passed.unpackAlignment > 0 ? (size_t)l.passed.unpackAlignment : 1;
        size_t pitch = (row + align - 1) / align * align;
        t.pixels.resize(row * (size_t)height);
        if (pixels)
            for (GLsizei y = 0; y < height; y++)
                memcpy(&t.pixels[row * (size_t)y], (const unsigned char*)pixels + pitch * (size_t)y, row);
    }
    bindReal(t.real);
    if (!t.image) {
        gl().TexImage2D(target, level, (GLint)format, width, height, border, format, type, pixels);
        return;
    }
    uploadTexture(t);
}

} // extern "C"
