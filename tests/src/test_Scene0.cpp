// The logo scene on a real X server: the picture's brightness, the spectrum
// bars, the state the scene leaves and its construction without a picture.
// The scene draws into an 800x600 viewport placed 10 pixels inside a larger
// window, so canvas units are pixels and a bar on the canvas's left edge is
// still visible whichever pixel column the rasteriser picks for it.
#include <gtest/gtest.h>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <GL/gl.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Scene0.h"
#include "global.h"
#include "png_helpers.h"
#include "scratch_dir.h"
#include "window.h"

// The driver's handle lives in main.cpp, which the tests do not link.
nork_lib_t* pNorkLib = nullptr;

// The scene keeps its decoded picture until the process ends, by design.
extern "C" const char* __lsan_default_suppressions() { return "leak:Scene0::Scene0\n"; }

namespace fs = std::filesystem;

namespace {

const int WIN_W = 820, WIN_H = 620;
const int VIEW_X = 10, VIEW_Y = 10, VIEW_W = 800, VIEW_H = 600;

struct Rgb {
    int r, g, b;
};
const Rgb FLAT = {200, 100, 40};
// Quadrants of the orientation picture: top left, top right, bottom left, bottom right.
const Rgb QUADS[4] = {{250, 0, 0}, {0, 250, 0}, {0, 0, 250}, {250, 250, 0}};

// An 8-bit RGBA picture of the colours at(x, y), rows unfiltered.
bool writePicture(const std::string& path, int w, int h, const std::function<Rgb(int, int)>& at) {
    pngt::Bytes rgba;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            Rgb c = at(x, y);
            rgba.insert(rgba.end(), {(unsigned char)c.r, (unsigned char)c.g, (unsigned char)c.b, 255});
        }
    pngt::PngSpec spec;
    spec.width = (unsigned)w;
    spec.height = (unsigned)h;
    spec.colorType = PNG_COLOR_TYPE_RGBA;
    spec.filters = PNG_FILTER_NONE;
    return pngt::writePngFile(path, spec, rgba);
}

// A library handle whose only source is a directory; the tests swap it into
// pNorkLib around a construction.
nork_lib_t* handleOn(const std::string& dir) {
    nork_lib_t* lib = nork_new();
    if (lib && nork_dar_add_dir(lib, dir.c_str()) != 0) {
        nork_delete(lib);
        return nullptr;
    }
    return lib;
}

// Builds a scene with pNorkLib set to lib, returning what it printed.
Scene0* buildScene(nork_lib_t* lib, std::string* printed) {
    pNorkLib = lib;
    testing::internal::CaptureStdout();
    Scene0* scene = new Scene0();
    fflush(stdout);
    *printed = testing::internal::GetCapturedStdout();
    pNorkLib = nullptr;
    return scene;
}

struct Frame {
    std::vector<unsigned char> px = std::vector<unsigned char>(WIN_W * WIN_H * 4);

    // Canvas coordinates (y down) to the pixel drawn there.
    Rgb canvas(int x, int y) const { return window(VIEW_X + x, VIEW_Y + VIEW_H - 1 - y); }
    Rgb window(int x, int glRow) const {
        const unsigned char* p = &px[(glRow * WIN_W + x) * 4];
        return {p[0], p[1], p[2]};
    }
    bool operator==(const Frame& o) const { return px == o.px; }
};

bool near(Rgb a, Rgb b, int tol = 2) {
    return abs(a.r - b.r) <= tol && abs(a.g - b.g) <= tol && abs(a.b - b.b) <= tol;
}
bool isBlack(Rgb a) { return a.r <= 2 && a.g <= 2 && a.b <= 2; }
Rgb scaled(Rgb c, float k) { return {(int)lroundf(c.r * k), (int)lroundf(c.g * k), (int)lroundf(c.b * k)}; }

std::string show(Rgb c) {
    return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) + ")";
}

class LogoScene : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_NE(getenv("DISPLAY"), nullptr) << "needs an X server";
        static char name[] = "test_scene0";
        commandLineName = name;
        initWindow(WIN_W, WIN_H);

        scratch = new nvt::ScratchDir("nv_scene0");
        ASSERT_TRUE(scratch->ok());
        tmp = new std::string(scratch->str());
        // Decoding drops its pixel dump in the working directory: keep it in here.
        scratch->enter();
        for (const char* sub : {"flat/data", "quads/data", "empty"}) fs::create_directories(*tmp + "/" + sub);
        ASSERT_TRUE(writePicture(*tmp + "/flat/data/wisp.png", 16, 16, [](int, int) { return FLAT; }));
        ASSERT_TRUE(writePicture(*tmp + "/quads/data/wisp.png", 16, 16,
                             [](int x, int y) { return QUADS[(y >= 8) * 2 + (x >= 8)]; }));

        flatLib = handleOn(*tmp + "/flat");
        ASSERT_NE(flatLib, nullptr);
        std::string printed;
        flat = buildScene(flatLib, &printed);
    }

    static void TearDownTestSuite() {
        delete flat;
        if (flatLib) nork_delete(flatLib);
        // The window stays open until exit: closing the display unloads the GL
        // driver, and its caches would then be reported as leaks of no module.
        delete scratch;
        delete tmp;
    }

    void SetUp() override {
        ASSERT_NE(flat, nullptr);
        info = {};
        info.spectrum = spectrum;
        flat->setInfo(&info);
    }

    // One frame of a scene from a known state: black, blending that replaces.
    static Frame render(Scene* scene, float f = 0.016f, float clear = 0) {
        glViewport(VIEW_X, VIEW_Y, VIEW_W, VIEW_H);
        glDisable(GL_DEPTH_TEST);
        glBlendFunc(GL_ONE, GL_ZERO);
        glClearColor(clear, clear, clear, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        scene->run(f);
        glFinish();
        Frame frame;
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, WIN_W, WIN_H, GL_RGBA, GL_UNSIGNED_BYTE, frame.px.data());
        return frame;
    }

    static nvt::ScratchDir* scratch;
    static std::string* tmp;
    static nork_lib_t* flatLib;
    static Scene0* flat;

    info_t info;
    float spectrum[512] = {};
};

