#include "zlib.h"

#include <limits.h>
#include <string.h>

#include <stb_image.h>

/* Adler-32 of the inflated bytes, as the stream's last four bytes carry it (big-endian). */
static unsigned long adler32(const Bytef* data, unsigned long size) {
    const unsigned long kBase = 65521;
    unsigned long a = 1, b = 0;
    for (unsigned long i = 0; i < size; i++) {
        a = (a + data[i]) % kBase;
        b = (b + a) % kBase;
    }
    return (b << 16) | a;
}

int uncompress(Bytef* dest, uLongf* destLen, const Bytef* source, uLong sourceLen) {
    if (sourceLen < 6 || sourceLen > INT_MAX || *destLen > INT_MAX) return Z_DATA_ERROR;
    int made = stbi_zlib_decode_buffer((char*)dest, (int)*destLen, (const char*)source, (int)sourceLen);
    if (made < 0) {
        const char* reason = stbi_failure_reason();
        return reason && strcmp(reason, "output buffer limit") == 0 ? Z_BUF_ERROR : Z_DATA_ERROR;
    }
    // The inflater checks neither the stream's checksum nor where the stream ends: the
    // stream must end the input with the checksum of what it made.
    const Bytef* tail = source + sourceLen - 4;
    unsigned long stored = ((unsigned long)tail[0] << 24) | ((unsigned long)tail[1] << 16) |
                           ((unsigned long)tail[2] << 8) | tail[3];
    if (stored != adler32(dest, (unsigned long)made)) return Z_DATA_ERROR;
    *destLen = (uLongf)made;
    return Z_OK;
}
