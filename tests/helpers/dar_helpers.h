// Helpers for the archive and in-memory file tests: scratch folders,
// files of chosen sizes, and an archive laid out like the demo's own.
#ifndef TESTS_DAR_HELPERS_H
#define TESTS_DAR_HELPERS_H

#include <gtest/gtest.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "norklib_internal.h"
#include "scratch_dir.h"

namespace dar {

using Bytes = std::vector<unsigned char>;

// The demo's archive: names in entry order and the data size of each.
struct Entry {
    const char* name;
    int32_t size;
    int32_t offset;
};
inline const std::vector<Entry>& carried() {
    static const std::vector<Entry> entries = {
        {"data/turm.png", 3053, 8},          {"data/grass.png", 31797, 3069},
        {"data/burst.png", 6545, 34874},     {"data/brackenhold-0.oia", 6730, 41427},
        {"data/nork.png", 6726, 48165},      {"data/MossGlade.png", 152241, 54899},
        {"data/scroll1.txt", 6342, 207148},  {"data/tarn1.ogg", 571771, 213498},
        {"data/tarn2.ogg", 297177, 785277},
    };
    return entries;
}

// Scratch folders and changes of working directory, as every test makes them.
using TempDir = nvt::ScratchDir;
using Chdir = nvt::Chdir;

inline void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write((const char*)bytes.data(), (std::streamsize)bytes.size());
}

inline Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Content of a given size that differs from entry to entry; a text ends in NUL.
inline Bytes content(int32_t size, int seed, bool text = false) {
    Bytes b((size_t)size);
    for (size_t i = 0; i < b.size(); i++) b[i] = (unsigned char)(i * 131 + (size_t)seed * 17 + 1);
    if (text && size > 0) b.back() = 0;
    return b;
}

// The library writer's inputs for files, each named by its path.
struct FileInputs {
    std::vector<std::string> names;
    std::vector<nork_dar_input_t> inputs;
    explicit FileInputs(std::vector<std::string> n) : names(std::move(n)) {
        for (const std::string& name : names) inputs.push_back({name.c_str(), name.c_str(), nullptr, 0});
    }
    const nork_dar_input_t* data() const { return inputs.data(); }
    int32_t count() const { return (int32_t)inputs.size(); }
};

// Packs the given names with the library's writer inside dir (where the files lie).
inline Bytes pack(const std::filesystem::path& dir, const std::vector<std::string>& names) {
    Chdir here(dir);
    FileInputs inputs(names);
    EXPECT_EQ(nork_dar_save(nullptr, "out.ndar", inputs.data(), inputs.count(), nullptr), NORK_DAR_OK);
    return readFile(dir / "out.ndar");
}

// Writes the nine carried entries into dir/data and packs them.
inline Bytes packCarried(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    int seed = 0;
    for (const Entry& e : carried()) {
        writeFile(dir / e.name, content(e.size, seed++, strstr(e.name, ".txt") != nullptr));
        names.push_back(e.name);
    }
    return pack(dir, names);
}

// A heap copy of exactly the image's length, so the sanitizer sees any read past it.
struct Image {
    std::unique_ptr<unsigned char[]> bytes;
    int32_t size;
    explicit Image(const Bytes& b) : bytes(new unsigned char[b.size() ? b.size() : 1]), size((int32_t)b.size()) {
        if (!b.empty()) memcpy(bytes.get(), b.data(), b.size());
    }
    unsigned char* data() const { return bytes.get(); }
};

inline uint32_t get32(const Bytes& b, size_t at) {
    return (uint32_t)b[at] | (uint32_t)b[at + 1] << 8 | (uint32_t)b[at + 2] << 16 | (uint32_t)b[at + 3] << 24;
}
inline void put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) b[at + (size_t)i] = (unsigned char)(v >> (8 * i));
}
inline void put16(Bytes& b, size_t at, uint32_t v) {
    b[at] = (unsigned char)v;
    b[at + 1] = (unsigned char)(v >> 8);
}

// The library handle of one test.
struct Lib {
    nork_lib_t* handle = nork_new();
    nl_t* nl() const { return (nl_t*)handle; }
    std::string trace() const { return nork_getTrace(handle); }
    ~Lib() { nork_delete(handle); }
};

// Registers an image with its true length as the registered size; the context
// owns the record, the caller the bytes.
inline void addImage(const Lib& lib, const Image& image) {
    nork_data_t* record = (nork_data_t*)malloc(sizeof *record);
    record->data = image.data();
    record->size = image.size;
    ASSERT_EQ(_nork_dar_add(lib.handle, record), 0);
}

}  // namespace dar

#endif
