// Archives: the writer's layout, the lookup and accessors, registration, and
// malformed images that must fail without reading outside themselves.
#include "dar_helpers.h"

using namespace dar;

namespace {

class CarriedArchive : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        bytes_ = new Bytes(packCarried(dir_->path));
    }
    static void TearDownTestSuite() {
        delete bytes_;
        delete dir_;
    }
    static TempDir* dir_;
    static Bytes* bytes_;
    Image image{*bytes_};
    Lib lib;
};
TempDir* CarriedArchive::dir_ = nullptr;
Bytes* CarriedArchive::bytes_ = nullptr;

TEST_F(CarriedArchive, WriterGivesTheDemoArchiveLayout) {
    const Bytes& b = *bytes_;
    ASSERT_EQ(b.size(), 1082675u);
    EXPECT_EQ(memcmp(b.data(), "NDAR", 4), 0);
    EXPECT_EQ(get32(b, 4), 1082675u);
    EXPECT_EQ(get32(b, b.size() - 4), 1082462u);  // directory offset
    EXPECT_EQ(memcmp(&b[1082462], "DIR", 3), 0);
    EXPECT_EQ(b[1082465] | b[1082466] << 8, 9);
    EXPECT_EQ(memcmp(&b[1082668], "END", 3), 0);  // trailer

    // Names in entry order, from 1082521 up to the trailer.
    std::string names;
    for (const Entry& e : carried()) names += std::string(e.name) + '\0';
    EXPECT_EQ(names.size(), 147u);
    EXPECT_EQ(std::string((const char*)&b[1082521], 147), names);

    // Each record: tag, size, the file's bytes, then the spare byte repeating the last.
    int seed = 0;
    for (const Entry& e : carried()) {
        SCOPED_TRACE(e.name);
        size_t at = (size_t)e.offset;
        EXPECT_EQ(memcmp(&b[at], "DAT", 3), 0);
        EXPECT_EQ(get32(b, at + 3), (uint32_t)e.size);
        Bytes data = content(e.size, seed++, strstr(e.name, ".txt") != nullptr);
        EXPECT_EQ(memcmp(&b[at + 7], data.data(), data.size()), 0);
        EXPECT_EQ(b[at + 7 + (size_t)e.size], data.back());
    }
}

TEST_F(CarriedArchive, LookupFindsEveryEntryAtItsOffset) {
    for (const Entry& e : carried()) {
        SCOPED_TRACE(e.name);
        int32_t pos = nork_dar_getPos(lib.handle, image.data(), e.name);
        EXPECT_EQ(pos, e.offset);
        EXPECT_EQ(nork_dar_getSize(image.data(), pos), e.size);
        EXPECT_EQ(nl_dar_find(lib.nl(), image.data(), image.size, e.name), e.offset);
    }
    EXPECT_EQ(nork_dar_getPos(lib.handle, image.data(), "data/nork.png"), 48165);
    EXPECT_EQ(nork_dar_getSize(image.data(), 48165), 6726);
    EXPECT_EQ(nork_dar_getData(image.data(), 48165), image.data() + 48172);
    EXPECT_EQ(nork_dar_getData(image.data(), 8), image.data() + 15);
    EXPECT_EQ(nork_dar_getSize(image.data(), 41427), 6730);
}

TEST_F(CarriedArchive, NamesMatchOnlyExactly) {
    for (const char* name : {"data/NORK.png", "data/Nork.png", "nork.png", "./data/nork.png", "data//nork.png",
                             "data/nork.png ", "data/nork", ""}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(nork_dar_getPos(lib.handle, image.data(), name), -1);
    }
}

TEST_F(CarriedArchive, MissingNameExaminesEveryEntry) {
    EXPECT_EQ(nork_dar_getPos(lib.handle, image.data(), "data/wisp.png"), -1);
    // The window shows the last five entries examined, two lines each.
    EXPECT_EQ(lib.trace(),
              "data offset: 48165\nname offset: 67\n"
              "data offset: 54899\nname offset: 81\n"
              "data offset: 207148\nname offset: 100\n"
              "data offset: 213498\nname offset: 117\n"
              "data offset: 785277\nname offset: 132\n");
}

