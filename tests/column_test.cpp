// SPDX-License-Identifier: MIT
// column_test.cpp -- the preview, the entry, and the actions on the falling column.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "board.h"
#include "ptyrun.h"
#include "support.h"

namespace {

using FallingColumn = OnScreen;

// A game on a w x h well, with the text board drawn from row top down and
// then its first column entered and drawn.
void start(int w, int h, int top = 0, const char *board = "") {
    board_game(w, h, top, board);
    enter_column();
}

// A column's cells (the falling one or the preview) as a value to compare.
using Cells = std::array<int32_t, 12>;
Cells cells_of(const int32_t (&column)[3][4]) {
    Cells cells;
    memcpy(cells.data(), column, sizeof column);
    return cells;
}

// Board dumps appended to data.txt so far: each ends in a blank line.
int dumps() {
    return (int)count(file_text("data.txt"), "\n\n");
}

// ---- Preview and entry ---------------------------------------------------------

TEST_F(FallingColumn, OneColourGivesAllCodeOne) {
    board_game(10, 22);
    b_type = 1;
    for (int roll = 0; roll < 5; roll++) {
        next_block(); // each cell: code, column, row, background
        EXPECT_EQ(cells_of(block_new), (Cells{1, 13, 8, 2, 1, 13, 9, 2, 1, 13, 10, 2}));
    }
    // Out-of-range colour counts still roll codes that exist, and end.
    for (int types : {0, -1, 9}) {
        b_type = types;
        next_block();
        for (int i = 0; i < 3; i++)
            EXPECT_TRUE(block_new[i][0] >= 1 && block_new[i][0] <= 5) << types;
    }
}

TEST_F(FallingColumn, EntersAtHalfTheWidth) {
    for (int w : {10, 11}) {
        start(w, 22);
        for (int i = 0; i < 3; i++) {
            EXPECT_EQ(block[i][1], 5) << w;
            EXPECT_EQ(block[i][2], i);
            EXPECT_EQ(map[5][i], block[i][0]);
        }
        EXPECT_EQ(life, 1);
    }
}

TEST_F(FallingColumn, AnyOneOccupiedEntryCellRefusesTheEntry) {
    for (int r = 0; r < 3; r++) {
        board_game(10, 22);
        next_block();
        place(5, r, 4);
        auto col = cells_of(block), pre = cells_of(block_new);
        size_t before = sent();
        creat_new_block();
        EXPECT_EQ(life, 0) << r;
        EXPECT_EQ(cells_of(block), col) << r;
        EXPECT_EQ(cells_of(block_new), pre) << r;
        EXPECT_EQ(sent(), before) << "the preview was redrawn, row " << r;
    }
    // Rows 0 to 2 of the neighbouring columns do not matter.
    board_game(10, 22, 0,
               "#...2.3..#"
               "#...2.3..#"
               "#...2.3..#");
    next_block();
    creat_new_block();
    EXPECT_EQ(life, 1);
}

// ---- Moves ---------------------------------------------------------------------

TEST_F(FallingColumn, DropOnAnEmptyBoardMovesHeightMinusFourTimes) {
    ScratchDir dir;
    board_game(10, 22);
    b_type = 1;
    b_num = 0; // keep the landed column
    enter_column();
    debug = 1;
    int before = dumps();
    change_block(6);
    // Every move erases and draws the column; then the next one is drawn.
    EXPECT_EQ(dumps() - before, 2 * (22 - 4) + 1);
    for (int y = 0; y < 21; y++) {
        EXPECT_EQ(map[5][y], y <= 2 || y >= 18 ? 1 : 0) << y;
        EXPECT_EQ(s.cell(5, y), y <= 2 || y >= 18 ? "① " : "  ") << y;
    }
    EXPECT_EQ(life, 1);
    EXPECT_EQ(block[0][2], 0); // the next column has entered
}

TEST_F(FallingColumn, RefusedMovesAndUnknownCodesDoNothing) {
    ScratchDir dir;
    start(10, 22);
    debug = 1;
    int moved = 0;
    for (; moved < 10; moved++) {
        int before = dumps();
        int x = block[0][1];
        change_block(3);
        if (block[0][1] == x) break;
        EXPECT_EQ(dumps(), before + 2) << "a move erases and redraws";
    }
    EXPECT_EQ(moved, 4); // from x = 5 to x = 1, beside the wall
    place(2, 2, 5);      // beside the lowest cell only
    size_t bytes = sent();
    int before = dumps();
    auto col = cells_of(block);
    for (int a : {3, 4, 0, 7, -1}) {
        change_block(a);
        EXPECT_EQ(cells_of(block), col) << a;
        EXPECT_EQ(dumps(), before) << a;
        EXPECT_EQ(sent(), bytes) << a;
    }
}

TEST_F(FallingColumn, CyclesMoveRowsAndRestore) {
    start(10, 22);
    block[0][0] = 1, block[1][0] = 2, block[2][0] = 3; // A, B, C from the top
    for (int i = 0; i < 3; i++)
        block[i][3] = i == 0 ? 2 : i == 1 ? 9 : 12;
    disploay_block();
    change_block(1);
    EXPECT_TRUE(shows(0, "#....2...#"
                         "#....3...#"
                         "#....1...#"));
    change_block(2);
    change_block(2);
    EXPECT_TRUE(shows(0, "#....3...#"
                         "#....1...#"
                         "#....2...#"));
    change_block(1); // one up and one down cancel out
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(block[i][2], i);
    for (int n = 0; n < 3; n++)
        change_block(1);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(block[i][2], i);
    // Against the wall too.
    for (int n = 0; n < 5; n++)
        change_block(4);
    ASSERT_EQ(block[0][1], 8);
    change_block(2);
    EXPECT_TRUE(shows(0, "#.......3#"
                         "#.......1#"
                         "#.......2#"));
}

TEST_F(FallingColumn, GuideLine) {
    board_game(10, 12, 5, "#.....2..#"); // a cell that hangs above empty cells
    help_line = 1;
    enter_column();
    for (int r = 3; r <= 10; r++) {
        EXPECT_EQ(s.cell(5, r), "┊ ") << r;
        EXPECT_EQ(s.fg(10, r), 8);
        EXPECT_EQ(s.bg(10, r), 1);
        EXPECT_EQ(map[5][r], 0);
    }
    EXPECT_EQ(s.cell(5, 11), "○ ");
    change_block(4); // over the hanging cell: the line ends above it
    EXPECT_EQ(s.cell(6, 3), "┊ ");
    EXPECT_EQ(s.cell(6, 4), "┊ ");
    EXPECT_EQ(s.cell(6, 6), "  ");
    for (int r = 3; r <= 10; r++)
        EXPECT_EQ(s.cell(5, r), "  ") << r;
    change_block(5);
    change_block(5); // resting on the hanging cell: no line at all
    EXPECT_EQ(block[0][2], 2);
    EXPECT_EQ(s.dump().find("┊"), std::string::npos) << s.dump();
}

TEST_F(FallingColumn, RestingColumnStillMovesAndFallsOn) {
    const char *under_the_entry = "#....4...#";
    start(10, 12, 3, under_the_entry);
    change_block(3);
    change_block(5); // a fall step over an empty cell moves it
    EXPECT_EQ(block[0][1], 4);
    EXPECT_EQ(block[0][2], 1);
    EXPECT_EQ(map[5][0], 0);
    EXPECT_EQ(life, 1);

    start(10, 12, 3, under_the_entry);
    auto col = cells_of(block);
    change_block(5); // lands where it rests; its own cells refuse the next entry
    EXPECT_EQ(cells_of(block), col);
    EXPECT_EQ(life, 0);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(map[5][i], block[i][0]);
}

TEST_F(FallingColumn, TinyWells) {
    for (int h : {4, 5}) {
        start(3, h);
        change_block(6); // lands at once or after one row; its own cells end the game
        EXPECT_EQ(life, 0) << h;
        EXPECT_EQ(map[1][h - 2], block[2][0]) << h;
        for (int y = 0; y < h; y++) {
            EXPECT_EQ(map[0][y], 10);
            EXPECT_EQ(map[2][y], 10);
        }
        EXPECT_EQ(map[1][h - 1], 10) << h;
    }
    // Wells too short for a column: the entry cells past the board count as taken.
    for (int h : {2, 3}) {
        board_game(3, h);
        next_block();
        creat_new_block();
        EXPECT_EQ(life, 0) << h;
    }
}

} // namespace
