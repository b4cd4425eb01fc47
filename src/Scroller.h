/*
 * The text scroller's base: the text and the window of it that is shown, without any
 * drawing.
 */
#ifndef SCROLLER_H
#define SCROLLER_H

/* A long text and a window of iLen characters into it that moves on in steps.
 * The text is kept followed by iLen + 1 spaces, so a window that starts anywhere up
 * to the text's end stays inside the buffer. */
class Scroller {
public:
    Scroller();
    virtual void run(float f);
    virtual ~Scroller();

    void setText(const char* pText_);
    void setFontTex(int iTex);
    void setLen(int iLen_);
    void hardscroll(int iNum);
    char* getText();

    int iFont;     /* GL texture name of the font */
    char* pText;   /* owned: the text, iLen + 1 spaces, NUL; null until setText */
    int iPos;      /* start of the visible window in pText */
    int iLen;      /* window length in characters */
    int iTextLen;  /* length of the last text set, its NUL included */
};

#endif
