/*
 * The linked-in data archive: an NDAR image that the build packs from data/
 * and assembles into the program.
 */
#ifndef ARCHIVE_H
#define ARCHIVE_H

#include <stdint.h>

#include "norklib.h"

extern "C" {
extern unsigned char dataVelandor_data_data[]; /* the archive bytes */
extern nork_data_t* dataVelandor_data;         /* their address, as nork_dar_add takes it */
extern int32_t dataVelandor_data_size;         /* their count */
}

#endif
