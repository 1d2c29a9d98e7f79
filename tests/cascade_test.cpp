// SPDX-License-Identifier: MIT
// cascade_test.cpp -- find_line removes the same groups in the same order,
// with the same output, as the plain search that starts over after every
// removal (cascade_check.h), on random boards of every size and setting.

#include <gtest/gtest.h>

#include <random>

#include "cascade_check.h"

namespace {

// A random board: any size from 3 x 4 to the largest, any run length from
// 2 to 7, settling on or off, cells floating or not, the column anywhere.
cascade::Board random_board(std::mt19937 &rng) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    static cascade::Board b;
    b = {};
    bool large = pick(0, 3) == 0;
    b.w = large ? pick(60, MAX) : pick(3, 20);
    b.h = large ? pick(60, MAX) : pick(4, 24);
    b.types = pick(1, 5);
    b.run = pick(2, 7);
    b.drop = pick(0, 1);
    b.flash = b.w * b.h <= 300; // each flash sleeps, so only small boards flash
    int fill = pick(0, 100), floating = pick(0, 1);
    for (int x = 1; x < b.w - 1; x++) {
        int top = floating ? 0 : pick(0, b.h - 1);
        for (int y = top; y < b.h - 1; y++)
            if (pick(1, 100) <= fill) b.cells[x][y] = pick(1, b.types);
    }
    b.land_x = pick(1, b.w - 2);
    for (int &c : b.land_c)
        c = pick(1, b.types);
    return b;
}

TEST(Cascade, RandomBoardsGiveThePlainSearchsResults) {
    std::mt19937 rng(17);
    for (int i = 0; i < 400; i++) {
        const cascade::Board &b = random_board(rng);
        ASSERT_EQ(cascade::differ(b), "") << "board " << i << ": " << b.w << " x " << b.h << " run "
                                          << b.run << " drop " << b.drop;
    }
}

// Shapes whose settling keeps making new runs, where a stale record of the
// runs would show: stacked bands of two colours, and the full board in one colour.
TEST(Cascade, BoardsThatKeepMakingRuns) {
    struct Case {
        int w, h, run, drop, period;
    } cases[] = {{MAX, MAX, 3, 1, 2}, {MAX, MAX, 3, 0, 2}, {12, 30, 4, 1, 3},
                 {3, 40, 3, 1, 2},    {MAX, MAX, 3, 1, 1}, {40, 40, 6, 1, 5}};
    for (const Case &c : cases) {
        static cascade::Board b;
        b = {c.w, c.h, 2, c.run, c.drop, false, {}, c.w / 2, {1, 2, 1}};
        for (int x = 1; x < c.w - 1; x++)
            for (int y = 0; y < c.h - 1; y++)
                b.cells[x][y] = 1 + (x / c.period + y) % 2;
        EXPECT_EQ(cascade::differ(b), "") << c.w << " x " << c.h << " run " << c.run;
    }
}

} // namespace
