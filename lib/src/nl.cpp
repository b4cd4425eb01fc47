/*
 * The library's system helpers: the trace (its message table and the recording
 * of one entry), the opening of input files, and outputs written whole.
 */
#include <errno.h>
#include <fcntl.h>
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "norklib_internal.h"

/* Indexed by trace code. Each format takes at most one conversion, fed by the
 * entry's value. Codes 9 and 11 share a text on purpose. */
const char* const nl_trace_msgs[NL_TR_COUNT] = {
    "",
    "png new: %08x",
    "png loadFromMem %d",
    "OUT OF MEMORY",
    "palette entries: %ld",
    "image %08x",
    "Size: %ld",
    "Dir offset: %ld",
    "Dir entries: %ld",
    "data offset: %ld",
    "name offset: %ld",
    "data offset: %ld",
    "searching %s",
    "couldn't find %s",
    "found @ %d",
    "somthing is wrong pos was %ld",
    "nork_png_new",
    "invalid png signature",
    "IDAT",
    "IHDR",
    "IEND",
    "PLTE",
    "",
};

/* The window's first text; lives in static storage and is never released. */
const char nl_trace_started[] = "Started";

/* Formats fmt with value into out (cap bytes, always terminated, cut if longer).
 * The value is a number or an address, so each conversion gets the type it
 * expects: "%ld" a long, "%d" an int, "%s" a string pointer, and "%08x" an
 * address in hex, widened so that no digit of a 64-bit address is lost. */
static void nl_format(char* out, size_t cap, const char* fmt, intptr_t value) {
    const char* pct = strchr(fmt, '%');
    if (!pct) {
        snprintf(out, cap, "%s", fmt);
        return;
    }

    /* Flags and width ("08"), an optional 'l', then the conversion letter. */
    const char* p = pct + 1;
    while (*p >= '0' && *p <= '9') p++;
    int widthLen = (int)(p - (pct + 1));
    bool isLong = (*p == 'l');
    if (isLong) p++;
    char conv = *p;
    if (conv != 'd' && conv != 's' && conv != 'x') {
        snprintf(out, cap, "%s", fmt);
        return;
    }
    const char* rest = p + 1;
    int prefixLen = (int)(pct - fmt);

    /* layout becomes "<prefix><conversion><rest>", the conversion rewritten for
     * the argument actually passed. */
    char layout[24];
    switch (conv) {
    case 'd':
        snprintf(layout, sizeof layout, "%%.*s%%%.*s%sd%%s", widthLen, pct + 1, isLong ? "l" : "");
        if (isLong)
            snprintf(out, cap, layout, prefixLen, fmt, (long)value, rest);
        else
            snprintf(out, cap, layout, prefixLen, fmt, (int)value, rest);
        break;
    case 's':
        snprintf(out, cap, "%.*s%s%s", prefixLen, fmt, value ? (const char*)value : "(null)", rest);
        break;
    case 'x':
        snprintf(layout, sizeof layout, "%%.*s%%%.*s" PRIxPTR "%%s", widthLen, pct + 1);
        snprintf(out, cap, layout, prefixLen, fmt, (uintptr_t)value, rest);
        break;
    }
}

int32_t nl_trace(nl_t* nl, int msg, intptr_t value) {
    /* A code outside the table has no text: nothing is recorded. */
    if (!nl || msg < 0 || msg >= NL_TR_COUNT) return 0;

    char* text = (char*)malloc(NL_TRACE_TEXT);
    if (!text) return 0; /* nowhere to put it; the window stays as it was */

    char* dropped = nl->traceFmt[0];
    if (dropped != nl_trace_started) free(dropped);
    memmove(&nl->traceFmt[0], &nl->traceFmt[1], (NL_TRACE_SLOTS - 1) * sizeof nl->traceFmt[0]);
    memmove(&nl->traceValue[0], &nl->traceValue[1], (NL_TRACE_SLOTS - 1) * sizeof nl->traceValue[0]);

    nl_format(text, NL_TRACE_TEXT, nl_trace_msgs[msg], value);
    nl->traceFmt[NL_TRACE_SLOTS - 1] = text;
    nl->traceValue[NL_TRACE_SLOTS - 1] = 0;
    return 0;
}

