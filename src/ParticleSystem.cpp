#include "ParticleSystem.h"

ParticleSystem::~ParticleSystem() {}
