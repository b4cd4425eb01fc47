// The texture upload on a real GL context: every layout an image can be in
// when it reaches the upload, each read back from the texture. The pixels lie
// against an unreadable page, so reading one byte past them ends the test in
// any build, not only under the sanitizers.
#include <gtest/gtest.h>

#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <vector>

#include <GL/gl.h>

#include "util.h"
#include "window.h"
#include "x_display.h"

namespace {

// Bytes whose end touches a page that cannot be read.
class Fenced {
public:
    explicit Fenced(const std::vector<unsigned char>& bytes) {
        size_t page = (size_t)sysconf(_SC_PAGESIZE);
        span = (bytes.size() + page - 1) / page * page + page;
        base = (unsigned char*)mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        mprotect(base + span - page, page, PROT_NONE);
        data = base + span - page - bytes.size();
        memcpy(data, bytes.data(), bytes.size());
    }
    ~Fenced() { munmap(base, span); }
    unsigned char* data;

private:
    unsigned char* base;
    size_t span;
};

const int W = 6, H = 5; // rows of 6, 12 and 18 bytes: not multiples of four

std::vector<unsigned char> pattern(int bytesPerPixel) {
    std::vector<unsigned char> v((size_t)W * H * bytesPerPixel);
    for (size_t i = 0; i < v.size(); i++) v[i] = (unsigned char)(i * 37 + 11);
    return v;
}

// The texture as RGBA bytes, and its width (0 for an empty texture).
std::vector<unsigned char> readTexture(int tex, GLint* width) {
    glBindTexture(GL_TEXTURE_2D, (GLuint)tex);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, width);
    std::vector<unsigned char> rgba((size_t)W * H * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (*width) glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
}

class TextureUpload : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(xServerAnswers());
        static char name[] = "test_util";
        commandLineName = name;
        initWindow(64, 64);
    }

    // Uploads an image of the given layout and returns what the texture holds.
    std::vector<unsigned char> upload(uint8_t mode, bool converted, const std::vector<unsigned char>& bytes,
                                      GLint* width) {
        Fenced pixels(bytes);
        nork_image_t image = {};
        image.width = W;
        image.height = H;
        image.mode = mode;
        image.data = pixels.data;
        image.bRGBA8888 = converted;
        int tex = util_textureFromNorkImage(nullptr, &image);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
        GLint alignment = 0;
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
        EXPECT_EQ(alignment, 4) << "the upload must leave the unpack alignment as it found it";
        return readTexture(tex, width);
    }
};

} // namespace

TEST_F(TextureUpload, EachLayoutIsReadAsItStands) {
    struct Case {
        const char* what;
        uint8_t mode;
        bool converted;
        int bytesPerPixel;
    } cases[] = {
        {"grey", NORK_IMAGE_GREY, false, 1},
        {"grey and alpha", NORK_IMAGE_GREYA, false, 2},
        {"RGB left by a failed conversion", NORK_IMAGE_RGB, false, 3},
        {"RGB converted", NORK_IMAGE_RGB, true, 4},
        {"palette converted", NORK_IMAGE_PALETTE, true, 4},
        {"RGBA", NORK_IMAGE_RGBA, false, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<unsigned char> in = pattern(c.bytesPerPixel);
        GLint width = 0;
        std::vector<unsigned char> got = upload(c.mode, c.converted, in, &width);
        ASSERT_EQ(width, W);
        for (int i = 0; i < W * H; i++) {
            const unsigned char* p = &in[(size_t)i * c.bytesPerPixel];
            unsigned char want[4];
            switch (c.bytesPerPixel) {
            case 1: want[0] = want[1] = want[2] = p[0], want[3] = 255; break;
            case 2: want[0] = want[1] = want[2] = p[0], want[3] = p[1]; break;
            case 3: memcpy(want, p, 3), want[3] = 255; break;
            default: memcpy(want, p, 4); break;
            }
            ASSERT_EQ(memcmp(&got[(size_t)i * 4], want, 4), 0) << "pixel " << i;
        }
    }
}

TEST_F(TextureUpload, UnconvertedPaletteAndNullImageGiveAnEmptyTexture) {
    GLint width = -1;
    upload(NORK_IMAGE_PALETTE, false, pattern(1), &width);
    EXPECT_EQ(width, 0);

    int tex = util_textureFromNorkImage(nullptr, nullptr);
    EXPECT_NE(tex, 0);
    readTexture(tex, &width);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}
