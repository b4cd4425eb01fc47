// In-memory files: the load through archive and directory sources in order,
// what the record owns, and reads.
#include "dar_helpers.h"

using namespace dar;

namespace {

// A working directory "work" inside a temporary directory, so that "." and
// ".." are both ours, and the demo's archive registered before them.
class DriverSources : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        bytes_ = new Bytes(packCarried(dir_->path / "pack"));
    }
    static void TearDownTestSuite() {
        delete bytes_;
        delete dir_;
    }
    void SetUp() override {
        std::filesystem::create_directories(work());
        ASSERT_EQ(nork_dar_add(lib.handle, (nork_data_t*)image.data()), 0);
        ASSERT_EQ(nork_dar_add_dir(lib.handle, "."), 0);
        ASSERT_EQ(nork_dar_add_dir(lib.handle, ".."), 0);
        mf = nork_memfile_new(lib.handle);
    }
    void TearDown() override {
        nork_memfile_delete(&mf);
        std::filesystem::remove_all(dir_->path / "data");
        std::filesystem::remove_all(work() / "data");
    }
    static std::filesystem::path work() { return dir_->path / "work"; }
    bool fromArchive() const { return mf->pData >= image.data() && mf->pData < image.data() + image.size; }

    static TempDir* dir_;
    static Bytes* bytes_;
    Image image{*bytes_};
    Lib lib;
    nork_memfile_t* mf = nullptr;
};
TempDir* DriverSources::dir_ = nullptr;
Bytes* DriverSources::bytes_ = nullptr;

TEST_F(DriverSources, ScrollTextIsServedInPlace) {
    Chdir here(work());
    ASSERT_EQ(nork_memfile_load(lib.handle, mf, "data/scroll1.txt"), 0);
    EXPECT_EQ(mf->iSize, 6342);
    EXPECT_EQ(mf->iPos, 0);
    EXPECT_EQ(mf->pData, image.data() + 207155);
    EXPECT_EQ(mf->pOwned, nullptr);
    EXPECT_EQ(mf->pData[mf->iSize - 1], 0);
}

TEST_F(DriverSources, LogoLookupLeavesTheLastTenTraceLines) {
    Chdir here(work());
    ASSERT_EQ(nork_memfile_load(lib.handle, mf, "data/nork.png"), 0);
    EXPECT_EQ(lib.trace(),
              "data offset: 3069\n"
              "name offset: 14\n"
              "data offset: 34874\n"
              "name offset: 29\n"
              "data offset: 41427\n"
              "name offset: 44\n"
              "data offset: 48165\n"
              "name offset: 67\n"
              "data offset: 48165\n"
              "found @ 48165\n");
    EXPECT_EQ(mf->iSize, 6726);
}

TEST_F(DriverSources, MissingNameFallsThroughToDotThenDotDot) {
    Chdir here(work());
    Bytes parent = content(300, 7);
    writeFile(dir_->path / "data/wisp.png", parent);  // ../data/wisp.png
    ASSERT_EQ(nork_memfile_load(lib.handle, mf, "data/wisp.png"), 0);
    EXPECT_EQ(Bytes(mf->pData, mf->pData + mf->iSize), parent);
    EXPECT_EQ(mf->pOwned, mf->pData);
    std::string trace = lib.trace();
    EXPECT_EQ(trace.substr(trace.rfind('\n', trace.size() - 2) + 1), "couldn't find data/wisp.png\n");

    // Now also in "./data": the working directory comes first.
    Bytes here_ = content(200, 8);
    writeFile(work() / "data/wisp.png", here_);
    ASSERT_EQ(nork_memfile_load(lib.handle, mf, "data/wisp.png"), 0);
    EXPECT_EQ(Bytes(mf->pData, mf->pData + mf->iSize), here_);
    EXPECT_EQ(mf->iPos, 0);
}

TEST_F(DriverSources, ArchiveWinsOverTheDirectory) {
    Chdir here(work());
    writeFile(work() / "data/nork.png", content(10, 9));
    ASSERT_EQ(nork_memfile_load(lib.handle, mf, "data/nork.png"), 0);
    EXPECT_TRUE(fromArchive());
    EXPECT_EQ(mf->iSize, 6726);
}

