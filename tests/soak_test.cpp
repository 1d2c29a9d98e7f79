// SPDX-License-Identifier: MIT
// soak_test.cpp -- many random games with no screen: the board, the walls
// and the falling column stay sound, and every game ends.

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "rules_check.h"
#include "support.h"
#include "term.h"

namespace {

// Plays one game of random actions; returns the number of actions it took,
// or -1 when it had not ended after limit actions.
long play(std::mt19937 &rng, long limit, std::string &fault) {
    for (long n = 0; n < limit; n++) {
        int roll = (int)(rng() % 10);
        int action = roll < 2 ? 3 : roll < 4 ? 4 : roll < 5 ? 1 : roll < 6 ? 2 : roll < 8 ? 5 : 6;
        change_block(action);
        if (n % 64 == 0) term_flush(); // keep the discarded output from piling up
        fault = rules_check();
        if (!fault.empty() || life == 0) return n;
    }
    return -1;
}

} // namespace

// Boards from the smallest allowed to the largest, every run length,
// settling on and off: thousands of actions without a broken invariant.
TEST(Soak, RandomPlayKeepsTheBoardSound) {
    NullTerminal null(225, 100); // the largest board and its side panel
    const int sizes[][2] = {{3, 4}, {4, 5}, {5, 8}, {7, 12}, {12, 22}, {30, 40}, {100, 100}};
    std::mt19937 rng(20261207);
    long actions = 0;
    int games = 0;
    for (const auto &sz : sizes)
        for (int run = 3; run <= 6; run++)
            for (int drop = 0; drop <= 1; drop++) {
                srand((unsigned)rng());
                rules_setup(sz[0], sz[1], 1 + (int)(rng() % 5), run, drop);
                ASSERT_EQ(rules_check(), "") << "after set-up " << sz[0] << "x" << sz[1];
                long cells = sz[0] * sz[1];
                long limit = cells > 5000 ? 1500 : cells > 1000 ? 4000 : 10000;
                std::string fault;
                long n = play(rng, limit, fault);
                ASSERT_EQ(fault, "") << sz[0] << "x" << sz[1] << " b_num " << run << " b_drop "
                                     << drop << " after " << n << " actions";
                actions += n < 0 ? limit : n;
                games++;
            }
    RecordProperty("actions", (int)actions);
    EXPECT_GT(actions, 10000);
    EXPECT_EQ(games, 56);
}

// With nothing ever removed, only drops: the well fills and every game ends
// in a refused entry.
TEST(Soak, EveryGameEndsInARefusedEntry) {
    NullTerminal null(225, 100); // the largest board and its side panel
    const int sizes[][2] = {{3, 4}, {5, 8}, {12, 22}, {100, 100}};
    for (const auto &sz : sizes)
        for (int drop = 0; drop <= 1; drop++) {
            srand(7);
            rules_setup(sz[0], sz[1], 5, 7, drop);
            long limit = (long)sz[0] * sz[1] + 10; // more drops than cells
            for (long n = 0; life != 0 && n < limit; n++) {
                change_block(n % 3 == 0 ? 3 : n % 3 == 1 ? 4 : 6);
                term_flush();
                if (n % 3 == 2) {
                    ASSERT_EQ(rules_check(), "");
                }
            }
            EXPECT_EQ(life, 0) << sz[0] << "x" << sz[1] << " never ended";
        }
}
