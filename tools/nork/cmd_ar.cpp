/*
 * nork ar: make, list and unpack NDAR archives. Making one is the library's
 * writer behind the tool's output; listing and extraction go through the
 * library's reader, so they see an archive just as the demo does.
 */
#include <errno.h>
#include <fcntl.h>
#include <inttypes.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "args.h"
#include "commands.h"
#include "files.h"
#include "norklib.h"

/* Each subcommand's usage; nork ar --help shows them all. */
static const char CREATE_USAGE[] =
    "usage: nork ar create ARCHIVE FILE...\n"
    "       nork ar create --force ARCHIVE FILE...\n"
    "         write ARCHIVE with one entry per FILE, in the order given, each named\n"
    "         exactly as written on the command line (run it where the names hold)\n"
    "         (at least one FILE, each name once); an existing ARCHIVE is replaced\n"
    "         only when it is an NDAR archive, any other file only with --force\n";
static const char LIST_USAGE[] =
    "usage: nork ar list ARCHIVE\n"
    "         one line per entry: name, entry offset, data size (tab-separated; in a\n"
    "         name, tab, line break, backslash and control bytes read \\t \\n \\\\ \\xNN)\n";
static const char EXTRACT_USAGE[] =
    "usage: nork ar extract ARCHIVE NAME [OUT]\n"
    "       nork ar extract --escaped ARCHIVE NAME [OUT]\n"
    "         the entry's bytes to OUT, or to standard output when OUT is \"-\" or left\n"
    "         out; with --escaped, NAME is read as ar list prints it (\\t \\n \\\\ \\xNN),\n"
    "         so a listed name can be pasted back as it stands\n";
static const char AR_STATUS[] =
    "\"--\" ends the options; nork ar SUBCOMMAND --help shows one subcommand's usage\n"
    "exit status: 0 success, 1 bad arguments, 2 unreadable or unwritable file,\n"
    "             3 malformed archive, 4 no such entry, 5 inputs too large for the format\n";

/* The usage of one subcommand, or of all when sub is null. */
static void arUsage(FILE* out, const char* sub) {
    const char* usages[] = {CREATE_USAGE, LIST_USAGE, EXTRACT_USAGE};
    const char* names[] = {"create", "list", "extract"};
    for (int i = 0; i < 3; i++) {
        if (sub && strcmp(sub, names[i]) != 0) continue;
        fputs(usages[i], out);
    }
    fputs(AR_STATUS, out);
}

/* Reads a whole archive file into memory. */
static bool readArchive(const char* path, std::vector<unsigned char>* bytes, int* status) {
    return tool_readInput("", path, NORK_DAR_MAX_SIZE, "malformed archive: larger than any archive can be", bytes,
                          status);
}

/* Whether an existing file may be replaced by an archive: it is one already
 * (its first bytes say "NDAR"), it is no regular file (the output says why it
 * cannot be written), or force is given. Says why not and sets the status. */
