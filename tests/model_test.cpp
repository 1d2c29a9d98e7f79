// SPDX-License-Identifier: MIT
// model_test.cpp -- the screen model: what the terminal shows after the
// layer's damage-only flushes is what was drawn.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "emulator.h"
#include "ptyrun.h"
#include "term/chars.h"
#include "term/screen.h"
#include "seam_check.h"
#include "support.h"
#include "term.h"

namespace {

// What the terminal (libvterm, fed by the VT painter) and the plain cell grid
// of the tests' back end show, against grid.
std::string differences(Screen &s, const std::vector<Expect> &grid, const char *blank) {
    std::string out = seam_differences(grid, s.cols(), s.rows(), blank, [&](int x, int y) {
        return Seen{s.ch(x, y), s.fg(x, y), s.bg(x, y)};
    });
    std::string plain = seam_differences(grid, s.cols(), s.rows(), blank, [](int x, int y) {
        fake::cell c = fake::cell_at(x, y);
        return c.attr < 0 ? Seen{c.ch, 7, 0} : Seen{c.ch, c.attr & 15, c.attr >> 4};
    });
    if (!plain.empty()) out += "in the plain grid of runs:\n" + plain;
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
        draw_randomly(rng, grid, cols, rows - 1, true);
        EXPECT_EQ(differences(s, grid, nullptr), "") << "seed " << seed << "\n" << s.dump();
        EXPECT_EQ(s.line(9), "##########") << "cells never drawn are left alone";

        // A repaint after the terminal lost it all shows the same.
        s.feed("\x1b[41m\x1b[2Jjunk\r\nmore junk");
        repaint_lost_screen();
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
    draw_randomly(rng, grid, cols, rows, true);
    term_goto(3, rows - 1);
    term_color(0x1e);
    term_text("end\n");
    for (int x = 3; x < 6; x++)
        grid[(rows - 1) * cols + x] = {std::string(1, "end"[x - 3]), 0x1e};
    grid.erase(grid.begin(), grid.begin() + cols);
    grid.insert(grid.end(), cols, Expect{" ", 0x1e});
    EXPECT_EQ(differences(s, grid, " "), "") << s.dump();
}

// A broken terminal may report any size: the model holds no more than its
// limit (a million cells), and the game is told the size the model holds.
TEST(ScreenModel, AbsurdWindowSizesAreHeldAtTheLimit) {
    struct {
        int cols, rows, held_cols, held_rows;
    } cases[] = {{65535, 65535, SCREEN_MAX_COLS, SCREEN_MAX_ROWS},
                 {65535, 12, SCREEN_MAX_COLS, 12},
                 {30, 65535, 30, SCREEN_MAX_ROWS},
                 {SCREEN_MAX_COLS, SCREEN_MAX_ROWS - 1, SCREEN_MAX_COLS, SCREEN_MAX_ROWS - 1}};
    NullTerminal t;
    for (const auto &c : cases) {
        fake::set_size(c.cols, c.rows);
        term_kbhit(); // a look takes the resize
        int cols, rows;
        term_size(&cols, &rows);
        EXPECT_EQ(cols, c.held_cols) << c.cols << " x " << c.rows;
        EXPECT_EQ(rows, c.held_rows) << c.cols << " x " << c.rows;
        screen_resize(c.cols, c.rows);
        term_goto(c.cols - 1, c.rows - 1);
        term_text("x"); // at the far corner of what is held
        paint_frame f;
        ASSERT_TRUE(screen_damage(&f));
        EXPECT_EQ(f.cols, c.held_cols);
        EXPECT_EQ(f.rows, c.held_rows);
        EXPECT_EQ(f.runs.back().row, c.held_rows - 1);
    }
    fake::set_size(80, 30);
}

// Widths follow Unicode's East Asian widths and the probe's answer: an
// ambiguous glyph shown one column wide is padded to two, with a line where
// a box-drawing glyph goes on to the right and a blank elsewhere.
TEST(ScreenModel, GlyphWidthsAndPads) {
    struct {
        const char *glyph;
        int narrow_cols;
        const char *narrow_pad; // nullptr: none
        int wide_cols;
    } cases[] = {{"a", 1, nullptr, 1},       {"游", 2, nullptr, 2}, {"：", 2, nullptr, 2},
                 {"─", 1, "─", 2},           {"┌", 1, "─", 2},      {"├", 1, "─", 2},
                 {"┐", 1, " ", 2},           {"│", 1, " ", 2},      {"┊", 1, " ", 2},
                 {"○", 1, " ", 2},           {"③", 1, " ", 2},      {"→", 1, " ", 2},
                 {"\xE2\x94", 1, nullptr, 1}}; // a broken character: one replacement glyph
    bool was = chars_narrow();
    for (bool narrow : {true, false}) {
        chars_set_narrow(narrow);
        for (const auto &c : cases) {
            const glyph_look &g = glyph_look_of(c.glyph, strlen(c.glyph));
            const char *pad = narrow ? c.narrow_pad : nullptr;
            EXPECT_EQ(g.columns, narrow ? c.narrow_cols : c.wide_cols) << c.glyph;
            EXPECT_STREQ(g.pad, pad) << c.glyph << (narrow ? " narrow" : " wide");
            EXPECT_EQ(term_columns(c.glyph), g.columns + (pad != nullptr)) << c.glyph;
        }
    }
    chars_set_narrow(was);
}

// The committed width tables are what the script makes from the Unicode
// data installed here (Debian's unicode-data), when it is the same version.
TEST(ScreenModel, WidthTablesAreTheScriptsOutput) {
    const std::string data = "/usr/share/unicode/EastAsianWidth.txt";
    std::ifstream eaw(data);
    if (!eaw) GTEST_SKIP() << data << " is missing (apt-get install unicode-data)";
    std::string version;
    std::getline(eaw, version);
    const std::string want = file_text(ZELVANE_SOURCE_DIR "/src/term/widths.inc");
    std::string v = version.substr(version.find('-') + 1);
    v = v.substr(0, v.find(".txt"));
    if (want.find("Unicode " + v + "'s") == std::string::npos)
        GTEST_SKIP() << "the installed data is " << version
                     << ", not the committed tables' version";
    TempDir d;
    const std::string made = d.path + "/widths.inc";
    EXPECT_EQ(std::system(("python3 " ZELVANE_SOURCE_DIR "/scripts/widths.py > " + made).c_str()),
              0);
    EXPECT_EQ(file_text(made), want) << "run: python3 scripts/widths.py > src/term/widths.inc";
}
