/*
 * The page's side of the frame loop (webclock.js): the show's clock, which stands at zero
 * until the visitor starts the show, which frames are wanted, and what the page says.
 */
#ifndef WEB_WEBCLOCK_H
#define WEB_WEBCLOCK_H

extern "C" {
/* Whether the visitor has started the show. */
int webclock_running(void);
/* Whether this animation frame should draw: before the start only the first frame (and
 * one after each resize), afterwards every frame. */
int webclock_frameWanted(void);
/* Counts a drawn frame. */
void webclock_frameDone(void);
/* Asks for one more frame while the show has not started. */
void webclock_redraw(void);
/* Shows why the show cannot run, in place of the start prompt, for good. */
void webclock_failed(const char* text);
/* Shows a passing condition of the show on the page (null takes it away). */
void webclock_say(const char* text);
}

#endif
