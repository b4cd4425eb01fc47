/*
 * nork-pack: the archive commands of the nork tool on their own. The build
 * packs the linked-in archive with it, because the full tool links that
 * archive and so cannot be the one that makes it.
 */
#include "commands.h"

int main(int argc, char** argv) { return cmd_ar(argc, argv); }
