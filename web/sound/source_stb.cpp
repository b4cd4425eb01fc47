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
 * Pieces are played at their own rate: this decoder converts none, so by the engine's rule
 * (Decoder) one at another rate than the output's fails to open with FSOUND_ERR_FILE_FORMAT
 * (the demo's music is at the output's 44100 Hz); so does one that is not Ogg Vorbis. Either
 * is found out at the open when enough of the piece has come to tell, and otherwise the piece
 * ends at once when its first bytes show it.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <limits.h>
#include <stdint.h>

#include <algorithm>
#include <new>

#include "backend.h"
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
    kArenaBytes = 512 << 10,        /* the decoder's memory: 200 KB for the demo's music */
    kMaxArenaBytes = 8 << 20        /* grown up to this for pieces that need more */
};

/* What stb_vorbis must not be given: its reading of the comment header trusts the lengths
 * and the count in it (a length past the packet's end writes before the memory it took, and a
 * list it cannot make for the count is walked through in its clean-up). The header, the
 * stream's second packet, is read here first: kHeaderOk when every length lies inside it, with
 * *memory the most its strings and list take; kHeaderMissing while it has not all come;
 * kHeaderBad otherwise. What is not an Ogg stream at all is left to stb_vorbis to refuse. */
enum HeaderCheck { kHeaderOk, kHeaderMissing, kHeaderBad };

