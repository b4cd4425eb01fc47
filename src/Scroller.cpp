/*
 * The text scroller's base: keeping a padded copy of the text and moving the window
 * along it.
 */
#include "Scroller.h"

#include <stdlib.h>
#include <string.h>

/* Window length until setLen says otherwise, characters. */
static const int kDefaultLen = 500;

Scroller::Scroller() : iFont(0), pText(nullptr), iPos(0), iLen(kDefaultLen), iTextLen(0) {}

void Scroller::run(float) {}

Scroller::~Scroller() { free(pText); }

/* Copies the text and pads it with iLen + 1 spaces and a NUL. A null text counts as
 * the empty one. If the copy cannot be allocated the old text stays. The window
 * keeps its place unless that lies beyond the new text, where it starts again. */
void Scroller::setText(const char* pText_)
{
    if (!pText_)
        pText_ = "";
    size_t l = strlen(pText_) + 1;
    size_t pad = iLen > 0 ? (size_t)iLen : 0;
    if (l > (size_t)0x7fffffff - pad - 1) /* iTextLen and iPos are ints */
        return;
    char* p = (char*)malloc(l + pad + 1);
    if (!p)
        return;
    memset(p, ' ', l + pad);
    memcpy(p, pText_, l - 1);
    p[l + pad] = '\0';

    free(pText);
    pText = p;
    iTextLen = (int)l;
    if (iPos > iTextLen)
        iPos = 0;
}

void Scroller::setFontTex(int iTex) { iFont = iTex; }

void Scroller::setLen(int iLen_) { iLen = iLen_; }

/* Past the end of the text the window wraps to its start (so does a step back
 * before the start). */
void Scroller::hardscroll(int iNum)
{
    long long pos = (long long)iPos + iNum;
    if (pos > iTextLen || pos < 0)
        pos = 0;
    iPos = (int)pos;
}

char* Scroller::getText() { return pText + iPos; }
