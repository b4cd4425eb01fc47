/*
 * Between the two halves of the fixed-function layer: fixedgl.cpp keeps GL 1.x
 * state and arithmetic (matrices, lighting parameters, primitives, lists) and
 * hands finished triangles and lines to es.cpp, the only file that calls the
 * real GL underneath. Plain C types only: each half includes a different GL
 * header (ours, or the GLES one), and the two must never meet.
 */
#ifndef FIXEDGL_INTERNAL_H
#define FIXEDGL_INTERNAL_H

namespace fgl {

/* One vertex as the shader takes it. */
struct Vertex {
    float pos[3];
    float normal[3]; /* object space */
    float color[4];  /* the current colour, used when lighting is off */
    float tex[2];
};

/* Matrices of a draw, column-major: the model-view, its product with the
 * projection, and the normal matrix (the inverse transpose of the model-view's
 * upper 3x3). */
struct Transform {
    float modelview[16];
    float mvp[16];
    float normal[9];
};

/* The light and the material as the lighting arithmetic takes them; the light's
 * position is in eye coordinates. */
struct Lighting {
    float matEmission[4], matAmbient[4], matDiffuse[4], matSpecular[4];
    float matShininess;
    float modelAmbient[4];
    float lightPosition[4], lightAmbient[4], lightDiffuse[4], lightSpecular[4];
    int light;       /* GL_LIGHT1 enabled */
    int localViewer; /* GL_LIGHT_MODEL_LOCAL_VIEWER */
};

struct Draw {
    bool lit;       /* GL_LIGHTING enabled */
    bool texturing; /* GL_TEXTURE_2D enabled; es.cpp also asks whether the bound texture is complete */
    Transform transform;
    Lighting lighting;
};

/* The deliberate faults of fixedgl_break. */
struct Breaks {
    bool lighting, emission, blend, texture;
};
extern Breaks g_breaks;

/* es.cpp: draws count vertices as triangles (lines: as lines) with the state given. */
void esDraw(const Draw& draw, bool lines, const Vertex* vertices, int count);
/* es.cpp: a capability the layer does not keep itself (blend, depth test, culling). */
void esEnable(unsigned cap, bool on);
/* es.cpp: a glGetFloatv query the layer does not answer itself. */
void esGetFloatv(unsigned pname, float* params);
/* es.cpp: sets the blend function again, after the fault of fixedgl_break changed. */
void esReapplyBlend();

} // namespace fgl

#endif
