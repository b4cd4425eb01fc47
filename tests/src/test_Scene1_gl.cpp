// The tower scene on a real GL context (Xvfb, Mesa): the flare billboard, the
// GL state the scene leaves behind, a scene built without any data, and whole
// frames at fixed scene times against reference pictures.
#include <gtest/gtest.h>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "picture.h"
#include "png_helpers.h"

#include "ParticleSystemFire.h"
#include "Scene1.h"
#include "ScrollerSpiral.h"
#include "global.h"
#include "window.h"
#include "x_display.h"

nork_lib_t* pNorkLib = nullptr;

namespace {

const int W = 1280, H = 1024;
const int LETTERBOX_Y = 152, LETTERBOX_H = 720;

struct Corner {
    float x, y, s, t;
    bool operator<(const Corner& o) const { return std::tie(x, y, s, t) < std::tie(o.x, o.y, o.s, o.t); }
    bool operator==(const Corner& o) const { return std::tie(x, y, s, t) == std::tie(o.x, o.y, o.s, o.t); }
};

// The corners the flare list draws, through GL feedback: window coordinates in
// an 8x8 viewport over an orthographic box of -4..4, so x = 4 + object x.
std::set<Corner> flareCorners() {
    glViewport(0, 0, 8, 8);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-4, 4, -4, 4, -4, 4);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    std::vector<GLfloat> buf(1024);
    glFeedbackBuffer((GLsizei)buf.size(), GL_3D_COLOR_TEXTURE, buf.data());
    glRenderMode(GL_FEEDBACK);
    glCallList(listFlare);
    int n = glRenderMode(GL_RENDER);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);

    // Each vertex: x, y, z, r, g, b, a, s, t, r, q.
    std::set<Corner> corners;
    for (int i = 0; i < n;) {
        EXPECT_EQ(buf[i], (GLfloat)GL_POLYGON_TOKEN);
        int count = (int)buf[i + 1];
        i += 2;
        for (int v = 0; v < count; v++, i += 11)
            corners.insert({buf[i] - 4, buf[i + 1] - 4, buf[i + 7], buf[i + 8]});
    }
    return corners;
}

void expectStateAfterRun() {
    GLint v;
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_LIGHT1));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    glGetIntegerv(GL_DEPTH_FUNC, &v);
    EXPECT_EQ(v, GL_LEQUAL);
    GLboolean mask;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_TRUE(mask);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    glGetIntegerv(GL_BLEND_SRC, &v);
    EXPECT_EQ(v, GL_ONE);
    glGetIntegerv(GL_BLEND_DST, &v);
    EXPECT_EQ(v, GL_ZERO);
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    glGetIntegerv(GL_CULL_FACE_MODE, &v);
    EXPECT_EQ(v, GL_BACK);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// One frame as the driver frames it: black window, the letterbox viewport, the scene.
std::vector<unsigned char> renderFrame(Scene& scene, float f) {
    glViewport(0, 0, W, H);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glViewport(0, LETTERBOX_Y, W, LETTERBOX_H);
    scene.run(f);
    glFinish();
    std::vector<unsigned char> rgb((size_t)W * LETTERBOX_H * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, LETTERBOX_Y, W, LETTERBOX_H, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    // GL rows run bottom to top; pictures top to bottom.
    std::vector<unsigned char> flipped(rgb.size());
    for (int y = 0; y < LETTERBOX_H; y++)
        std::copy_n(&rgb[(size_t)(LETTERBOX_H - 1 - y) * W * 3], W * 3, &flipped[(size_t)y * W * 3]);
    return flipped;
}

void writePicture(const std::string& path, const std::vector<unsigned char>& rgb) {
    pngt::PngSpec spec;
    spec.width = W;
    spec.height = LETTERBOX_H;
    spec.colorType = 2;
    EXPECT_TRUE(pngt::writePngFile(path, spec, rgb)) << path;
}

// Compares with the reference picture, tolerating what differs between GL
// rasterisers: small colour differences everywhere and a few edge pixels.
// NV_UPDATE_REFERENCES=1 writes the references instead.
void compareWithReference(const std::string& name, const std::vector<unsigned char>& rgb) {
    std::string ref = std::string(NV_TEST_DATA) + "/" + name + ".png";
    if (getenv("NV_UPDATE_REFERENCES")) {
        writePicture(ref, rgb);
        return;
    }
    pngt::Bytes file = pngt::readBytes(ref);
    ASSERT_FALSE(file.empty()) << "missing reference " << ref << " (NV_UPDATE_REFERENCES=1 makes it)";
    pngt::Bytes want;
    unsigned w = 0, h = 0;
    ASSERT_TRUE(pngt::readPngRaw(file, &want, &w, &h));
    ASSERT_EQ(w, (unsigned)W);
    ASSERT_EQ(h, (unsigned)LETTERBOX_H);
    nvt::Difference d = nvt::difference(rgb.data(), want.data(), rgb.size() / 3, 48);
    double mean = d.mean;
    size_t far = d.farValues;
    bool ok = mean < 2.0 && far < rgb.size() / 200;
    if (!ok) {
        std::string actual = std::string(NV_BINARY_DIR) + "/" + name + ".actual.png";
        writePicture(actual, rgb);
        ADD_FAILURE() << name << ": mean difference " << mean << ", " << far << " values far off; actual picture in "
                      << actual;
    }
}

double meanOf(const std::vector<unsigned char>& rgb, int x0, int y0, int x1, int y1, int c) {
    double sum = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) sum += rgb[((size_t)y * W + x) * 3 + c];
    return sum / ((x1 - x0) * (y1 - y0));
}

