/*
 * A fixture for decoder tests: each test runs in a scratch folder of its own as
 * the working directory (the decoder writes DUMMY.RAW there) with a fresh
 * library context in `lib`.
 */
#ifndef TESTS_SCRATCH_LIB_H
#define TESTS_SCRATCH_LIB_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "norklib.h"
#include "scratch_dir.h"

class ScratchDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch.ok());
        scratch.enter();
        lib = nork_new();
        ASSERT_NE(lib, nullptr);
    }
    void TearDown() override {
        nork_delete(lib);
        lib = nullptr;
    }

    /* The library's trace window, one entry a line, oldest first. */
    std::vector<std::string> traceLines() {
        std::vector<std::string> lines;
        std::string t = nork_getTrace(lib);
        size_t start = 0, nl;
        while ((nl = t.find('\n', start)) != std::string::npos) {
            lines.push_back(t.substr(start, nl - start));
            start = nl + 1;
        }
        return lines;
    }

    nvt::ScratchDir scratch;
    nork_lib_t* lib = nullptr;
};

#endif
