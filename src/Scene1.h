/*
 * The tower scene that the show plays: its pictures, model, fire and scroller, and the
 * flare billboards it draws from the fire's particles.
 */
#ifndef SCENE1_H
#define SCENE1_H

#include <GL/gl.h>

#include "Scene.h"
#include "norklib.h"

class ParticleSystemFire;
class ScrollerSpiral;

/* The tower scene: grass, the turning textured tower under a bobbing camera, the
 * flare fountain from its top and the spiral scroller wound round it. */
class Scene1 : public Scene {
public:
    Scene1();
    virtual void run(float f); /* f: seconds since the previous frame */
    virtual ~Scene1();

    void display();       /* the flares, one billboard per particle */
    void flareMakeList(); /* the billboard quad from the current model-view matrix */

    int texTurm;
    int texGrass;
    int texBurst;
    int texFont;
    nork_oia_t* poTurm;
    ParticleSystemFire* psf;
    ScrollerSpiral* pss;
};

/* Flare settings: the quad faces the camera, the flares sit on the particles (not
 * scattered at random), and the quad's half side in model-view row units. */
extern GLuint listFlare;
extern bool g_bBillboard;
extern bool g_bRandomize;
extern float g_fSize;

/* Emission cadence: gathers f into the accumulator and adds at most one particle
 * a frame, one per half second gathered, until there are 150. */
void emitParticles(float& tLastAdd, float f, ParticleSystemFire* psf);

/* Alpha of a flare whose particle has the given age: 0.8 at birth, 0 at ten seconds. */
float flareAlpha(float age);

/* Height of the bobbing camera at scene time t (seconds): 60 to 80, one swing in
 * 2π seconds, taken in double. */
double eyeHeight(double t);

/* The set's turn at scene time t, in degrees: 30 a second, taken in double and
 * within one turn, so that the float GL is given keeps a fine step for ever. */
float setAngle(double t);

#endif
