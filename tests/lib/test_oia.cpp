// The NoIA model reader: the header's mode table and count, the two messages, the
// silent failures, and the length checks on short files. Files are built here and
// served from an in-memory file or from a registered directory.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "norklib.h"
#include "scratch_dir.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes header(unsigned char ext, unsigned char mode, unsigned count)
{
    return {'N', 'o', 'I', 'A', 0x01, 0x00, ext, mode, (unsigned char)(count >> 8), (unsigned char)count};
}

// A header and count * stride bytes of vertex data that differ from byte to byte.
Bytes model(unsigned char mode, unsigned count, unsigned stride)
{
    Bytes b = header(0, mode, count);
    for (unsigned i = 0; i < count * stride; i++)
        b.push_back((unsigned char)(i * 7 + i / 251));
    return b;
}

// A file the reader refuses with a message, and the message it must print.
struct Refused {
    const char* what;
    Bytes file;
    const char* printed;
};

class Oia : public ::testing::Test {
protected:
    void SetUp() override { lib = nork_new(); }
    void TearDown() override { nork_delete(lib); }

    // Reads a model from bytes held in memory, from the given read position on.
    // Returns the record or null, with what the reader printed.
    nork_oia_t* read(const Bytes& bytes, std::string* out = nullptr, int32_t pos = 0)
    {
        nork_memfile_t mf = {};
        mf.pData = const_cast<unsigned char*>(bytes.data());
        mf.iSize = (int32_t)bytes.size();
        mf.iPos = pos;
        nork_oia_t* po = nork_oia_new(lib);
        EXPECT_NE(po, nullptr);
        testing::internal::CaptureStdout();
        int32_t rc = nork_oia_loadFromMem(po, &mf);
        std::string printed = testing::internal::GetCapturedStdout();
        if (out)
            *out = printed;
        else
            EXPECT_EQ(printed, "");
        EXPECT_TRUE(rc == 0 || rc == -1);
        return rc == 0 ? po : nullptr;  // a failed read has released the record
    }

    void expectRefused(const std::vector<Refused>& cases)
    {
        for (const Refused& c : cases) {
            SCOPED_TRACE(c.what);
            std::string out;
            EXPECT_EQ(read(c.file, &out), nullptr);
            EXPECT_EQ(out, c.printed);
        }
    }

    nork_lib_t* lib = nullptr;
};

}  // namespace

TEST_F(Oia, NewRecordHoldsOnlyTheHandle)
{
    nork_oia_t* po = nork_oia_new(lib);
    ASSERT_NE(po, nullptr);
    EXPECT_EQ(po->pnl, lib);
    EXPECT_EQ(po->format, 0u);
    EXPECT_EQ(po->stride, 0);
    EXPECT_EQ(po->mode, 0u);
    EXPECT_EQ(po->count, 0);
    EXPECT_EQ(po->pointer, nullptr);
    EXPECT_EQ(std::string(nork_getTrace(lib)), "Started\n");
    EXPECT_EQ(nork_oia_delete(lib, &po), 0);
    EXPECT_EQ(po, nullptr);
}

TEST_F(Oia, DeleteOfNullDoesNothing)
{
    nork_oia_t* po = nullptr;
    EXPECT_EQ(nork_oia_delete(lib, &po), 0);
    EXPECT_EQ(po, nullptr);
    EXPECT_EQ(nork_oia_delete(lib, nullptr), 0);
}

TEST_F(Oia, TheCarriedModelsHeader)
{
    Bytes b = model(0x0E, 210, 32);
    ASSERT_EQ(b.size(), 6730u);
    const unsigned char want[10] = {'N', 'o', 'I', 'A', 0x01, 0x00, 0x00, 0x0E, 0x00, 0xD2};
    ASSERT_EQ(memcmp(b.data(), want, 10), 0);
    nork_oia_t* po = read(b);
    ASSERT_NE(po, nullptr);
    EXPECT_EQ(po->format, 0x2A2Bu);  // GL_T2F_N3F_V3F
    EXPECT_EQ(po->stride, 32);
    EXPECT_EQ(po->mode, 4u);  // GL_TRIANGLES
    EXPECT_EQ(po->count, 210);
    EXPECT_EQ(po->pnl, lib);
    ASSERT_NE(po->pointer, nullptr);
    EXPECT_EQ(memcmp(po->pointer, b.data() + 10, 6720), 0);
    EXPECT_NE(po->pointer, (void*)(b.data() + 10));  // a copy of its own
    nork_oia_delete(lib, &po);
}

