/*
 * The particle systems' common base: only its virtual destructor.
 */
#include "ParticleSystem.h"

ParticleSystem::~ParticleSystem() {}
