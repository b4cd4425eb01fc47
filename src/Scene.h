/*
 * The scene interface: what the driver calls once a frame, and the shared per-frame
 * record every scene reads.
 */
#ifndef SCENE_H
#define SCENE_H

#include "info.h"

/* One piece of the show, drawn once a frame into the driver's viewport and camera. */
class Scene {
public:
    Scene();
    virtual void run(float f); /* f: seconds since the previous frame */
    virtual ~Scene();

    void setInfo(info_t* pInfo_);

    info_t* pInfo;
};

#endif