/* ------------------------------------------------------------------------ *
 * Input files.
 * ------------------------------------------------------------------------ */

FILE* nork_input_open(const char* path, uint64_t* size, int32_t* error) {
    /* Non-blocking, so that opening a FIFO with no writer returns at once. */
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return nullptr;
    }
    struct stat st;
    int32_t refusal = 0;
    if (fstat(fd, &st) != 0)
        refusal = errno;
    else if (S_ISDIR(st.st_mode))
        refusal = EISDIR;
    else if (!S_ISREG(st.st_mode))
        refusal = NORK_INPUT_E_NOT_REGULAR;
    FILE* f = refusal ? nullptr : fdopen(fd, "rb");
    if (!f) {
        *error = refusal ? refusal : errno;
        close(fd);
        return nullptr;
    }
    *size = (uint64_t)st.st_size;
    *error = 0;
    return f;
}

FILE* nl_openRegular(const char* path, int32_t* size) {
    uint64_t length = 0;
    int32_t error = 0;
    FILE* f = nork_input_open(path, &length, &error);
    if (f && length > INT32_MAX) {
        fclose(f);
        return nullptr;
    }
    if (f) *size = (int32_t)length;
    return f;
}

/* ------------------------------------------------------------------------ *
 * Outputs written whole: a fresh temporary file beside the target, renamed
 * over it only once its bytes are on disk.
 * ------------------------------------------------------------------------ */

int32_t nork_output_open(nork_output_t* out, const char* target) {
    memset(out, 0, sizeof *out);
    out->target = target;
    if (!target || !*target) {
        out->error = ENOENT;
        return NORK_OUTPUT_E_SYSTEM;
    }
    struct stat st;
    bool exists = stat(target, &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return NORK_OUTPUT_E_DIRECTORY;
    size_t length = strlen(target);
    if (target[length - 1] == '/') return NORK_OUTPUT_E_DIR_NAME;
    if (exists && !S_ISREG(st.st_mode)) return NORK_OUTPUT_E_NOT_REGULAR;
    if (exists) {
        out->bTargetExists = 1;
        out->targetDev = (uint64_t)st.st_dev;
        out->targetIno = (uint64_t)st.st_ino;
    }

    /* The temporary file lies in the target's directory, so that the rename
     * never crosses a file system. */
    const char* slash = strrchr(target, '/');
    const char* dir = slash ? target : "./";
    int dirLength = slash ? (int)(slash - target) + 1 : 2;
    char temp[NORK_OUTPUT_PATH];
    int n = snprintf(temp, sizeof temp, "%.*s.nork-XXXXXX", dirLength, dir);
    if (n < 0 || (size_t)n >= sizeof temp) {
        out->error = ENAMETOOLONG;
        return NORK_OUTPUT_E_SYSTEM;
    }
    int fd = mkstemp(temp);
    if (fd < 0) {
        out->error = errno;
        return NORK_OUTPUT_E_SYSTEM;
    }
    memcpy(out->temp, temp, sizeof temp);

    /* The new file gets the old one's permissions, or those of any new file. */
    mode_t mode;
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd, mode);
    out->file = fdopen(fd, "wb");
    if (!out->file) {
        out->error = errno;
        close(fd);
        nork_output_abandon(out);
        return NORK_OUTPUT_E_SYSTEM;
    }
    return NORK_OUTPUT_OK;
}

int32_t nork_output_commit(nork_output_t* out) {
    if (!out->file) return NORK_OUTPUT_E_SYSTEM;
    errno = 0;
    bool ok = fflush(out->file) == 0 && !ferror(out->file) && fsync(fileno(out->file)) == 0;
    int32_t err = errno;
    if (fclose(out->file) != 0 && ok) {
        ok = false;
        err = errno;
    }
    out->file = nullptr;
    if (ok && rename(out->temp, out->target) != 0) {
        ok = false;
        err = errno;
    }
    if (ok) {
        out->temp[0] = '\0';
        return NORK_OUTPUT_OK;
    }
    out->error = err;
    nork_output_abandon(out);
    return NORK_OUTPUT_E_SYSTEM;
}

void nork_output_abandon(nork_output_t* out) {
    if (out->file) fclose(out->file);
    out->file = nullptr;
    if (out->temp[0]) unlink(out->temp);
    out->temp[0] = '\0';
}
