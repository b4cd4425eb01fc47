// The command line: values that overflow, trail garbage or name nothing are refused, never
// turned into a window id or a size; the screensaver's variable is read by the convention
// and only where the command line leaves room for it; options that contradict each other are
// refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "options.h"

namespace {

options_t parse(std::vector<std::string> args, const char* saverWindow = nullptr) {
    args.insert(args.begin(), "velandor");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    options_t options;
    parseOptions((int)args.size(), argv.data(), saverWindow, &options);
    return options;
}

} // namespace

TEST(Options, NoneIsTheShowInItsOwnDesktopSizedWindowWithMusic) {
    options_t o = parse({});
    EXPECT_EQ(o.action, OPTIONS_RUN);
    EXPECT_EQ(o.width, -1);
    EXPECT_EQ(o.height, 600);
    EXPECT_EQ(o.window.drawInto, 0ul);
    EXPECT_FALSE(o.window.drawIntoRoot || o.window.fullscreen || o.window.kiosk || o.window.noVsync);
    EXPECT_TRUE(o.sound);
}

TEST(Options, HelpAndVersionWinWhereverTheyStand) {
    EXPECT_EQ(parse({"--help"}).action, OPTIONS_HELP);
    EXPECT_EQ(parse({"--kiosk", "-h"}).action, OPTIONS_HELP);
    EXPECT_EQ(parse({"--version"}).action, OPTIONS_VERSION);
    EXPECT_EQ(parse({"--fullscreen", "-V", "--help"}).action, OPTIONS_VERSION);
}

TEST(Options, UnknownOptionsAndArgumentsAreRefusedByName) {
    for (const char* bad : {"--bogus", "-x", "--fullscreen=yes", "--sizes", "--root=1", "show"}) {
        options_t o = parse({bad});
        EXPECT_EQ(o.action, OPTIONS_REFUSED) << bad;
        EXPECT_NE(std::string(o.refusal).find(bad), std::string::npos) << o.refusal;
    }
}

TEST(Options, WindowIdIsDecimalOrHexWithin29Bits) {
    EXPECT_EQ(parse({"--window-id", "41943047"}).window.drawInto, 41943047ul);
    EXPECT_EQ(parse({"--window-id", "0x2a00007"}).window.drawInto, 0x2a00007ul);
    EXPECT_EQ(parse({"--window-id=0X1FFFFFFF"}).window.drawInto, 0x1ffffffful);
    EXPECT_EQ(parse({"--window-id", "010"}).window.drawInto, 10ul); // decimal, not octal
    for (const char* bad : {"0", "0x0", "0x", "0x20000000", "536870912", "18446744073709551617",
                            "0x10000000000000000", "12abc", "-5", "+5", " 12", "0xg", ""}) {
        options_t o = parse({"--window-id", bad});
        EXPECT_EQ(o.action, OPTIONS_REFUSED) << "'" << bad << "'";
        EXPECT_EQ(o.window.drawInto, 0ul) << bad;
    }
    EXPECT_EQ(parse({"--window-id"}).action, OPTIONS_REFUSED);
}

TEST(Options, SizeIsTwoSidesFrom1To16384) {
    options_t o = parse({"--size", "1920x1080"});
    EXPECT_EQ(o.action, OPTIONS_RUN);
    EXPECT_EQ(o.width, 1920);
    EXPECT_EQ(o.height, 1080);
    o = parse({"--size=1x16384"});
    EXPECT_EQ(o.width, 1);
    EXPECT_EQ(o.height, 16384);
    for (const char* bad : {"0x600", "800x0", "16385x100", "800", "x600", "800x", "800x600x2",
                            "4294968096x600", "-800x600", "800 x 600", "1e3x600", ""}) {
        o = parse({"--size", bad});
        EXPECT_EQ(o.action, OPTIONS_REFUSED) << "'" << bad << "'";
    }
    EXPECT_EQ(parse({"--size"}).action, OPTIONS_REFUSED);
}

TEST(Options, AGivenWindowIsSilentUnlessSoundIsAsked) {
    EXPECT_FALSE(parse({"--root"}).sound);
    EXPECT_FALSE(parse({"--window-id", "7"}).sound);
    EXPECT_FALSE(parse({}, "0x7").sound);
    EXPECT_TRUE(parse({"--root", "--sound"}).sound);
    EXPECT_TRUE(parse({"--fullscreen"}).sound);
}

TEST(Options, XScreenSaverWindowIsReadByTheConvention) {
    // Hex or decimal with blanks around, as daemons write it; --root means that window.
    EXPECT_EQ(parse({}, "0x2a00007").window.drawInto, 0x2a00007ul);
    EXPECT_EQ(parse({"--root"}, " 44040199\n").window.drawInto, 44040199ul);
    EXPECT_EQ(parse({}, "").window.drawInto, 0ul);
    // The option names the window before the variable does.
    EXPECT_EQ(parse({"--window-id", "9"}, "0x2a00007").window.drawInto, 9ul);
    // A show asked for a window of its own does not look there.
    for (const char* own : {"--fullscreen", "--kiosk"}) {
        options_t o = parse({own}, "0x2a00007");
        EXPECT_EQ(o.action, OPTIONS_RUN) << own;
        EXPECT_EQ(o.window.drawInto, 0ul) << own;
    }
    EXPECT_EQ(parse({"--size", "640x360"}, "0x2a00007").window.drawInto, 0ul);
    // A value that is no window id is said, not drawn into.
    options_t o = parse({"--root"}, "root");
    EXPECT_EQ(o.action, OPTIONS_REFUSED);
    EXPECT_NE(std::string(o.refusal).find("XSCREENSAVER_WINDOW"), std::string::npos);
}

TEST(Options, ContradictionsAreRefused) {
    EXPECT_EQ(parse({"--root", "--fullscreen"}).action, OPTIONS_REFUSED);
    EXPECT_EQ(parse({"--window-id", "7", "--kiosk"}).action, OPTIONS_REFUSED);
    EXPECT_EQ(parse({"--window-id", "7", "--size", "640x360"}).action, OPTIONS_REFUSED);
    EXPECT_EQ(parse({"--kiosk", "--size", "640x360"}).action, OPTIONS_REFUSED);
    // Full screen with a size: the size of the window F leaves full screen for.
    options_t o = parse({"--fullscreen", "--size", "640x360", "--no-vsync"});
    EXPECT_EQ(o.action, OPTIONS_RUN);
    EXPECT_TRUE(o.window.fullscreen && o.window.noVsync);
    EXPECT_EQ(o.width, 640);
}

TEST(Options, CheckDisplayStillReadsTheRest) {
    EXPECT_EQ(parse({"--check-display"}).action, OPTIONS_CHECK_DISPLAY);
    EXPECT_EQ(parse({"--check-display", "--bogus"}).action, OPTIONS_REFUSED);
}