TEST_F(Oia, EachModeOfTheTable)
{
    struct {
        unsigned char mode;
        uint32_t format;
        int32_t stride;
    } modes[] = {{0x02, 0x2A21, 12}, {0x06, 0x2A25, 24}, {0x0A, 0x2A27, 20}, {0x0E, 0x2A2B, 32}};
    for (auto& m : modes) {
        Bytes b = model(m.mode, 3, m.stride);
        b[4] = 0xAB;  // bytes 4 and 5 are not read
        b[5] = 0xCD;
        nork_oia_t* po = read(b);
        ASSERT_NE(po, nullptr) << "mode " << (int)m.mode;
        EXPECT_EQ(po->format, m.format);
        EXPECT_EQ(po->stride, m.stride);
        EXPECT_EQ(po->count, 3);
        EXPECT_EQ(memcmp(po->pointer, b.data() + 10, 3 * m.stride), 0);
        nork_oia_delete(lib, &po);
    }
}

TEST_F(Oia, CountIsBigEndianAndReadStartsAtThePosition)
{
    Bytes b = {0xEE, 0xEE, 0xEE};  // bytes before the model are skipped by the read position
    Bytes m = model(0x02, 0x0102, 12);
    b.insert(b.end(), m.begin(), m.end());
    b.push_back(0x55);  // trailing bytes are left alone
    nork_oia_t* po = read(b, nullptr, 3);
    ASSERT_NE(po, nullptr);
    EXPECT_EQ(po->count, 258);
    EXPECT_EQ(memcmp(po->pointer, m.data() + 10, 258 * 12), 0);
    nork_oia_delete(lib, &po);
}

TEST_F(Oia, CountZeroIsAValidEmptyModel)
{
    nork_oia_t* po = read(header(0, 0x0E, 0));
    ASSERT_NE(po, nullptr);
    EXPECT_EQ(po->count, 0);
    EXPECT_EQ(po->stride, 32);
    EXPECT_EQ(po->mode, 4u);
    nork_oia_delete(lib, &po);
}

TEST_F(Oia, UnsupportedModesPrintTheirByte)
{
    std::vector<Refused> cases = {
        {"mode 03 with data", model(0x03, 1, 12), "Mode ->03 not supported!\n"},
        {"mode ff with data", model(0xFF, 1, 12), "Mode ->ff not supported!\n"},
        {"mode 00", header(0, 0x00, 0), "Mode ->00 not supported!\n"},
        {"mode 04", header(0, 0x04, 0), "Mode ->04 not supported!\n"},
        {"mode 08", header(0, 0x08, 0), "Mode ->08 not supported!\n"},
        {"mode 0c", header(0, 0x0C, 0), "Mode ->0c not supported!\n"},
        {"mode 10", header(0, 0x10, 0), "Mode ->10 not supported!\n"},
    };
    expectRefused(cases);
}

TEST_F(Oia, ExtendedModeByteIsCheckedBeforeTheMode)
{
    std::vector<Refused> cases = {
        {"extended 1, a good mode", header(1, 0x0E, 0), "Extended modes not supported!\n"},
        {"extended 1, a bad mode", header(1, 0xFF, 0), "Extended modes not supported!\n"},
        {"extended 80, a bad mode", header(0x80, 0x03, 0), "Extended modes not supported!\n"},
    };
    expectRefused(cases);
}

