// SPDX-License-Identifier: MIT
// seam_check.h -- the paint seam's property, for every painter: random
// drawing, flushed now and then, painted by the back end, shows what was
// drawn. The native tests check the plain cell grid of the tests' back end
// and libvterm fed by the VT painter; the Windows tests the console buffer.
#pragma once

#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "term.h"

struct Expect {
    std::string ch; // "" for the right half of a wide character
    int attr = -1;  // -1: never drawn
};

// Draws random pieces at random places (on even columns only, when even)
// in random colours, flushing now and then, and keeps in grid what each
// cell must show. narrow: the terminal shows the ambiguous glyphs one
// column wide, and they are padded.
inline void draw_randomly(std::mt19937 &rng, std::vector<Expect> &grid, int cols, int rows,
                          bool narrow, bool even = false, int count = 400) {
    static const struct {
        const char *text;
        std::vector<const char *> narrow, wide; // one per column
    } pieces[] = {{"ab", {"a", "b"}, {"a", "b"}},
                  {"下一", {"下", "", "一", ""}, {"下", "", "一", ""}},
                  {"○", {"○", " "}, {"○", ""}},
                  {"  ", {" ", " "}, {" ", " "}},
                  {"①", {"①", " "}, {"①", ""}},
                  {"x", {"x"}, {"x"}},
                  {"分 ", {"分", "", " "}, {"分", "", " "}}};
    for (int k = 0; k < count; k++) {
        const auto &p = pieces[rng() % std::size(pieces)];
        const auto &cells = narrow ? p.narrow : p.wide;
        int len = (int)cells.size();
        int x = (int)(rng() % (cols - len + 1)), y = (int)(rng() % rows);
        if (even) x &= ~1;
        int attr = (int)(rng() % 256);
        term_goto(x, y);
        term_color(attr);
        term_text(p.text);
        // A piece that lands on half of a wide character blanks its other half.
        if (grid[y * cols + x].ch.empty() && x > 0) grid[y * cols + x - 1].ch = " ";
        if (x + len < cols && grid[y * cols + x + len].ch.empty())
            grid[y * cols + x + len].ch = " ";
        for (int i = 0; i < len; i++)
            grid[y * cols + x + i] = {cells[i], attr};
        if (rng() % 4 == 0) term_flush();
    }
}

// A cell as a screen shows it: its character and its palette colours.
struct Seen {
    std::string ch;
    int fg = 0, bg = 0;
};

// The cells that differ from grid, as look(x, y) sees them; never-drawn
// cells must hold blank, or anything when blank is null. A blank's
// foreground shows nowhere, and a right half has no look of its own.
template <class Look>
std::string seam_differences(const std::vector<Expect> &grid, int cols, int rows, const char *blank,
                             Look look) {
    std::string out;
    for (int y = 0; y < rows; y++) {
        for (int x = 0; x < cols; x++) {
            const Expect &e = grid[y * cols + x];
            if (e.attr < 0 && !blank) continue;
            std::string want = e.attr < 0 ? blank : e.ch;
            Seen seen = look(x, y);
            bool ok = seen.ch == want;
            if (ok && e.attr >= 0 && !want.empty()) ok = seen.bg == e.attr >> 4;
            if (ok && e.attr >= 0 && want != " " && !want.empty()) ok = seen.fg == (e.attr & 15);
            if (!ok && out.size() < 400)
                out += "(" + std::to_string(x) + "," + std::to_string(y) + ") \"" + seen.ch +
                       "\" instead of \"" + want + "\"\n";
        }
    }
    return out;
}
