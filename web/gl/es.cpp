/*
 * The fixed-function layer's lower half: everything that reaches the real GL
 * underneath, WebGL 1 in the browser, OpenGL ES 2 through EGL natively. It
 * holds the one shader program (the lighting and texture arithmetic of fixed-
 * function GL), streams each primitive's vertices through one buffer object,
 * keeps what it must know of each texture, and passes the rest straight on.
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

#include <unordered_map>

#ifdef __EMSCRIPTEN__
#include <emscripten/html5.h>
#include <webgl/webgl1.h>
#else
#include <EGL/egl.h>
#include <GLES2/gl2.h>
#endif

#include "fixedgl_internal.h"

namespace {

#define FGL_ES_CALLS(X)                                                                                              \
    X(AttachShader) X(BindAttribLocation) X(BindBuffer) X(BindTexture) X(BlendFunc) X(BufferData) X(Clear)           \
    X(ClearColor) X(ClearDepthf) X(CompileShader) X(CreateProgram) X(CreateShader) X(CullFace) X(DeleteShader)       \
    X(DeleteTextures) X(DepthFunc) X(DepthMask) X(Disable) X(DrawArrays) X(Enable) X(EnableVertexAttribArray)        \
    X(GenBuffers) X(GenTextures) X(GetFloatv) X(GetIntegerv) X(GetProgramInfoLog) X(GetProgramiv)                    \
    X(GetShaderInfoLog) X(GetShaderiv) X(GetUniformLocation) X(LinkProgram) X(PixelStorei) X(ShaderSource)            \
    X(TexImage2D) X(TexParameteri) X(Uniform1f) X(Uniform1i) X(Uniform4fv) X(Uniform2f) X(UniformMatrix3fv) X(UniformMatrix4fv)  \
    X(UseProgram) X(VertexAttribPointer) X(Viewport)

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

/* Fixed-function GL's per-vertex lighting, in eye space, and its transform. */
const char* const kVertexShader = R"(
attribute vec3 aPosition;
attribute vec3 aNormal;
attribute vec4 aColor;
attribute vec2 aTexCoord;
uniform mat4 uModelview;
uniform mat4 uModelviewProjection;
uniform mat3 uNormalMatrix;
uniform bool uLighting;
uniform vec4 uMatEmission, uMatAmbient, uMatDiffuse, uMatSpecular;
uniform float uMatShininess;
uniform vec4 uModelAmbient;
uniform bool uLight;
uniform bool uLocalViewer;
uniform vec4 uLightPosition, uLightAmbient, uLightDiffuse, uLightSpecular;
varying vec4 vColor;
varying vec2 vTexCoord;

void main() {
    vec4 p = vec4(aPosition, 1.0);
    gl_Position = uModelviewProjection * p;
    vTexCoord = aTexCoord;
    if (!uLighting) {
        vColor = clamp(aColor, 0.0, 1.0);
        return;
    }
    vec3 c = uMatEmission.rgb + uMatAmbient.rgb * uModelAmbient.rgb;
    if (uLight) {
        vec4 e = uModelview * p;
        // Not renormalised: GL_NORMALIZE is off, so a scaled model-view scales n.
        vec3 n = uNormalMatrix * aNormal;
        vec3 l = uLightPosition.w == 0.0 ? normalize(uLightPosition.xyz)
                                         : normalize(uLightPosition.xyz / uLightPosition.w - e.xyz / e.w);
        float nl = dot(n, l);
        c += uLightAmbient.rgb * uMatAmbient.rgb + max(nl, 0.0) * uLightDiffuse.rgb * uMatDiffuse.rgb;
        if (nl > 0.0) {
            vec3 v = uLocalViewer ? normalize(-e.xyz) : vec3(0.0, 0.0, 1.0);
            float nh = max(dot(n, normalize(l + v)), 0.0);
            float s = uMatShininess == 0.0 ? 1.0 : pow(nh, uMatShininess);
            c += s * uLightSpecular.rgb * uMatSpecular.rgb;
        }
    }
    vColor = vec4(clamp(c, 0.0, 1.0), clamp(uMatDiffuse.a, 0.0, 1.0));
}
)";

/* GL_MODULATE. GL_REPEAT on a texture whose sides are not powers of two is
 * done here, as WebGL 1 allows only clamping on those: the texture is sampled
 * at texel centres (GL_NEAREST) and the filter of GL_REPEAT is rebuilt from
 * the wrapped texels. */
const char* const kFragmentShader = R"(
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform sampler2D uTexture;
uniform bool uTexturing;
uniform int uRepeatHere; // 0: GL repeats; 1: here, linear; 2: here, nearest
uniform vec2 uTexSize;
varying vec4 vColor;
varying vec2 vTexCoord;

vec4 texel(vec2 i) {
    return texture2D(uTexture, (mod(i, uTexSize) + 0.5) / uTexSize);
}

