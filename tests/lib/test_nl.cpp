// The library context and its trace window.
#include <gtest/gtest.h>

#include <string>

#include "norklib_internal.h"

namespace {

struct Lib {
    nork_lib_t* handle = nork_new();
    nl_t* nl() const { return (nl_t*)handle; }
    ~Lib() { nork_delete(handle); }
};

std::string trace(const Lib& lib) { return nork_getTrace(lib.handle); }

// The newest line of the trace.
std::string last(const Lib& lib) {
    std::string t = trace(lib);
    t.pop_back();
    return t.substr(t.rfind('\n') + 1);
}

TEST(TraceWindow, FreshContextHoldsOnlyStarted) {
    Lib lib;
    ASSERT_NE(lib.handle, nullptr);
    EXPECT_EQ(trace(lib), "Started\n");
    EXPECT_EQ(nork_lastError(lib.handle), 0);
    EXPECT_EQ(lib.nl()->iNumData, 0);
    for (int i = 0; i < NL_TRACE_SLOTS - 1; i++) EXPECT_EQ(lib.nl()->traceFmt[i], nullptr);
}

TEST(TraceWindow, NineEntriesFillTheWindowBelowStarted) {
    Lib lib;
    std::string expected = "Started\n";
    for (int i = 1; i <= 9; i++) {
        nl_trace(lib.nl(), NL_TR_FOUND_AT, i);
        expected += "found @ " + std::to_string(i) + "\n";
    }
    EXPECT_EQ(trace(lib), expected);
}

TEST(TraceWindow, TenthEntryPushesStartedOutOldestFirst) {
    Lib lib;
    std::string expected;
    for (int i = 1; i <= 10; i++) {
        nl_trace(lib.nl(), NL_TR_FOUND_AT, i);
        expected += "found @ " + std::to_string(i) + "\n";
    }
    EXPECT_EQ(trace(lib), expected);
    // Many more entries: texts that drop out are released (the sanitizer run
    // would report them otherwise) and the window stays at the newest ten.
    for (int i = 11; i <= 1000; i++) nl_trace(lib.nl(), NL_TR_FOUND_AT, i);
    EXPECT_EQ(last(lib), "found @ 1000");
    EXPECT_EQ(trace(lib).substr(0, 12), "found @ 991\n");
    for (int i = 0; i < NL_TRACE_SLOTS; i++) EXPECT_EQ(lib.nl()->traceValue[i], 0);
}

TEST(TraceFormats, EachConversionPrintsItsValue) {
    Lib lib;
    nl_trace(lib.nl(), NL_TR_SEARCHING, (intptr_t) "data/nork.png");
    EXPECT_EQ(last(lib), "searching data/nork.png");
    nl_trace(lib.nl(), NL_TR_NOT_FOUND, (intptr_t) "data/wisp.png");
    EXPECT_EQ(last(lib), "couldn't find data/wisp.png");
    nl_trace(lib.nl(), NL_TR_FOUND_AT, 48165);
    EXPECT_EQ(last(lib), "found @ 48165");
    nl_trace(lib.nl(), NL_TR_PNG_NEW, 0x1a2b);
    EXPECT_EQ(last(lib), "png new: 00001a2b");
    nl_trace(lib.nl(), NL_TR_IMAGE, 0x1a2b);
    EXPECT_EQ(last(lib), "image 00001a2b");
    nl_trace(lib.nl(), NL_TR_PNG_LOAD, -3);
    EXPECT_EQ(last(lib), "png loadFromMem -3");
    nl_trace(lib.nl(), NL_TR_PAL_ENTRIES, 256);
    EXPECT_EQ(last(lib), "palette entries: 256");
    nl_trace(lib.nl(), NL_TR_BAD_POS, 1082676);
    EXPECT_EQ(last(lib), "somthing is wrong pos was 1082676");
    nl_trace(lib.nl(), NL_TR_OUT_OF_MEMORY, 0);
    EXPECT_EQ(last(lib), "OUT OF MEMORY");
    nl_trace(lib.nl(), NL_TR_PNG_PLTE, 0);
    EXPECT_EQ(last(lib), "PLTE");
}

TEST(TraceFormats, CodesNineAndElevenShareTheirText) {
    Lib lib;
    nl_trace(lib.nl(), NL_TR_DAR_DATA_OFFSET, 48165);
    std::string nine = last(lib);
    nl_trace(lib.nl(), NL_TR_DAR_MATCH, 48165);
    EXPECT_EQ(last(lib), nine);
    EXPECT_EQ(nine, "data offset: 48165");
}

TEST(TraceFormats, AddressesKeepEveryHexDigit) {
    Lib lib;
    intptr_t address = (intptr_t)0x7ffd12345678;
    nl_trace(lib.nl(), NL_TR_PNG_NEW, address);
    EXPECT_EQ(last(lib), "png new: 7ffd12345678");
}

TEST(TraceFormats, LongTextIsCutToItsBlock) {
    Lib lib;
    std::string name(500, 'n');
    nl_trace(lib.nl(), NL_TR_SEARCHING, (intptr_t)name.c_str());
    std::string line = last(lib);
    EXPECT_EQ(line.size(), (size_t)NL_TRACE_TEXT - 1);
    EXPECT_EQ(line, ("searching " + name).substr(0, NL_TRACE_TEXT - 1));
}

TEST(TraceFormats, NullNameIsPrintedNotFollowed) {
    Lib lib;
    nl_trace(lib.nl(), NL_TR_SEARCHING, 0);
    EXPECT_EQ(last(lib), "searching (null)");
}

TEST(TraceFormats, CodeOutsideTheTableRecordsNothing) {
    Lib lib;
    EXPECT_EQ(nl_trace(lib.nl(), -1, 7), 0);
    EXPECT_EQ(nl_trace(lib.nl(), NL_TR_COUNT, 7), 0);
    EXPECT_EQ(nl_trace(lib.nl(), 1000000, 7), 0);
    EXPECT_EQ(trace(lib), "Started\n");
}

TEST(TraceReadout, TenFullTextsFitTheBufferWhole) {
    Lib lib;
    std::string name(300, 'x');
    for (int i = 0; i < 10; i++) nl_trace(lib.nl(), NL_TR_SEARCHING, (intptr_t)name.c_str());
    std::string text = trace(lib);
    EXPECT_EQ(text.size(), (size_t)NL_TRACE_SLOTS * NL_TRACE_TEXT);
    std::string line = ("searching " + name).substr(0, NL_TRACE_TEXT - 1) + "\n";
    std::string expected;
    for (int i = 0; i < 10; i++) expected += line;
    EXPECT_EQ(text, expected);
}

TEST(TraceReadout, OneBufferSharedByCallsAndContexts) {
    Lib a, b;
    char* first = nork_getTrace(a.handle);
    nl_trace(a.nl(), NL_TR_FOUND_AT, 8);
    char* second = nork_getTrace(a.handle);
    EXPECT_EQ(first, second);
    EXPECT_EQ(std::string(second), "Started\nfound @ 8\n");

    // Reading another context's trace overwrites the text.
    nl_trace(b.nl(), NL_TR_FOUND_AT, 9);
    EXPECT_EQ(nork_getTrace(b.handle), first);
    EXPECT_EQ(std::string(first), "Started\nfound @ 9\n");
}

TEST(Context, DeleteReleasesSourcesAndTexts) {
    // Checked by the leak detector of the sanitizer run: every kind of owned
    // memory is present when the context goes.
    nork_lib_t* lib = nork_new();
    nork_dar_add_dir(lib, ".");
    nork_dar_add_dir(lib, "..");
    for (int i = 0; i < 12; i++) nl_trace((nl_t*)lib, NL_TR_FOUND_AT, i);
    EXPECT_EQ(nork_delete(lib), 0);
    EXPECT_EQ(nork_delete(nullptr), 0);
}

}  // namespace
