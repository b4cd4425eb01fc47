/*
 * The tower scene: loads its pictures, the tower model and the scroll text through the
 * library, then every frame sets its camera and light and draws the ground, the far half
 * of the scroller, the tower, the flares and the near half, and moves the fire and the
 * scroller on.
 */
#include "Scene1.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <GL/glu.h>

#include "ParticleSystemFire.h"
#include "ScrollerSpiral.h"
#include "global.h"
#include "vector.h"

GLuint listFlare = 0;
bool g_bBillboard = true;
bool g_bRandomize = false;
float g_fSize = 1.0f;

static const float GROUND_HALF_SIDE = 450; /* hsize, scene units */
static const float GROUND_REPEAT = 10;     /* grass tiles along each side */
static const float EMIT_START = -10.0f;    /* seconds before the accumulator starts counting */
static const double EMIT_STEP = 0.5;       /* seconds per particle */
static const int MAX_PARTICLES = 150;
static const float TURN_SPEED = -30;       /* degrees per second */
static const double RAND_SCALE = 4.656612873077393e-10; /* 2^-31 */

/* Decodes, converts and uploads one picture; a missing or broken file gives an
 * empty texture. The pixels live on in GL, so the image is released here. */
static int loadTexture(const char* name) {
    nork_image_t* image = nork_imageFromPNG(pNorkLib, name);
    nork_image_toRGBA8888(pNorkLib, image);
    int tex = util_textureFromNorkImage(pNorkLib, image);
    nork_image_delete(pNorkLib, &image);
    return tex;
}

Scene1::Scene1() : texTurm(0), texGrass(0), texBurst(0), texFont(0), poTurm(nullptr), psf(nullptr), pss(nullptr) {
    texGrass = loadTexture("data/grass.png");
    texTurm = loadTexture("data/turm.png");
    texBurst = loadTexture("data/burst.png");

    poTurm = nork_oia_load(pNorkLib, "data/brackenhold-0.oia");

    listFlare = glGenLists(1);

    psf = new ParticleSystemFire;
    pss = new ScrollerSpiral;

    // The scroll text ends in its own NUL; a file without one (or a missing file)
    // must not be read past its end, so the text is taken up to the first NUL
    // within the file's bytes.
    nork_memfile_t* text = nork_memfile_new(pNorkLib);
    std::string scroll;
    if (text && nork_memfile_load(pNorkLib, text, "data/scroll1.txt") == 0 && text->pData)
        scroll.assign((const char*)text->pData, strnlen((const char*)text->pData, (size_t)text->iSize));
    pss->setText(scroll.c_str());
    nork_memfile_delete(&text);

    texFont = loadTexture("data/MossGlade.png");
    pss->setFontTex(texFont);
}

/* The scene owns everything it made: the effects, the model, its textures and
 * the flare list (the GL context must still be current). */
Scene1::~Scene1() {
    if (psf) delete psf;
    if (pss) delete pss;
    nork_oia_delete(pNorkLib, &poTurm);
    GLuint textures[] = {(GLuint)texGrass, (GLuint)texTurm, (GLuint)texBurst, (GLuint)texFont};
    glDeleteTextures(4, textures);
    glDeleteLists(listFlare, 1);
    listFlare = 0;
}

void emitParticles(float& tLastAdd, float f, ParticleSystemFire* psf) {
    tLastAdd += f;
    if (tLastAdd > EMIT_STEP) {
        if (psf->getNumber() < MAX_PARTICLES) psf->addParticles(1);
        tLastAdd -= EMIT_STEP;
    }
}

float flareAlpha(float age) { return (float)((1 - age / 10) * 0.8); }

double eyeHeight(double t) { return 60 + 10 * (sin(t) + 1); }

float setAngle(double t) { return (float)fmod(TURN_SPEED * t, 360.0); }

