// SPDX-License-Identifier: MIT
// paint.h -- what the screen model hands to a back end: the damage of one
// flush, as runs of cells.
//
// The model works out what differs between what the program drew and what
// the terminal shows, and says it in terms any screen can paint: a run is a
// piece of one row in one colour, its text Unicode (UTF-8), its glyphs
// already laid out (wide glyphs take two columns, ambiguous ones padded).
// Painting the runs in order, each at its own row and column, over the
// screen as the last frame left it (or blank, after a clear) gives the
// model's drawing. A back end paints them in its own terms: escape sequences
// (vt.h), console calls, a canvas.
#pragma once

#include <string>
#include <vector>

// A colour as a console attribute: foreground + 16 * background, each an
// index of the 16-colour palette; or the terminal's own colours.
const int PAINT_DEFAULT = -1;

struct paint_run {
    int row, col;     // where the run begins, 0-based
    int cols;         // console columns it takes
    int attr;         // its colours, or PAINT_DEFAULT
    std::string text; // UTF-8; blanks where the run is blank
};

struct paint_frame {
    int cols = 0, rows = 0; // the screen's size
    // The terminal's contents are lost or no longer worth keeping: blank the
    // whole screen in the default colours before the runs.
    bool clear = false;
    bool title_changed = false;
    std::string title;                  // UTF-8
    bool cursor_changed = false;        // cursor_visible differs from the last frame
    bool cursor_visible = true;         // hidden before the runs, shown after them
    int cursor_col = 0, cursor_row = 0; // where a visible cursor stands
    std::vector<paint_run> runs;
};