vec4 textureRepeat(vec2 st) {
    if (uRepeatHere == 0) return texture2D(uTexture, st);
    if (uRepeatHere == 2) return texel(floor(st * uTexSize));
    vec2 u = st * uTexSize - 0.5;
    vec2 i = floor(u), f = u - i;
    return mix(mix(texel(i), texel(i + vec2(1.0, 0.0)), f.x),
               mix(texel(i + vec2(0.0, 1.0)), texel(i + vec2(1.0, 1.0)), f.x), f.y);
}

void main() {
    vec4 c = vColor;
    if (uTexturing) c *= textureRepeat(vTexCoord);
    gl_FragColor = c;
}
)";

enum Attribute { A_POSITION, A_NORMAL, A_COLOR, A_TEXCOORD };

/* What the layer must know of a texture object beyond what GL keeps. */
struct Texture {
    bool image = false;
    bool repeatHere = false; /* not a power of two: clamped and unfiltered in GL, repeated by the shader */
    GLsizei width = 0, height = 0;
    GLint minFilter = GL_NEAREST_MIPMAP_LINEAR, magFilter = GL_LINEAR;
};

/* Everything that belongs to one GL context. */
struct Context {
    const void* handle = nullptr;
    bool built = false, failed = false;
    GLuint program = 0, buffer = 0;
    struct {
        GLint modelview, mvp, normal, lighting, matEmission, matAmbient, matDiffuse, matSpecular, matShininess,
            modelAmbient, light, localViewer, lightPosition, lightAmbient, lightDiffuse, lightSpecular, texturing,
            repeatHere, texSize;
    } u = {};
    /* What the uniforms hold, so that an unchanged block is not sent again. */
    fgl::Transform transform = {};
    fgl::Lighting lighting = {};
    int lightingOn = -1, texturing = -1, repeatHere = -1;
    GLsizei texSize[2] = {0, 0};
    bool transformSent = false, lightingSent = false;

    std::unordered_map<GLuint, Texture> textures;
    GLuint bound = 0;
    GLenum blendSrc = GL_ONE, blendDst = GL_ZERO; /* as asked, before any deliberate fault */
};

const void* currentHandle() {
#ifdef __EMSCRIPTEN__
    return (const void*)(uintptr_t)emscripten_webgl_get_current_context();
#else
    return eglGetCurrentContext();
#endif
}

/* The state of the current context; a new context starts afresh. */
Context& ctx() {
    static Context context;
    const void* handle = currentHandle();
    if (handle != context.handle) {
        context = Context();
        context.handle = handle;
    }
    return context;
}