TEST_F(DriverSources, NoSourceHoldsTheNameAndTheRecordIsUnchanged) {
    Chdir here(work());
    EXPECT_EQ(nork_memfile_load(lib.handle, mf, "data/wisp.png"), -1);
    EXPECT_EQ(mf->pData, nullptr);
    EXPECT_EQ(mf->iSize, 0);
    unsigned char buf[4];
    EXPECT_EQ(nork_memfile_read(lib.handle, mf, buf, 4), 0);

    ASSERT_EQ(nork_memfile_load(lib.handle, mf, "data/turm.png"), 0);
    mf->iPos = 100;
    EXPECT_EQ(nork_memfile_load(lib.handle, mf, "data/none"), -1);
    EXPECT_EQ(mf->pData, image.data() + 15);
    EXPECT_EQ(mf->iSize, 3053);
    EXPECT_EQ(mf->iPos, 100);
}

TEST_F(DriverSources, ReloadKeepsEarlierBytesValidUntilDelete) {
    // A caller may keep pData from an earlier load: reloading must not free it
    // (the sanitizer run reads it), and delete must release every buffer (its
    // leak check).
    Chdir here(work());
    Bytes first = content(50, 1), second = content(70, 2);
    writeFile(work() / "data/x.bin", first);
    ASSERT_EQ(nork_memfile_load(lib.handle, mf, "data/x.bin"), 0);
    const unsigned char* kept = mf->pData;
    writeFile(work() / "data/x.bin", second);
    ASSERT_EQ(nork_memfile_load(lib.handle, mf, "data/x.bin"), 0);
    ASSERT_EQ(nork_memfile_load(lib.handle, mf, "data/burst.png"), 0);
    EXPECT_TRUE(fromArchive());
    EXPECT_EQ(Bytes(kept, kept + first.size()), first);
}

TEST(MemfileLoad, NoSourceRegisteredFails) {
    Lib lib;
    nork_memfile_t* mf = nork_memfile_new(lib.handle);
    EXPECT_EQ(nork_memfile_load(lib.handle, mf, "data/nork.png"), -1);
    EXPECT_EQ(mf->pData, nullptr);
    EXPECT_EQ(lib.trace(), "Started\nsearching data/nork.png\n");
    nork_memfile_delete(&mf);
}

TEST(MemfileDirectory, EmptyFileLoadsWithSizeZero) {
    TempDir dir;
    writeFile(dir.path / "empty", {});
    Lib lib;
    nork_memfile_t mf = {};
    ASSERT_EQ(nork_memfile_load_from_dir(lib.handle, dir.path.c_str(), &mf, "empty"), 0);
    EXPECT_EQ(mf.iSize, 0);
    EXPECT_NE(mf.pData, nullptr);
    unsigned char buf[4];
    EXPECT_EQ(nork_memfile_read(lib.handle, &mf, buf, 4), 0);
    free(mf.pOwned);
}

TEST(MemfileDirectory, OnlyRegularFilesAreRead) {
    // A directory opens but holds no bytes; a FIFO with no writer would block
    // the load for ever.
    TempDir dir;
    std::filesystem::create_directories(dir.path / "data");
    ASSERT_EQ(mkfifo((dir.path / "fifo").c_str(), 0600), 0);
    nork_memfile_t mf = {};
    EXPECT_EQ(nork_memfile_load_from_dir(nullptr, dir.path.c_str(), &mf, "data"), -1);
    EXPECT_EQ(nork_memfile_load_from_dir(nullptr, dir.path.c_str(), &mf, "fifo"), -1);
    EXPECT_EQ(nork_memfile_load_from_dir(nullptr, dir.path.c_str(), &mf, "absent"), -1);
    EXPECT_EQ(mf.pData, nullptr);
}

