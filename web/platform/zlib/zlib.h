/*
 * The one zlib call the support library makes (uncompress), for the browser build, where
 * zlib itself is not at hand: inflate.cpp answers it with stb_image's inflater.
 */
#ifndef WEB_ZLIB_H
#define WEB_ZLIB_H

typedef unsigned char Bytef;
typedef unsigned long uLong;
typedef unsigned long uLongf;

enum { Z_OK = 0, Z_MEM_ERROR = -4, Z_BUF_ERROR = -5, Z_DATA_ERROR = -3 };

#ifdef __cplusplus
extern "C" {
#endif
/* As zlib's: inflates the zlib stream at source into dest, at most *destLen bytes, and sets
 * *destLen to the bytes made. Z_OK; Z_BUF_ERROR when dest is too small; Z_DATA_ERROR for a
 * damaged stream, a wrong Adler-32 check or bytes after the stream. */
int uncompress(Bytef* dest, uLongf* destLen, const Bytef* source, uLong sourceLen);
#ifdef __cplusplus
}
#endif

#endif
