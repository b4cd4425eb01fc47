// The archive linked into the program, through the demo's three sources: it
// holds whichever data files the build found, each byte for byte.
#include <gtest/gtest.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive.h"
#include "norklib_internal.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

struct Carried {
    const char* name;
    int32_t size;
    int32_t offset;
};
const Carried kCarried[] = {
    {"data/turm.png", 3053, 8},         {"data/grass.png", 31797, 3069},
    {"data/burst.png", 6545, 34874},    {"data/brackenhold-0.oia", 6730, 41427},
    {"data/nork.png", 6726, 48165},     {"data/MossGlade.png", 152241, 54899},
    {"data/scroll1.txt", 6342, 207148}, {"data/tarn1.ogg", 571771, 213498},
    {"data/tarn2.ogg", 297177, 785277},
};

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Started from the repository root, as the demo is.
class LinkedArchive : public ::testing::Test {
protected:
    void SetUp() override {
        previous = fs::current_path();
        fs::current_path(NV_SOURCE_ROOT);
        lib = nork_new();
        ASSERT_EQ(nork_dar_add(lib, dataVelandor_data), 0);
        ASSERT_EQ(nork_dar_add_dir(lib, "."), 0);
        ASSERT_EQ(nork_dar_add_dir(lib, ".."), 0);
        mf = nork_memfile_new(lib);
    }
    void TearDown() override {
        nork_memfile_delete(&mf);
        nork_delete(lib);
        fs::current_path(previous);
    }
    bool inArchive() const {
        const unsigned char* base = dataVelandor_data_data;
        return mf->pData >= base && mf->pData < base + dataVelandor_data_size;
    }
    fs::path previous;
    nork_lib_t* lib = nullptr;
    nork_memfile_t* mf = nullptr;
};

TEST_F(LinkedArchive, ObjectsDescribeOneImage) {
    EXPECT_EQ((void*)dataVelandor_data, (void*)dataVelandor_data_data);
    EXPECT_EQ(memcmp(dataVelandor_data_data, "NDAR", 4), 0);
    const unsigned char* p = dataVelandor_data_data;
    int32_t headerSize = (int32_t)(p[4] | p[5] << 8 | p[6] << 16 | (uint32_t)p[7] << 24);
    EXPECT_EQ(headerSize, dataVelandor_data_size);
    nork_data_t* registered = (nork_data_t*)((nl_t*)lib)->data[0]->data;
    EXPECT_EQ(registered->size, dataVelandor_data_size);
}

TEST_F(LinkedArchive, EveryPackedFileComesFromTheArchiveByteForByte) {
    int present = 0;
    bool carriedSizes = true;
    for (const Carried& c : kCarried) {
        SCOPED_TRACE(c.name);
        if (!fs::exists(c.name)) {
            carriedSizes = false;
            EXPECT_EQ(nork_dar_getPos(lib, dataVelandor_data, c.name), -1);
            continue;
        }
        present++;
        Bytes disk = readFile(c.name);
        ASSERT_EQ(nork_memfile_load(lib, mf, c.name), 0);
        EXPECT_TRUE(inArchive());
        EXPECT_EQ(mf->pOwned, nullptr);
        EXPECT_EQ(mf->iPos, 0);
        ASSERT_EQ((size_t)mf->iSize, disk.size());
        EXPECT_EQ(memcmp(mf->pData, disk.data(), disk.size()), 0);
        if ((int32_t)disk.size() != c.size) carriedSizes = false;
    }
    if (present == 0) GTEST_SKIP() << "no data files in data/ yet: the archive is empty";

    // With the demo's own files, the demo's own layout.
    if (carriedSizes) {
        EXPECT_EQ(dataVelandor_data_size, 1082675);
        for (const Carried& c : kCarried) EXPECT_EQ(nork_dar_getPos(lib, dataVelandor_data, c.name), c.offset);
        ASSERT_EQ(nork_memfile_load(lib, mf, "data/scroll1.txt"), 0);
        EXPECT_EQ(mf->pData, dataVelandor_data_data + 207155);
        EXPECT_EQ(mf->pData[mf->iSize - 1], 0);
    }
}

TEST_F(LinkedArchive, NameOutsideTheArchiveIsLookedForInTheDirectories) {
    bool onDisk = fs::exists("data/wisp.png") || fs::exists("../data/wisp.png");
    int32_t result = nork_memfile_load(lib, mf, "data/wisp.png");
    std::string trace = nork_getTrace(lib);
    if (onDisk) {
        EXPECT_EQ(result, 0);
        EXPECT_FALSE(inArchive());
    } else {
        EXPECT_EQ(result, -1);
    }
    EXPECT_NE(trace.find("couldn't find data/wisp.png\n"), std::string::npos) << trace;
}

}  // namespace
