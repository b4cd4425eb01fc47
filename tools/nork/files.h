/*
 * The nork tool's files. Inputs are read only when they are regular files of
 * a size their format allows: a FIFO, a device or a directory is refused at
 * once, before anything blocks or fills memory. Outputs are written to a fresh
 * temporary file beside the target and renamed over it only once they are
 * complete, so a failure (a full disk, a file size limit, Ctrl+C) leaves an
 * existing file untouched and nothing behind. The tool never removes or
 * truncates a file it did not create.
 *
 * Every function here says what went wrong on standard error, as
 * "nork: WHO NAME: reason", and gives the exit code to return. WHO is the
 * command's prefix ("" or "png: ").
 */
#ifndef NORK_TOOL_FILES_H
#define NORK_TOOL_FILES_H

#include <stdint.h>
#include <stdio.h>

#include <vector>

#include "norklib.h"

/* Opens a regular file for reading. A file larger than limit bytes is refused
 * as malformed, with tooBig saying why ("larger than any PNG the library
 * reads"). Returns null after the message, with *status set. */
FILE* tool_openInput(const char* who, const char* path, uint64_t limit, const char* tooBig, uint64_t* size,
                     int* status);

/* Why nork_input_open refused a file, in the words of the messages. */
const char* tool_inputRefusal(int32_t error);

/* Reads a whole regular file of at most limit bytes; false after the message. */
bool tool_readInput(const char* who, const char* path, uint64_t limit, const char* tooBig,
                    std::vector<unsigned char>* bytes, int* status);

/* An output on its way to its target: the library's output written whole. */
typedef nork_output_t tool_output_t;

/* Creates the temporary file for target in target's directory. */
bool tool_outputOpen(tool_output_t* out, const char* who, const char* target, int* status);
/* Flushes the file to disk and renames it over the target; on any failure the
 * temporary file is removed and the target left as it was. Returns the status. */
int tool_outputCommit(tool_output_t* out, const char* who);
/* Gives the output up: the temporary file goes, the target stays as it was. */
void tool_outputAbandon(tool_output_t* out);
/* A write to the output failed: says why (from errno), gives the output up and
 * returns the status. */
int tool_outputFail(tool_output_t* out, const char* who);

/* Writes size bytes to path as one output written whole; returns the status. */
int tool_writeFile(const char* who, const char* path, const void* data, size_t size);

/* Writes to standard output and flushes it; false after the message. */
bool tool_writeStdout(const char* who, const void* data, size_t size);

/* Ignores SIGXFSZ, so that a write past the file size limit fails with an
 * error instead of killing the tool, and removes a temporary output when
 * the tool is interrupted. Called once at start. */
void tool_initSignals(void);

#endif
