#include "files.h"

#include <errno.h>
#include <inttypes.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "commands.h"

/* The output being written, null while there is none: the interrupt handler
 * removes its temporary file, whose name the output keeps in a fixed buffer
 * (the handler may only call what is async-signal-safe). */
static const nork_output_t* volatile g_pending;

static void removePendingAndDie(int sig) {
    const nork_output_t* out = g_pending;
    if (out && out->temp[0]) unlink(out->temp);
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

FILE* tool_openInput(const char* who, const char* path, uint64_t limit, const char* tooBig, uint64_t* size,
                     int* status) {
    if (!*path) {
        fprintf(stderr, "nork: %san empty file name\n", who);
        *status = NORK_EXIT_USAGE;
        return nullptr;
    }
    int32_t error = 0;
    FILE* f = nork_input_open(path, size, &error);
    if (!f) {
        fprintf(stderr, "nork: %s%s: cannot read: %s\n", who, path, tool_inputRefusal(error));
        *status = NORK_EXIT_IO;
        return nullptr;
    }
    if (*size > limit) {
        fprintf(stderr, "nork: %s%s: %" PRIu64 " bytes, %s (%" PRIu64 " bytes)\n", who, path, *size, tooBig, limit);
        fclose(f);
        *status = NORK_EXIT_MALFORMED;
        return nullptr;
    }
    return f;
}

const char* tool_inputRefusal(int32_t error) {
    if (error == EISDIR) return "is a directory";
    if (error == NORK_INPUT_E_NOT_REGULAR) return "not a regular file";
    return strerror(error);
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
    if (!*target) {
        fprintf(stderr, "nork: %san empty file name\n", who);
        *status = NORK_EXIT_USAGE;
        return false;
    }
    int32_t result = nork_output_open(out, target);
    if (result == NORK_OUTPUT_OK) {
        g_pending = out;
        return true;
    }
    const char* reason = result == NORK_OUTPUT_E_DIRECTORY     ? "is a directory"
                         : result == NORK_OUTPUT_E_DIR_NAME    ? "names a directory (ends in '/')"
                         : result == NORK_OUTPUT_E_NOT_REGULAR ? "not a regular file"
                                                               : strerror(out->error);
    fprintf(stderr, "nork: %s%s: cannot write: %s\n", who, target, reason);
    *status = NORK_EXIT_IO;
    return false;
}

int tool_outputCommit(tool_output_t* out, const char* who) {
    int32_t result = nork_output_commit(out);
    g_pending = nullptr;
    if (result == NORK_OUTPUT_OK) return NORK_EXIT_OK;
    fprintf(stderr, "nork: %s%s: cannot write: %s\n", who, out->target,
            out->error ? strerror(out->error) : "write error");
    return NORK_EXIT_IO;
}

void tool_outputAbandon(tool_output_t* out) {
    nork_output_abandon(out);
    g_pending = nullptr;
}

int tool_outputFail(tool_output_t* out, const char* who) {
    int error = errno;
    fprintf(stderr, "nork: %s%s: cannot write: %s\n", who, out->target, error ? strerror(error) : "write error");
    tool_outputAbandon(out);
    return NORK_EXIT_IO;
}

int tool_writeFile(const char* who, const char* path, const void* data, size_t size) {
    tool_output_t out;
    int status = NORK_EXIT_OK;
    if (!tool_outputOpen(&out, who, path, &status)) return status;
    errno = 0;
    if (fwrite(data, 1, size, out.file) != size) return tool_outputFail(&out, who);
    return tool_outputCommit(&out, who);
}

bool tool_writeStdout(const char* who, const void* data, size_t size) {
    errno = 0;
    bool ok = fwrite(data, 1, size, stdout) == size && fflush(stdout) == 0;
    if (!ok) fprintf(stderr, "nork: %sstandard output: cannot write: %s\n", who, errno ? strerror(errno) : "write error");
    return ok;
}