class TowerScene : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(xServerAnswers());
        static char name[] = "test_scene1_gl";
        commandLineName = name;
        initWindow(W, H);
    }
    // The window stays open until the process ends: closing the display unloads
    // the GL driver, whose caches would then show as leaks of an unknown module.
    void TearDown() override {
        if (pNorkLib) nork_delete(pNorkLib);
        pNorkLib = nullptr;
    }
};

} // namespace

TEST_F(TowerScene, FlareQuadFacesTheCameraAndGrowsWithTheMatrixScale) {
    pNorkLib = nork_new(); // no sources: the scene must build without any data
    Scene1 scene;
    EXPECT_EQ(scene.poTurm, nullptr);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    scene.flareMakeList();
    std::set<Corner> unit = {{-1, -1, 0, 0}, {1, -1, 1, 0}, {1, 1, 1, 1}, {-1, 1, 0, 1}};
    EXPECT_EQ(flareCorners(), unit);

    glLoadIdentity();
    glScalef(2, 2, 2);
    scene.flareMakeList();
    std::set<Corner> doubled = {{-2, -2, 0, 0}, {2, -2, 1, 0}, {2, 2, 1, 1}, {-2, 2, 0, 1}};
    EXPECT_EQ(flareCorners(), doubled);

    // A turn about z: the quad turns with the camera's rows.
    glLoadIdentity();
    glRotatef(90, 0, 0, 1);
    scene.flareMakeList();
    for (const Corner& c : flareCorners()) {
        EXPECT_NEAR(fabsf(c.x), 1, 1e-5);
        EXPECT_NEAR(fabsf(c.y), 1, 1e-5);
    }

    g_bBillboard = false; // the fixed unit square whatever the matrix
    glLoadIdentity();
    glScalef(3, 3, 3);
    scene.flareMakeList();
    EXPECT_EQ(flareCorners(), unit);
    g_bBillboard = true;
}