TEST_F(Oia, WrongMagicFailsSilently)
{
    for (const char* magic : {"NOIA", "noia", "\0oIA", "PNG\x89", "NoI "}) {
        Bytes b = model(0x0E, 1, 32);
        memcpy(b.data(), magic, 4);
        b[6] = 1;     // even with a bad extended byte ...
        b[7] = 0xFF;  // ... and a bad mode, the magic is checked first
        EXPECT_EQ(read(b), nullptr) << magic;
    }
    EXPECT_EQ(std::string(nork_getTrace(lib)), "Started\n");
}

TEST_F(Oia, TruncatedFilesFailWithoutReadingPastTheEnd)
{
    Bytes full = model(0x0A, 5, 20);
    // Every length short of the whole file: header cut, or vertex data cut.
    for (size_t n = 0; n < full.size(); n++) {
        Bytes cut(full.begin(), full.begin() + n);
        cut.shrink_to_fit();  // so that a read past the end is a read past the block
        ASSERT_EQ(read(cut), nullptr) << n << " bytes";
    }
    nork_oia_t* po = read(full);
    ASSERT_NE(po, nullptr);
    nork_oia_delete(lib, &po);
    // A header read starting near the end of the file.
    EXPECT_EQ(read(full, nullptr, (int32_t)full.size() - 5), nullptr);
}

TEST_F(Oia, NullArgumentsFail)
{
    EXPECT_EQ(nork_oia_loadFromMem(nullptr, nullptr), -1);
    nork_oia_t* po = nork_oia_new(lib);
    EXPECT_EQ(nork_oia_loadFromMem(po, nullptr), -1);  // releases po
}

class OiaFiles : public Oia {
protected:
    void SetUp() override
    {
        Oia::SetUp();
        ASSERT_TRUE(scratch.ok());
        dir = scratch.str();
        ASSERT_EQ(nork_dar_add_dir(lib, dir.c_str()), 0);
    }
    void put(const char* name, const Bytes& b)
    {
        std::string path = dir + "/" + name;
        FILE* f = fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        if (!b.empty()) {
            ASSERT_EQ(fwrite(b.data(), 1, b.size(), f), b.size());
        }
        fclose(f);
    }
    nork_oia_t* load(const char* name, std::string* out)
    {
        testing::internal::CaptureStdout();
        nork_oia_t* po = nork_oia_load(lib, name);
        *out = testing::internal::GetCapturedStdout();
        return po;
    }

    nvt::ScratchDir scratch{"nv_oia"};
    std::string dir;
};

TEST_F(OiaFiles, LoadByNameFromARegisteredDirectory)
{
    Bytes b = model(0x0E, 210, 32);
    put("tower.oia", b);
    std::string out;
    nork_oia_t* po = load("tower.oia", &out);
    ASSERT_NE(po, nullptr);
    EXPECT_EQ(out, "");
    EXPECT_EQ(po->count, 210);
    EXPECT_EQ(po->stride, 32);
    EXPECT_EQ(memcmp(po->pointer, b.data() + 10, 6720), 0);
    nork_oia_delete(lib, &po);
    EXPECT_EQ(po, nullptr);
}

TEST_F(OiaFiles, FailedLoadsGiveNullAndOnlyTheTwoMessages)
{
    Bytes shortData = model(0x02, 4, 12);
    shortData.pop_back();
    put("short.oia", shortData);
    put("empty.oia", {});
    put("mode.oia", header(0, 0x03, 0));
    put("ext.oia", header(1, 0x02, 0));
    std::string out;
    EXPECT_EQ(load("missing.oia", &out), nullptr);
    EXPECT_EQ(out, "");
    EXPECT_EQ(load("short.oia", &out), nullptr);
    EXPECT_EQ(out, "");
    EXPECT_EQ(load("empty.oia", &out), nullptr);
    EXPECT_EQ(out, "");
    EXPECT_EQ(load("mode.oia", &out), nullptr);
    EXPECT_EQ(out, "Mode ->03 not supported!\n");
    EXPECT_EQ(load("ext.oia", &out), nullptr);
    EXPECT_EQ(out, "Extended modes not supported!\n");
}
