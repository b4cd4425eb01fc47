// Per-user configuration paths: directory making and the HOME-based names.
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "scratch_dir.h"
#include "system.h"

namespace fs = std::filesystem;

namespace {

struct Freed {
    char* p;
    explicit Freed(char* p_) : p(p_) {}
    ~Freed() { free(p); }
};

// Every case runs in a fresh temporary directory that is also the working
// directory, with umask 0 so that modes read back as mkdir was asked for them.
// HOME, the umask and the working directory are put back afterwards.
class SystemPaths : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch.ok());
        dir = scratch.str();
        scratch.enter();
        oldUmask = umask(0);
        const char* home = getenv("HOME");
        hadHome = home != nullptr;
        if (home) oldHome = home;
    }

    void TearDown() override {
        umask(oldUmask);
        if (hadHome)
            setenv("HOME", oldHome.c_str(), 1);
        else
            unsetenv("HOME");
    }

    static mode_t modeOf(const std::string& p) {
        struct stat st;
        if (stat(p.c_str(), &st) != 0) return 0;
        return st.st_mode;
    }

    static bool isDirWithMode0700(const std::string& p) {
        mode_t m = modeOf(p);
        return S_ISDIR(m) && (m & 07777) == 0700;
    }

    size_t entriesIn(const std::string& p) const {
        size_t n = 0;
        for (auto& e : fs::directory_iterator(p)) {
            (void)e;
            ++n;
        }
        return n;
    }

    nvt::ScratchDir scratch{"nv_system"};
    std::string dir;
    mode_t oldUmask = 022;
    bool hadHome = false;
    std::string oldHome;
};

TEST_F(SystemPaths, MakeDirCreatesEveryMissingLevelOfARelativePath) {
    EXPECT_EQ(system_makeDir("a/b/c"), 0);
    EXPECT_TRUE(isDirWithMode0700("a"));
    EXPECT_TRUE(isDirWithMode0700("a/b"));
    EXPECT_TRUE(isDirWithMode0700("a/b/c"));
    EXPECT_EQ(entriesIn("."), 1u);
    EXPECT_EQ(entriesIn("a/b/c"), 0u);
}

TEST_F(SystemPaths, MakeDirModeIsFilteredByTheUmask) {
    umask(077);
    EXPECT_EQ(system_makeDir("m"), 0);
    EXPECT_EQ(modeOf("m") & 07777, 0700u);
    umask(0277);
    EXPECT_EQ(system_makeDir("n"), 0);
    EXPECT_EQ(modeOf("n") & 07777, 0500u);
}

