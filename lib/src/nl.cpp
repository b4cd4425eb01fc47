/* The trace: the message table and the recording of one entry. */
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

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
