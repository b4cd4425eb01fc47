/*
 * The browser's decoder: Ogg Vorbis decoded with stb_vorbis's push interface, a packet at a
 * time as the mixer needs it, from bytes the page hands over as they arrive. A piece opens,
 * and plays, before it is whole: the page asks the network for the named file when the layer
 * opens it (nv_sound_web_fetch) and passes on every chunk that comes (fsound_web_piece_room,
 * fsound_web_piece_end). What has come is kept, so that a piece plays again from its first
 * byte without a second download. Everything runs on the page's one thread.
 *
 * A piece whose next bytes have not come yet is not ready (Source::ready); the Web Audio
 * output then waits for them instead of playing silence in their place, and the music stands
 * until they come. A piece whose download fails, or whose bytes turn out damaged, ends where
 * its good frames end.
 *
 * Pieces are played at the output's rate as they are: one whose rate differs fails to open
 * with FSOUND_ERR_FILE_FORMAT (the demo's music is at the output's 44100 Hz); so does one
 * that is not Ogg Vorbis, when enough of it has come at the open to tell, and otherwise ends
 * at once when its first bytes show it. Mono is heard on both sides; of more channels, the
 * front left and front right.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <new>

#include "fsound_internal.h"

#define STB_VORBIS_NO_PULLDATA_API
#define STB_VORBIS_NO_STDIO
#define STB_VORBIS_NO_INTEGER_CONVERSION
#include <stb_vorbis.h>

/* The page's side (fsound_web.js), and the two calls it answers with (exported by name). */
extern "C" {
unsigned char* fsound_web_piece_room(int piece, int n);
void fsound_web_piece_end(int piece, int whole);
/* Asks the page for the named file. Its bytes then come through fsound_web_piece_room as
 * they arrive, maybe some of them before this returns, and fsound_web_piece_end follows.
 * Returns 0 when the page has no such file. */
int nv_sound_web_fetch(const char* name, int piece);
}

namespace fsound {

namespace {

enum {
    kFifoFrames = 16384,            /* decoded frames held: a mixer's block and a packet */
    kMaxPieceBytes = 256 << 20,     /* a longer file is not a piece of music */
    kMaxPieces = 64                 /* pieces asked for while the layer runs */
};

class StbSource;
StbSource* g_pieces[kMaxPieces]; /* by the number the page is told; null once deleted */
int g_pieceCount = 0;            /* numbers are never given twice */

class StbSource : public Source {
  public:
    int piece = -1;     /* the number the page delivers the bytes under */
    int mixRate = 0;
    char name[128] = {}; /* for messages */
    StbSource* next = nullptr; /* the decoder's list */

    /* The file's bytes so far. */
    unsigned char* bytes = nullptr;
    size_t size = 0;
    size_t capacity = 0;
    bool whole = false;  /* every byte has come */
    bool failed = false; /* no more will come: the download failed, or the bytes are damaged */

    stb_vorbis* vorbis = nullptr; /* null until the headers have come */
    size_t used = 0;              /* bytes the decoder has taken */
    int right = 0;                /* the decoded channel heard on the right */

    /* Decoded stereo frames not yet given, from fifo[begin] to fifo[end]. */
    float fifo[kFifoFrames * kOutChannels];
    size_t begin = 0;
    size_t end = 0;
    bool atEnd = false; /* nothing is decoded after what the fifo holds */

    ~StbSource() override {
        if (vorbis) stb_vorbis_close(vorbis);
        free(bytes);
        if (piece >= 0) g_pieces[piece] = nullptr;
    }

    size_t pending() const { return end - begin; }

    /* Room for n more bytes at the end of what has come; null when there is none. */
    unsigned char* room(size_t n) {
        if (n > kMaxPieceBytes - size) return nullptr;
        if (size + n > capacity) {
            size_t grown = std::max(size + n, std::min(2 * capacity, (size_t)kMaxPieceBytes));
            unsigned char* p = (unsigned char*)realloc(bytes, grown);
            if (!p) return nullptr;
            bytes = p;
            capacity = grown;
        }
        unsigned char* at = bytes + size;
        size += n;
        return at;
    }

    /* More of the file will not come: what has come plays to its end. */
    bool final() const { return whole || failed; }

    /* Opens the decoder on the headers. False while they have not all come, and when they
     * are not those of a piece the layer can play (then *error says why and the piece has
     * ended). */
    bool openDecoder(int* error) {
        int taken = 0, vorbisError = 0;
        vorbis = stb_vorbis_open_pushdata(bytes, (int)size, &taken, &vorbisError, nullptr);
        if (!vorbis) {
            if (vorbisError == VORBIS_need_more_data && !final()) return false;
            *error = vorbisError == VORBIS_outofmem ? FSOUND_ERR_MEMORY : FSOUND_ERR_FILE_FORMAT;
            atEnd = true;
            return false;
        }
        stb_vorbis_info info = stb_vorbis_get_info(vorbis);
        if (info.channels < 1 || (int)info.sample_rate != mixRate) {
            *error = FSOUND_ERR_FILE_FORMAT;
            atEnd = true;
            return false;
        }
        used = (size_t)taken;
        right = vorbisRightChannel(info.channels);
        return true;
    }

