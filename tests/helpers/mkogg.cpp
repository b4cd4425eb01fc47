/*
 * nv_mkogg: writes a short Ogg Vorbis file for the end-to-end tests.
 *   nv_mkogg OUT.ogg sine RATE SECONDS FREQ...   one channel per frequency
 *   nv_mkogg OUT.ogg kick RATE SECONDS PERIOD    stereo 40 Hz kicks every PERIOD seconds
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "sound_ogg.h"

int main(int argc, char** argv) {
    if (argc < 6 || (strcmp(argv[2], "sine") != 0 && strcmp(argv[2], "kick") != 0)) {
        fprintf(stderr, "usage: %s OUT.ogg sine RATE SECONDS FREQ...\n"
                        "       %s OUT.ogg kick RATE SECONDS PERIOD\n", argv[0], argv[0]);
        return 2;
    }
    int rate = atoi(argv[3]);
    double seconds = atof(argv[4]);
    PcmClip clip;
    if (strcmp(argv[2], "kick") == 0) {
        clip = kickClip(rate, 2, seconds, atof(argv[5]));
    } else {
        std::vector<double> freqs;
        for (int i = 5; i < argc; i++) freqs.push_back(atof(argv[i]));
        clip = sineClip(rate, freqs, seconds, 0.5);
    }
    if (!writeOgg(argv[1], clip)) {
        fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
