#include "system.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

static const char CONF_DIR_SUFFIX[] = "/.quarry";
static const char CONF_FILE_SUFFIX[] = "/config";

/*
 * The parent is the text before the last '/' (empty when there is none, or when
 * the only one leads an absolute path), found in a copy of at most 1023
 * characters. A longer path is cut in the copy, but what the copy yields is
 * still text before a '/' of the full path, an ancestor of it; and the full
 * path is what is then examined and made. A parent that is missing is made
 * first; one that cannot be examined for any other reason stops everything
 * before a directory is made.
 */
int system_makeDir(const char* path) {
    if (!path) {
        errno = EINVAL;
        return -1;
    }
    char parent[SYSTEM_PATH_MAX];
    size_t len = strnlen(path, sizeof parent - 1);
    memcpy(parent, path, len);
    parent[len] = '\0';
    char* slash = strrchr(parent, '/');
    if (slash && slash != parent) {
        *slash = '\0';
        struct stat st;
        if (stat(parent, &st) != 0 && (errno != ENOENT || system_makeDir(parent) != 0)) return -1;
    }

    struct stat st;
    if (stat(path, &st) == 0) return 0;
    return mkdir(path, 0700) == 0 ? 0 : -1;
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
