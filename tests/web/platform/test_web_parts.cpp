// The browser edition's rand and uncompress against glibc's and zlib's.
#include <stdlib.h>
#include <zlib.h>

#include <vector>

#include <gtest/gtest.h>

#include "glibc_rand.h"

extern "C" int web_uncompress(Bytef* dest, uLongf* destLen, const Bytef* source, uLong sourceLen);

// The flares take a million draws in a long run; any seed, including 0 (taken as 1) and
// the largest, and the unseeded start.
TEST(WebRand, FollowsGlibcSequence) {
    for (int i = 0; i < 1000; i++) ASSERT_EQ(nv_rand(), rand()) << "unseeded, draw " << i;
    for (unsigned seed : {1u, 0u, 42u, 0x7fffffffu, 0xffffffffu}) {
        srand(seed);
        nv_srand(seed);
        for (int i = 0; i < 1000000; i++) ASSERT_EQ(nv_rand(), rand()) << "seed " << seed << ", draw " << i;
    }
}

static std::vector<Bytef> deflated(const std::vector<Bytef>& data, int level) {
    uLongf size = compressBound((uLong)data.size());
    std::vector<Bytef> out(size);
    EXPECT_EQ(compress2(out.data(), &size, data.data(), (uLong)data.size(), level), Z_OK);
    out.resize(size);
    return out;
}

// Streams zlib makes at every level come back whole; a short buffer, a damaged stream, a
// wrong checksum and a cut stream are refused, as zlib refuses them.
TEST(WebInflate, AgreesWithZlib) {
    std::vector<Bytef> data(300000);
    unsigned x = 7;
    for (size_t i = 0; i < data.size(); i++) {
        x = x * 1103515245u + 12345u;
        data[i] = (Bytef)(i % 4096 < 2048 ? (x >> 24) & 3 : x >> 16); // runs and noise
    }
    for (int level : {0, 1, 6, 9}) {
        std::vector<Bytef> z = deflated(data, level);
        std::vector<Bytef> out(data.size());
        uLongf size = (uLongf)out.size();
        ASSERT_EQ(web_uncompress(out.data(), &size, z.data(), (uLong)z.size()), Z_OK) << "level " << level;
        ASSERT_EQ(size, data.size());
        ASSERT_EQ(out, data);

        size = (uLongf)out.size() - 1;
        uLongf zsize = size;
        EXPECT_EQ(uncompress(out.data(), &zsize, z.data(), (uLong)z.size()), Z_BUF_ERROR);
        EXPECT_EQ(web_uncompress(out.data(), &size, z.data(), (uLong)z.size()), Z_BUF_ERROR);

        std::vector<Bytef> badSum = z;
        badSum.back() ^= 1;
        size = (uLongf)out.size();
        EXPECT_EQ(web_uncompress(out.data(), &size, badSum.data(), (uLong)badSum.size()), Z_DATA_ERROR);

        size = (uLongf)out.size();
        EXPECT_NE(web_uncompress(out.data(), &size, z.data(), (uLong)z.size() / 2), Z_OK);
    }
    std::vector<Bytef> z = deflated(data, 6);
    z[z.size() / 3] ^= 0x55;
    std::vector<Bytef> out(data.size());
    uLongf size = (uLongf)out.size();
    EXPECT_NE(web_uncompress(out.data(), &size, z.data(), (uLong)z.size()), Z_OK);
}
