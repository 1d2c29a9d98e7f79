// SPDX-License-Identifier: MIT
// board.h -- games on a well for the tests of the game's rules: start one,
// lay cells on it, and read it back as a text board.
//
// A text board is the well's rows, top down, one character per cell, walls
// included: '.' empty, '1' to '5' a colour, '#' wall; the screen also shows
// ':' for the guide line. Each row is as long as the well is wide, so the
// rows can be written as adjacent literals, one under the other, and blanks
// between them are skipped. The two lowest rows of a 5 x 3 well with a 2 in
// the middle read "#.2.#" "#####".
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "emulator.h"
#include "rules_check.h"
#include "term/chars.h"

// A fresh game on a w x h well: five colours, runs of 3, no flash, no
// settling, no guide line, no dump, and the colours of the text board laid
// from board row top down. Draws the well into whatever takes the output;
// map outside the well is left as it is.
void board_game(int w, int h, int top = 0, const std::string &board = "");
// Puts code v at (x, y) in map and on screen, as the game would have it.
void place(int x, int y, int v);
// n cells of code v from (x, y) on, each a step of (dx, dy) from the last.
void line(int x, int y, int dx, int dy, int n, int v);
// Every cell of map, the well and beyond, as a value to compare.
std::vector<int32_t> whole_map();
// Places the colours of a text board from board row top down; '.' and '#'
// leave their cells as they are.
void draw(int top, const std::string &board);
// The two console columns that show cell code v, e.g. "① " for 1.
const char *glyph(int v);

// A test that draws on an 80 x 30 terminal whose ambiguous glyphs are one
// column wide, as libvterm shows them.
class OnScreen : public testing::Test {
  protected:
    OnScreen() { chars_set_narrow(1); }
    // Whether map and the screen both hold the text board from board row
    // top down, and every other row of the well is empty (so "" is the empty
    // well); a failure shows the boards side by side.
    testing::AssertionResult shows(int top, const std::string &board);
    // Bytes the terminal has received so far.
    size_t sent() {
        s.sync();
        return s.bytes().size();
    }
    Screen s{80, 30};
};
