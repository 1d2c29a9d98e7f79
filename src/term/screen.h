// SPDX-License-Identifier: MIT
// screen.h -- the screen model: drawing calls in, damage out.
//
// The model holds what the program has drawn, cell by cell (Unicode, with
// its columns and colours), and what the terminal shows; screen_damage
// hands over only the difference, as runs (paint.h). It knows no terminal:
// the glue (term.cpp) gives it a size and passes its runs to the back end.
#pragma once

#include "paint.h"

// The largest window the model holds, far more than any game screen needs.
// A larger one (a broken terminal may report 65535 x 65535) is taken as
// this size: the model draws into its top left corner and leaves the rest.
const int SCREEN_MAX_COLS = 1000;
const int SCREEN_MAX_ROWS = 1000;
// A window's size as the model holds it: at least 1 x 1, at most the above.
void screen_fit(int *cols, int *rows);

// A terminal of cols x rows whose contents are not known: what was never
// drawn is left as it is there. blank: it has just been cleared (the
// alternate screen on entry).
void screen_reset(int cols, int rows, bool blank);
// Whether screen_reset has given the model a size yet.
bool screen_sized(void);
// The window changed size: the model keeps its top left corner.
void screen_resize(int cols, int rows);
// The terminal lost what it showed (a resume, a resize): the next damage
// clears it and holds the whole model, title and cursor included.
void screen_invalidate(void);

// The drawing calls of term.h (term_color, term_goto, ...), on the model.
void screen_color(int attr);
void screen_goto(int col, int row);
void screen_text(const char *utf8);
void screen_cursor(bool visible);
void screen_title(const char *utf8);
void screen_clear(void);
void screen_save(void);
void screen_restore(void);

// What differs since the last call, into *frame; false when there is
// nothing to paint. From then on the model takes it as shown.
bool screen_damage(paint_frame *frame);