TEST(MemfileDirectory, PathTooLongIsRefusedNotCut) {
    // "./" + P is exactly 1022 characters and names a file; one more character
    // must not open that same file under a cut path.
    TempDir dir;
    std::string p = std::string(200, 'a') + "/" + std::string(200, 'b') + "/" + std::string(200, 'c') + "/" +
                    std::string(200, 'd') + "/" + std::string(216, 'e');
    ASSERT_EQ(p.size() + 2, 1022u);
    writeFile(dir.path / p, {42});
    Chdir here(dir.path);
    nork_memfile_t mf = {};
    ASSERT_EQ(nork_memfile_load_from_dir(nullptr, ".", &mf, p.c_str()), 0);
    EXPECT_EQ(mf.iSize, 1);
    free(mf.pOwned);
    mf = {};
    EXPECT_EQ(nork_memfile_load_from_dir(nullptr, ".", &mf, (p + "X").c_str()), -1);
    EXPECT_EQ(mf.pData, nullptr);
}

TEST(MemfileRead, CopiesWhatIsLeftAndStopsAtTheEnd) {
    unsigned char data[6] = {1, 2, 3, 4, 5, 6};
    nork_memfile_t mf = {data, 6, 0, nullptr, nullptr, 0};
    unsigned char buf[10] = {};
    EXPECT_EQ(nork_memfile_read(nullptr, &mf, buf, 10), 6);
    EXPECT_EQ(mf.iPos, 6);
    EXPECT_EQ(memcmp(buf, data, 6), 0);
    EXPECT_EQ(nork_memfile_read(nullptr, &mf, buf, 10), 0);
    EXPECT_EQ(mf.iPos, 6);

    mf.iPos = 2;
    EXPECT_EQ(nork_memfile_read(nullptr, &mf, buf, 0), 0);
    EXPECT_EQ(mf.iPos, 2);
    EXPECT_EQ(nork_memfile_read(nullptr, &mf, buf, 3), 3);
    EXPECT_EQ(buf[0], 3);
    EXPECT_EQ(mf.iPos, 5);
}

TEST(MemfileRead, PositionMovedOutsideByTheCallerReadsNothing) {
    unsigned char data[6] = {1, 2, 3, 4, 5, 6};
    unsigned char buf[10];
    for (int32_t pos : {7, 1000, -1, INT32_MIN}) {
        SCOPED_TRACE(pos);
        nork_memfile_t mf = {data, 6, pos, nullptr, nullptr, 0};
        EXPECT_EQ(nork_memfile_read(nullptr, &mf, buf, 10), 0);
        EXPECT_EQ(mf.iPos, pos);
    }
    nork_memfile_t mf = {data, 6, 0, nullptr, nullptr, 0};
    EXPECT_EQ(nork_memfile_read(nullptr, &mf, buf, -5), 0);
    EXPECT_EQ(mf.iPos, 0);
}

TEST(MemfileDelete, ReleasesDirectoryBytesNeverArchiveBytes) {
    TempDir dir;
    writeFile(dir.path / "f", content(64, 3));
    Lib lib;
    nork_memfile_t* fromDir = nork_memfile_new(lib.handle);
    ASSERT_EQ(nork_memfile_load_from_dir(lib.handle, dir.path.c_str(), fromDir, "f"), 0);
    nork_memfile_t* keep = fromDir;
    EXPECT_EQ(nork_memfile_delete(&fromDir), 0);
    EXPECT_EQ(fromDir, keep);  // the caller's pointer is left alone

    // An archive entry: deleting the record must leave the image alone (the
    // sanitizer reports a release of bytes inside it).
    TempDir packDir;
    writeFile(packDir.path / "a", {9, 8, 7});
    Image image(pack(packDir.path, {"a"}));
    addImage(lib, image);
    nork_memfile_t* fromArchive = nork_memfile_new(lib.handle);
    ASSERT_EQ(nork_memfile_load(lib.handle, fromArchive, "a"), 0);
    EXPECT_EQ(fromArchive->pData, image.data() + 15);
    nork_memfile_delete(&fromArchive);
    EXPECT_EQ(image.data()[15], 9);
    EXPECT_EQ(nork_memfile_delete(nullptr), 0);
}

}  // namespace
