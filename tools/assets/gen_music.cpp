/*
 * gen_music: renders the demo's two music pieces into a folder and reports how they measure.
 *
 *   gen_music OUTDIR      writes OUTDIR/tarn1.ogg and OUTDIR/tarn2.ogg
 *
 * Exit codes: 0 done, 1 usage, 2 rendering or encoding failed, 3 a file could not be written.
 */
#include <stdio.h>

#include <string>
#include <vector>

#include "music_measure.h"
#include "music_render.h"
#include "music_score.h"

namespace {

enum { kExitOk = 0, kExitUsage = 1, kExitRender = 2, kExitWrite = 3 };

bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

void report(const music::Piece& piece, const std::vector<unsigned char>& ogg) {
    music::Decoded d;
    if (!music::music_decode(ogg.data(), ogg.size(), &d))
        return;
    std::vector<long> kicks = music::music_kicks(piece);
    printf("%s: %.2f s, %zu bytes (%.0f kbit/s), peak %.2f dBFS, loudness %.1f LUFS\n",
           piece.name, (double)d.pcm.size() / d.rate, ogg.size(),
           ogg.size() * 8.0 / 1000.0 / ((double)d.pcm.size() / d.rate),
           music::music_peak_dbfs(d.pcm), music::music_loudness(d.pcm, d.rate));
    const long hops[] = {256, 512, 735};
    for (long hop : hops) {
        music::BeatFigures b =
            music::music_beats(d.pcm, kicks, hop, 0, music::kSamplesPerBeat);
        printf("  frames every %3ld samples: %d/%d kicks seen (weakest %.2f), %d/%d fall back "
               "(highest floor %.2f)\n",
               hop, b.registered, b.kicks, b.weakest, b.fellBack, b.kicks, b.stuck);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s OUTDIR\n  renders tarn1.ogg and tarn2.ogg into OUTDIR\n",
                argc > 0 ? argv[0] : "gen_music");
        return kExitUsage;
    }
    std::string dir = argv[1];
    for (int which = 0; which < music::kPieceCount; which++) {
        music::Piece piece = music::music_piece(which);
        std::vector<unsigned char> ogg;
        if (!music::music_make(which, &ogg)) {
            fprintf(stderr, "gen_music: %s could not be rendered under the peak ceiling\n",
                    piece.name);
            return kExitRender;
        }
        std::string path = dir + "/" + piece.name + ".ogg";
        if (!writeFile(path, ogg)) {
            fprintf(stderr, "gen_music: cannot write %s\n", path.c_str());
            return kExitWrite;
        }
        report(piece, ogg);
    }
    return kExitOk;
}
