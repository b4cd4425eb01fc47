/*
 * A fixture for decoder tests: each test runs in a scratch directory of its own
 * (the decoder writes DUMMY.RAW into the working directory) with a fresh library
 * context in `lib`.
 */
#ifndef TESTS_SCRATCH_DIR_H
#define TESTS_SCRATCH_DIR_H

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "norklib.h"

class ScratchDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/nv_scratch_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        ASSERT_NE(getcwd(oldCwd, sizeof oldCwd), nullptr);
        ASSERT_EQ(chdir(dir.c_str()), 0);
        lib = nork_new();
        ASSERT_NE(lib, nullptr);
    }
    void TearDown() override {
        unlink("DUMMY.RAW");
        EXPECT_EQ(chdir(oldCwd), 0);
        rmdir(dir.c_str());
        nork_delete(lib);
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

    std::string dir;
    char oldCwd[4096];
    nork_lib_t* lib = nullptr;
};

#endif
