/*
 * The demo's music through the capture output, frame by frame, as a recorder takes it: the
 * same program built natively against sound/ and with Emscripten against web/sound/, so
 * that the two layers can be compared on the same frames.
 *
 *   run OUTDIR FRAMES [--checks | --music-here]
 *
 * For each video frame: prints "video frame K", reads the spectrum (which mixes the frame,
 * so a "Sound 2" printed there belongs to frame K), then takes the frame. Writes OUTDIR/mix.raw
 * (16-bit stereo) and OUTDIR/spectrum.f32 (512 floats a frame). --checks first makes sure
 * that the outputs the layer does not have fail, as do files it cannot play
 * (OUTDIR/rate48k.ogg must be a 48 kHz file). --music-here plays OUTDIR/data's pieces instead
 * of the demo's. Exits 0 when everything went as expected.
 *
 * Built with Emscripten, it stands in for the page, which hands the layer its music as the
 * bytes come over the network: each piece the layer asks for arrives as its first 16 KB at
 * once and then 1531 bytes before every video frame (about six times as fast as it plays, in
 * chunks that end anywhere in a packet).
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

#include "fsound.h"
#include "fsound_capture.h"
#include "music.h"

#ifdef __EMSCRIPTEN__
/* The page's delivery of the files the layer asks for (Module.nvFiles), from this file
 * system, chunk by chunk. */
EM_JS(void, offerFiles, (), {
    const deliveries = [];
    const deliver = function(d, n) {
        if (d.at === d.bytes.length) return;
        const chunk = d.bytes.subarray(d.at, Math.min(d.bytes.length, d.at + n));
        d.at += chunk.length;
        if (d.onData(chunk) === false) d.at = d.bytes.length;
        if (d.at === d.bytes.length) d.onEnd(true);
    };
    Module['nvFiles'] = {
        open: function(name, onData, onEnd) {
            let bytes;
            try {
                bytes = FS.readFile(name);
            } catch (e) {
                return false;
            }
            const d = {bytes: bytes, at: 0, onData: onData, onEnd: onEnd};
            deliveries.push(d);
            if (!bytes.length) onEnd(true);
            deliver(d, 16384);
            return true;
        }
    };
    Module['nvDeliverMore'] = function() {
        for (const d of deliveries) deliver(d, 1531);
    };
});

EM_JS(void, deliverMore, (), { Module['nvDeliverMore'](); });
#else
static void offerFiles() {}
static void deliverMore() {}
#endif


namespace {

int failures = 0;

void expect(bool ok, const char* what) {
    if (ok) return;
    printf("FAIL: %s (error %d)\n", what, FSOUND_GetError());
    failures++;
}

/* Outputs the layer does not have, and files it cannot play. Leaves the layer running
 * with the capture output. */
void checkRefusals(const std::string& dir) {
    setenv("FSOUND_OUTPUT", "nv-no-such-output", 1);
    expect(!FSOUND_Init(44100, 16, 0) && FSOUND_GetError() == FSOUND_ERR_INIT,
           "an unknown output is refused");
#ifdef __EMSCRIPTEN__
    // Under Node there is no Web Audio: the default output cannot start.
    unsetenv("FSOUND_OUTPUT");
    expect(!FSOUND_Init(44100, 16, 0) && FSOUND_GetError() == FSOUND_ERR_INIT,
           "the Web Audio output fails without Web Audio");
#endif
    setenv("FSOUND_OUTPUT", "capture", 1);
    setenv("FSOUND_CAPTURE_FPS", "60fps", 1);
    expect(!FSOUND_Init(44100, 16, 0) && FSOUND_GetError() == FSOUND_ERR_INIT,
           "a malformed capture rate is refused");
    unsetenv("FSOUND_CAPTURE_FPS");
    expect(FSOUND_Init(44100, 16, 0), "the capture output starts");

    float* spectrum = FSOUND_DSP_GetSpectrum();
    bool zero = true;
    for (int i = 0; i < 512; i++) zero = zero && spectrum[i] == 0.0f;
    expect(zero, "the spectrum is zero while the analysis is off");

    expect(!FSOUND_Stream_Open("data/nv-no-such.ogg", 304, 0, 0) &&
               FSOUND_GetError() == FSOUND_ERR_FILE_NOTFOUND,
           "a missing file is not found");
    expect(!FSOUND_Stream_Open((dir + "/mix.raw").c_str(), 304, 0, 0) &&
               FSOUND_GetError() == FSOUND_ERR_FILE_FORMAT,
           "a file that is not Ogg Vorbis is refused");
    expect(!FSOUND_Stream_Open((dir + "/rate48k.ogg").c_str(), 304, 0, 0) &&
               FSOUND_GetError() == FSOUND_ERR_FILE_FORMAT,
           "a stream at another rate than the output's is refused");
}

} // namespace

int main(int argc, char** argv) {
    bool checks = argc == 4 && strcmp(argv[3], "--checks") == 0;
    bool musicHere = argc == 4 && strcmp(argv[3], "--music-here") == 0;
    if (argc < 3 || argc > 4 || (argc == 4 && !checks && !musicHere)) {
        fprintf(stderr, "usage: run OUTDIR FRAMES [--checks | --music-here]\n");
        return 2;
    }
    std::string dir = argv[1];
#ifdef __EMSCRIPTEN__
    // The output directory of the real file system, seen inside as /out.
    EM_ASM({
        FS.mkdir('/out');
        FS.mount(NODEFS, {root : UTF8ToString($0)}, '/out');
    }, dir.c_str());
    dir = "/out";
#endif
    offerFiles();
    int frames = atoi(argv[2]);
    FILE* mix = fopen((dir + "/mix.raw").c_str(), "wb");
    FILE* spec = fopen((dir + "/spectrum.f32").c_str(), "wb");
    if (!mix || !spec || frames <= 0) {
        fprintf(stderr, "cannot write to %s\n", argv[1]);
        return 2;
    }
    if (checks) checkRefusals(dir);
    if (musicHere && chdir(dir.c_str()) != 0) {
        fprintf(stderr, "cannot work in %s\n", argv[1]);
        return 2;
    }

    setenv("FSOUND_OUTPUT", "capture", 1);
    expect(soundInit() == 0, "the music starts");
    int16_t buffer[2 * 800];
    for (int k = 0; k < frames; k++) {
        deliverMore();
        printf("video frame %d\n", k);
        fflush(stdout);
        float* spectrum = FSOUND_DSP_GetSpectrum();
        int n = fsound_capture_frame(buffer, 800);
        if (n <= 0) {
            expect(false, "a video frame is taken");
            break;
        }
        fwrite(spectrum, sizeof(float), 512, spec);
        fwrite(buffer, sizeof(int16_t), 2 * (size_t)n, mix);
    }
    fclose(mix);
    fclose(spec);
    return failures ? 1 : 0;
}
