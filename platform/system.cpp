#include "system.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

static const char CONF_DIR_SUFFIX[] = "/.quarry";
static const char CONF_FILE_SUFFIX[] = "/config";

/*
 * Works on the caller's copy in place: the parent is the text before the last
 * '/' (empty when there is none, or when the only one leads an absolute path).
 * A parent that is missing is made first; one that cannot be examined for any
 * other reason stops everything before a directory is made. The '/' is put
 * back before the path itself is looked at, so a trailing '/' stays part of it.
 */
static int makeDirIn(char* path) {
    char* slash = strrchr(path, '/');
    if (slash && slash != path) {
        *slash = '\0';
        struct stat st;
        int failed = 0;
        if (stat(path, &st) != 0) failed = (errno != ENOENT) || makeDirIn(path) != 0;
        *slash = '/';
        if (failed) return -1;
    }

    struct stat st;
    if (stat(path, &st) == 0) return 0;
    return mkdir(path, 0700) == 0 ? 0 : -1;
}

int system_makeDir(const char* path) {
    if (!path) {
        errno = EINVAL;
        return -1;
    }
    // A path that does not fit whole is refused: cutting it would make some
    // other directory and report success for this one.
    size_t len = strlen(path);
    if (len >= SYSTEM_PATH_MAX) {
        errno = ENAMETOOLONG;
        return -1;
    }
    char copy[SYSTEM_PATH_MAX];
    memcpy(copy, path, len + 1);
    return makeDirIn(copy);
}

char* system_getHomeDir(void) {
    const char* home = getenv("HOME");
    return home ? strdup(home) : nullptr;
}

/* Grows the heap string s to hold suffix as well and appends it; on failure s is released. */
static char* appendOwned(char* s, const char* suffix) {
    size_t len = strlen(s);
    char* grown = (char*)realloc(s, len + strlen(suffix) + 1);
    if (!grown) {
        free(s);
        return nullptr;
    }
    strcpy(grown + len, suffix);
    return grown;
}

char* system_getConfDirname(void) {
    char* home = system_getHomeDir();
    if (!home) return nullptr;
    char* dir = appendOwned(home, CONF_DIR_SUFFIX);
    if (!dir) return nullptr;
    if (system_makeDir(dir) < 0) {
        free(dir);
        return nullptr;
    }
    return dir;
}

char* system_getConfFilename(void) {
    char* dir = system_getConfDirname();
    if (!dir) return nullptr;
    return appendOwned(dir, CONF_FILE_SUFFIX);
}
