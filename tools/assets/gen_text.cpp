/*
 * gen_text: turns the scroll text's source into scroll1.txt.
 *
 * The source is written as ordinary lines and paragraphs. Every run of
 * white space becomes one space, the ends are trimmed, and a single NUL byte
 * closes the text (the scroller reads it as a C string). The result must be
 * printable ASCII, 6000 to 7000 bytes long with its NUL, and free of runs of
 * punctuation that would read as noise on the helix; otherwise nothing is
 * written and the generator fails.
 *
 * usage: gen_text OUTPUT_DIR        (the source file is fixed at build time)
 */
#include "assetgen.h"

#include <cstdio>

using namespace assetgen;

namespace {

const size_t kMinBytes = 6000, kMaxBytes = 7000; /* including the NUL */
const int kMaxPunctuationRun = 2;               /* e.g. ". " is fine, "?!-" is not */

bool isSpace(int c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

bool isWordChar(int c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

} // namespace

int main(int argc, char** argv)
{
    std::string dir = outputDir(argc, argv, "scroll1.txt");
    if (dir.empty())
        return EXIT_USAGE;

    FILE* in = std::fopen(NV_SCROLL_SOURCE, "rb");
    if (!in) {
        std::fprintf(stderr, "gen_text: cannot read %s\n", NV_SCROLL_SOURCE);
        return EXIT_INPUT;
    }
    std::vector<uint8_t> text;
    bool pendingSpace = false;
    for (int c; (c = std::fgetc(in)) != EOF;) {
        if (isSpace(c)) {
            pendingSpace = !text.empty();
            continue;
        }
        if (c < 0x20 || c > 0x7E) {
            std::fprintf(stderr, "gen_text: byte 0x%02x at output offset %zu is not printable ASCII\n", c,
                         text.size());
            std::fclose(in);
            return EXIT_CHECK;
        }
        if (pendingSpace)
            text.push_back(' ');
        pendingSpace = false;
        text.push_back(uint8_t(c));
    }
    std::fclose(in);

    int run = 0;
    for (size_t i = 0; i < text.size(); i++) {
        run = (isWordChar(text[i]) || text[i] == ' ') ? 0 : run + 1;
        if (run > kMaxPunctuationRun) {
            std::fprintf(stderr, "gen_text: a run of punctuation ends at offset %zu\n", i);
            return EXIT_CHECK;
        }
    }
    text.push_back(0);
    if (text.size() < kMinBytes || text.size() > kMaxBytes) {
        std::fprintf(stderr, "gen_text: %zu bytes, want %zu to %zu\n", text.size(), kMinBytes, kMaxBytes);
        return EXIT_CHECK;
    }

    std::string path = dir + "/scroll1.txt";
    if (!writeFile(path, text)) {
        std::fprintf(stderr, "gen_text: cannot write %s\n", path.c_str());
        return EXIT_WRITE;
    }
    return EXIT_OK;
}