TEST_F(CarriedArchive, LookupTraceStartsWithTheHeader) {
    EXPECT_EQ(nork_dar_getPos(lib.handle, image.data(), "data/turm.png"), 8);
    EXPECT_EQ(lib.trace(),
              "Started\nSize: 1082675\nDir offset: 1082462\nDir entries: 9\n"
              "data offset: 8\nname offset: 0\ndata offset: 8\n");
}

TEST_F(CarriedArchive, RegisteredSizeComesFromTheHeader) {
    ASSERT_EQ(nork_dar_add(lib.handle, (nork_data_t*)image.data()), 0);
    ASSERT_EQ(lib.nl()->iNumData, 1);
    EXPECT_EQ(lib.nl()->data[0]->type, NL_SRC_ARCHIVE);
    nork_data_t* record = (nork_data_t*)lib.nl()->data[0]->data;
    EXPECT_EQ(record->data, image.data());
    EXPECT_EQ(record->size, 1082675);
}

TEST_F(CarriedArchive, ArchiveFileIsRegisteredWithItsLength) {
    ASSERT_EQ(nork_dar_add_file(lib.handle, (dir_->path / "out.ndar").c_str()), 0);
    nork_data_t* record = (nork_data_t*)lib.nl()->data[0]->data;
    EXPECT_EQ(record->size, 1082675);
    nork_memfile_t* mf = nork_memfile_new(lib.handle);
    ASSERT_EQ(nork_memfile_load(lib.handle, mf, "data/burst.png"), 0);
    EXPECT_EQ(mf->iSize, 6545);
    EXPECT_EQ(mf->pData, (unsigned char*)record->data + 34874 + 7);
    nork_memfile_delete(&mf);
}

TEST(ArchiveWriter, EmptyArchiveIsRefusedAndLookupInOneFails) {
    // No entry could ever be found in it, so the writer refuses to make one.
    TempDir dir;
    Chdir here(dir.path);
    EXPECT_EQ(nork_dar_save(nullptr, "out.ndar", nullptr, 0, nullptr), NORK_DAR_E_EMPTY);
    EXPECT_FALSE(std::filesystem::exists(dir.path / "out.ndar"));

    // Header, directory head with no entries, trailer: readers still meet such
    // archives, and a lookup fails cleanly.
    Bytes b = {'N', 'D', 'A', 'R', 20, 0, 0, 0, 'D', 'I', 'R', 0, 0, 'E', 'N', 'D', 8, 0, 0, 0};
    Image image(b);
    Lib lib;
    EXPECT_EQ(nork_dar_getPos(lib.handle, image.data(), "a"), -1);
    EXPECT_EQ(lib.trace(), "Started\nSize: 20\nDir offset: 8\nDir entries: 0\n");
}

TEST(ArchiveWriter, EmptyFileGetsAZeroSpareByte) {
    TempDir dir;
    writeFile(dir.path / "empty", {});
    writeFile(dir.path / "one", {0x7f});
    Bytes b = pack(dir.path, {"empty", "one"});
    EXPECT_EQ(get32(b, 8 + 3), 0u);
    EXPECT_EQ(b[8 + 7], 0);  // spare byte of the empty file
    EXPECT_EQ(memcmp(&b[16], "DAT", 3), 0);
    EXPECT_EQ(b[16 + 7], 0x7f);
    EXPECT_EQ(b[16 + 8], 0x7f);  // spare byte repeats the last
    Image image(b);
    Lib lib;
    EXPECT_EQ(nork_dar_getPos(lib.handle, image.data(), "empty"), 8);
    EXPECT_EQ(nork_dar_getPos(lib.handle, image.data(), "one"), 16);
}