    /* Decodes the next packet into the fifo. False when there is none yet (its bytes have not
     * all come) or none at all (atEnd). */
    bool decodePacket() {
        int error = FSOUND_ERR_NONE;
        if (!vorbis && !openDecoder(&error)) {
            if (error != FSOUND_ERR_NONE) fprintf(stderr, "sound: %s cannot be played (error %d)\n", name, error);
            return false;
        }
        for (;;) {
            int channels = 0, frames = 0;
            float** out = nullptr;
            int taken = stb_vorbis_decode_frame_pushdata(vorbis, bytes + used, (int)(size - used), &channels, &out, &frames);
            used += (size_t)taken;
            if (frames > 0) {
                if (end + (size_t)frames > kFifoFrames) {
                    memmove(fifo, fifo + begin * kOutChannels, pending() * kOutChannels * sizeof(float));
                    end -= begin;
                    begin = 0;
                }
                // A packet never holds more frames than the fifo has room for beyond a block.
                size_t n = std::min((size_t)frames, kFifoFrames - end);
                float* dst = fifo + end * kOutChannels;
                for (size_t i = 0; i < n; i++) {
                    dst[i * kOutChannels] = out[0][i];
                    dst[i * kOutChannels + 1] = out[right][i];
                }
                end += n;
                return true;
            }
            if (taken > 0) continue; // a page's start, the first packet, or a resynchronisation
            // Nothing taken: the next packet has not come whole, or the bytes are damaged.
            int why = stb_vorbis_get_error(vorbis);
            bool waiting = why == VORBIS_need_more_data || why == VORBIS__no_error;
            if (waiting && !final()) return false;
            atEnd = true;
            return false;
        }
    }

    /* Decodes until n frames are held, the piece has ended, or its next bytes are missing. */
    void fill(size_t n) {
        while (pending() < n && !atEnd && decodePacket()) {
        }
    }

    bool ready(size_t n) override {
        fill(n);
        return atEnd || pending() >= n;
    }

    size_t read(float* out, size_t n, bool* ended) override {
        fill(n);
        size_t k = std::min(n, pending());
        memcpy(out, fifo + begin * kOutChannels, k * kOutChannels * sizeof(float));
        begin += k;
        // The packet after the frames given is decoded at once, so that the piece's end is
        // known with its last frame.
        if (pending() == 0) fill(1);
        *ended = atEnd && pending() == 0;
        return k;
    }

    void rewind() override {
        // The decoder starts again on the headers: the same state as right after opening.
        if (vorbis) stb_vorbis_close(vorbis);
        vorbis = nullptr;
        used = begin = end = 0;
        atEnd = false;
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
        if (g_pieceCount == kMaxPieces) {
            setError(FSOUND_ERR_MEMORY);
            return nullptr;
        }
        StbSource* s = make<StbSource>();
        if (!s) return nullptr;
        s->mixRate = mixRate;
        s->piece = g_pieceCount++;
        g_pieces[s->piece] = s;
        snprintf(s->name, sizeof s->name, "%s", name);
        // What has come already is looked at now, as a file on a disk would be; a piece whose
        // headers are still to come opens all the same and plays once they have.
        int failure = FSOUND_ERR_NONE;
        if (!nv_sound_web_fetch(name, s->piece) || (s->failed && s->size == 0))
            failure = FSOUND_ERR_FILE_NOTFOUND;
        else
            s->openDecoder(&failure);
        if (failure != FSOUND_ERR_NONE) {
            delete s;
            setError(failure);
            return nullptr;
        }
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

using namespace fsound;

/* The page's delivery: where the next n bytes of the piece go; null when the layer no longer
 * wants them (the piece is gone, or there is no room), and then the page stops. */
extern "C" unsigned char* fsound_web_piece_room(int piece, int n) {
    if (piece < 0 || piece >= g_pieceCount || n < 0 || !g_pieces[piece]) return nullptr;
    StbSource* s = g_pieces[piece];
    if (s->final()) return nullptr;
    unsigned char* at = s->room((size_t)n);
    if (!at) s->failed = true;
    return at;
}

/* The piece's last byte has come (whole non-zero), or its download failed. */
extern "C" void fsound_web_piece_end(int piece, int whole) {
    if (piece < 0 || piece >= g_pieceCount || !g_pieces[piece]) return;
    StbSource* s = g_pieces[piece];
    if (s->final()) return;
    if (whole) s->whole = true;
    else s->failed = true;
}