static bool mayReplace(const char* path, bool force, int* status) {
    struct stat st;
    if (force || stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return true;
    char magic[4] = {};
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ssize_t got = fd >= 0 ? read(fd, magic, sizeof magic) : -1;
    if (fd >= 0) close(fd);
    if (got == (ssize_t)sizeof magic && memcmp(magic, "NDAR", 4) == 0) return true;
    fprintf(stderr, "nork: %s: not replaced: %s (use --force to replace it)\n", path,
            got < 0 ? "cannot tell whether it is an NDAR archive" : "the file is not an NDAR archive");
    *status = NORK_EXIT_USAGE;
    return false;
}

/* Says why the writer refused or failed, and gives the exit code. */
static int createFailed(const char* archive, int32_t result, const nork_dar_report_t* report, int count,
                        char* const* files) {
    const char* file = report->input >= 0 && report->input < count ? files[report->input] : "";
    uint64_t nameArea = 0;
    switch (result) {
    case NORK_DAR_E_ENTRIES:
        fprintf(stderr, "nork: %s: %d files, but an archive holds at most %d entries\n", archive, count,
                NORK_DAR_MAX_ENTRIES);
        return NORK_EXIT_TOO_BIG;
    case NORK_DAR_E_NAMES:
        for (int i = 0; i < count; i++) nameArea += strlen(files[i]) + 1;
        fprintf(stderr, "nork: %s: the names take %" PRIu64 " bytes, but an archive holds at most %d\n", archive,
                nameArea, NORK_DAR_MAX_NAMES);
        return NORK_EXIT_TOO_BIG;
    case NORK_DAR_E_SIZE:
        fprintf(stderr, "nork: %s: too large for an archive (over %d bytes)%s%s\n", archive, NORK_DAR_MAX_SIZE,
                *file ? " at " : "", file);
        return NORK_EXIT_TOO_BIG;
    case NORK_DAR_E_NAME:
        if (!*file)
            fprintf(stderr, "nork: ar create: an empty file name (entry %d)\n", (int)report->input + 1);
        else
            fprintf(stderr, "nork: ar create: %s is given twice; only its first entry could be found\n", file);
        return NORK_EXIT_USAGE;
    case NORK_DAR_E_SELF:
        fprintf(stderr, "nork: %s: the archive would replace its own input %s\n", archive, file);
        return NORK_EXIT_USAGE;
    case NORK_DAR_E_READ:
        fprintf(stderr, "nork: %s: cannot read: %s\n", file, tool_inputRefusal(report->error));
        return NORK_EXIT_IO;
    case NORK_DAR_E_NOT_REGULAR:
        fprintf(stderr, "nork: %s: cannot read: not a regular file\n", file);
        return NORK_EXIT_IO;
    case NORK_DAR_E_CHANGED:
        fprintf(stderr, "nork: %s: cannot read: the file changed while it was packed\n", file);
        return NORK_EXIT_IO;
    default:
        fprintf(stderr, "nork: %s: cannot write: %s\n", archive,
                report->error ? strerror(report->error) : "write error");
        return NORK_EXIT_IO;
    }
}

static int arCreate(const char* archive, int count, char* const* files, bool force) {
    if (!*archive) {
        fputs("nork: ar create: an empty archive name\n", stderr);
        return NORK_EXIT_USAGE;
    }
    if (count == 0) {
        fprintf(stderr, "nork: ar create: no files to pack into %s (see nork ar create --help)\n", archive);
        return NORK_EXIT_USAGE;
    }
    int status = NORK_EXIT_OK;
    if (!mayReplace(archive, force, &status)) return status;

    std::vector<nork_dar_input_t> inputs;
    for (int i = 0; i < count; i++) inputs.push_back({files[i], files[i], nullptr, 0});
    nork_lib_t* lib = nork_new();
    tool_output_t out;
    if (!lib) {
        fputs("nork: ar create: out of memory\n", stderr);
        return NORK_EXIT_IO;
    }
    if (tool_outputOpen(&out, "", archive, &status)) {
        nork_dar_report_t report;
        int32_t result = nork_dar_write(lib, &out, inputs.data(), count, &report);
        if (result == NORK_DAR_OK) {
            status = tool_outputCommit(&out, "");
        } else {
            tool_outputAbandon(&out);
            status = createFailed(archive, result, &report, count, files);
        }
    }
    nork_delete(lib);
    return status;
}

/* Reads an archive and checks its header and directory. Returns the entry
 * count, or -1 after saying what is wrong. */
static int32_t loadArchive(const char* path, std::vector<unsigned char>* bytes, int* status) {
    if (!readArchive(path, bytes, status)) return -1;
    int32_t count = nork_dar_entry(bytes->data(), (int32_t)bytes->size(), -1, nullptr);
    if (count < 0) {
        fprintf(stderr, "nork: %s: malformed archive: no valid NDAR header and directory\n", path);
        *status = NORK_EXIT_MALFORMED;
    }
    return count;
}

/* A name as one unambiguous field of a tab-separated line: tab, line break,
 * backslash and the other control bytes are written as \t, \n, \\ and \xNN. */
static void printEscaped(FILE* out, const char* name) {
    for (const unsigned char* c = (const unsigned char*)name; *c; c++) {
        if (*c == '\t')
            fputs("\\t", out);
        else if (*c == '\n')
            fputs("\\n", out);
        else if (*c == '\\')
            fputs("\\\\", out);
        else if (*c < 0x20 || *c == 0x7f)
            fprintf(out, "\\x%02x", *c);
        else
            fputc(*c, out);
    }
}

static int arList(const char* path) {
    std::vector<unsigned char> bytes;
    int status = NORK_EXIT_OK;
    int32_t count = loadArchive(path, &bytes, &status);
    for (int32_t i = 0; i < count; i++) {
        nork_dar_entry_t entry;
        if (nork_dar_entry(bytes.data(), (int32_t)bytes.size(), i, &entry) < 0) {
            fprintf(stderr, "nork: %s: malformed archive: entry %" PRId32 " points outside the archive\n", path,
                    i);
            return NORK_EXIT_MALFORMED;
        }
        printEscaped(stdout, entry.name);
        printf("\t%" PRId32 "\t%" PRId32 "\n", entry.offset, entry.size);
    }
    return status;
}

static int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

/* A name as ar list prints it, back to its bytes: \t, \n, \\ and \xNN stand
 * for their bytes, every other byte for itself. A backslash before anything
 * else would leave the name in doubt, so it is refused. */
static bool unescape(const char* escaped, std::string* name) {
    name->clear();
    for (const char* c = escaped; *c; c++) {
        if (*c != '\\') {
            name->push_back(*c);
        } else if (c[1] == 't' || c[1] == 'n' || c[1] == '\\') {
            name->push_back(c[1] == 't' ? '\t' : c[1] == 'n' ? '\n' : '\\');
            c++;
        } else if (c[1] == 'x' && hexDigit(c[2]) >= 0 && hexDigit(c[3]) >= 0 &&
                   hexDigit(c[2]) * 16 + hexDigit(c[3]) != 0) {
            name->push_back((char)(hexDigit(c[2]) * 16 + hexDigit(c[3])));
            c += 3;
        } else {
            return false;
        }
    }
    return true;
}

static int arExtract(const char* path, const char* name, const char* outPath) {
    std::vector<unsigned char> bytes;
    int status = NORK_EXIT_OK;
    if (loadArchive(path, &bytes, &status) < 0) return status;

    /* The lookup is the library's own, with the image registered as a source. */
    nork_lib_t* lib = nork_new();
    nork_data_t* record = (nork_data_t*)malloc(sizeof *record);
    nork_memfile_t* memfile = nork_memfile_new(lib);
    if (!lib || !record || !memfile) {
        fprintf(stderr, "nork: %s: out of memory\n", path);
        free(record);
        nork_memfile_delete(&memfile);
        nork_delete(lib);
        return NORK_EXIT_IO;
    }
    record->data = bytes.data();
    record->size = (int32_t)bytes.size();
    _nork_dar_add(lib, record);

    if (nork_memfile_load(lib, memfile, name) != 0) {
        /* Was it absent, or did the lookup stop at a damaged entry? */
        status = NORK_EXIT_NOT_FOUND;
        int32_t count = nork_dar_entry(bytes.data(), (int32_t)bytes.size(), -1, nullptr);
        for (int32_t i = 0; i < count; i++)
            if (nork_dar_entry(bytes.data(), (int32_t)bytes.size(), i, nullptr) < 0) status = NORK_EXIT_MALFORMED;
        if (status == NORK_EXIT_MALFORMED) {
            fprintf(stderr, "nork: %s: malformed archive: an entry points outside the archive\n", path);
        } else {
            fprintf(stderr, "nork: %s: no entry named '", path);
            printEscaped(stderr, name);
            fputs("'\n", stderr);
        }
    } else if (!outPath || strcmp(outPath, "-") == 0) {
        if (!tool_writeStdout("", memfile->pData, (size_t)memfile->iSize)) status = NORK_EXIT_IO;
    } else {
        status = tool_writeFile("", outPath, memfile->pData, (size_t)memfile->iSize);
    }
    nork_memfile_delete(&memfile);
    nork_delete(lib); /* releases the record, not the bytes, which are ours */
    return status;
}

static const tool_option_t CREATE_OPTIONS[] = {{"--force", false}};
static const tool_option_t EXTRACT_OPTIONS[] = {{"--escaped", false}};

int cmd_ar(int argc, char** argv) {
    if (argc < 2) {
        fputs("nork: ar: missing subcommand (see nork ar --help)\n", stderr);
        return NORK_EXIT_USAGE;
    }
    if (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
        arUsage(stdout, nullptr);
        return NORK_EXIT_OK;
    }
    const char* sub = argv[1];
    bool create = strcmp(sub, "create") == 0, list = strcmp(sub, "list") == 0, extract = strcmp(sub, "extract") == 0;
    if (!create && !list && !extract) {
        fprintf(stderr, "nork: ar: unknown subcommand '%s' (see nork ar --help)\n", sub);
        return NORK_EXIT_USAGE;
    }
    std::string who = std::string("ar ") + sub;
    tool_args_t args;
    if (!tool_readArgs(argc, argv, 2, who.c_str(), create ? CREATE_OPTIONS : EXTRACT_OPTIONS, extract || create ? 1 : 0,
                       &args))
        return NORK_EXIT_USAGE;
    if (args.help) {
        arUsage(stdout, sub);
        return NORK_EXIT_OK;
    }
    std::vector<char*>& ops = args.operands;
    if (create && !ops.empty()) {
        bool force = false;
        tool_option(&args, "--force", &force);
        return arCreate(ops[0], (int)ops.size() - 1, ops.data() + 1, force);
    }
    if (list && ops.size() == 1) return arList(ops[0]);
    if (extract && (ops.size() == 2 || ops.size() == 3)) {
        bool escaped = false;
        tool_option(&args, "--escaped", &escaped);
        std::string name = ops[1];
        if (escaped && !unescape(ops[1], &name)) {
            fprintf(stderr, "nork: ar extract: '%s': a backslash that starts no escape (write one as \\\\)\n",
                    ops[1]);
            return NORK_EXIT_USAGE;
        }
        return arExtract(ops[0], name.c_str(), ops.size() == 3 ? ops[2] : nullptr);
    }
    fprintf(stderr, "nork: %s: wrong arguments (see nork %s --help)\n", who.c_str(), who.c_str());
    return NORK_EXIT_USAGE;
}