nvt::ScratchDir* LogoScene::scratch = nullptr;
std::string* LogoScene::tmp = nullptr;
nork_lib_t* LogoScene::flatLib = nullptr;
Scene0* LogoScene::flat = nullptr;

// Sample points well inside the canvas and away from the bars' columns.
const int SAMPLES[][2] = {{20, 20}, {780, 20}, {400, 150}, {400, 450}, {20, 580}, {780, 580}};

TEST_F(LogoScene, PictureBrightnessFollowsTheBeatLevel) {
    for (float base : {0.0f, 0.5f, 0.97f, 1.0f}) {
        info.base = base;
        Frame frame = render(flat);
        Rgb want = scaled(FLAT, base);
        for (auto& s : SAMPLES)
            EXPECT_TRUE(near(frame.canvas(s[0], s[1]), want))
                << "base " << base << " at " << s[0] << "," << s[1] << ": " << show(frame.canvas(s[0], s[1]))
                << " want " << show(want);
    }
}

TEST_F(LogoScene, NegativeBeatLevelDrawsThePictureBlack) {
    info.base = -0.02f;
    Frame frame = render(flat);
    for (auto& s : SAMPLES) EXPECT_TRUE(isBlack(frame.canvas(s[0], s[1]))) << show(frame.canvas(s[0], s[1]));
}

TEST_F(LogoScene, PictureFillsTheCanvasWithImageRowZeroAtTheTop) {
    nork_lib_t* lib = handleOn(*tmp + "/quads");
    ASSERT_NE(lib, nullptr);
    std::string printed;
    Scene* scene = buildScene(lib, &printed);
    scene->setInfo(&info);
    info.base = 1;
    Frame frame = render(scene);
    // Quadrant centres of the canvas, clear of the bars' columns.
    const int at[4][2] = {{210, 150}, {610, 150}, {210, 450}, {610, 450}};
    for (int q = 0; q < 4; q++)
        EXPECT_TRUE(near(frame.canvas(at[q][0], at[q][1]), QUADS[q]))
            << "quadrant " << q << ": " << show(frame.canvas(at[q][0], at[q][1]));
    // Nothing is drawn outside the viewport.
    EXPECT_TRUE(isBlack(frame.window(VIEW_X - 2, WIN_H / 2)));
    EXPECT_TRUE(isBlack(frame.window(VIEW_X + VIEW_W + 2, WIN_H / 2)));
    delete scene;
    nork_delete(lib);
}

// The lit rows of the bar at canvas x, as the first and last canvas y and a
// count; the rasteriser may put a line on a pixel boundary on either side.
struct Bar {
    int first = -1, last = -1, count = 0;
};
Bar barAt(const Frame& frame, int x) {
    Bar best;
    for (int col : {x - 1, x}) {
        Bar b;
        for (int y = 0; y < VIEW_H; y++) {
            if (isBlack(frame.window(VIEW_X + col, VIEW_Y + VIEW_H - 1 - y))) continue;
            if (b.first < 0) b.first = y;
            b.last = y;
            b.count++;
        }
        if (b.count > best.count) best = b;
    }
    return best;
}

