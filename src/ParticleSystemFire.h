/*
 * The fire particle system behind the tower scene's fountain of flares: where the
 * particles are and how old, advanced by the frame's time; no GL.
 */
#ifndef PARTICLESYSTEMFIRE_H
#define PARTICLESYSTEMFIRE_H

#include "ParticleSystem.h"

/* The flame fountain: points born in a box round a fixed centre that drift up at a
 * constant velocity and are reborn elsewhere in the box once they are too old.
 * Only computes; the scene draws from the arrays behind the getters, which stay
 * valid until the next addParticles. */
class ParticleSystemFire : public ParticleSystem {
public:
    ParticleSystemFire();
    virtual ~ParticleSystemFire();

    void addParticles(int num);
    void update(float t); /* t: seconds */

    int getNumber();
    float* getPositions();
    float* getAges();

    int iNumber;
    float* pfPos;   /* x, y, z per particle */
    float* pfSpeed; /* units per second, x, y, z per particle */
    float* pfAge;   /* seconds, one per particle */
    float pfDefaultStart[3];
    float pfRandomStart[3];
    float pfDefaultSpeed[3];
    float fAgeMax;

private:
    void spawn(int i);
};

#endif
