// SPDX-License-Identifier: MIT
// screen_test.cpp -- the tests' terminal itself: bytes that arrive in pieces.

#include <gtest/gtest.h>

#include "emulator.h"

// A pseudo-terminal hands over output in reads of any size: a character
// whose bytes are split between two reads must still show whole.
TEST(TestScreen, CharacterSplitBetweenReads) {
    const std::string utf8 = "游戏①"; // 3-byte characters
    for (size_t cut = 1; cut < utf8.size(); cut++) {
        Screen s(20, 2, false);
        s.feed(utf8.substr(0, cut));
        s.feed(utf8.substr(cut));
        EXPECT_EQ(s.line(0), "游戏①") << "cut after byte " << cut;
    }
    const std::string gbk = "\xD3\xCE\xCF\xB7"; // 游戏 in GBK
    for (size_t cut = 1; cut < gbk.size(); cut++) {
        Screen s(20, 2, false, true);
        s.feed(gbk.substr(0, cut));
        s.feed(gbk.substr(cut));
        EXPECT_EQ(s.line(0), "游戏") << "cut after byte " << cut;
    }
}