TEST_F(TowerScene, DisplayWithoutParticlesLeavesTheFlareState) {
    pNorkLib = nork_new();
    Scene1 scene;
    glEnable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    scene.display();
    EXPECT_EQ(scene.psf->getNumber(), 0);
    GLint v;
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    glGetIntegerv(GL_BLEND_SRC, &v);
    EXPECT_EQ(v, GL_ONE);
    glGetIntegerv(GL_BLEND_DST, &v);
    EXPECT_EQ(v, GL_ZERO);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    GLboolean mask;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_TRUE(mask);
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// The flares as GL receives them: one quad per particle younger than ten seconds, in the
// particles' order, each with its alpha; those of ten seconds and more (alpha 0 or below,
// nothing under the additive blend) are not sent at all.
TEST_F(TowerScene, DisplaySendsOnlyFlaresThatAddLight) {
    pNorkLib = nork_new();
    Scene1 scene;
    const float ages[] = {0, 12, 5, 10, 9.99f, 14.9f, 2};
    const int n = (int)(sizeof ages / sizeof ages[0]);
    scene.psf->addParticles(n);
    for (int i = 0; i < n; i++) {
        scene.psf->getAges()[i] = ages[i];
        float* p = scene.psf->getPositions() + 3 * i;
        p[0] = (float)(4 * i - 12); // the quads lie apart along x, in list order
        p[1] = p[2] = 0;
    }
    glViewport(0, 0, 64, 8);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-8, 8, -1, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    std::vector<GLfloat> buf(4096);
    glFeedbackBuffer((GLsizei)buf.size(), GL_3D_COLOR_TEXTURE, buf.data());
    glRenderMode(GL_FEEDBACK);
    scene.display();
    int size = glRenderMode(GL_RENDER);
    ASSERT_GT(size, 0);

    // Each polygon: its alpha and the x of its centre; a quad may come as two triangles.
    std::vector<std::pair<float, float>> drawn;
    for (int i = 0; i < size;) {
        ASSERT_EQ(buf[i], (GLfloat)GL_POLYGON_TOKEN);
        int count = (int)buf[i + 1];
        i += 2;
        float x = 0, alpha = buf[i + 6];
        for (int v = 0; v < count; v++, i += 11) x += buf[i] / count;
        if (drawn.empty() || drawn.back().first != alpha) drawn.push_back({alpha, x});
    }
    std::vector<float> expected;
    for (float age : ages) {
        if (age < 10) expected.push_back(flareAlpha(age));
    }
    ASSERT_EQ(drawn.size(), expected.size());
    for (size_t k = 0; k < drawn.size(); k++) {
        EXPECT_NEAR(drawn[k].first, expected[k], 1e-6) << "flare " << k;
        if (k > 0) {
            EXPECT_GT(drawn[k].second, drawn[k - 1].second) << "flare " << k << " out of order";
        }
    }
}

TEST_F(TowerScene, SceneWithoutDataRunsAndKeepsTheStateContract) {
    pNorkLib = nork_new();
    Scene1 scene;
    for (int i = 0; i < 5; i++) renderFrame(scene, 3.0f);
    expectStateAfterRun();
}

// Where the camera stands in the set's own coordinates after a frame: the eye
// height (above the ground, which lies 30 below the origin) and the set's turn.
struct View {
    double height, degrees;
};

View viewAfter(Scene& scene, float f) {
    scene.run(f);
    double m[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, m);
    // The matrix is rigid: the eye is -R^T t, with R the upper 3x3 and t the translation.
    double eye[3];
    for (int i = 0; i < 3; i++) eye[i] = -(m[4 * i] * m[12] + m[4 * i + 1] * m[13] + m[4 * i + 2] * m[14]);
    // The eye stands at (0, h, -100) in the world; the set turned by a shows it at
    // (100 sin a, h + 30, -100 cos a).
    return {eye[1] - 30, atan2(eye[0], -eye[2]) * 180 / M_PI};
}

// A show left running for days at an exhibition, on a monitor with vsync or on a
// fast card: every frame's step of the camera, the set's turn and the scroller
// stays what it is in the first minute. The clock is process-wide and moves on
// from one stretch to the next: one long frame carries it to the next day mark.
TEST_F(TowerScene, LongRunsKeepTheirPaceForDays) {
    pNorkLib = nork_new();
    Scene1 scene;
    glViewport(0, LETTERBOX_Y, W, LETTERBOX_H);
    const double day = 86400;
    double t = 0; // the scene time the frames add up to, as the test counts it
    const double marks[] = {0, day, 7 * day, 30 * day};
    for (double mark : marks) {
        if (mark > t) {
            float jump = (float)(mark - t);
            viewAfter(scene, jump);
            t += jump;
        }
        for (float fps : {60.0f, 2000.0f}) {
            SCOPED_TRACE(testing::Message() << "day " << mark / day << ", " << fps << " frames a second");
            float f = 1 / fps;
            View before = viewAfter(scene, f);
            t += f;
            float scroll = scene.pss->fScrollSoft;
            for (int i = 0; i < 3; i++) {
                View after = viewAfter(scene, f);
                t += f;
                // 30 degrees a second, clockwise seen from above.
                double turned = remainder(after.degrees - before.degrees, 360.0);
                EXPECT_NEAR(turned, -30.0 * f, 0.03 * 30 * f);
                // The bob's rate at this moment, 10 cos t, within a few percent of its swing.
                EXPECT_NEAR(after.height - before.height, 10 * cos(t) * f, 0.03 * 10 * f);
                before = after;
            }
            // The scroller rises 0.1 a frame, whatever the time.
            double rose = remainder(scene.pss->fScrollSoft - scroll, 28.8);
            EXPECT_NEAR(rose, 0.3, 0.003);
        }
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// The scene's clock is process-wide, so the frames are taken in one test, in order.
TEST_F(TowerScene, FramesAtFixedSceneTimesMatchTheReferences) {
    pNorkLib = nork_new();
    std::string dir = NV_SOURCE_ROOT;
    nork_dar_add_dir(pNorkLib, dir.c_str());
    Scene1 scene;
    ASSERT_NE(scene.poTurm, nullptr) << "data/brackenhold-0.oia not found under " << dir;

    std::vector<unsigned char> t0 = renderFrame(scene, 0.0f);
    expectStateAfterRun();
    compareWithReference("scene1_t0", t0);

    std::vector<unsigned char> t3 = renderFrame(scene, 3.0f);
    compareWithReference("scene1_t3", t3);
    EXPECT_NE(t0, t3) << "the set should have turned";

    // 87 more seconds in half-second frames: particles from 10.5 s on, capped at 150.
    std::vector<unsigned char> t90;
    for (int i = 0; i < 174; i++) t90 = renderFrame(scene, 0.5f);
    EXPECT_EQ(scene.psf->getNumber(), 150);
    compareWithReference("scene1_t90", t90);

    // Flares add light above the tower's top; the grass fills the lower middle.
    double above = meanOf(t90, 560, 40, 720, 200, 0) + meanOf(t90, 560, 40, 720, 200, 1);
    double before = meanOf(t3, 560, 40, 720, 200, 0) + meanOf(t3, 560, 40, 720, 200, 1);
    EXPECT_GT(above, before);
    EXPECT_GT(meanOf(t90, 0, 600, W, 720, 1), meanOf(t90, 0, 600, W, 720, 2)); // green over blue
}