TEST(ArchiveWriter, EqualNamesAreRefusedAndTheFirstOfTwoWinsInALookup) {
    TempDir dir;
    writeFile(dir.path / "x", {1, 2, 3});
    writeFile(dir.path / "y", {4});
    {
        Chdir here(dir.path);
        FileInputs inputs({"x", "./x", "x"});
        nork_dar_report_t report;
        EXPECT_EQ(nork_dar_save(nullptr, "dup.ndar", inputs.data(), 3, &report), NORK_DAR_E_NAME);
        EXPECT_EQ(report.input, 2);
        EXPECT_FALSE(std::filesystem::exists(dir.path / "dup.ndar"));
    }
    // An archive made elsewhere may hold a name twice: the first entry wins.
    Bytes b = pack(dir.path, {"x", "./x", "y"});
    b[b.size() - 7 - 2] = 'x'; // the last name, "y", just before the trailer
    Image image(b);
    Lib lib;
    EXPECT_EQ(nork_dar_getPos(lib.handle, image.data(), "x"), 8);
    EXPECT_EQ(nork_dar_getPos(lib.handle, image.data(), "./x"), 19);
    EXPECT_EQ(nork_dar_getPos(lib.handle, image.data(), "y"), -1);
}

TEST(ArchiveWriter, RefusesWhatTheFormatCannotHold) {
    TempDir dir;
    Chdir here(dir.path);
    writeFile(dir.path / "f", {1});
    FileInputs many(std::vector<std::string>(65536, "f"));
    EXPECT_EQ(nork_dar_save(nullptr, "many.ndar", many.data(), 65536, nullptr), NORK_DAR_E_ENTRIES);
    EXPECT_FALSE(std::filesystem::exists(dir.path / "many.ndar"));

    // 300 names of 220 bytes each (all the same file): over 65535 bytes of names.
    std::string longName;
    for (int i = 0; i < 109; i++) longName += "./";
    longName += "f";
    FileInputs longNames(std::vector<std::string>(300, longName));
    EXPECT_EQ(nork_dar_save(nullptr, "names.ndar", longNames.data(), 300, nullptr), NORK_DAR_E_NAMES);
    EXPECT_FALSE(std::filesystem::exists(dir.path / "names.ndar"));

    // A file over what any archive can hold (sparse, so it takes no space).
    { std::ofstream big(dir.path / "big"); }
    std::filesystem::resize_file(dir.path / "big", 3ull << 30);
    FileInputs big({"big"});
    EXPECT_EQ(nork_dar_save(nullptr, "big.ndar", big.data(), 1, nullptr), NORK_DAR_E_SIZE);
    EXPECT_FALSE(std::filesystem::exists(dir.path / "big.ndar"));

    FileInputs missing({"no-such-file"});
    nork_dar_report_t report;
    EXPECT_EQ(nork_dar_save(nullptr, "missing.ndar", missing.data(), 1, &report), NORK_DAR_E_READ);
    EXPECT_EQ(report.error, ENOENT);
    EXPECT_FALSE(std::filesystem::exists(dir.path / "missing.ndar"));
}

TEST(ArchiveWriter, BuffersAndFilesGiveTheSameArchiveAndReadBackWhole) {
    // The same entries from memory and from files: one archive, byte for byte,
    // and the reader finds each name with its bytes.
    TempDir dir;
    std::vector<Bytes> data = {content(5, 1), {}, content(300, 2), {0x5c}};
    std::vector<std::string> files = {"a", "empty", "tab\tname", "back\\slash"};
    std::vector<nork_dar_input_t> buffers;
    for (size_t i = 0; i < data.size(); i++) {
        writeFile(dir.path / files[i], data[i]);
        buffers.push_back({files[i].c_str(), nullptr, data[i].data(), (int32_t)data[i].size()});
    }
    Bytes fromFiles = pack(dir.path, files);
    {
        Chdir here(dir.path);
        ASSERT_EQ(nork_dar_save(nullptr, "buffers.ndar", buffers.data(), (int32_t)buffers.size(), nullptr),
                  NORK_DAR_OK);
    }
    Bytes fromBuffers = readFile(dir.path / "buffers.ndar");
    EXPECT_EQ(fromBuffers, fromFiles);

    Image image(fromBuffers);
    ASSERT_EQ(nork_dar_entry(image.data(), image.size, -1, nullptr), 4);
    for (int32_t i = 0; i < 4; i++) {
        SCOPED_TRACE(files[(size_t)i]);
        nork_dar_entry_t entry;
        ASSERT_EQ(nork_dar_entry(image.data(), image.size, i, &entry), 4);
        EXPECT_STREQ(entry.name, files[(size_t)i].c_str());
        EXPECT_EQ(entry.size, (int32_t)data[(size_t)i].size());
        Lib lib;
        EXPECT_EQ(nork_dar_getPos(lib.handle, image.data(), entry.name), entry.offset);
        EXPECT_EQ(Bytes((unsigned char*)nork_dar_getData(image.data(), entry.offset),
                        (unsigned char*)nork_dar_getData(image.data(), entry.offset) + entry.size),
                  data[(size_t)i]);
    }
}