GLuint compile(GLenum type, const char* source) {
    const Calls& g = gl();
    GLuint shader = g.CreateShader(type);
    g.ShaderSource(shader, 1, &source, nullptr);
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

bool build(Context& c) {
    const Calls& g = gl();
    GLuint vs = compile(GL_VERTEX_SHADER, kVertexShader);
    GLuint fs = compile(GL_FRAGMENT_SHADER, kFragmentShader);
    c.program = g.CreateProgram();
    g.AttachShader(c.program, vs);
    g.AttachShader(c.program, fs);
    g.BindAttribLocation(c.program, A_POSITION, "aPosition");
    g.BindAttribLocation(c.program, A_NORMAL, "aNormal");
    g.BindAttribLocation(c.program, A_COLOR, "aColor");
    g.BindAttribLocation(c.program, A_TEXCOORD, "aTexCoord");
    g.LinkProgram(c.program);
    g.DeleteShader(vs);
    g.DeleteShader(fs);
    GLint ok = 0;
    g.GetProgramiv(c.program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[1024] = "";
        g.GetProgramInfoLog(c.program, sizeof log, nullptr, log);
        fprintf(stderr, "fixedgl: shader program does not link: %s\n", log);
        return false;
    }
    g.UseProgram(c.program);
#define FGL_UNIFORM(field, name) c.u.field = g.GetUniformLocation(c.program, name);
    FGL_UNIFORM(modelview, "uModelview")
    FGL_UNIFORM(mvp, "uModelviewProjection")
    FGL_UNIFORM(normal, "uNormalMatrix")
    FGL_UNIFORM(lighting, "uLighting")
    FGL_UNIFORM(matEmission, "uMatEmission")
    FGL_UNIFORM(matAmbient, "uMatAmbient")
    FGL_UNIFORM(matDiffuse, "uMatDiffuse")
    FGL_UNIFORM(matSpecular, "uMatSpecular")
    FGL_UNIFORM(matShininess, "uMatShininess")
    FGL_UNIFORM(modelAmbient, "uModelAmbient")
    FGL_UNIFORM(light, "uLight")
    FGL_UNIFORM(localViewer, "uLocalViewer")
    FGL_UNIFORM(lightPosition, "uLightPosition")
    FGL_UNIFORM(lightAmbient, "uLightAmbient")
    FGL_UNIFORM(lightDiffuse, "uLightDiffuse")
    FGL_UNIFORM(lightSpecular, "uLightSpecular")
    FGL_UNIFORM(texturing, "uTexturing")
    FGL_UNIFORM(repeatHere, "uRepeatHere")
    FGL_UNIFORM(texSize, "uTexSize")
#undef FGL_UNIFORM
    g.Uniform1i(g.GetUniformLocation(c.program, "uTexture"), 0);

    g.GenBuffers(1, &c.buffer);
    g.BindBuffer(GL_ARRAY_BUFFER, c.buffer);
    const GLsizei stride = sizeof(fgl::Vertex);
    g.VertexAttribPointer(A_POSITION, 3, GL_FLOAT, GL_FALSE, stride, (void*)offsetof(fgl::Vertex, pos));
    g.VertexAttribPointer(A_NORMAL, 3, GL_FLOAT, GL_FALSE, stride, (void*)offsetof(fgl::Vertex, normal));
    g.VertexAttribPointer(A_COLOR, 4, GL_FLOAT, GL_FALSE, stride, (void*)offsetof(fgl::Vertex, color));
    g.VertexAttribPointer(A_TEXCOORD, 2, GL_FLOAT, GL_FALSE, stride, (void*)offsetof(fgl::Vertex, tex));
    for (GLuint a = A_POSITION; a <= A_TEXCOORD; a++) g.EnableVertexAttribArray(a);
    return true;
}

void sendTransform(Context& c, const fgl::Transform& t) {
    if (c.transformSent && memcmp(&c.transform, &t, sizeof t) == 0) return;
    const Calls& g = gl();
    g.UniformMatrix4fv(c.u.modelview, 1, GL_FALSE, t.modelview);
    g.UniformMatrix4fv(c.u.mvp, 1, GL_FALSE, t.mvp);
    g.UniformMatrix3fv(c.u.normal, 1, GL_FALSE, t.normal);
    c.transform = t;
    c.transformSent = true;
}

void sendLighting(Context& c, const fgl::Lighting& l) {
    if (c.lightingSent && memcmp(&c.lighting, &l, sizeof l) == 0) return;
    const Calls& g = gl();
    static const float kNoEmission[4] = {0, 0, 0, 0};
    g.Uniform4fv(c.u.matEmission, 1, fgl::g_breaks.emission ? kNoEmission : l.matEmission);
    g.Uniform4fv(c.u.matAmbient, 1, l.matAmbient);
    g.Uniform4fv(c.u.matDiffuse, 1, l.matDiffuse);
    g.Uniform4fv(c.u.matSpecular, 1, l.matSpecular);
    g.Uniform1f(c.u.matShininess, l.matShininess);
    g.Uniform4fv(c.u.modelAmbient, 1, l.modelAmbient);
    g.Uniform1i(c.u.light, l.light);
    g.Uniform1i(c.u.localViewer, l.localViewer);
    g.Uniform4fv(c.u.lightPosition, 1, l.lightPosition);
    g.Uniform4fv(c.u.lightAmbient, 1, l.lightAmbient);
    g.Uniform4fv(c.u.lightDiffuse, 1, l.lightDiffuse);
    g.Uniform4fv(c.u.lightSpecular, 1, l.lightSpecular);
    c.lighting = l;
    c.lightingSent = true;
}

void sendFlag(GLint location, int& sent, int value) {
    if (sent == value) return;
    gl().Uniform1i(location, value);
    sent = value;
}

bool isPowerOfTwo(GLsizei n) { return n > 0 && (n & (n - 1)) == 0; }

} // namespace

