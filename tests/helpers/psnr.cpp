/*
 * nv_psnr [--area WxH+X+Y] A B
 *   the PSNR of picture B against picture A (PNG or binary PPM, any colour type)
 *   in dB over their RGB values, within the given area of both when one is given;
 *   printed with six significant digits, "inf" when they are the same.
 * Exit status 0 when it printed a value, 2 for unusable arguments or pictures.
 */
#include <stdio.h>
#include <string.h>

#include <string>

#include "picture.h"

namespace {

int usage() {
    fprintf(stderr, "usage: nv_psnr [--area WxH+X+Y] A B\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int w = 0, h = 0, x = 0, y = 0;
    bool area = false;
    int arg = 1;
    if (arg < argc && strcmp(argv[arg], "--area") == 0) {
        char end;
        if (arg + 1 >= argc || sscanf(argv[arg + 1], "%dx%d+%d+%d%c", &w, &h, &x, &y, &end) != 4) return usage();
        area = true;
        arg += 2;
    }
    if (argc - arg != 2) return usage();
    nvt::Picture pictures[2];
    for (int i = 0; i < 2; i++) {
        const char* path = argv[arg + i];
        if (!nvt::readPicture(path, &pictures[i])) {
            fprintf(stderr, "nv_psnr: cannot read %s\n", path);
            return 2;
        }
        if (area && !nvt::crop(&pictures[i], x, y, w, h)) {
            fprintf(stderr, "nv_psnr: %s (%dx%d) does not hold the area %dx%d+%d+%d\n", path, pictures[i].w,
                    pictures[i].h, w, h, x, y);
            return 2;
        }
    }
    if (pictures[0].w != pictures[1].w || pictures[0].h != pictures[1].h) {
        fprintf(stderr, "nv_psnr: %s is %dx%d, %s %dx%d\n", argv[arg], pictures[0].w, pictures[0].h, argv[arg + 1],
                pictures[1].w, pictures[1].h);
        return 2;
    }
    printf("%.6g\n", nvt::psnr(pictures[0], pictures[1]));
    return 0;
}