void Scene1::run(float f) {
    // The scene clock is summed in double: in a float sum a frame's f falls below
    // half a step of t after hours (at 2000 frames a second) or days (at 60), and the
    // set and the camera stop.
    static double t = 0.0;
    static float tLastAdd = EMIT_START;

    const float lightPos[] = {-5, -3, -45, 0};
    const float lightDiff[] = {1, 1, 1, 1};
    const float lightSpec[] = {1, 1, 1, 1};
    const float lightAmb[] = {0.2f, 0.2f, 0.4f, 1};
    const float matEmission[] = {0.8f, 0.8f, 0.8f, 1};
    const float matAmb[] = {0.6f, 0.6f, 0.8f, 1};
    const float matShine[] = {40};
    const float matSpec[] = {1, 1, 1, 1};
    const float matDiff[] = {0.8f, 0.8f, 1, 1};
    const float hsize = GROUND_HALF_SIDE;

    t += f;

    // Projection with aspect 1: the letterbox viewport stretches the picture.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(100, 1, 1, 250);

    // The camera bobs between heights 60 and 80.
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0, eyeHeight(t), -100, 0, 0, 0, 0, 1, 0);

    // Light after the camera, so it stays fixed in the world while the set turns.
    glLightfv(GL_LIGHT1, GL_POSITION, lightPos);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, lightDiff);
    glLightfv(GL_LIGHT1, GL_SPECULAR, lightSpec);
    glLightfv(GL_LIGHT1, GL_AMBIENT, lightAmb);
    glLightModelf(GL_LIGHT_MODEL_LOCAL_VIEWER, 1);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT1);

    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, matEmission);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, matAmb);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SHININESS, matShine);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, matSpec);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, matDiff);

    glShadeModel(GL_SMOOTH);
    glClearDepth(1);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_TEXTURE_2D);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);

    // The whole set sits lower and turns.
    glTranslatef(0, -30, 0);
    glRotatef(setAngle(t), 0, 1, 0);

    // Ground: the grass repeated ten times along each side.
    glPushMatrix();
    glColor3f(1, 1, 1);
    glBindTexture(GL_TEXTURE_2D, texGrass);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex3f(-hsize, 0, -hsize);
    glTexCoord2f(GROUND_REPEAT, 0);
    glVertex3f(-hsize, 0, hsize);
    glTexCoord2f(GROUND_REPEAT, GROUND_REPEAT);
    glVertex3f(hsize, 0, hsize);
    glTexCoord2f(0, GROUND_REPEAT);
    glVertex3f(hsize, 0, -hsize);
    glEnd();
    glPopMatrix();

    // Far half of the scroller: its quads face outwards, so culling front faces
    // leaves the half behind the tower.
    glEnable(GL_CULL_FACE);
    glCullFace(GL_FRONT);
    pss->draw();
    glCullFace(GL_BACK);

    // Tower.
    if (poTurm) {
        glPushMatrix();
        glScalef(5, 5, 5);
        glBindTexture(GL_TEXTURE_2D, texTurm);
        glInterleavedArrays(poTurm->format, poTurm->stride, poTurm->pointer);
        glDrawArrays(poTurm->mode, 0, poTurm->count);
        glPopMatrix();
    }

    // Flares from the tower's top (the model is about 12.3 units tall, scaled by 5).
    glPushMatrix();
    glBindTexture(GL_TEXTURE_2D, texBurst);
    glTranslatef(0, 60, 0);
    glScalef(4, 6, 4);
    display();
    glPopMatrix();

    // Near half of the scroller, back faces culled.
    pss->draw();

    glDisable(GL_TEXTURE_2D);

    emitParticles(tLastAdd, f, psf);
    psf->update(f);
    pss->update(f);
}

void Scene1::flareMakeList() {
    vector vPoint0(-1, -1, 0);
    vector vPoint1(1, -1, 0);
    vector vPoint2(1, 1, 0);
    vector vPoint3(-1, 1, 0);

    if (g_bBillboard) {
        // The model-view matrix's first two rows, unnormalised: the quad faces the
        // camera and grows with any scale on the matrix.
        float mat[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, mat);
        vector vRight(mat[0], mat[4], mat[8]);
        vector vUp(mat[1], mat[5], mat[9]);
        vector vCenter(0, 0, 0);
        vPoint0 = vCenter + (-vRight - vUp) * g_fSize;
        vPoint1 = vCenter + (vRight - vUp) * g_fSize;
        vPoint2 = vCenter + (vRight + vUp) * g_fSize;
        vPoint3 = vCenter + (-vRight + vUp) * g_fSize;
    }

    glNewList(listFlare, GL_COMPILE);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex3f(vPoint0.x, vPoint0.y, vPoint0.z);
    glTexCoord2f(1, 0);
    glVertex3f(vPoint1.x, vPoint1.y, vPoint1.z);
    glTexCoord2f(1, 1);
    glVertex3f(vPoint2.x, vPoint2.y, vPoint2.z);
    glTexCoord2f(0, 1);
    glVertex3f(vPoint3.x, vPoint3.y, vPoint3.z);
    glEnd();
    glEndList();
}

void Scene1::display() {
    int iNum = psf->getNumber();
    float* pf = psf->getPositions();
    float* pfAges = psf->getAges();

    flareMakeList();

    // Flares: additive, no depth writes, drawn through the tower and the scroller.
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glDisable(GL_LIGHTING);
    glColor4f(1, 1, 1, 0.2f);
    glScalef(0.5f, 0.5f, 0.5f);

    for (int i = 0; i < iNum; i++) {
        // A flare of ten seconds or more has alpha 0 or below: under the additive blend
        // its quad adds nothing to any pixel, so it is not drawn at all (a third of the
        // flares in the steady state, and half the flare time on a software rasteriser).
        float alpha = flareAlpha(pfAges[i]);
        if (!g_bRandomize && alpha <= 0) continue;
        glPushMatrix();
        if (g_bRandomize) {
            double u1 = rand() * RAND_SCALE;
            double u2 = rand() * RAND_SCALE;
            double u3 = rand() * RAND_SCALE;
            double u4 = rand() * RAND_SCALE;
            glTranslatef((float)(5 * u3 - 2.5), (float)(5 * u2 - 2.5), (float)(1.5 * u1));
            glColor4f(1, 1, 1, (float)(0.8 * u4 + 0.2));
            glRotatef(15, 0, 0, 1);
        } else {
            glTranslatef(pf[3 * i], pf[3 * i + 1], pf[3 * i + 2]);
            glColor4f(1, 1, 1, alpha);
        }
        glCallList(listFlare);
        glPopMatrix();
    }

    glDepthMask(GL_TRUE);
    glBlendFunc(GL_ONE, GL_ZERO);
    glEnable(GL_DEPTH_TEST);
}
