/*
 * Scratch folders for tests: a fresh folder under /tmp that goes away with
 * everything in it, and a change of working directory for one scope. Code that
 * writes into the working directory (the PNG decoder's DUMMY.RAW, the capture
 * output, the configuration paths) is run inside one, never in the build tree.
 */
#ifndef TESTS_SCRATCH_DIR_H
#define TESTS_SCRATCH_DIR_H

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>

namespace nvt {

/* Makes `to` the working directory until the end of the scope. */
class Chdir {
public:
    explicit Chdir(const std::filesystem::path& to) : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(to);
    }
    ~Chdir() {
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
        EXPECT_FALSE(ec) << "could not go back to " << previous_ << ": " << ec.message();
    }
    Chdir(const Chdir&) = delete;
    Chdir& operator=(const Chdir&) = delete;

private:
    std::filesystem::path previous_;
};

/* A fresh folder /tmp/PREFIX_XXXXXX, removed with all it holds when the object
 * goes. Folders a test made unreadable or unsearchable are opened up first, so
 * nothing is left behind. enter() makes it the working directory until then. */
class ScratchDir {
public:
    explicit ScratchDir(const char* prefix = "nv_scratch") {
        std::string pattern = std::string("/tmp/") + prefix + "_XXXXXX";
        if (mkdtemp(pattern.data()))
            path = pattern;
        else
            ADD_FAILURE() << "no scratch folder " << pattern;
    }
    ~ScratchDir() {
        inside_.reset();
        if (path.empty()) return;
        std::error_code ec;
        chmod(path.c_str(), 0700);
        for (auto it = std::filesystem::recursive_directory_iterator(path, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            if (it->is_directory(ec)) chmod(it->path().c_str(), 0700);
        std::filesystem::remove_all(path, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    bool ok() const { return !path.empty(); }
    std::string str() const { return path.string(); }
    void enter() { inside_.emplace(path); }

    std::filesystem::path path; /* empty when the folder could not be made */

private:
    std::optional<Chdir> inside_;
};

}  // namespace nvt

#endif
