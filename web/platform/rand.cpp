/* The browser edition's rand and srand are glibc's (see glibc_rand.h). */
#include <stdlib.h>

#include "glibc_rand.h"

extern "C" int rand(void) { return nv_rand(); }
extern "C" void srand(unsigned int seed) { nv_srand(seed); }
