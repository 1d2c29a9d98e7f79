// SPDX-License-Identifier: MIT
// board_test.cpp -- the well, the side panel, the score panel and the repaint.

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "board.h"
#include "help_fun_1.h"
#include "support.h"
#include "term.h"

namespace {

using Playfield = OnScreen;
using SidePanel = OnScreen;
using ScorePanel = OnScreen;

// ---- The well ------------------------------------------------------------------

TEST_F(Playfield, WellResetsTheBoardRegionOnly) {
    for (auto &column : map)
        for (int &v : column)
            v = 3; // a previous game's leftovers, and garbage outside the well
    board_game(10, 22);
    ASSERT_TRUE(shows(0, ""));
    for (int x = 0; x < 10; x++)
        for (int y = 0; y < 22; y++) {
            bool wall = x == 0 || x == 9 || y == 21;
            EXPECT_EQ(s.bg(2 * x, y), wall ? 8 : 1);
            EXPECT_EQ(s.fg(2 * x, y), 7);
        }
    EXPECT_EQ(map[10][0], 3);
    EXPECT_EQ(map[0][22], 3);
    EXPECT_EQ(s.bg(22, 0), 0); // nothing drawn right of the well

    board_game(3, 5); // the narrowest well has one interior column
    EXPECT_TRUE(shows(0, "#.#"));
}

TEST_F(Playfield, SingleCells) {
    const int back[] = {0, 2, 9, 12, 13, 14};
    for (int a = 1; a <= 5; a++) {
        display_one_block(a, 2, a);
        EXPECT_EQ(s.cell(a, 2), glyph(a));
        EXPECT_EQ(s.fg(2 * a, 2), 0);
        EXPECT_EQ(s.bg(2 * a, 2), back[a]);
    }
    // Other codes only move the cursor and keep the colour.
    for (int a : {0, 10, -1, 6}) {
        set_color(12, 0);
        display_one_block(4, 4, a);
        term_text("x");
        EXPECT_EQ(s.ch(8, 4), "x") << a;
        EXPECT_EQ(s.fg(8, 4), 12) << a;
    }
    not_display_one_block(1, 2);
    EXPECT_EQ(s.cell(1, 2), "  ");
    EXPECT_EQ(s.bg(2, 2), 1);
}

// ---- Side panel ----------------------------------------------------------------

TEST_F(SidePanel, TextsFrameAndPreview) {
    board_game(10, 22);
    usr_help();
    b_type = 5;
    next_block();
    const int col = 22; // console column of cell column width + 1
    EXPECT_EQ(s.line(0, col), "Zelvane");
    EXPECT_EQ(s.fg(col, 0), 12);
    EXPECT_EQ(s.line(1, col), "");
    EXPECT_EQ(s.line(6, col), "下一个方块");
    EXPECT_EQ(s.fg(col, 6), 7);
    // The frame is closed: its corners and sides line up, the preview inside.
    EXPECT_EQ(s.line(7, col), " ┌─────┐");
    EXPECT_EQ(s.line(11, col), " └─────┘");
    for (int r = 8; r <= 10; r++) {
        EXPECT_EQ(s.ch(col + 1, r), "│") << r;
        EXPECT_EQ(s.ch(col + 7, r), "│") << r;
        EXPECT_EQ(s.cell(13, r), glyph(block_new[r - 8][0])) << r;
        EXPECT_EQ(s.bg(26, r), block_new[r - 8][3]);
    }
    const char *lower[] = {"游戏难度随时间增加", "暂停时难度也会增加", " ↑  :方块向上变化",
                           " ↓  :方块向下变化",  " ←  :方块向左移动",  " →  :方块向右移动",
                           "空格:方块瞬移到底",  "回车:暂停"};
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(s.line(12 + i, col), lower[i]) << "row " << 12 + i;
    EXPECT_NE(s.line(20, col), "");
    EXPECT_NE(s.line(21, col), "");
    EXPECT_EQ(s.line(22, col), "");
}

TEST_F(SidePanel, RowsAboveTheScreenAreNotDrawn) {
    board_game(10, 8); // the key help starts on row -2
    usr_help();
    std::string all = s.dump();
    EXPECT_EQ(all.find("游戏难度"), std::string::npos) << all;
    EXPECT_EQ(all.find("暂停时"), std::string::npos) << all;
    // Drawn after the title, the first key line covers it.
    EXPECT_EQ(s.line(0, 22), " ↑  :方块向上变化");
    EXPECT_EQ(s.line(5, 22), "回车:暂停");
}

// ---- Score panel ---------------------------------------------------------------

TEST_F(ScorePanel, StartOfAGame) {
    board_game(10, 22);
    set_cocate(11, 2);
    term_text("old2");
    set_cocate(11, 3);
    term_text("old3");
    count_mark(); // as the set-up does, with an empty group
    EXPECT_EQ(mark, 1);
    EXPECT_EQ(s.line(2, 22), "old2");
    EXPECT_EQ(s.line(3, 22), "old3");
    EXPECT_EQ(s.line(4, 22), "总分数：0");
    EXPECT_EQ(s.fg(22, 4), 12);
    EXPECT_EQ(s.line(5, 22), "总Zelvane数：0");
    EXPECT_EQ(s.fg(22, 5), 12);

    board_game(10, 22);
    max_f = 0; // the game starts at mark 0: every row at once
    count_mark();
    EXPECT_EQ(s.line(2, 22), "Zelvane：0");
    EXPECT_EQ(s.fg(22, 2), 7);
    EXPECT_EQ(s.line(3, 22), "得数：0");
    EXPECT_EQ(s.line(4, 22), "总分数：-1");
}

TEST_F(ScorePanel, RowsTwoAndThreeBlankedAndTotalInFull) {
    board_game(10, 22);
    set_cocate(11, 2);
    term_text("Zelvane：1234567890123"); // all 23 columns
    mark = 3000000001LL;
    count_block = 7;
    qw = 3;
    count_mark();
    EXPECT_EQ(s.line(2, 22), "Zelvane：3");
    EXPECT_EQ(s.line(3, 22), "得数：2");
    EXPECT_EQ(s.line(4, 22), "总分数：3000000002");
    EXPECT_EQ(s.line(5, 22), "总Zelvane数：10");
    EXPECT_EQ(mark, 3000000003LL);
}

TEST_F(ScorePanel, GroupScoreIsCappedWithoutOverflow) {
    auto score = [](int32_t cap, int cells) {
        max_f = cap;
        return group_score(cells);
    };
    EXPECT_EQ(score(1000, 0), 1);
    EXPECT_EQ(score(1000, 2), 1);
    EXPECT_EQ(score(1000, 3), 2);
    EXPECT_EQ(score(1000, 4), 4);
    EXPECT_EQ(score(1000, 8), 64);
    EXPECT_EQ(score(1000, 70), 1000);
    EXPECT_EQ(score(100, 9), 100);
    EXPECT_EQ(score(INT_MAX, 32), 1LL << 30);
    EXPECT_EQ(score(INT_MAX, 33), INT_MAX);
    EXPECT_EQ(score(INT_MAX, 65), INT_MAX);
    EXPECT_EQ(score(INT_MAX, 9702), INT_MAX);
    EXPECT_EQ(score(0, 2), 0);
    EXPECT_EQ(score(-5, 40), -5);
}

// ---- Repaint -------------------------------------------------------------------

// Each row of the screen, every cell with its colours.
std::vector<std::string> snapshot(Screen &s) {
    std::vector<std::string> rows(s.rows());
    for (int r = 0; r < s.rows(); r++)
        for (int c = 0; c < s.cols(); c++)
            rows[r] +=
                s.ch(c, r) + std::to_string(s.fg(c, r)) + "/" + std::to_string(s.bg(c, r)) + " ";
    return rows;
}

// Plays a little on a 10 x h well the way the game does, with or without
// removing a group.
void play_a_little(int h, bool remove) {
    // One colour, so every column is all code 1 and the drop makes a run of three.
    rules_setup(10, h, 1, remove ? 3 : 0, 0);
    change_block(6);
    b_type = 5;
    draw(h - 3, "#.4......#"
                "#23.....5#");
    next_block();
    change_block(3);
    change_block(1);
    change_block(5);
}

TEST(Repaint, EqualsTheDrawnGameAndChangesNothing) {
    ScratchDir dir;
    // A tall well, and short ones whose key help shares rows with the score.
    for (auto [h, remove] : {std::pair{22, true}, {14, false}, {14, true}}) {
        SCOPED_TRACE("height " + std::to_string(h) + (remove ? ", a group removed" : ""));
        Screen s(80, 30);
        chars_set_narrow(1);
        play_a_little(h, remove);
        ASSERT_EQ(count_block, remove ? 3 : 0);
        const std::vector<std::string> drawn = snapshot(s);

        debug = 1; // a repaint must not append a dump
        std::vector<int32_t> board = whole_map();
        int64_t mark0 = mark;
        s.feed("\x1b[31mjunk everywhere\r\n\x1b[44m more junk");
        repaint_lost_screen();
        const std::vector<std::string> again = snapshot(s);
        for (int r = 0; r < s.rows(); r++)
            EXPECT_EQ(again[r], drawn[r]) << "row " << r;
        EXPECT_EQ(whole_map(), board);
        EXPECT_EQ(mark, mark0);
        EXPECT_FALSE(std::filesystem::exists("data.txt"));
    }
}

} // namespace