TEST(ArchiveWriter, NamesFillTheNameAreaToItsLastByteAndNoFurther) {
    TempDir dir;
    Chdir here(dir.path);
    // One name of 65534 bytes and its terminator: exactly the 16-bit limit.
    std::string longest(65534, 'n');
    unsigned char byte = 7;
    nork_dar_input_t fits = {longest.c_str(), nullptr, &byte, 1};
    ASSERT_EQ(nork_dar_save(nullptr, "fits.ndar", &fits, 1, nullptr), NORK_DAR_OK);
    Image image(readFile(dir.path / "fits.ndar"));
    Lib lib;
    EXPECT_EQ(nork_dar_getPos(lib.handle, image.data(), longest.c_str()), 8);

    std::string over(65535, 'n');
    nork_dar_input_t tooLong = {over.c_str(), nullptr, &byte, 1};
    EXPECT_EQ(nork_dar_save(nullptr, "over.ndar", &tooLong, 1, nullptr), NORK_DAR_E_NAMES);
    EXPECT_FALSE(std::filesystem::exists(dir.path / "over.ndar"));
}

TEST(ArchiveWriter, AnArchiveIsNotPackedIntoItselfAndStaysAsItWas) {
    TempDir dir;
    writeFile(dir.path / "x", {1, 2, 3});
    Bytes before = pack(dir.path, {"x"});
    Chdir here(dir.path);
    FileInputs inputs({"x", "./out.ndar"});
    nork_dar_report_t report;
    EXPECT_EQ(nork_dar_save(nullptr, "out.ndar", inputs.data(), inputs.count(), &report), NORK_DAR_E_SELF);
    EXPECT_EQ(report.input, 1);
    EXPECT_EQ(readFile(dir.path / "out.ndar"), before);
    for (const auto& f : std::filesystem::directory_iterator(dir.path))
        EXPECT_EQ(f.path().filename().string().rfind(".nork-", 0), std::string::npos) << f.path();
}

// ---------------------------------------------------------------------------
// Malformed images. A small archive: "a" (5 bytes) at 8, "bb" (empty) at 21,
// the directory at 29, its table at 34, names at 46, the trailer at 51, Size 58.

Bytes small() {
    TempDir dir;
    writeFile(dir.path / "a", {1, 2, 3, 4, 5});
    writeFile(dir.path / "bb", {});
    Bytes b = pack(dir.path, {"a", "bb"});
    EXPECT_EQ(b.size(), 58u);
    EXPECT_EQ(get32(b, 54), 29u);
    return b;
}

// The lookup fails on the image, both bounded and through the file loader,
// and the loader leaves the record alone.
void expectRejected(const Bytes& b, const char* name) {
    Image image(b);
    Lib lib;
    EXPECT_EQ(nl_dar_find(lib.nl(), image.data(), image.size, name), -1);
    addImage(lib, image);
    nork_memfile_t mf = {};
    EXPECT_EQ(nork_memfile_load(lib.handle, &mf, name), -1);
    EXPECT_EQ(mf.pData, nullptr);
    EXPECT_EQ(mf.iSize, 0);
    std::string trace = lib.trace();
    EXPECT_NE(trace.find("couldn't find " + std::string(name) + "\n"), std::string::npos) << trace;
}

