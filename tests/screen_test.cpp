// SPDX-License-Identifier: MIT
// screen_test.cpp -- the tests' terminal itself: bytes that arrive in pieces.

#include <gtest/gtest.h>

#include "emulator.h"

// A pseudo-terminal hands over output in reads of any size: a character
// whose bytes are split between two reads must still show whole.
TEST(TestScreen, CharacterSplitBetweenReads) {
    const struct {
        std::string bytes;
        bool gbk;
        const char *shows;
    } cases[] = {{"游戏①", false, "游戏①"}, {"\xD3\xCE\xCF\xB7", true, "游戏"}};
    for (const auto &c : cases)
        for (size_t cut = 1; cut < c.bytes.size(); cut++) {
            Screen s(20, 2, false, c.gbk);
            s.feed(c.bytes.substr(0, cut));
            s.feed(c.bytes.substr(cut));
            EXPECT_EQ(s.line(0), c.shows) << "cut after byte " << cut;
        }
}
