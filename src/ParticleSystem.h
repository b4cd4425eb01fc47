/*
 * The base the particle systems share, so that a scene can hold and delete any of them
 * through one pointer.
 */
#ifndef PARTICLESYSTEM_H
#define PARTICLESYSTEM_H

/* The common base of the particle systems; it holds no state of its own. */
class ParticleSystem {
public:
    virtual ~ParticleSystem();
};

#endif
