/*
 * The logo scene: a picture and the spectrum's sixteen bands as bars, drawn on a
 * canvas of its own.
 */
#ifndef SCENE0_H
#define SCENE0_H

#include "Scene.h"

/* The logo scene: a full-screen picture whose brightness follows the beat, with
 * sixteen spectrum bars over it. Needs a current GL context and pNorkLib with
 * its sources registered when built. */
class Scene0 : public Scene {
public:
    Scene0();
    virtual void run(float f); /* f is not used: the picture depends on pInfo alone */
    virtual ~Scene0();

    int texNork; /* the scene's own picture, kept for the scene's whole life */
};

#endif