TEST_F(LogoScene, BandsDrawCentredBarsOfTheirLengthEvery45Units) {
    const float values[] = {0.0f, 0.5f, 1.2f, 2.0f};
    info.base = 0; // a black picture, so only the bars light pixels
    for (int i = 0; i < 16; i++) info.spectrum16[i] = values[i % 4];
    Frame frame = render(flat);

    for (int i = 0; i < 16; i++) {
        int x = i * 45;
        float v = values[i % 4];
        Bar bar = barAt(frame, x);
        if (v == 0) {
            EXPECT_EQ(bar.count, 0) << "bar " << i;
            continue;
        }
        int half = (int)fminf(v * 250, 300);
        EXPECT_NEAR(bar.first, 300 - half, 1) << "bar " << i;
        EXPECT_NEAR(bar.last, 300 + half - 1, 1) << "bar " << i;
        EXPECT_EQ(bar.count, bar.last - bar.first + 1) << "bar " << i << " has gaps";
        // The bars take the picture's colour at full strength, whatever the beat.
        int col = isBlack(frame.canvas(x, 300)) ? x - 1 : x;
        EXPECT_TRUE(near(frame.canvas(col, 300), FLAT)) << "bar " << i << ": " << show(frame.canvas(col, 300));
    }
    // Between the bars the canvas stays black.
    for (int i = 0; i < 16; i++)
        for (int y : {0, 150, 300, 599}) EXPECT_TRUE(isBlack(frame.canvas(i * 45 + 22, y))) << i << "," << y;
    // A bar longer than the canvas is clipped at its edges.
    EXPECT_TRUE(isBlack(frame.window(VIEW_X + 3 * 45, VIEW_Y - 2)));
    EXPECT_TRUE(isBlack(frame.window(VIEW_X + 3 * 45 - 1, VIEW_Y - 2)));
    EXPECT_TRUE(isBlack(frame.window(VIEW_X + 3 * 45, VIEW_Y + VIEW_H + 1)));
    EXPECT_TRUE(isBlack(frame.window(VIEW_X + 3 * 45 - 1, VIEW_Y + VIEW_H + 1)));
}

TEST_F(LogoScene, TheCurrentBlendFunctionApplies) {
    // The driver's additive blend over a grey background.
    info.base = 0.5f;
    glViewport(VIEW_X, VIEW_Y, VIEW_W, VIEW_H);
    glDisable(GL_DEPTH_TEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glClearColor(40 / 255.0f, 40 / 255.0f, 40 / 255.0f, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    flat->run(0.016f);
    glFinish();
    unsigned char px[4];
    glReadPixels(VIEW_X + 400, VIEW_Y + 300, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    Rgb want = scaled(FLAT, 0.5f);
    want = {want.r + 40, want.g + 40, want.b + 40};
    EXPECT_TRUE(near({px[0], px[1], px[2]}, want)) << show({px[0], px[1], px[2]}) << " want " << show(want);
    GLint src, dst;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_EQ(src, GL_SRC_ALPHA);
    EXPECT_EQ(dst, GL_ONE);
}

TEST_F(LogoScene, DrawingIsTheSameForAnyFrameTime) {
    info.base = 0.5f;
    for (int i = 0; i < 16; i++) info.spectrum16[i] = 0.07f * i;
    Frame reference = render(flat, 0);
    for (float f : {0.016f, 1.0f, -3.0f, 1e6f, NAN}) EXPECT_TRUE(render(flat, f) == reference) << "f = " << f;
}

TEST_F(LogoScene, LeavesTexturingAndBlendingOnTheColourWhiteAndTheCanvasMatrices) {
    glEnable(GL_LIGHTING);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glTranslatef(5, 5, 5);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(7, 7, 7);
    info.base = 0.3f;
    render(flat);

    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    GLint bound = 0, mode = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, flat->texNork);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    float colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    for (float c : colour) EXPECT_FLOAT_EQ(c, 1.0f);

    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    for (int i = 0; i < 16; i++) EXPECT_FLOAT_EQ(m[i], i % 5 == 0 ? 1.0f : 0.0f) << i;
    // glOrtho(0, 800, 600, 0, -1, 1): y grows downward.
    const float ortho[16] = {2.0f / 800, 0, 0, 0, 0, -2.0f / 600, 0, 0, 0, 0, -1, 0, -1, 1, 0, 1};
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    for (int i = 0; i < 16; i++) EXPECT_NEAR(m[i], ortho[i], 1e-6) << i;
    glDisable(GL_LIGHTING);
}

TEST_F(LogoScene, ConstructionPrintsItsOwnTextureName) {
    std::string printed;
    Scene0* scene = buildScene(flatLib, &printed);
    EXPECT_GT(scene->texNork, 0);
    EXPECT_NE(scene->texNork, flat->texNork);
    EXPECT_EQ(printed, "texNork: " + std::to_string(scene->texNork) + "\n");
    EXPECT_TRUE(glIsTexture(scene->texNork));
    GLint w = 0;
    glBindTexture(GL_TEXTURE_2D, scene->texNork);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    EXPECT_EQ(w, 16);
    Scene* base = scene;
    delete base;
}

TEST_F(LogoScene, MissingPictureStillGivesATextureNameAndRuns) {
    nork_lib_t* lib = handleOn(*tmp + "/empty");
    ASSERT_NE(lib, nullptr);
    std::string printed;
    Scene0* scene = buildScene(lib, &printed);
    ASSERT_NE(scene, nullptr);
    EXPECT_GT(scene->texNork, 0);
    EXPECT_EQ(printed, "texNork: " + std::to_string(scene->texNork) + "\n");
    EXPECT_TRUE(glIsTexture(scene->texNork));
    GLint w = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    EXPECT_EQ(w, 0);
    scene->setInfo(&info);
    info.base = 0.5f;
    render(scene);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    delete scene;
    nork_delete(lib);
}

} // namespace
