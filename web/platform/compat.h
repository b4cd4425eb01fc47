/*
 * Included ahead of every source of the browser edition: what the C library of the
 * browser build lacks from glibc.
 */
#ifndef WEB_COMPAT_H
#define WEB_COMPAT_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif
/* Hands free pages back to the system (the browser's memory only grows: nothing to do). */
int malloc_trim(size_t pad);
#ifdef __cplusplus
}
#endif

#endif
