#include "sound_ogg.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>

#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

PcmClip sineClip(int rate, const std::vector<double>& freqs, double seconds, double amp) {
    PcmClip clip;
    clip.rate = rate;
    clip.channels = (int)freqs.size();
    size_t frames = (size_t)lround(seconds * rate);
    clip.samples.resize(frames * freqs.size());
    for (size_t i = 0; i < frames; i++)
        for (size_t c = 0; c < freqs.size(); c++)
            clip.samples[i * freqs.size() + c] = (float)(amp * sin(2 * M_PI * freqs[c] * i / rate));
    return clip;
}

PcmClip kickClip(int rate, int channels, double seconds, double period) {
    PcmClip clip;
    clip.rate = rate;
    clip.channels = channels;
    size_t frames = (size_t)lround(seconds * rate);
    clip.samples.resize(frames * channels);
    for (size_t i = 0; i < frames; i++) {
        double t = fmod((double)i / rate, period);
        float v = (float)(0.9 * exp(-t / 0.08) * sin(2 * M_PI * 40 * t));
        for (int c = 0; c < channels; c++) clip.samples[i * channels + c] = v;
    }
    return clip;
}

static bool writePages(FILE* f, ogg_stream_state* os, bool flush) {
    ogg_page page;
    while (flush ? ogg_stream_flush(os, &page) : ogg_stream_pageout(os, &page)) {
        if (fwrite(page.header, 1, page.header_len, f) != (size_t)page.header_len ||
            fwrite(page.body, 1, page.body_len, f) != (size_t)page.body_len)
            return false;
    }
    return true;
}

bool writeOgg(const std::string& path, const PcmClip& clip) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, clip.channels, clip.rate, 0.5f) != 0) {
        vorbis_info_clear(&vi);
        fclose(f);
        return false;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 1);

    ogg_packet id, comment, code;
    vorbis_analysis_headerout(&vd, &vc, &id, &comment, &code);
    ogg_stream_packetin(&os, &id);
    ogg_stream_packetin(&os, &comment);
    ogg_stream_packetin(&os, &code);
    bool ok = writePages(f, &os, true);

    const size_t chunk = 1024;
    size_t frames = clip.frames();
    for (size_t pos = 0; ok;) {
        size_t n = std::min(chunk, frames - pos);
        if (n) {
            float** buf = vorbis_analysis_buffer(&vd, (int)n);
            for (size_t i = 0; i < n; i++)
                for (int c = 0; c < clip.channels; c++)
                    buf[c][i] = clip.samples[(pos + i) * clip.channels + c];
        }
        vorbis_analysis_wrote(&vd, (int)n); // 0 marks the end
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&vd, &packet)) {
                ogg_stream_packetin(&os, &packet);
                ok = ok && writePages(f, &os, false);
            }
        }
        if (!n) break;
        pos += n;
    }
    ok = ok && writePages(f, &os, true);

    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return fclose(f) == 0 && ok;
}

PcmClip decodeOgg(const std::string& path) {
    PcmClip clip;
    OggVorbis_File vf;
    if (ov_fopen(path.c_str(), &vf) != 0) return clip;
    vorbis_info* vi = ov_info(&vf, -1);
    clip.rate = (int)vi->rate;
    clip.channels = vi->channels;
    for (;;) {
        float** pcm;
        int section;
        long n = ov_read_float(&vf, &pcm, 4096, &section);
        if (n == OV_HOLE) continue;
        if (n <= 0) break;
        for (long i = 0; i < n; i++)
            for (int c = 0; c < clip.channels; c++) clip.samples.push_back(pcm[c][i]);
    }
    ov_clear(&vf);
    return clip;
}

int16_t quantize(float x) { return (int16_t)lrintf(std::min(1.0f, std::max(-1.0f, x)) * 32767.0f); }

std::vector<int16_t> asOutput(const PcmClip& clip) {
    std::vector<int16_t> out;
    for (size_t i = 0; i < clip.frames(); i++) {
        const float* f = &clip.samples[i * clip.channels];
        out.push_back(quantize(f[0]));
        out.push_back(quantize(clip.channels > 1 ? f[1] : f[0]));
    }
    return out;
}
