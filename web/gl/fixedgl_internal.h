/*
 * Between the two halves of the fixed-function layer: fixedgl.cpp keeps GL 1.x
 * state and arithmetic (matrices, lighting parameters, the current vertex,
 * lists) and hands primitives to es.cpp, the only file that calls the real GL
 * underneath, which batches them. Plain C types only: each half includes a
 * different GL header (ours, or the GLES one), and the two must never meet.
 */
#ifndef FIXEDGL_INTERNAL_H
#define FIXEDGL_INTERNAL_H

namespace fgl {

/* GL 1.x enums that OpenGL ES 2 does not have. */
const unsigned QUADS = 0x0007, QUAD_STRIP = 0x0008;

/* One vertex as GL 1.x specifies it, in object space. */
struct Vertex {
    float pos[3];
    float normal[3];
    float color[4]; /* the current colour, used when lighting is off */
    float tex[2];
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

/* The state a primitive is drawn with. Matrices are column-major; mvp is the
 * projection times the model-view, normal the inverse transpose of the
 * model-view's upper 3x3 when lit (the identity when not). */
struct Draw {
    bool lit;       /* GL_LIGHTING enabled */
    bool texturing; /* GL_TEXTURE_2D enabled; es.cpp also asks whether the bound texture is complete */
    const float* modelview;
    const float* projection;
    float mvp[16];
    float normal[9];
    const Lighting* lighting;
    const float* color; /* the current colour, for arrays without colours */
};

/* An interleaved client array as glInterleavedArrays gave it, its format taken
 * apart: per vertex the texture coordinates (if any), the normal (if any) and
 * the position, as floats. */
struct Array {
    const unsigned char* pointer;
    int stride;          /* bytes from one vertex to the next, never 0 */
    bool hasTex, hasNormal;
    int normalAt, posAt; /* floats from the start of a vertex */
};

/* The deliberate faults of fixedgl_break. */
struct Breaks {
    bool lighting, emission, blend, texture, lightPosition, batching;
};
extern Breaks g_breaks;

/* es.cpp: a primitive of count vertices (GL_QUADS, GL_QUAD_STRIP, GL_TRIANGLES or
 * GL_LINES); normals tells whether the vertices carry their own normals or all
 * have the current normal (0, 0, 1). It joins the batch when the state allows. */
void esPrimitive(const Draw& draw, unsigned mode, const Vertex* vertices, int count, bool normals);
/* es.cpp: glDrawArrays on a client array large enough to be kept in a GL buffer;
 * false when it is not kept, and the caller sends its vertices as a primitive. */
bool esKeptArray(const Draw& draw, unsigned mode, const Array& array, int first, int count);
/* es.cpp: draws whatever is batched. */
void esFlush();
/* es.cpp: a capability the layer does not keep itself (blend, depth test, culling). */
void esEnable(unsigned cap, bool on);
/* es.cpp: a glGetFloatv query the layer does not answer itself. */
void esGetFloatv(unsigned pname, float* params);
/* es.cpp: the error flag of the GL underneath, for glGetError. */
unsigned esGetError();
/* es.cpp: sets the blend function again, after the fault of fixedgl_break changed. */
void esReapplyBlend();

} // namespace fgl

#endif
