#include "compat.h"

int malloc_trim(size_t) { return 0; }
