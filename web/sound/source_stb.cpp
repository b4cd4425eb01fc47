/*
 * The browser's decoder: Ogg Vorbis decoded with stb_vorbis, one packet at a time as the
 * mixer needs it, reading the file (in Emscripten's file system) as it goes, so memory stays
 * bounded whatever the file's length. Everything runs on the page's one thread.
 *
 * Pieces are played at the output's rate as they are: one whose rate differs fails to open
 * with FSOUND_ERR_FILE_FORMAT (the demo's music is at the output's 44100 Hz). Mono is heard
 * on both sides; of more channels, the front left and front right.
 */
#include <algorithm>
#include <new>

#include "fsound_internal.h"

#define STB_VORBIS_NO_PUSHDATA_API
#define STB_VORBIS_NO_INTEGER_CONVERSION
#include <stb_vorbis.h>

namespace fsound {

namespace {

int openError(int vorbisError) {
    switch (vorbisError) {
    case VORBIS_file_open_failure: return FSOUND_ERR_FILE_NOTFOUND;
    case VORBIS_outofmem: return FSOUND_ERR_MEMORY;
    default: return FSOUND_ERR_FILE_FORMAT;
    }
}

class StbSource : public Source {
  public:
    stb_vorbis* vorbis = nullptr; /* owns the open file; null until it opens */
    int right = 0;                /* the decoded channel heard on the right */
    StbSource* next = nullptr;    /* the decoder's list */

    /* The decoded packet being played: the decoder's own memory, valid until it decodes
     * the next one. The packet after the current one is decoded as soon as the current one
     * is used up, so that the piece's end is known with its last frame. */
    float** packet = nullptr;
    int packetFrames = 0;
    int packetPos = 0;
    bool atEnd = false; /* the decoder has nothing after the current packet */

    ~StbSource() override {
        if (vorbis) stb_vorbis_close(vorbis);
    }

    /* Makes the next decoded packet current; atEnd when there is none. */
    void nextPacket() {
        int channels = 0;
        float** decoded = nullptr;
        int n = stb_vorbis_get_frame_float(vorbis, &channels, &decoded);
        packetPos = 0;
        // The end, or a damaged packet: the piece ends here either way.
        packet = n > 0 ? decoded : nullptr;
        packetFrames = n > 0 ? n : 0;
        atEnd = n <= 0;
    }

    /* Decodes as it goes, so it never comes up short before its end. */
    size_t read(float* out, size_t n, bool* ended) override {
        size_t got = 0;
        while (got < n && !atEnd) {
            if (packetPos == packetFrames) {
                nextPacket();
                continue;
            }
            size_t k = std::min(n - got, (size_t)(packetFrames - packetPos));
            const float* l = packet[0] + packetPos;
            const float* r = packet[right] + packetPos;
            for (size_t i = 0; i < k; i++) {
                out[(got + i) * kOutChannels] = l[i];
                out[(got + i) * kOutChannels + 1] = r[i];
            }
            packetPos += (int)k;
            got += k;
        }
        if (packetPos == packetFrames && !atEnd) nextPacket();
        *ended = atEnd;
        return got;
    }

    void rewind() override {
        packet = nullptr;
        packetFrames = packetPos = 0;
        // The decoder goes back to the first audio page and primes itself with the first
        // packet, which yields no frames: the same state as right after opening.
        atEnd = !stb_vorbis_seek_start(vorbis);
    }
};

class StbDecoder : public Decoder {
  public:
    StbSource* sources = nullptr; /* every source opened, newest first */

    ~StbDecoder() override {
        while (sources) {
            StbSource* s = sources;
            sources = s->next;
            delete s;
        }
    }

    Source* open(const char* name, int mixRate) override {
        StbSource* s = make<StbSource>();
        if (!s) return nullptr;
        int vorbisError = 0, failure = 0;
        s->vorbis = stb_vorbis_open_filename(name, &vorbisError, nullptr);
        stb_vorbis_info info = {};
        if (s->vorbis) info = stb_vorbis_get_info(s->vorbis);
        else failure = openError(vorbisError);
        if (!failure && (info.channels < 1 || (int)info.sample_rate != mixRate)) failure = FSOUND_ERR_FILE_FORMAT;
        if (failure) {
            delete s;
            setError(failure);
            return nullptr;
        }
        s->right = vorbisRightChannel(info.channels);
        s->next = sources;
        sources = s;
        return s;
    }
};

} // namespace

Decoder* newDecoder(bool) {
    return make<StbDecoder>();
}

} // namespace fsound
