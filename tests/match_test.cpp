// SPDX-License-Identifier: MIT
// match_test.cpp -- finding runs, collecting, flashing, scoring and settling groups.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "board.h"
#include "support.h"
#include "term.h"

namespace {

using FindLine = OnScreen;
using Settling = OnScreen;
using Cells = std::vector<std::pair<int, int>>;

Cells group() {
    Cells c;
    for (int i = 0; i < qw; i++)
        c.push_back({qa[i][0], qa[i][1]});
    return c;
}

int interior_cells() {
    int n = 0;
    for (int x = 1; x < width - 1; x++)
        for (int y = 0; y < height - 1; y++)
            n += map[x][y] != 0;
    return n;
}

// ---- Where runs are found ------------------------------------------------------

TEST_F(FindLine, RowZeroNeverStartsARun) {
    board_game(10, 12, 0, "#.111....#");
    find_line();
    EXPECT_TRUE(shows(0, "#.111....#"));
    EXPECT_EQ(qw, 0);
    EXPECT_EQ(mark, 0);

    board_game(10, 12, 1, "#.111....#");
    find_line();
    EXPECT_TRUE(shows(0, ""));
    EXPECT_EQ(group(), (Cells{{2, 1}, {3, 1}, {4, 1}}));
    EXPECT_EQ(mark, 2);

    for (int n : {3, 4}) { // a vertical line of exactly b_num from row 0 stays
        board_game(10, 12);
        b_num = n;
        line(3, 0, 0, 1, n, 2);
        find_line();
        EXPECT_EQ(interior_cells(), n) << n;
        line(6, 0, 0, 1, n + 1, 2); // one more, and it goes, row 0 included
        find_line();
        EXPECT_EQ(interior_cells(), n) << n;
        EXPECT_EQ(map[6][0], 0);
        EXPECT_EQ(qw, n + 1);
        line(8, 1, 0, 1, n, 4); // one row lower, and it goes
        find_line();
        EXPECT_EQ(interior_cells(), n) << n;
    }
}

TEST_F(FindLine, RunsReachTheCellsBesideTheWalls) {
    board_game(10, 12, 10, "#.....111#"); // ends beside the wall, on the row above the bottom wall
    find_line();
    EXPECT_EQ(interior_cells(), 0);
    line(8, 8, 0, 1, 3, 2); // ends at y = height - 2
    find_line();
    EXPECT_EQ(interior_cells(), 0);

    board_game(8, 8);
    b_num = 6;
    line(1, 5, 1, 0, 6, 3); // the whole interior width
    find_line();
    EXPECT_EQ(qw, 6);
    line(3, 1, 0, 1, 6, 3); // the whole height below row 0
    find_line();
    EXPECT_EQ(qw, 6);
    EXPECT_EQ(interior_cells(), 0);
    const char *one_short = "#.....4#" // against the walls
                            "#.....4#"
                            "#.....4#"
                            "#.....4#"
                            "#.44444#";
    draw(2, one_short);
    find_line();
    EXPECT_TRUE(shows(2, one_short));
}

TEST_F(FindLine, OtherRunLengthsRemoveNothing) {
    for (int n : {0, 1, 2, 7, -3}) {
        board_game(8, 8);
        b_num = n;
        for (int x = 1; x < 7; x++)
            line(x, 0, 0, 1, 7, 1);
        find_line();
        EXPECT_EQ(interior_cells(), 42) << n;
        EXPECT_EQ(mark, 0);
    }
}

// ---- Groups and their scores ---------------------------------------------------

TEST_F(FindLine, WholeGroupsScoredOnceEach) {
    struct Case {
        const char *name;
        int64_t score;
        int top;
        const char *board;
    } cases[] = {
        {"L", 8, 8,
         "#.5......#"
         "#.5......#"
         "#.555....#"},
        {"T", 8, 5,
         "#..555...#"
         "#...5....#"
         "#...5....#"},
        {"row of 5", 8, 4, "#55555...#"},
        {"block of 6", 16, 3,
         "#.555....#"
         "#.555....#"},
        {"two of 3", 2 + 2, 7,
         "#555.....#"
         "#.....5..#"
         "#.....5..#"
         "#.....5..#"},
    };
    for (const auto &c : cases) {
        board_game(10, 12, c.top, c.board);
        s_twi = twi_num = 1;
        find_line();
        EXPECT_EQ(mark, c.score) << c.name;
        EXPECT_EQ(count_block, std::count(c.board, c.board + strlen(c.board), '5')) << c.name;
        EXPECT_TRUE(shows(0, "")) << c.name;
    }
    // The second of two groups is the one left in the list.
    EXPECT_EQ(group(), (Cells{{6, 8}, {6, 9}, {6, 10}}));
}

TEST_F(FindLine, HorizontalRunsGoFirst) {
    for (int flip : {0, 1}) {
        board_game(10, 12);
        line(flip ? 8 : 1, 2, 0, 1, 3, 2);  // vertical
        line(flip ? 1 : 5, 10, 1, 0, 3, 3); // horizontal, lower
        find_line();
        EXPECT_EQ(mark, 4);
        EXPECT_EQ(map[flip ? 8 : 1][3], 0);
        ASSERT_EQ(qw, 3);
        EXPECT_EQ(qa[0][1], 2) << "the vertical run was not the last removed";
    }
}

TEST_F(FindLine, CapAndHugeGroups) {
    board_game(9, 11); // an interior of 7 x 10 = 70 cells
    for (int x = 1; x < 8; x++)
        line(x, 0, 0, 1, 10, 4);
    find_line();
    EXPECT_EQ(qw, 70);
    EXPECT_EQ(mark, 1000);
    EXPECT_EQ(s.line(3, 20), "得数：1000");

    {
        Discard discard;
        board_game(100, 100);
        max_f = 2147483647;
        b_drop = 1;
        for (int x = 1; x < 99; x++)
            for (int y = 0; y < 99; y++)
                map[x][y] = 1;
        map[50][50] = 2; // one hole, and the group goes round it
        find_line();
    }
    EXPECT_EQ(qw, 98 * 99 - 1);
    EXPECT_EQ(count_block, 98 * 99 - 1);
    EXPECT_EQ(mark, 2147483647);
    EXPECT_EQ(map[50][98], 2); // settled to the bottom
    EXPECT_EQ(interior_cells(), 1);
    EXPECT_EQ(map[0][50], 10);
    EXPECT_EQ(map[99][50], 10);
}

// ---- Collection order ----------------------------------------------------------

// The collection as a plain recursion, on a board of its own.
void collect_recursively(std::vector<int32_t> &m, int h, Cells &out, int x, int y, int v) {
    out.push_back({x, y});
    m[x * MAX + y] = 0;
    auto at = [&](int cx, int cy) { return cx < 0 || cy < 0 || cy >= h ? -1 : m[cx * MAX + cy]; };
    if (at(x - 1, y) == v) collect_recursively(m, h, out, x - 1, y, v);
    if (at(x + 1, y) == v) collect_recursively(m, h, out, x + 1, y, v);
    if (at(x, y - 1) == v) collect_recursively(m, h, out, x, y - 1, v);
    if (at(x, y + 1) == v) collect_recursively(m, h, out, x, y + 1, v);
}

TEST(FindSelf, SameListAsTheRecursion) {
    NullTerminal null;
    srand(12345);
    for (int round = 0; round < 300; round++) {
        int w = 3 + rand() % 30, h = 4 + rand() % 30;
        board_game(w, h);
        int colours = 1 + rand() % 3;
        for (int x = 1; x < w - 1; x++)
            for (int y = 0; y < h - 1; y++)
                map[x][y] = rand() % 5 == 0 ? 0 : 1 + rand() % colours;
        int x = 1 + rand() % (w - 2), y = rand() % (h - 1);
        int v = map[x][y];
        if (v == 0) continue;
        std::vector<int32_t> copy = whole_map();
        Cells expected;
        collect_recursively(copy, h, expected, x, y, v);
        qw = 0;
        find_self(x, y, v);
        ASSERT_EQ(group(), expected) << "round " << round;
        ASSERT_EQ(whole_map(), copy);
    }
}

TEST(FindSelf, LooksNeitherAboveRowZeroNorPastTheBoard) {
    NullTerminal null;
    board_game(10, 12);
    map[2][MAX - 1] = 1; // where a read of map[3][-1] would land
    line(3, 0, 0, 1, 4, 1);
    find_line();
    EXPECT_EQ(group(), (Cells{{3, 1}, {3, 0}, {3, 2}, {3, 3}}));
    EXPECT_EQ(map[2][MAX - 1], 1);
    map[2][MAX - 1] = 0;
}

// ---- Flash ---------------------------------------------------------------------

std::vector<std::string> chunks;

// How the group at (2..4, 5) looks after every piece of output that reached
// the terminal while find_line ran, and the total on the panel meanwhile.
std::vector<std::string> flash(int on, int pause, int cycles) {
    chunks.clear();
    NullTerminal null;
    fake::listen([](const char *data, size_t len, void *) { chunks.emplace_back(data, len); },
                 nullptr);
    board_game(10, 12, 5, "#.333....#");
    s_twi = on;
    twinkle = pause;
    twi_num = cycles;
    term_flush();
    size_t first = chunks.size();
    find_line();
    term_flush();
    fake::listen(nullptr, nullptr);
    Screen view(80, 30, false);
    chars_set_narrow(1);
    std::vector<std::string> looks;
    for (size_t i = 0; i < chunks.size(); i++) {
        view.feed(chunks[i]);
        if (i >= first)
            looks.push_back(view.cell(2, 5) + view.cell(3, 5) + view.cell(4, 5) + "|" +
                            view.line(4, 22));
    }
    return looks;
}

TEST(Flash, DarkAndLitInTurnThenPanelThenBlank) {
    chars_set_narrow(1);
    const std::string dark = "      |", lit = "③ ③ ③ |", gone = "      |总分数：1";
    EXPECT_EQ(flash(1, 5, 3), (std::vector<std::string>{dark, lit, dark, lit, dark, lit, gone}));
    EXPECT_EQ(flash(1, 1, 1), (std::vector<std::string>{dark, lit, gone}));
    // Without pauses nothing waits, so all comes in one piece at the end.
    EXPECT_EQ(flash(0, 5, 3), (std::vector<std::string>{gone}));
    EXPECT_EQ(flash(1, 5, 0), (std::vector<std::string>{gone}));
    // A pauseless flash of any length sends exactly what one cycle sends.
    for (int pause : {0, -3}) {
        flash(1, pause, 1);
        const std::vector<std::string> one = chunks;
        EXPECT_EQ(flash(1, pause, 2000000000), (std::vector<std::string>{gone}));
        EXPECT_EQ(chunks, one) << pause;
    }
    // The panel is drawn before the group is blanked.
    flash(0, 0, 0);
    const std::string &last = chunks.back();
    size_t panel = last.find("总分数"), blank = last.rfind("\x1b[6;5H");
    ASSERT_NE(panel, std::string::npos);
    ASSERT_NE(blank, std::string::npos);
    EXPECT_LT(panel, blank);
}

// ---- Settling ------------------------------------------------------------------

TEST_F(Settling, ColumnsPackDownward) {
    board_game(6, 6, 0,
               "#.1..#"
               "#....#"
               "#.2..#");
    void_supply(); // off
    EXPECT_EQ(map[2][0], 1);
    b_drop = 1;
    void_supply();
    EXPECT_TRUE(shows(3, "#.1..#"
                         "#.2..#"));
}

TEST_F(Settling, RunsMadeBySinkingGoInTheSameLanding) {
    for (int drop : {0, 1}) {
        // The 2s go first, and the 1 above them sinks into the row of 1s.
        board_game(8, 8, 3,
                   "#..1...#"
                   "#..2...#"
                   "#..2...#"
                   "#112...#");
        b_drop = drop;
        find_line();
        EXPECT_EQ(count_block, drop ? 6 : 3);
        EXPECT_TRUE(shows(3, drop ? ""
                                  : "#..1...#"
                                    "#......#"
                                    "#......#"
                                    "#11....#"));
    }
}

} // namespace
