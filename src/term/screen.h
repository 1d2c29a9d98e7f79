// SPDX-License-Identifier: MIT
// screen.h -- the screen model, as the rest of the layer sees it.
//
// The model holds what the program has drawn, cell by cell, and what the
// terminal shows; term_flush writes only the difference. The output calls
// of term.h (term_text, term_goto, ...) live in screen.cpp.
#pragma once

#include <cstddef>

// A terminal of cols x rows whose contents are not known: what was never
// drawn is left as it is there. blank: it has just been cleared (the
// alternate screen on entry).
void screen_reset(int cols, int rows, bool blank);
// The window changed size: the model keeps its top left corner.
void screen_resize(int cols, int rows);
// The terminal lost what it showed (a resume, a resize): the next flush
// clears it and writes the whole model, title and cursor included.
void screen_invalidate(void);

// Where flushed bytes go; defined by the layer's glue.
void screen_write(const char *bytes, size_t n);
