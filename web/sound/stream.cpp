/*
 * The decoder feed: Ogg Vorbis decoded with stb_vorbis, one packet at a time as the mixer
 * needs it, reading the file (in Emscripten's file system) as it goes, so memory stays
 * bounded whatever the file's length.
 *
 * Streams are played at the output's rate as they are: one whose rate differs fails to
 * open with FSOUND_ERR_FILE_FORMAT (the demo's music is at the output's 44100 Hz). Mono is
 * heard on both sides; of more channels, the front left and front right.
 */
#include <new>

#include "fsound_web.h"

#define STB_VORBIS_NO_PUSHDATA_API
#define STB_VORBIS_NO_INTEGER_CONVERSION
#include <stb_vorbis.h>

namespace fsound_web {

namespace {

/* The index of the right front channel in Vorbis's channel order. */
int rightChannel(int channels) {
    if (channels == 1) return 0;
    if (channels == 2 || channels == 4) return 1;
    return 2; // L, C, R first for 3 and for 5 to 8 channels
}

int openError(int vorbisError) {
    switch (vorbisError) {
    case VORBIS_file_open_failure: return FSOUND_ERR_FILE_NOTFOUND;
    case VORBIS_outofmem: return FSOUND_ERR_MEMORY;
    default: return FSOUND_ERR_FILE_FORMAT;
    }
}

} // namespace

bool nextPacket(FSOUND_STREAM* s) {
    int channels = 0;
    float** packet = nullptr;
    int n = stb_vorbis_get_frame_float(s->vorbis, &channels, &packet);
    s->packetPos = 0;
    if (n <= 0) {
        // The end, or a damaged packet: the stream ends here either way.
        s->packet = nullptr;
        s->packetFrames = 0;
        s->atEnd = true;
        return false;
    }
    s->packet = packet;
    s->packetFrames = n;
    return true;
}

void rewindStream(FSOUND_STREAM* s) {
    s->packet = nullptr;
    s->packetFrames = s->packetPos = 0;
    // The decoder goes back to the first audio page and primes itself with the first
    // packet, which yields no frames: the same state as right after opening.
    s->atEnd = !stb_vorbis_seek_start(s->vorbis);
}

FSOUND_STREAM* openStream(Output* o, const char* name) {
    int error = 0;
    stb_vorbis* vorbis = stb_vorbis_open_filename(name, &error, nullptr);
    if (!vorbis) {
        setError(openError(error));
        return nullptr;
    }
    stb_vorbis_info info = stb_vorbis_get_info(vorbis);
    if (info.channels < 1 || (int)info.sample_rate != o->mixRate) {
        stb_vorbis_close(vorbis);
        setError(FSOUND_ERR_FILE_FORMAT);
        return nullptr;
    }
    FSOUND_STREAM* s = new (std::nothrow) FSOUND_STREAM;
    if (!s) {
        stb_vorbis_close(vorbis);
        setError(FSOUND_ERR_MEMORY);
        return nullptr;
    }
    s->vorbis = vorbis;
    s->right = rightChannel(info.channels);
    return s;
}

} // namespace fsound_web
