// SPDX-License-Identifier: MIT
// fake_sys.h -- the back end of the test program: a terminal made of a
// buffer, a queue and a few numbers the test sets.
//
// It implements sys.h as a terminal would, through the same VT painter
// the POSIX back end uses: what the layer paints comes out as bytes, for a
// listener (the tests' Screen feeds them to libvterm) or for nobody. Keys
// come from a queue, the size is the test's, and the clock is the test's
// too: it moves only when the layer sleeps or waits with nothing queued,
// so that code under test never waits for real time.
#pragma once

#include <cstddef>
#include <string>

#include "term/vt.h"

namespace fake {

// Where painted bytes go (nullptr: nowhere).
typedef void (*listener)(const char *bytes, size_t n, void *user);
void listen(listener fn, void *user);
// The listener now, and its user.
listener listening(void **user);
// The terminal's size, as the layer finds it from now on; while the layer
// holds the terminal, also a resize event.
void set_size(int cols, int rows);
// The terminal's encoding from now on (nullptr: UTF-8).
void set_encoder(vt_encoder encode);
// Bytes typed, read by the layer's next wait.
void type(const std::string &bytes);
// The terminal lost what it showed, as after a resume: an event for the
// layer's next wait.
void lose_screen();
// Calls of the layer since the terminal was opened: waits, and asks for
// the window's size.
unsigned waits();
unsigned size_asks();

// The screen as the runs painted it, cell by cell: a plain grid that
// knows nothing of escapes, to check the runs themselves.
struct cell {
    std::string ch = " "; // "" for the right half of a wide glyph
    int attr = -1;        // -1: the default colours
};
cell cell_at(int col, int row);

} // namespace fake