namespace fgl {

void esDraw(const Draw& draw, bool lines, const Vertex* vertices, int count) {
    if (count <= 0) return;
    Context& c = ctx();
    if (!c.built && !c.failed) {
        c.built = build(c);
        c.failed = !c.built;
    }
    if (!c.built) return;
    const Calls& g = gl();
    g.UseProgram(c.program);
    g.BindBuffer(GL_ARRAY_BUFFER, c.buffer);
    g.BufferData(GL_ARRAY_BUFFER, (GLsizeiptr)(count * sizeof(Vertex)), vertices, GL_STREAM_DRAW);

    sendTransform(c, draw.transform);
    sendFlag(c.u.lighting, c.lightingOn, draw.lit);
    if (draw.lit) sendLighting(c, draw.lighting);

    // An incomplete texture (no image, or a filter that needs mipmaps) leaves
    // the fragment's colour as if texturing were off.
    const Texture& t = c.textures[c.bound];
    bool texturing = draw.texturing && t.image &&
                     (t.minFilter == GL_LINEAR || t.minFilter == GL_NEAREST);
    sendFlag(c.u.texturing, c.texturing, texturing);
    if (texturing) {
        // Where GL would repeat an unfiltered texture, the magnifying filter
        // chooses for both directions (the demo sets the same filter for both).
        sendFlag(c.u.repeatHere, c.repeatHere, !t.repeatHere ? 0 : t.magFilter == GL_NEAREST ? 2 : 1);
        if (t.repeatHere && (t.width != c.texSize[0] || t.height != c.texSize[1])) {
            g.Uniform2f(c.u.texSize, (GLfloat)t.width, (GLfloat)t.height);
            c.texSize[0] = t.width;
            c.texSize[1] = t.height;
        }
    }

    g.DrawArrays(lines ? GL_LINES : GL_TRIANGLES, 0, count);
}

void esEnable(unsigned cap, bool on) {
    if (on)
        gl().Enable(cap);
    else
        gl().Disable(cap);
}

void esGetFloatv(unsigned pname, float* params) {
    gl().GetFloatv(pname, params);
}

void esReapplyBlend() {
    Context& c = ctx();
    if (!c.handle) return;
    gl().BlendFunc(c.blendSrc, g_breaks.blend ? GL_ONE_MINUS_SRC_ALPHA : c.blendDst);
}

} // namespace fgl

/* The calls that pass straight on, or nearly. */
extern "C" {

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) { gl().Viewport(x, y, width, height); }

void glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha) { gl().ClearColor(red, green, blue, alpha); }

void glClearDepth(double depth) { gl().ClearDepthf((GLfloat)depth); }

void glClear(GLbitfield mask) { gl().Clear(mask); }

void glDepthFunc(GLenum func) { gl().DepthFunc(func); }

void glDepthMask(GLboolean flag) { gl().DepthMask(flag); }

void glBlendFunc(GLenum sfactor, GLenum dfactor) {
    Context& c = ctx();
    c.blendSrc = sfactor;
    c.blendDst = dfactor;
    fgl::esReapplyBlend();
}

void glCullFace(GLenum mode) { gl().CullFace(mode); }

void glGetIntegerv(GLenum pname, GLint* params) { gl().GetIntegerv(pname, params); }

void glPixelStorei(GLenum pname, GLint param) { gl().PixelStorei(pname, param); }

void glGenTextures(GLsizei n, GLuint* textures) { gl().GenTextures(n, textures); }

void glDeleteTextures(GLsizei n, const GLuint* textures) {
    Context& c = ctx();
    gl().DeleteTextures(n, textures);
    for (GLsizei i = 0; i < n; i++) {
        if (textures[i] == 0) continue; /* the default texture cannot be deleted */
        c.textures.erase(textures[i]);
        if (c.bound == textures[i]) c.bound = 0;
    }
}

void glBindTexture(GLenum target, GLuint texture) {
    Context& c = ctx();
    gl().BindTexture(target, texture);
    if (target == GL_TEXTURE_2D) c.bound = texture;
}

void glTexParameteri(GLenum target, GLenum pname, GLint param) {
    Context& c = ctx();
    Texture& t = c.textures[c.bound];
    bool filter = target == GL_TEXTURE_2D && (pname == GL_TEXTURE_MIN_FILTER || pname == GL_TEXTURE_MAG_FILTER);
    gl().TexParameteri(target, pname, filter && t.repeatHere ? GL_NEAREST : param);
    if (filter) (pname == GL_TEXTURE_MIN_FILTER ? t.minFilter : t.magFilter) = param;
}

/* ES takes the image in the format it is given (GL widens it to RGBA the same
 * way when sampling: luminance to (L, L, L, 1), RGB to (R, G, B, 1)), so the
 * internal format is the pixels' own. Only level 0 is kept: nothing here
 * builds mipmaps. */
void glTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height, GLint border,
                  GLenum format, GLenum type, const void* pixels) {
    (void)internalformat;
    Context& c = ctx();
    const Calls& g = gl();
    g.TexImage2D(target, level, (GLint)format, width, height, border, format, type, pixels);
    if (target != GL_TEXTURE_2D || level != 0) return;
    Texture& t = c.textures[c.bound];
    bool known = type == GL_UNSIGNED_BYTE && border == 0 &&
                 (format == GL_RGBA || format == GL_RGB || format == GL_LUMINANCE || format == GL_LUMINANCE_ALPHA);
    t.image = known && width > 0 && height > 0;
    t.repeatHere = t.image && !(isPowerOfTwo(width) && isPowerOfTwo(height));
    t.width = width;
    t.height = height;
    GLint wrap = t.repeatHere ? GL_CLAMP_TO_EDGE : GL_REPEAT;
    g.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    g.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    g.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, t.repeatHere ? GL_NEAREST : t.minFilter);
    g.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, t.repeatHere ? GL_NEAREST : t.magFilter);
}

} // extern "C"
