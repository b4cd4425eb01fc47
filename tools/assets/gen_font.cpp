/*
 * gen_font: bakes the scroller's font, MossGlade.png, from a TrueType font.
 *
 * 512x512 RGBA, 32x32-pixel cells, 16 to a row. Cell i holds the i-th
 * character of the scroller's font order: printable ASCII from the space on,
 * except that the lower-case letters take the places of the upper-case ones
 * and the other way round. Cell 95 and rows 6 to 15 stay transparent.
 * Alpha is the glyph's coverage; the colour runs from pale at the top of a
 * cell to moss green at its foot. Glyphs share one baseline and are widened
 * (the scroller stretches a cell to a tall, narrow quad), but never beyond
 * their cell.
 *
 * usage: gen_font OUTPUT_DIR        (the font file is fixed at build time)
 */
#include "assetgen.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>

using namespace assetgen;

namespace {

const int kCell = 32;             /* pixels */
const int kCellsPerRow = 16;
const int kGlyphs = 95;           /* cells 0..94; cell 95 is the empty one */
const int kBaseline = 23;         /* rows from the cell's top to the baseline */
const int kPixelHeight = 27;      /* em size, vertical, pixels */
const int kPixelWidth = 34;       /* em size, horizontal: glyphs come out wider */
const int kMaxInk = kCell - 2;    /* widest glyph allowed, pixels */
const int kLowestRow = kCell - 3; /* the scroller never shows the bottom 2.5 rows */

/* The character in cell i: ASCII order with the letter cases swapped. */
char fontOrder(int i)
{
    char c = char(0x20 + i);
    if (c >= 'A' && c <= 'Z')
        return char(c - 'A' + 'a');
    if (c >= 'a' && c <= 'z')
        return char(c - 'a' + 'A');
    return c;
}

/* Renders `ch` at the given horizontal em size; false when FreeType fails. */
bool render(FT_Face face, char ch, int pixelWidth)
{
    if (FT_Set_Char_Size(face, FT_F26Dot6(pixelWidth * 64), FT_F26Dot6(kPixelHeight * 64), 72, 72))
        return false;
    return FT_Load_Char(face, FT_ULong(static_cast<unsigned char>(ch)), FT_LOAD_RENDER | FT_LOAD_NO_HINTING) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string dir = outputDir(argc, argv, "MossGlade.png");
    if (dir.empty())
        return EXIT_USAGE;

    FT_Library ft;
    FT_Face face;
    if (FT_Init_FreeType(&ft) || FT_New_Face(ft, NV_FONT_FILE, 0, &face)) {
        std::fprintf(stderr, "gen_font: cannot open the font %s\n", NV_FONT_FILE);
        return EXIT_INPUT;
    }

    const Rgb pale = {0.93, 0.98, 0.80}, moss = {0.40, 0.66, 0.20};
    Picture pic(kCellsPerRow * kCell, kCellsPerRow * kCell, 4);
    int status = EXIT_OK;
    for (int i = 0; i < kGlyphs && status == EXIT_OK; i++) {
        char ch = fontOrder(i);
        if (ch == ' ')
            continue;
        if (!render(face, ch, kPixelWidth)) {
            status = EXIT_INPUT;
            break;
        }
        /* too wide after widening: narrow this glyph until it fits its cell */
        unsigned inkWidth = face->glyph->bitmap.width;
        if (inkWidth > unsigned(kMaxInk) &&
            !render(face, ch, std::max(1, int(kPixelWidth * kMaxInk / double(inkWidth))))) {
            status = EXIT_INPUT;
            break;
        }
        const FT_Bitmap& bm = face->glyph->bitmap;
        int left = (kCell - int(bm.width)) / 2;
        int top = kBaseline - face->glyph->bitmap_top;
        if (int(bm.width) > kCell || top < 0 || top + int(bm.rows) - 1 > kLowestRow) {
            std::fprintf(stderr, "gen_font: '%c' does not fit its cell (width %u, rows %d..%d)\n", ch, bm.width, top,
                         top + int(bm.rows) - 1);
            status = EXIT_CHECK;
            break;
        }
        int cx = (i % kCellsPerRow) * kCell, cy = (i / kCellsPerRow) * kCell;
        for (unsigned r = 0; r < bm.rows; r++)
            for (unsigned c = 0; c < bm.width; c++) {
                uint8_t a = bm.buffer[int(r) * bm.pitch + int(c)];
                if (a)
                    pic.at(cx + left + int(c), cy + top + int(r))[3] = a;
            }
    }
    /* colour every pixel of the used cells, so filtering at glyph edges blends
     * towards the glyph's own colour rather than black */
    for (int i = 0; i < kGlyphs && status == EXIT_OK; i++) {
        int cx = (i % kCellsPerRow) * kCell, cy = (i / kCellsPerRow) * kCell;
        for (int y = 0; y < kCell; y++) {
            Rgb c = mix(pale, moss, smoothstep(4, kLowestRow, y));
            for (int x = 0; x < kCell; x++)
                put(pic, cx + x, cy + y, c);
        }
    }
    FT_Done_Face(face);
    FT_Done_FreeType(ft);
    if (status != EXIT_OK)
        return status;

    std::string path = dir + "/MossGlade.png";
    if (!writePng(path, pic)) {
        std::fprintf(stderr, "gen_font: cannot write %s\n", path.c_str());
        return EXIT_WRITE;
    }
    return EXIT_OK;
}
