/*
 * Checks what the demo played through SDL's disk driver against the two music pieces:
 * the capture must be some silence, then the first piece, then the second piece again and
 * again, sample for sample, up to where the capture ends.
 *
 * A gap (silence where music should be: an underrun, a late restart) is counted and the
 * check goes on where the music resumes, at the frame of the piece where it stopped, so that
 * every gap of a long run is found. Anything else that does not match (a dropped frame,
 * wrong samples) ends the check.
 *
 *   capture_check CAPTURE.raw FIRST.ogg SECOND.ogg
 *
 * Prints a line for each gap (at most 20) and then, as the last line,
 * "lead <frames> frames <n> second_starts <k> max_diff <d> gaps <g> gap_frames <f>".
 * Exits 0 when everything matched with no gap, 1 otherwise.
 */
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <vector>

#include <vorbis/vorbisfile.h>

namespace {

/* The whole piece as the layer writes it for a 16-bit stereo device: clipped, then scaled
 * and rounded. */
bool decode(const char* path, std::vector<int16_t>* out)
{
    OggVorbis_File vf;
    if (ov_fopen(path, &vf) != 0) return false;
    vorbis_info* vi = ov_info(&vf, -1);
    if (!vi || vi->channels != 2 || vi->rate != 44100) {
        fprintf(stderr, "%s: expected 44100 Hz stereo\n", path);
        ov_clear(&vf);
        return false;
    }
    for (;;) {
        float** pcm;
        int section;
        long n = ov_read_float(&vf, &pcm, 4096, &section);
        if (n < 0) {
            ov_clear(&vf);
            return false;
        }
        if (n == 0) break;
        for (long i = 0; i < n; i++)
            for (int c = 0; c < 2; c++)
                out->push_back((int16_t)lrintf(std::min(1.0f, std::max(-1.0f, pcm[c][i])) * 32767.0f));
    }
    ov_clear(&vf);
    return !out->empty();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: capture_check CAPTURE.raw FIRST.ogg SECOND.ogg\n");
        return 2;
    }
    std::vector<int16_t> first, second;
    if (!decode(argv[2], &first) || !decode(argv[3], &second)) {
        fprintf(stderr, "cannot decode the pieces\n");
        return 2;
    }
    FILE* f = fopen(argv[1], "rb");
    if (!f) {
        perror(argv[1]);
        return 2;
    }

    // Where the first piece begins: its first audible frame against the capture's.
    size_t firstAudible = 0;
    while (firstAudible < first.size() && first[firstAudible] == 0) firstAudible++;
    firstAudible /= 2;

    const std::vector<int16_t>* piece = &first;
    size_t pos = 0;          // sample index inside *piece
    uint64_t frame = 0;      // capture frame
    uint64_t lead = 0;       // silent frames before the first piece
    bool started = false;
    unsigned long secondStarts = 0;
    int maxDiff = 0;
    unsigned long gaps = 0;
    uint64_t gapFrames = 0, gapStart = 0;
    bool inGap = false;
    int16_t buf[2 * 4096];
    size_t n;
    while ((n = fread(buf, sizeof buf[0], 2 * 4096, f)) > 0) {
        for (size_t i = 0; i + 1 < n; i += 2, frame++) {
            if (!started) {
                if (buf[i] == 0 && buf[i + 1] == 0) continue;
                if (frame < firstAudible) {
                    printf("sound at frame %llu, before the first piece can start\n",
                           (unsigned long long)frame);
                    return 1;
                }
                started = true;
                lead = frame - firstAudible;
                pos = 2 * firstAudible;
            }
            if (pos == piece->size()) {
                piece = &second;
                pos = 0;
                secondStarts++;
            }
            bool silent = buf[i] == 0 && buf[i + 1] == 0;
            if (inGap) {
                if (silent) continue;
                inGap = false;
                gapFrames += frame - gapStart;
                if (++gaps <= 20)
                    printf("gap at capture frame %llu (%.3f s), %s piece frame %zu: %llu silent "
                           "frames\n",
                           (unsigned long long)gapStart, gapStart / 44100.0,
                           piece == &first ? "first" : "second", pos / 2,
                           (unsigned long long)(frame - gapStart));
            }
            for (int c = 0; c < 2 && !inGap; c++) {
                int d = abs((int)buf[i + c] - (int)(*piece)[pos + c]);
                if (d <= 1) {
                    maxDiff = std::max(maxDiff, d);
                } else if (silent) {
                    inGap = true;
                    gapStart = frame;
                } else {
                    printf("mismatch at capture frame %llu (%.3f s), %s piece frame %zu: "
                           "got %d, expected %d\n",
                           (unsigned long long)frame, frame / 44100.0,
                           piece == &first ? "first" : "second", pos / 2, buf[i + c],
                           (*piece)[pos + c]);
                    return 1;
                }
            }
            if (!inGap) pos += 2;
        }
    }
    fclose(f);
    if (!started) {
        printf("the capture is silent (%llu frames)\n", (unsigned long long)frame);
        return 1;
    }
    printf("lead %llu frames %llu second_starts %lu max_diff %d gaps %lu gap_frames %llu\n",
           (unsigned long long)lead, (unsigned long long)frame, secondStarts, maxDiff, gaps,
           (unsigned long long)gapFrames);
    return gaps == 0 ? 0 : 1;
}
