// SPDX-License-Identifier: MIT
// model_test.cpp -- the screen model: what the terminal shows after the
// layer's damage-only flushes is what was drawn.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "screen.h"
#include "term.h"

namespace {

struct Expect {
    std::string ch; // "" for the right half of a wide character
    int attr = -1;  // -1: never drawn
};

// Draws random pieces at random places in random colours, flushing now and
// then, and keeps in grid what each cell must show.
void draw_randomly(std::mt19937 &rng, std::vector<Expect> &grid, int cols, int rows) {
    static const struct {
        const char *text;
        std::vector<const char *> cells; // one per column
    } pieces[] = {{"ab", {"a", "b"}},      {"下一", {"下", "", "一", ""}},
                  {"○", {"○", " "}},       {"  ", {" ", " "}},
                  {"①", {"①", " "}},       {"x", {"x"}},
                  {"分 ", {"分", "", " "}}};
    for (int k = 0; k < 400; k++) {
        const auto &p = pieces[rng() % std::size(pieces)];
        int len = (int)p.cells.size();
        int x = (int)(rng() % (cols - len + 1)), y = (int)(rng() % rows);
        int attr = (int)(rng() % 256);
        term_goto(x, y);
        term_color(attr);
        term_text(p.text);
        // A piece that lands on half of a wide character blanks its other half.
        if (grid[y * cols + x].ch.empty() && x > 0) grid[y * cols + x - 1].ch = " ";
        if (x + len < cols && grid[y * cols + x + len].ch.empty())
            grid[y * cols + x + len].ch = " ";
        for (int i = 0; i < len; i++)
            grid[y * cols + x + i] = {p.cells[i], attr};
        if (rng() % 4 == 0) term_flush();
    }
}

// The cells that differ from grid; never-drawn cells must hold blank, or
// anything when blank is null.
std::string differences(Screen &s, const std::vector<Expect> &grid, const char *blank) {
    std::string out;
    for (int y = 0; y < s.rows(); y++) {
        for (int x = 0; x < s.cols(); x++) {
            const Expect &e = grid[y * s.cols() + x];
            if (e.attr < 0 && !blank) continue;
            std::string want = e.attr < 0 ? blank : e.ch;
            bool ok = s.ch(x, y) == want;
            if (ok && e.attr >= 0 && !want.empty()) ok = s.bg(x, y) == e.attr >> 4;
            if (ok && e.attr >= 0 && want != " " && !want.empty()) ok = s.fg(x, y) == (e.attr & 15);
            if (!ok && out.size() < 400)
                out += "(" + std::to_string(x) + "," + std::to_string(y) + ") \"" + s.ch(x, y) +
                       "\" instead of \"" + want + "\"\n";
        }
    }
    return out;
}

} // namespace

TEST(ScreenModel, DamageOnlyFlushesShowWhatWasDrawn) {
    for (unsigned seed : {1u, 2u, 3u}) {
        const int cols = 30, rows = 10;
        Screen s(cols, rows);
        s.feed("\x1b[10;1H##########"); // on a row the program never draws
        std::vector<Expect> grid(cols * rows);
        std::mt19937 rng(seed);
        draw_randomly(rng, grid, cols, rows - 1);
        s.sync();
        EXPECT_EQ(differences(s, grid, nullptr), "") << "seed " << seed << "\n" << s.dump();
        EXPECT_EQ(s.line(9), "##########") << "cells never drawn are left alone";

        // A repaint after the terminal lost it all shows the same.
        s.feed("\x1b[41m\x1b[2Jjunk\r\nmore junk");
        term_redraw();
        s.sync();
        EXPECT_EQ(differences(s, grid, " "), "") << "seed " << seed << "\n" << s.dump();
    }
}

// A line break on the last row scrolls what was drawn up by one.
TEST(ScreenModel, LineBreakOnTheLastRowScrolls) {
    const int cols = 20, rows = 6;
    Screen s(cols, rows);
    term_clear();
    std::vector<Expect> grid(cols * rows, Expect{" ", 0});
    std::mt19937 rng(9);
    draw_randomly(rng, grid, cols, rows);
    term_goto(3, rows - 1);
    term_color(0x1e);
    term_text("end\n");
    s.sync();
    for (int x = 3; x < 6; x++)
        grid[(rows - 1) * cols + x] = {std::string(1, "end"[x - 3]), 0x1e};
    grid.erase(grid.begin(), grid.begin() + cols);
    grid.insert(grid.end(), cols, Expect{" ", 0x1e});
    EXPECT_EQ(differences(s, grid, " "), "") << s.dump();
}
