#include "files.h"

#include <errno.h>
#include <fcntl.h>
#include <inttypes.h>
#include <libgen.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "commands.h"

/* The temporary file of the output being written, for the interrupt handler:
 * a fixed buffer, since the handler may only call what is async-signal-safe. */
static char g_pendingTemp[PATH_MAX];

static void removePendingAndDie(int sig) {
    if (g_pendingTemp[0]) unlink(g_pendingTemp);
    signal(sig, SIG_DFL);
    raise(sig);
}

void tool_initSignals(void) {
    signal(SIGXFSZ, SIG_IGN);
    const int fatal[] = {SIGINT, SIGTERM, SIGHUP};
    for (int sig : fatal) {
        struct sigaction sa = {};
        sa.sa_handler = removePendingAndDie;
        sigemptyset(&sa.sa_mask);
        /* Leave a signal the caller ignores ignored (nohup, background jobs). */
        struct sigaction old;
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(sig, &sa, nullptr);
    }
}

static void setPending(const std::string& temp) {
    if (temp.size() < sizeof g_pendingTemp)
        memcpy(g_pendingTemp, temp.c_str(), temp.size() + 1);
    else
        g_pendingTemp[0] = '\0';
}

FILE* tool_openInput(const char* who, const char* path, uint64_t limit, const char* tooBig, uint64_t* size,
                     int* status) {
    if (!*path) {
        fprintf(stderr, "nork: %san empty file name\n", who);
        *status = NORK_EXIT_USAGE;
        return nullptr;
    }
    /* Non-blocking, so that opening a FIFO with no writer returns at once. */
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        fprintf(stderr, "nork: %s%s: cannot read: %s\n", who, path, strerror(errno));
        *status = NORK_EXIT_IO;
        return nullptr;
    }
    struct stat st;
    const char* refusal = nullptr;
    if (fstat(fd, &st) != 0)
        refusal = strerror(errno);
    else if (S_ISDIR(st.st_mode))
        refusal = "is a directory";
    else if (!S_ISREG(st.st_mode))
        refusal = "not a regular file";
    if (refusal) {
        fprintf(stderr, "nork: %s%s: cannot read: %s\n", who, path, refusal);
        close(fd);
        *status = NORK_EXIT_IO;
        return nullptr;
    }
    if ((uint64_t)st.st_size > limit) {
        fprintf(stderr, "nork: %s%s: %" PRIu64 " bytes, %s (%" PRIu64 " bytes)\n", who, path, (uint64_t)st.st_size,
                tooBig, limit);
        close(fd);
        *status = NORK_EXIT_MALFORMED;
        return nullptr;
    }
    FILE* f = fdopen(fd, "rb");
    if (!f) {
        fprintf(stderr, "nork: %s%s: cannot read: %s\n", who, path, strerror(errno));
        close(fd);
        *status = NORK_EXIT_IO;
        return nullptr;
    }
    *size = (uint64_t)st.st_size;
    return f;
}

bool tool_readInput(const char* who, const char* path, uint64_t limit, const char* tooBig,
                    std::vector<unsigned char>* bytes, int* status) {
    uint64_t size = 0;
    FILE* f = tool_openInput(who, path, limit, tooBig, &size, status);
    if (!f) return false;
    bytes->resize((size_t)size);
    size_t got = fread(bytes->data(), 1, bytes->size(), f);
    /* A file that grew or shrank since it was measured is not read half. */
    bool failed = ferror(f) != 0 || got != bytes->size() || fgetc(f) != EOF;
    fclose(f);
    if (failed) {
        fprintf(stderr, "nork: %s%s: cannot read: the file changed while it was read\n", who, path);
        *status = NORK_EXIT_IO;
    }
    return !failed;
}

bool tool_outputOpen(tool_output_t* out, const char* who, const char* target, int* status) {
    out->target = target;
    out->temp.clear();
    out->file = nullptr;
    if (!*target) {
        fprintf(stderr, "nork: %san empty file name\n", who);
        *status = NORK_EXIT_USAGE;
        return false;
    }
    struct stat st;
    bool exists = stat(target, &st) == 0;
    size_t length = strlen(target);
    if ((exists && S_ISDIR(st.st_mode)) || target[length - 1] == '/') {
        fprintf(stderr, "nork: %s%s: cannot write: %s\n", who, target,
                exists && S_ISDIR(st.st_mode) ? "is a directory" : "names a directory (ends in '/')");
        *status = NORK_EXIT_IO;
        return false;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        fprintf(stderr, "nork: %s%s: cannot write: not a regular file\n", who, target);
        *status = NORK_EXIT_IO;
        return false;
    }

    std::string copy = target;
    std::string temp = std::string(dirname(&copy[0])) + "/.nork-XXXXXX";
    int fd = mkstemp(&temp[0]);
    if (fd < 0) {
        fprintf(stderr, "nork: %s%s: cannot write: %s\n", who, target, strerror(errno));
        *status = NORK_EXIT_IO;
        return false;
    }
    setPending(temp);
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
        int err = errno;
        close(fd);
        unlink(temp.c_str());
        g_pendingTemp[0] = '\0';
        fprintf(stderr, "nork: %s%s: cannot write: %s\n", who, target, strerror(err));
        *status = NORK_EXIT_IO;
        return false;
    }
    out->temp = temp;
    return true;
}

int tool_outputCommit(tool_output_t* out, const char* who) {
    errno = 0;
    bool ok = fflush(out->file) == 0 && !ferror(out->file) && fsync(fileno(out->file)) == 0;
    int err = errno;
    if (fclose(out->file) != 0 && ok) {
        ok = false;
        err = errno;
    }
    out->file = nullptr;
    if (ok && rename(out->temp.c_str(), out->target.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        unlink(out->temp.c_str());
        fprintf(stderr, "nork: %s%s: cannot write: %s\n", who, out->target.c_str(),
                err ? strerror(err) : "write error");
    }
    g_pendingTemp[0] = '\0';
    out->temp.clear();
    return ok ? NORK_EXIT_OK : NORK_EXIT_IO;
}

void tool_outputAbandon(tool_output_t* out) {
    if (out->file) fclose(out->file);
    out->file = nullptr;
    if (!out->temp.empty()) unlink(out->temp.c_str());
    g_pendingTemp[0] = '\0';
    out->temp.clear();
}

int tool_outputFail(tool_output_t* out, const char* who) {
    int err = errno;
    fprintf(stderr, "nork: %s%s: cannot write: %s\n", who, out->target.c_str(), err ? strerror(err) : "write error");
    tool_outputAbandon(out);
    return NORK_EXIT_IO;
}

bool tool_writeStdout(const char* who, const void* data, size_t size) {
    errno = 0;
    bool ok = fwrite(data, 1, size, stdout) == size && fflush(stdout) == 0;
    if (!ok) fprintf(stderr, "nork: %sstandard output: cannot write: %s\n", who, errno ? strerror(errno) : "write error");
    return ok;
}