TEST_F(SystemPaths, MakeDirOnAnExistingPathSucceedsWithoutChangingIt) {
    ASSERT_EQ(mkdir("d", 0755), 0);
    EXPECT_EQ(system_makeDir("d"), 0);
    EXPECT_EQ(modeOf("d") & 07777, 0755u);

    int fd = open("plain", O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_EQ(system_makeDir("plain"), 0);
    EXPECT_TRUE(S_ISREG(modeOf("plain")));
}

TEST_F(SystemPaths, MakeDirOnSingleComponentPathsHasNoParentToMake) {
    // "/" and "/tmp" have an empty parent: only the path itself is looked at.
    EXPECT_EQ(system_makeDir("/"), 0);
    EXPECT_EQ(system_makeDir("/tmp"), 0);
    // A plain name has an empty parent too and is made in the working directory.
    EXPECT_EQ(system_makeDir("single"), 0);
    EXPECT_TRUE(isDirWithMode0700("single"));
    EXPECT_EQ(entriesIn("."), 1u);
}

TEST_F(SystemPaths, MakeDirWithAbsolutePathMakesTheMissingLevels) {
    std::string p = dir + "/x/y";
    EXPECT_EQ(system_makeDir(p.c_str()), 0);
    EXPECT_TRUE(isDirWithMode0700(dir + "/x"));
    EXPECT_TRUE(isDirWithMode0700(p));
}

TEST_F(SystemPaths, MakeDirWithTrailingSlashMakesTheParentsAndSucceeds) {
    EXPECT_EQ(system_makeDir("a/b/"), 0);
    EXPECT_TRUE(isDirWithMode0700("a"));
    EXPECT_TRUE(isDirWithMode0700("a/b"));
    EXPECT_EQ(entriesIn("a/b"), 0u);
}

TEST_F(SystemPaths, MakeDirFailsWhenAParentIsARegularFile) {
    int fd = open("file", O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    close(fd);
    // The parent "file/sub" cannot be examined (ENOTDIR, not absence).
    errno = 0;
    EXPECT_EQ(system_makeDir("file/sub/x"), -1);
    EXPECT_EQ(errno, ENOTDIR);
    // The path itself under a file: its parent exists, mkdir fails.
    EXPECT_EQ(system_makeDir("file/x"), -1);
    EXPECT_TRUE(S_ISREG(modeOf("file")));
    EXPECT_EQ(entriesIn("."), 1u);
}

TEST_F(SystemPaths, MakeDirFailsWhenAParentCannotBeSearched) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    ASSERT_EQ(mkdir("locked", 0700), 0);
    ASSERT_EQ(chmod("locked", 0600), 0);
    errno = 0;
    EXPECT_EQ(system_makeDir("locked/a/b"), -1);
    EXPECT_EQ(errno, EACCES);
    chmod("locked", 0700);
    EXPECT_EQ(entriesIn("locked"), 0u);
}

TEST_F(SystemPaths, MakeDirTakesPathsLongerThanItsParentBuffer) {
    // Components of 98 characters and a '/': 1100 characters, past the
    // 1023 in which the parent is looked for.
    std::string path;
    while (path.size() < 1100) path += std::string(98, 'p') + "/";
    path.resize(1100);
    ASSERT_NE(path.back(), '/');
    std::string parent = path.substr(0, path.rfind('/'));
    ASSERT_GT(parent.size(), (size_t)SYSTEM_PATH_MAX);

    // Parent present: the full path is made.
    fs::create_directories(parent);
    EXPECT_EQ(system_makeDir(path.c_str()), 0);
    EXPECT_TRUE(isDirWithMode0700(path));

    // Parents missing beyond the cut: the ancestors inside it are made, the
    // path itself cannot be, and nothing else is claimed.
    std::string other = "q" + path.substr(1);
    errno = 0;
    EXPECT_EQ(system_makeDir(other.c_str()), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(fs::exists(other));
    std::string insideCut = other.substr(0, other.rfind('/', SYSTEM_PATH_MAX - 2));
    EXPECT_TRUE(isDirWithMode0700(insideCut));
}

TEST_F(SystemPaths, MakeDirRejectsNull) {
    EXPECT_EQ(system_makeDir(nullptr), -1);
}

TEST_F(SystemPaths, HomeDirIsACopyOfHome) {
    setenv("HOME", "/home/u", 1);
    Freed home(system_getHomeDir());
    ASSERT_NE(home.p, nullptr);
    EXPECT_STREQ(home.p, "/home/u");
    EXPECT_NE(home.p, getenv("HOME"));
}

TEST_F(SystemPaths, ConfDirnameMakesTheDirectoryOnceAndAnswersTheSame) {
    std::string home = dir + "/home";
    ASSERT_EQ(mkdir(home.c_str(), 0755), 0);
    setenv("HOME", home.c_str(), 1);

    Freed first(system_getConfDirname());
    ASSERT_NE(first.p, nullptr);
    EXPECT_EQ(std::string(first.p), home + "/.quarry");
    EXPECT_TRUE(isDirWithMode0700(home + "/.quarry"));
    struct stat before;
    ASSERT_EQ(stat(first.p, &before), 0);

    Freed second(system_getConfDirname());
    ASSERT_NE(second.p, nullptr);
    EXPECT_STREQ(second.p, first.p);
    EXPECT_NE(second.p, first.p);
    struct stat after;
    ASSERT_EQ(stat(second.p, &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(entriesIn(home), 1u);
    EXPECT_EQ(entriesIn(home + "/.quarry"), 0u);
}

TEST_F(SystemPaths, ConfFilenameNamesTheFileButMakesOnlyTheDirectory) {
    std::string home = dir + "/home";
    ASSERT_EQ(mkdir(home.c_str(), 0755), 0);
    setenv("HOME", home.c_str(), 1);

    Freed name(system_getConfFilename());
    ASSERT_NE(name.p, nullptr);
    EXPECT_EQ(std::string(name.p), home + "/.quarry/config");
    EXPECT_TRUE(isDirWithMode0700(home + "/.quarry"));
    EXPECT_EQ(access(name.p, F_OK), -1);
    EXPECT_EQ(entriesIn(home + "/.quarry"), 0u);
}

TEST_F(SystemPaths, ConfDirnameMakesAMissingHomeToo) {
    std::string home = dir + "/not/yet";
    setenv("HOME", home.c_str(), 1);
    Freed conf(system_getConfDirname());
    ASSERT_NE(conf.p, nullptr);
    EXPECT_TRUE(isDirWithMode0700(home + "/.quarry"));
}

TEST_F(SystemPaths, NamesAreNullWithoutHome) {
    unsetenv("HOME");
    EXPECT_EQ(system_getHomeDir(), nullptr);
    EXPECT_EQ(system_getConfDirname(), nullptr);
    EXPECT_EQ(system_getConfFilename(), nullptr);
    EXPECT_EQ(entriesIn("."), 0u);
}

TEST_F(SystemPaths, NamesAreNullWhenTheDirectoryCannotBeMade) {
    // HOME names a regular file, so nothing can be made beneath it.
    int fd = open("homefile", O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    close(fd);
    std::string home = dir + "/homefile";
    setenv("HOME", home.c_str(), 1);
    EXPECT_EQ(system_getConfDirname(), nullptr);
    EXPECT_EQ(system_getConfFilename(), nullptr);
    EXPECT_EQ(entriesIn("."), 1u);
}

} // namespace
