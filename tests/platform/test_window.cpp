// The window layer against a real X server: size reports, quit keys, the window
// manager's close request and the end of the loop. Key and client events are
// sent from a second connection, as a user's keyboard or a window manager would.
#include <gtest/gtest.h>

#include <string.h>
#include <vector>

#include "window_x11.h"
#include "x_display.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <X11/extensions/XTest.h>

namespace {

Display* peer; // a second client: the "user" and the "window manager"
std::vector<int> reports;
int frames;
int framesAtFirstReport;
int (*script)(int frame);

void onEvent(int type, int x, int y) {
    EXPECT_EQ(type, 1);
    if (reports.empty()) framesAtFirstReport = frames;
    reports.push_back(x);
    reports.push_back(y);
}

int onFrame() {
    int r = script(frames);
    frames++;
    return r;
}

// Runs the loop with a frame script; gives up after many frames so a broken
// quit path fails the test instead of hanging it.
bool runLoop(int (*frameScript)(int)) {
    reports.clear();
    frames = 0;
    framesAtFirstReport = -1;
    script = frameScript;
    loopWindow(onFrame, onEvent);
    return frames < 2000;
}

void typeKey(KeySym sym, bool control = false) {
    XSetInputFocus(peer, window, RevertToParent, CurrentTime);
    KeyCode ctrl = XKeysymToKeycode(peer, XK_Control_L);
    if (control) XTestFakeKeyEvent(peer, ctrl, True, CurrentTime);
    KeyCode code = XKeysymToKeycode(peer, sym);
    XTestFakeKeyEvent(peer, code, True, CurrentTime);
    XTestFakeKeyEvent(peer, code, False, CurrentTime);
    if (control) XTestFakeKeyEvent(peer, ctrl, False, CurrentTime);
    XSync(peer, False);
}

void sendClientMessage(const char* type, const char* data) {
    XEvent ev = {};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = window;
    ev.xclient.message_type = XInternAtom(peer, type, False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = (long)XInternAtom(peer, data, False);
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(peer, window, False, NoEventMask, &ev);
    XSync(peer, False);
}

// Waits (a bounded number of frames) until the peer's events reached our queue.
int quitAfterKey(KeySym sym, bool control) {
    if (frames == 1) typeKey(sym, control);
    return frames > 1000;
}

class WindowLayer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(xServerAnswers());
        static char name[] = "test_window";
        commandLineName = name;
        initWindow(800, 600);
        peer = XOpenDisplay(nullptr);
        ASSERT_NE(peer, nullptr);
    }
    // The window stays open until the process ends: closing the display unloads
    // the GL driver, whose caches would then show as leaks of an unknown module.
    static void TearDownTestSuite() { XCloseDisplay(peer); }
};

} // namespace

TEST_F(WindowLayer, OpensTheAskedSizeAtTheTopLeftWithItsTitle) {
    XWindowAttributes attr;
    XGetWindowAttributes(peer, window, &attr);
    EXPECT_EQ(attr.width, 800);
    EXPECT_EQ(attr.height, 600);
    Window child;
    int x, y;
    XTranslateCoordinates(peer, window, DefaultRootWindow(peer), 0, 0, &x, &y, &child);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    char* title = nullptr;
    ASSERT_TRUE(XFetchName(peer, window, &title));
    EXPECT_STREQ(title, "nork velandor");
    XFree(title);
    EXPECT_EQ(attr.all_event_masks & (KeyPressMask | StructureNotifyMask), KeyPressMask | StructureNotifyMask);
}

TEST_F(WindowLayer, FrameReturningNonZeroIsSwappedOnceAndEndsTheLoop) {
    ASSERT_TRUE(runLoop([](int) { return 1; }));
    EXPECT_EQ(frames, 1);
    // The size is reported once, before the first frame.
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(framesAtFirstReport, 0);
    EXPECT_EQ(reports[0], 800);
    EXPECT_EQ(reports[1], 600);
}

TEST_F(WindowLayer, QuitKeysEndTheLoop) {
    struct { KeySym sym; bool control; } keys[] = {{XK_q, false}, {XK_Q, false}, {XK_Escape, false}, {XK_c, true}};
    static KeySym sym;
    static bool control;
    for (auto& k : keys) {
        sym = k.sym;
        control = k.control;
        ASSERT_TRUE(runLoop([](int) { return quitAfterKey(sym, control); })) << XKeysymToString(k.sym);
        EXPECT_LT(frames, 1000) << XKeysymToString(k.sym) << " did not end the loop";
    }
}

TEST_F(WindowLayer, OtherKeysAreIgnored) {
    static const KeySym others[] = {XK_a, XK_Left, XK_F1, XK_space, XK_Return, XK_Shift_L};
    ASSERT_TRUE(runLoop([](int frame) {
        if (frame == 1)
            for (KeySym k : others) typeKey(k);
        return frame >= 200 ? 1 : 0;
    }));
    EXPECT_EQ(frames, 201);
}

TEST_F(WindowLayer, ResizeReportsOnceAndMoveNotAtAll) {
    ASSERT_TRUE(runLoop([](int frame) {
        if (frame == 1) {
            XMoveWindow(peer, window, 10, 10); // same size: no report
            XSync(peer, False);
        }
        if (frame == 50) {
            XResizeWindow(peer, window, 1024, 700);
            XSync(peer, False);
        }
        if (frame == 100) {
            XMoveResizeWindow(peer, window, 0, 0, 1024, 700); // moved back, same size
            XSync(peer, False);
        }
        return frame >= 200 ? 1 : 0;
    }));
    ASSERT_EQ(reports.size(), 4u);
    EXPECT_EQ(reports[2], 1024);
    EXPECT_EQ(reports[3], 700);
    EXPECT_EQ(windowWidth, 1024);
    EXPECT_EQ(windowHeight, 700);

    // Put the window back for the other tests.
    XResizeWindow(peer, window, 800, 600);
    XSync(peer, False);
    runLoop([](int frame) { return frame >= 50 ? 1 : 0; });
    EXPECT_EQ(windowWidth, 800);
}

TEST_F(WindowLayer, WindowManagerCloseEndsTheLoopOtherClientMessagesDoNot) {
    ASSERT_TRUE(runLoop([](int frame) {
        if (frame == 1) sendClientMessage("WM_PROTOCOLS", "WM_TAKE_FOCUS");
        if (frame == 2) sendClientMessage("_NET_WM_STATE", "WM_DELETE_WINDOW");
        return frame >= 200 ? 1 : 0;
    }));
    EXPECT_EQ(frames, 201);

    ASSERT_TRUE(runLoop([](int frame) {
        if (frame == 1) sendClientMessage("WM_PROTOCOLS", "WM_DELETE_WINDOW");
        return frame > 1000 ? 1 : 0;
    }));
    EXPECT_LT(frames, 1000);
}