TEST(MalformedArchive, TheSmallArchiveIsFineAsWritten) {
    Bytes b = small();
    Image image(b);
    Lib lib;
    EXPECT_EQ(nl_dar_find(lib.nl(), image.data(), image.size, "a"), 8);
    EXPECT_EQ(nl_dar_find(lib.nl(), image.data(), image.size, "bb"), 21);
}

// Damage to the header or the directory's head: the lookup stops at the fault,
// with the trace showing how far it read, and the loader refuses the image.
struct HeaderDamage {
    const char* name;
    void (*damage)(Bytes& b);
    const char* trace;
};
void PrintTo(const HeaderDamage& d, std::ostream* os) { *os << d.name; }

const HeaderDamage kHeaderDamages[] = {
    {"WrongMagicRecordsNothing", [](Bytes& b) { b[3] = 'X'; }, "Started\n"},
    {"WrongDirectoryTag", [](Bytes& b) { b[29 + 2] = 'X'; }, "Started\nSize: 58\nDir offset: 29\n"},
    {"EmptyDirectoryAfterThreeEntries", [](Bytes& b) { put16(b, 29 + 3, 0); },
     "Started\nSize: 58\nDir offset: 29\nDir entries: 0\n"},
};

class DamagedHeader : public ::testing::TestWithParam<HeaderDamage> {};

TEST_P(DamagedHeader, LookupStopsAtTheFault) {
    Bytes b = small();
    GetParam().damage(b);
    Image image(b);
    Lib lib;
    EXPECT_EQ(nork_dar_getPos(lib.handle, image.data(), "a"), -1);
    EXPECT_EQ(lib.trace(), GetParam().trace);
    expectRejected(b, "a");
}

INSTANTIATE_TEST_SUITE_P(MalformedArchive, DamagedHeader, ::testing::ValuesIn(kHeaderDamages),
                         [](const ::testing::TestParamInfo<HeaderDamage>& info) { return info.param.name; });

TEST(MalformedArchive, DirectoryOffsetPastTheEnd) {
    for (uint32_t dir : {58u, 54u, 1000u, 0x7fffffffu, 0xffffffffu}) {
        SCOPED_TRACE(dir);
        Bytes b = small();
        put32(b, 54, dir);
        expectRejected(b, "a");
        Image image(b);
        Lib lib;
        EXPECT_EQ(nork_dar_getPos(lib.handle, image.data(), "a"), -1);
    }
}

TEST(MalformedArchive, EntryTablePastTheEnd) {
    for (uint32_t n : {3u, 10u, 65535u}) {
        SCOPED_TRACE(n);
        Bytes b = small();
        put16(b, 29 + 3, n);
        expectRejected(b, "zz");
    }
}

TEST(MalformedArchive, NameOffsetPastTheEnd) {
    for (uint32_t off : {12u, 100u, 65535u}) {
        SCOPED_TRACE(off);
        Bytes b = small();
        put16(b, 34 + 4, off);  // the first entry's name
        expectRejected(b, "bb");
    }
}

TEST(MalformedArchive, DamagedLaterEntryDoesNotHideAnEarlierOne) {
    Bytes b = small();
    put16(b, 34 + 6 + 4, 1000);  // the second entry's name
    Image image(b);
    Lib lib;
    EXPECT_EQ(nl_dar_find(lib.nl(), image.data(), image.size, "a"), 8);
    EXPECT_EQ(nl_dar_find(lib.nl(), image.data(), image.size, "bb"), -1);
}

TEST(MalformedArchive, DataOffsetOrSizePastTheEnd) {
    for (uint32_t off : {52u, 58u, 1000u, 0x80000000u, 0xffffffffu}) {
        SCOPED_TRACE(off);
        Bytes b = small();
        put32(b, 34, off);  // the first entry's record
        expectRejected(b, "a");
    }
    for (uint32_t size : {44u, 1000u, 0xfffffff9u, 0xffffffffu}) {
        SCOPED_TRACE(size);
        Bytes b = small();
        put32(b, 8 + 3, size);  // "a"'s data size: 43 would still fit
        expectRejected(b, "a");
    }
    Bytes fits = small();
    put32(fits, 8 + 3, 43);  // ends exactly at the end of the image
    Image image(fits);
    Lib lib;
    EXPECT_EQ(nl_dar_find(lib.nl(), image.data(), image.size, "a"), 8);
}

