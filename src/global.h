/*
 * What the scenes share with the driver: the library handle and the texture upload.
 */
#ifndef GLOBAL_H
#define GLOBAL_H

#include "norklib.h"
#include "util.h"

/* The library handle, made at start-up; scenes load their files through it. */
extern nork_lib_t* pNorkLib;

#endif
