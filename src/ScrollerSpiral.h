/*
 * The spiral scroller: the scroll text wound round the tower as a helix of characters.
 */
#ifndef SCROLLERSPIRAL_H
#define SCROLLERSPIRAL_H

#include "Scroller.h"

/* The text wound round a helix of textured character quads: 36 characters to a
 * turn, eight turns visible, rising smoothly one step per frame. */
class ScrollerSpiral : public Scroller {
public:
    ScrollerSpiral();
    virtual ~ScrollerSpiral();

    float* char2texCoords(char ch);
    void update(float f);
    void draw();

    float* pfCirclePos;  /* 36 (x, z) points of the helix's circle */
    float* pfCircleOrth; /* 36 (x, z) tangents, one glyph wide */
    float* pfAlpha;      /* one alpha per visible character */
    float fScrollSoft;   /* smooth rise within one turn, scene units */
    int hard;
};

#endif
