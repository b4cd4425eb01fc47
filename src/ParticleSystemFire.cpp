/*
 * The fire particle system: particles added on request, placed at random in the
 * spawn box, risen at one velocity and reborn in the box when too old. Every random
 * number comes from rand(), never seeded, so every run lays out the same fountain.
 */
#include "ParticleSystemFire.h"

#include <limits.h>
#include <stdlib.h>

/* Centre of the spawn box, scene units. */
static const float kStartX = 0.0f, kStartY = 0.0f, kStartZ = 0.0f;
/* Full width of the spawn box along each axis, scene units. */
static const float kBoxX = 5.0f, kBoxY = 2.0f, kBoxZ = 5.0f;
/* Velocity of every particle, units per second: up, and a little along z. */
static const float kSpeedX = 0.0f, kSpeedY = 1.5f, kSpeedZ = 0.3f;
/* Age beyond which a particle is reborn, seconds. */
static const float kAgeMax = 15.0f;
/* Maps rand()'s range 0 .. 2^31-1 onto [0, 1). */
static const double kRandScale = 4.656612873077393e-10; /* 2^-31 */

ParticleSystemFire::ParticleSystemFire()
    : iNumber(0), pfPos(nullptr), pfSpeed(nullptr), pfAge(nullptr),
      pfDefaultStart{kStartX, kStartY, kStartZ}, pfRandomStart{kBoxX, kBoxY, kBoxZ},
      pfDefaultSpeed{kSpeedX, kSpeedY, kSpeedZ}, fAgeMax(kAgeMax)
{
}

ParticleSystemFire::~ParticleSystemFire()
{
    free(pfPos);
    free(pfSpeed);
    free(pfAge);
}

/* A fresh place in the box: one rand() per axis, x first. */
void ParticleSystemFire::spawn(int i)
{
    for (int k = 0; k < 3; k++)
        pfPos[3 * i + k] = (float)((rand() * kRandScale - 0.5) * pfRandomStart[k] + pfDefaultStart[k]);
}

void ParticleSystemFire::addParticles(int num)
{
    if (num <= 0)
        return;
    int iNumOld = iNumber;
    long long total = (long long)iNumOld + num;
    if (total > INT_MAX) /* the count would overflow */
        return;
    int iNumNew = (int)total;
    size_t n = (size_t)iNumNew;

    /* Each array is grown on its own; the system only takes the new count once all
     * three have room, so a failed realloc leaves it as it was (a grown array just
     * keeps some spare room). */
    float* pos = (float*)realloc(pfPos, n * 3 * sizeof(float));
    if (!pos)
        return;
    pfPos = pos;
    float* speed = (float*)realloc(pfSpeed, n * 3 * sizeof(float));
    if (!speed)
        return;
    pfSpeed = speed;
    float* age = (float*)realloc(pfAge, n * sizeof(float));
    if (!age)
        return;
    pfAge = age;

    iNumber = iNumNew;
    for (int i = iNumOld; i < iNumber; i++) {
        spawn(i);
        for (int k = 0; k < 3; k++)
            pfSpeed[3 * i + k] = pfDefaultSpeed[k];
        pfAge[i] = 0;
    }
}

void ParticleSystemFire::update(float t)
{
    for (int i = 0; i < iNumber; i++) {
        pfAge[i] += t;
        if (pfAge[i] > fAgeMax) {
            /* Reborn where it stands in the list; it does not move this step. */
            pfAge[i] = 0;
            spawn(i);
        } else {
            for (int k = 0; k < 3; k++)
                pfPos[3 * i + k] = t * pfSpeed[3 * i + k] + pfPos[3 * i + k];
        }
    }
}

int ParticleSystemFire::getNumber() { return iNumber; }

float* ParticleSystemFire::getPositions() { return pfPos; }

float* ParticleSystemFire::getAges() { return pfAge; }
