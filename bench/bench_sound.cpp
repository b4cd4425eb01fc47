/*
 * The sound layer at work, through SDL's disk driver writing to /dev/null in real time:
 *   AudioThreadShare   CPU of the audio thread (mixing) and of the decoder thread while a
 *                      stereo 44.1 kHz stream plays, as a share of one core
 *   VorbisDecodeOnly   the peer: libvorbisfile alone decoding the same audio, per second of it
 *   GetSpectrum        one FSOUND_DSP_GetSpectrum call while the music plays
 *   SpectrumLag        how far behind the newest mixed frame the analysed window ends
 */
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <vorbis/vorbisfile.h>

#include "fsound.h"
#include "fsound_internal.h"
#include "sound_ogg.h"

namespace {

const int kRate = 44100;

/* A stereo piece of music-like sines, written once per run. */
const std::string& piece() {
    static std::string path;
    if (path.empty()) {
        char tmpl[] = "/tmp/nv_bench_sound_XXXXXX";
        path = std::string(mkdtemp(tmpl)) + "/piece.ogg";
        writeOgg(path, sineClip(kRate, {220, 330}, 30.0, 0.5));
    }
    return path;
}

bool startPlaying() {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    if (!FSOUND_Init(kRate, 16, 0)) return false;
    FSOUND_STREAM* s = FSOUND_Stream_Open(piece().c_str(), 304, 0, 0);
    if (!s) return false;
    FSOUND_Stream_Play(0, s);
    FSOUND_DSP_SetActive(FSOUND_DSP_GetFFTUnit(), 1);
    return true;
}

void AudioThreadShare(benchmark::State& state) {
    piece();
    if (!startPlaying()) {
        state.SkipWithError("no output");
        return;
    }
    fsound_stats_t begin, end;
    SDL_Delay(500); // past the start-up and the first decode-ahead
    fsound_get_stats(&begin);
    for (auto _ : state) SDL_Delay(5000);
    fsound_get_stats(&end);
    double seconds = (double)(end.framesMixed - begin.framesMixed) / kRate;
    state.counters["audio_cpu_pct"] = 100.0 * (end.audioCpuNs - begin.audioCpuNs) / 1e9 / seconds;
    state.counters["decoder_cpu_pct"] =
        100.0 * (end.decoderCpuNs - begin.decoderCpuNs) / 1e9 / seconds;
    state.counters["underruns"] = (double)(end.underruns - begin.underruns);
    fsound_shutdown();
}
BENCHMARK(AudioThreadShare)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void VorbisDecodeOnly(benchmark::State& state) {
    for (auto _ : state) {
        OggVorbis_File vf;
        if (ov_fopen(piece().c_str(), &vf) != 0) {
            state.SkipWithError("cannot open");
            return;
        }
        long frames = 0;
        while (frames < kRate) { // one second of audio
            float** pcm;
            int section;
            long n = ov_read_float(&vf, &pcm, 512, &section);
            if (n <= 0) break;
            frames += n;
        }
        ov_clear(&vf);
    }
    state.SetLabel("per second of audio");
}
BENCHMARK(VorbisDecodeOnly)->Unit(benchmark::kMicrosecond);

void GetSpectrum(benchmark::State& state) {
    if (!startPlaying()) {
        state.SkipWithError("no output");
        return;
    }
    SDL_Delay(300);
    for (auto _ : state) benchmark::DoNotOptimize(FSOUND_DSP_GetSpectrum());
    fsound_shutdown();
}
BENCHMARK(GetSpectrum)->Unit(benchmark::kMicrosecond);

void SpectrumLag(benchmark::State& state) {
    if (!startPlaying()) {
        state.SkipWithError("no output");
        return;
    }
    SDL_Delay(300);
    double lagSum = 0, lagMax = 0, samples = 0;
    for (auto _ : state) {
        // Looks spread over the device buffers, as frames at about 60 per second would be.
        for (int i = 0; i < 200; i++) {
            FSOUND_DSP_GetSpectrum();
            fsound_stats_t stats;
            fsound_get_stats(&stats);
            double ms = 1000.0 * stats.spectrumLagFrames / kRate;
            lagSum += ms;
            lagMax = std::max(lagMax, ms);
            samples++;
            SDL_Delay(7);
        }
    }
    state.counters["lag_mean_ms"] = lagSum / samples;
    state.counters["lag_max_ms"] = lagMax;
    // The window is 1024 frames long: its Hann-weighted centre lies 512 frames further back.
    state.counters["window_centre_ms"] = 1000.0 * 512 / kRate;
    fsound_shutdown();
}
BENCHMARK(SpectrumLag)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