uint32_t le32(const unsigned char* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

HeaderCheck checkCommentHeader(const unsigned char* p, size_t size, size_t* memory) {
    enum { kPageHeader = 27 };
    // The second packet's bytes, gathered across the pages that hold it.
    unsigned char* packet = nullptr;
    size_t length = 0, packets = 0;
    bool whole = false;
    HeaderCheck result = kHeaderMissing;
    for (size_t at = 0; !whole;) {
        if (size - at < kPageHeader) break;
        if (memcmp(p + at, "OggS", 4) != 0) {
            result = kHeaderOk;
            break;
        }
        size_t segments = p[at + 26], data = at + kPageHeader + segments;
        if (size - at < kPageHeader + segments) break;
        size_t i = 0;
        for (; i < segments && !whole; i++) {
            size_t n = p[at + kPageHeader + i];
            if (size - data < n) break;
            if (packets == 1) {
                unsigned char* grown = (unsigned char*)realloc(packet, length + n + 1);
                if (!grown) {
                    result = kHeaderBad;
                    break;
                }
                packet = grown;
                memcpy(packet + length, p + data, n);
                length += n;
            }
            data += n;
            if (n < 255 && ++packets == 2) whole = true;
        }
        if (i < segments && !whole) break; // the page has not all come (or no memory)
        at = data;
    }
    if (whole) {
        // "\3vorbis", the vendor's name, the count of comments, each comment, the framing bit.
        size_t at = 7, count = 0, strings = 0;
        auto string = [&]() { // a length, and that many bytes
            if (length - at < 4) return false;
            size_t n = le32(packet + at);
            if (length - at - 4 < n) return false;
            at += 4 + n;
            strings += n + 8;
            return true;
        };
        bool fits = length >= at && string() && length - at >= 4;
        if (fits) {
            count = le32(packet + at);
            at += 4;
            fits = count <= (length - at) / 4;
        }
        for (size_t k = 0; fits && k < count; k++) fits = string();
        fits = fits && length - at >= 1;
        *memory = strings + count * sizeof(char*) + 8;
        result = fits ? kHeaderOk : kHeaderBad;
    }
    free(packet);
    return result;
}

class StbDecoder;
StbDecoder* g_decoder = nullptr; /* the decoder while one exists */
int g_nextPiece = 0;             /* numbers are never given twice, so none reaches another */

class StbSource : public Source {
  public:
    const Decoder* decoder = nullptr; /* the one that opened it */
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

    /* All the decoder's memory comes from this arena, which it never frees itself (so that
     * damaged headers it gives up on leak nothing) and which bounds what any file can take. */
    stb_vorbis_alloc arena = {nullptr, 0};
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
        free(arena.alloc_buffer);
        free(bytes);
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

    /* The arena at its first size, or twice as large while no decoder uses it; false when it
     * cannot grow. */
    bool growArena() {
        int grown = arena.alloc_buffer ? 2 * arena.alloc_buffer_length_in_bytes : kArenaBytes;
        free(arena.alloc_buffer);
        arena.alloc_buffer = grown <= kMaxArenaBytes ? (char*)malloc((size_t)grown) : nullptr;
        arena.alloc_buffer_length_in_bytes = arena.alloc_buffer ? grown : 0;
        return arena.alloc_buffer != nullptr;
    }

    /* More of the file will not come: what has come plays to its end. */
    bool final() const { return whole || failed; }

    /* Opens the decoder on the headers. False while they have not all come, and when they
     * are not those of a piece the layer can play (then *error says why and the piece has
     * ended). */
    bool openDecoder(int* error) {
        size_t memory = 0;
        HeaderCheck check = checkCommentHeader(bytes, size, &memory);
        if (check == kHeaderMissing && !final()) return false;
        if (check != kHeaderOk || memory > kMaxArenaBytes) {
            *error = FSOUND_ERR_FILE_FORMAT;
            atEnd = true;
            return false;
        }
        // Room for the comment header's strings and list before the decoder reads it.
        while ((size_t)arena.alloc_buffer_length_in_bytes < memory && growArena()) {
        }
        int taken = 0, vorbisError = VORBIS_outofmem;
        while (arena.alloc_buffer || growArena()) {
            vorbis = stb_vorbis_open_pushdata(bytes, (int)size, &taken, &vorbisError, &arena);
            // Headers that need more memory than the arena has: a larger one, up to a limit.
            if (vorbis || vorbisError != VORBIS_outofmem || !growArena()) break;
        }
        if (!vorbis) {
            if (vorbisError == VORBIS_need_more_data && !final()) return false;
            *error = vorbisError == VORBIS_outofmem ? FSOUND_ERR_MEMORY : FSOUND_ERR_FILE_FORMAT;
            atEnd = true;
            return false;
        }
        stb_vorbis_info info = stb_vorbis_get_info(vorbis);
        if (!decoder->accepts((long)info.sample_rate, info.channels, mixRate)) {
            stb_vorbis_close(vorbis);
            vorbis = nullptr;
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

    StbDecoder() { g_decoder = this; }

    /* Pieces play at their own rate: only those at the output's are taken. */
    bool convertsRate() const override { return false; }

    ~StbDecoder() override {
        g_decoder = nullptr;
        while (sources) {
            StbSource* s = sources;
            sources = s->next;
            delete s;
        }
    }

    Source* open(const char* name, int mixRate) override {
        if (g_nextPiece == INT_MAX) {
            setError(FSOUND_ERR_MEMORY);
            return nullptr;
        }
        StbSource* s = make<StbSource>();
        if (!s) return nullptr;
        s->decoder = this;
        s->mixRate = mixRate;
        s->piece = g_nextPiece++;
        snprintf(s->name, sizeof s->name, "%s", name);
        // Listed before the page is asked, which may deliver some bytes at once.
        s->next = sources;
        sources = s;
        // What has come already is looked at now, as a file on a disk would be; a piece whose
        // headers are still to come opens all the same and plays once they have.
        int failure = FSOUND_ERR_NONE;
        if (!nv_sound_web_fetch(name, s->piece) || (s->failed && s->size == 0))
            failure = FSOUND_ERR_FILE_NOTFOUND;
        else
            s->openDecoder(&failure);
        if (failure != FSOUND_ERR_NONE) {
            sources = s->next;
            delete s;
            setError(failure);
            return nullptr;
        }
        return s;
    }

    /* The open piece the page delivers under that number; null when there is none. */
    StbSource* piece(int number) {
        for (StbSource* s = sources; s; s = s->next)
            if (s->piece == number) return s;
        return nullptr;
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
    StbSource* s = g_decoder && n >= 0 ? g_decoder->piece(piece) : nullptr;
    if (!s || s->final()) return nullptr;
    unsigned char* at = s->room((size_t)n);
    if (!at) s->failed = true;
    return at;
}

/* The piece's last byte has come (whole non-zero), or its download failed. */
extern "C" void fsound_web_piece_end(int piece, int whole) {
    StbSource* s = g_decoder ? g_decoder->piece(piece) : nullptr;
    if (!s || s->final()) return;
    if (whole) s->whole = true;
    else s->failed = true;
}
