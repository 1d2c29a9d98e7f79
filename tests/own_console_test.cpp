// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "own_console.h"

// Only a console that no other program shares is the game's own: a shell
// that started the game keeps its window open itself.
TEST(OwnConsole, OnlyTheSoleProcessOwnsItsConsole) {
    struct {
        unsigned long count;
        bool own;
    } const cases[] = {{0, false}, {1, true}, {2, false}, {3, false}};
    for (auto c : cases)
        EXPECT_EQ(console_is_own(c.count), c.own) << c.count;
}
