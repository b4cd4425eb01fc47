/*
 * Per-user configuration paths: the home directory, the configuration directory
 * inside it (made on request) and the configuration file's name. Every string
 * returned is a new heap block that the caller releases with free().
 */
#ifndef PLATFORM_SYSTEM_H
#define PLATFORM_SYSTEM_H

/* The buffer in which system_makeDir finds a path's parent, terminator included. */
enum { SYSTEM_PATH_MAX = 1024 };

/* Makes sure path exists, making missing parent directories first (mode 0700
 * before the umask). 0 when it exists (as any kind of file) or was made, -1 on
 * failure with errno as the failing call left it. */
int system_makeDir(const char* path);

/* A copy of HOME, or null when it is not set. */
char* system_getHomeDir(void);

/* HOME followed by "/.quarry", made if missing; null when HOME is not set or
 * the directory cannot be made. */
char* system_getConfDirname(void);

/* The configuration directory followed by "/config"; only the directory is
 * made, never the file. Null whenever system_getConfDirname is. */
char* system_getConfFilename(void);

#endif