TEST(MalformedArchive, HeaderSizeBeyondTheRegisteredBytes) {
    Bytes b = small();
    put32(b, 4, 59);
    expectRejected(b, "a");
    put32(b, 4, 0xffffffff);
    expectRejected(b, "a");
    put32(b, 4, 14);  // too short for a header and a trailer
    expectRejected(b, "a");
}

TEST(MalformedArchive, ImagesShorterThanAHeader) {
    for (size_t length : {0u, 3u, 4u, 7u}) {
        SCOPED_TRACE(length);
        Bytes b = small();
        b.resize(length);
        expectRejected(b, "a");
    }
}

TEST(MalformedArchive, TruncatedImageIsRefusedByTheLoader) {
    Bytes b = small();
    b.resize(40);  // header Size still says 58
    expectRejected(b, "a");
}

TEST(MalformedArchive, NameWithoutTerminatorBeforeTheEnd) {
    // A directory offset without zero bytes needs an image over 16 MB; the only
    // name then starts at the trailer and runs to the last byte with no NUL.
    const uint32_t dir = 0x01010101;
    Bytes b((size_t)dir + 5 + 6 + 7, 0);
    memcpy(b.data(), "NDAR", 4);
    put32(b, 4, (uint32_t)b.size());
    memcpy(&b[dir], "DIR", 3);
    put16(b, dir + 3, 1);
    put32(b, dir + 5, 8);
    put16(b, dir + 9, 0);
    memcpy(&b[b.size() - 7], "END", 3);
    put32(b, b.size() - 4, dir);
    expectRejected(b, "END\x01\x01\x01\x01");
}

// ---------------------------------------------------------------------------
// Registration.

TEST(Sources, SeventeenthSourceIsRefusedAndTheRestKept) {
    Bytes b = small();
    Image image(b);
    Lib lib;
    for (int i = 0; i < NL_MAX_SOURCES; i++) ASSERT_EQ(nork_dar_add_dir(lib.handle, "."), 0);
    nl_data_t* lastSource = lib.nl()->data[NL_MAX_SOURCES - 1];

    EXPECT_EQ(nork_dar_add_dir(lib.handle, ".."), -1);
    EXPECT_EQ(nork_dar_add(lib.handle, (nork_data_t*)image.data()), -1);
    TempDir dir;
    writeFile(dir.path / "x.ndar", b);
    EXPECT_EQ(nork_dar_add_file(lib.handle, (dir.path / "x.ndar").c_str()), -1);
    nork_data_t* record = (nork_data_t*)malloc(sizeof *record);
    EXPECT_EQ(_nork_dar_add(lib.handle, record), -1);
    free(record);  // refused: still ours

    EXPECT_EQ(lib.nl()->iNumData, NL_MAX_SOURCES);
    EXPECT_EQ(lib.nl()->data[NL_MAX_SOURCES - 1], lastSource);
    EXPECT_STREQ((const char*)lastSource->data, ".");
}

TEST(Sources, UnreadableArchiveFileRegistersNothing) {
    Lib lib;
    TempDir dir;
    EXPECT_EQ(nork_dar_add_file(lib.handle, (dir.path / "absent.ndar").c_str()), -1);
    EXPECT_EQ(nork_dar_add_file(lib.handle, dir.path.c_str()), -1);  // a directory
    EXPECT_EQ(nork_dar_add_file(lib.handle, nullptr), -1);
    EXPECT_EQ(lib.nl()->iNumData, 0);
}

TEST(Sources, DirectoryNameIsAPrivateCopy) {
    Lib lib;
    char name[] = "some/dir";
    ASSERT_EQ(nork_dar_add_dir(lib.handle, name), 0);
    name[0] = 'X';
    EXPECT_EQ(lib.nl()->data[0]->type, NL_SRC_DIRECTORY);
    EXPECT_STREQ((const char*)lib.nl()->data[0]->data, "some/dir");
}

}  // namespace
