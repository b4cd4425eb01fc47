/*
 * The demo's music through the capture output, frame by frame, as a recorder takes it: the
 * same program built natively against sound/ and with Emscripten against web/sound/, so
 * that the two layers can be compared on the same frames.
 *
 *   run OUTDIR FRAMES [--checks | --music-here]
 *   run DIR --formats PIECE...
 *
 * For each video frame: prints "video frame K", reads the spectrum (which mixes the frame,
 * so a "Sound 2" printed there belongs to frame K), then takes the frame. Writes OUTDIR/mix.raw
 * (16-bit stereo) and OUTDIR/spectrum.f32 (512 floats a frame). --checks first makes sure
 * that the outputs the layer does not have fail, as do files it cannot play
 * (OUTDIR/rate48k.ogg must be a 48 kHz file). --music-here plays OUTDIR/data's pieces instead
 * of the demo's. --formats plays each named piece of DIR, rRATE-cCHANNELS.ogg, a second of
 * sines with 330 Hz in the first channel and 550 Hz in the front right one, and holds the
 * edition's decoder to the engine's rule on which pieces play and what their sources give.
 * Exits 0 when everything went as expected.
 *
 * Built with Emscripten, it stands in for the page, which hands the layer its music as the
 * bytes come over the network: each piece the layer asks for arrives as its first 16 KB at
 * once and then 1531 bytes before every video frame (about six times as fast as it plays, in
 * chunks that end anywhere in a packet).
 */
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

#include "fsound.h"
#include "fsound_capture.h"
#include "fsound_internal.h"
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

bool g_pieceEnded = false;

signed char pieceEnded(FSOUND_STREAM*, void*, int, int) {
    g_pieceEnded = true;
    return 0;
}

/* The sine's frequency in one side of a stereo capture, from its rising zero crossings away
 * from the first and last tenth of a second, and the length of its sounding part in frames. */
void measure(const std::vector<int16_t>& mix, int side, int rate, double* freq, size_t* frames) {
    size_t first = SIZE_MAX, last = 0;
    for (size_t i = side; i < mix.size(); i += 2)
        if (abs(mix[i]) > 300) {
            if (first == SIZE_MAX) first = i / 2;
            last = i / 2;
        }
    *frames = first == SIZE_MAX ? 0 : last - first;
    *freq = 0;
    if (*frames < (size_t)rate / 2) return;
    size_t rising = 0, firstCross = 0, lastCross = 0;
    for (size_t i = first + rate / 10; i < last - rate / 10; i++)
        if (mix[i * 2 + side] < 0 && mix[(i + 1) * 2 + side] >= 0) {
            if (!rising) firstCross = i;
            lastCross = i;
            rising++;
        }
    if (rising > 1) *freq = (rising - 1) * (double)rate / (double)(lastCross - firstCross);
}

/* One piece, alone on a freshly started layer: it opens exactly when the engine's rule says
 * this edition's decoder takes it, and then plays a second at the output's rate, 330 Hz on
 * the left and 550 Hz on the right (330 Hz on both sides for one channel). */
void checkFormat(const std::string& dir, const char* piece) {
    const int kRate = 44100;
    int rate = 0, channels = 0;
    if (sscanf(piece, "r%d-c%d.ogg", &rate, &channels) != 2) {
        expect(false, "a piece is named rRATE-cCHANNELS.ogg");
        return;
    }
    fsound_shutdown();
    setenv("FSOUND_OUTPUT", "capture", 1);
    if (!FSOUND_Init(kRate, 16, 0)) {
        expect(false, "the capture output starts");
        return;
    }
    std::string what = std::string(piece) + ": ";
    bool accepted = fsound::g_engine->decoder->accepts(rate, channels, kRate);
    FSOUND_STREAM* stream = FSOUND_Stream_Open((dir + "/" + piece).c_str(), 304, 0, 0);
    if (!accepted) {
        bool refused = !stream && FSOUND_GetError() == FSOUND_ERR_FILE_FORMAT;
        expect(refused, (what + "refused by the rule, and by the decoder").c_str());
        if (refused) printf("%srefused\n", what.c_str());
        return;
    }
    if (!stream) {
        expect(false, (what + "taken by the rule, and opened by the decoder").c_str());
        return;
    }
    g_pieceEnded = false;
    FSOUND_Stream_SetEndCallback(stream, pieceEnded, 0);
    FSOUND_Stream_Play(0, stream);
    std::vector<int16_t> mix;
    int16_t buffer[2 * 800];
    for (int k = 0; k < 180 && !g_pieceEnded; k++) {
        deliverMore();
        int n = fsound_capture_frame(buffer, 800);
        if (n > 0) mix.insert(mix.end(), buffer, buffer + 2 * n);
    }
    double left, right;
    size_t leftFrames, rightFrames;
    measure(mix, 0, kRate, &left, &leftFrames);
    measure(mix, 1, kRate, &right, &rightFrames);
    printf("%splays %zu frames, %.1f Hz left, %.1f Hz right\n", what.c_str(), leftFrames, left, right);
    expect(g_pieceEnded, (what + "ends").c_str());
    expect(fabs((double)leftFrames - kRate) < kRate * 0.005 && fabs((double)rightFrames - kRate) < kRate * 0.005,
           (what + "a second at the output's rate").c_str());
    expect(fabs(left - 330) < 1 && fabs(right - (channels == 1 ? 330 : 550)) < 1,
           (what + "the first channel on the left, the front right on the right").c_str());
}

/* The directory of the real file system as the layer sees it (inside Node: mounted at /out). */
std::string seen(const char* dir) {
#ifdef __EMSCRIPTEN__
    EM_ASM({
        FS.mkdir('/out');
        FS.mount(NODEFS, {root : UTF8ToString($0)}, '/out');
    }, dir);
    return "/out";
#else
    return dir;
#endif
}

} // namespace

int main(int argc, char** argv) {
    bool formats = argc >= 4 && strcmp(argv[2], "--formats") == 0;
    bool checks = argc == 4 && strcmp(argv[3], "--checks") == 0;
    bool musicHere = argc == 4 && strcmp(argv[3], "--music-here") == 0;
    if (!formats && (argc < 3 || argc > 4 || (argc == 4 && !checks && !musicHere))) {
        fprintf(stderr, "usage: run OUTDIR FRAMES [--checks | --music-here]\n"
                        "       run DIR --formats PIECE...\n");
        return 2;
    }
    std::string dir = seen(argv[1]);
    offerFiles();
    if (formats) {
        for (int i = 3; i < argc; i++) checkFormat(dir, argv[i]);
        return failures ? 1 : 0;
    }
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
