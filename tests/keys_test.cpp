// SPDX-License-Identifier: MIT
// keys_test.cpp -- bytes from the keyboard into the key codes the game reads.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "term/keys.h"

namespace {

using Codes = std::vector<int>;

// Feeds the pieces one read at a time; a lone ESC left at the end is given
// its time, as a quiet keyboard would.
Codes decode(const std::vector<std::string> &reads, term_keys *k = nullptr) {
    term_keys local;
    if (!k) k = &local;
    for (const auto &r : reads)
        k->feed(reinterpret_cast<const unsigned char *>(r.data()), r.size());
    k->expire();
    Codes out;
    for (int c; (c = k->pop()) >= 0;)
        out.push_back(c);
    return out;
}

// Every split of the bytes into two reads, and one byte per read, decodes
// as the whole does.
void expect_split_proof(const std::string &bytes, const Codes &want) {
    EXPECT_EQ(decode({bytes}), want);
    for (size_t cut = 1; cut < bytes.size(); cut++)
        EXPECT_EQ(decode({bytes.substr(0, cut), bytes.substr(cut)}), want) << "cut at " << cut;
    std::vector<std::string> bytewise;
    for (char c : bytes)
        bytewise.emplace_back(1, c);
    EXPECT_EQ(decode(bytewise), want);
}

} // namespace

TEST(KeyDecoder, ArrowsInBothFormsGiveThePrefixAndTheCode) {
    const Codes up_down_right_left = {key_arrow, arrow_up,    key_arrow, arrow_down,
                                      key_arrow, arrow_right, key_arrow, arrow_left};
    expect_split_proof("\x1b[A\x1b[B\x1b[C\x1b[D", up_down_right_left);
    expect_split_proof("\x1bOA\x1bOB\x1bOC\x1bOD", up_down_right_left);
}

TEST(KeyDecoder, PlainKeysAreTheirOwnCodes) {
    expect_split_proof(" \rq1", {key_space, key_enter, 'q', '1'});
    // Ctrl-J and a terminal that sends LF for Enter both mean Enter.
    EXPECT_EQ(decode({"\n"}), Codes{key_enter});
    EXPECT_EQ(decode({std::string("\0\x7f", 2)}), (Codes{0, 127}));
}

TEST(KeyDecoder, LoneEscapeWaitsForItsTime) {
    term_keys k;
    k.feed(reinterpret_cast<const unsigned char *>("\x1b"), 1);
    EXPECT_FALSE(k.ready());
    EXPECT_GE(k.wait_ms(), 30);
    EXPECT_LE(k.wait_ms(), 50);
    k.expire();
    EXPECT_EQ(k.pop(), key_escape);
    EXPECT_EQ(k.pop(), -1);
    EXPECT_EQ(k.wait_ms(), 0);

    // Escape pressed twice, and Escape followed later by an arrow.
    EXPECT_EQ(decode({"\x1b\x1b"}), (Codes{key_escape, key_escape}));
    EXPECT_EQ(decode({"\x1b", ""}), Codes{key_escape});
    term_keys k2;
    k2.feed(reinterpret_cast<const unsigned char *>("\x1b"), 1);
    k2.expire();
    EXPECT_EQ(decode({"\x1b[A"}, &k2), (Codes{key_escape, key_arrow, arrow_up}));
}

TEST(KeyDecoder, OtherSequencesAreSwallowedWhole) {
    const struct {
        const char *kind;
        std::vector<const char *> sequences;
    } swallowed[] = {
        {"F1, F2, F5, F12", {"\x1bOP", "\x1bOQ", "\x1b[11~", "\x1b[15~", "\x1b[24~"}},
        {"Home, End", {"\x1b[H", "\x1b[F", "\x1bOH", "\x1bOF", "\x1b[1~", "\x1b[4~"}},
        {"Ins, Del, PgUp/Dn", {"\x1b[2~", "\x1b[3~", "\x1b[5~", "\x1b[6~"}},
        {"modified arrows", {"\x1b[1;5A", "\x1b[1;2B", "\x1b[1;3C", "\x1b[1;6D", "\x1bO5A"}},
        {"Alt+arrows", {"\x1b\x1b[A", "\x1b\x1bOD"}},
        {"Linux console F-keys", {"\x1b[[A", "\x1b[[E"}},
        {"Alt+key", {"\x1bx", "\x1b ", "\x1b\r"}},
        {"strings", {"\x1b]0;title\x07", "\x1bP1$r0m\x1b\\", "\x1b_apc\x1b\\"}},
        {"replies, paste mark", {"\x1b[?1;2c", "\x1b[>0;136;0c", "\x1b[200~"}},
    };
    for (const auto &group : swallowed) {
        SCOPED_TRACE(group.kind);
        for (const char *s : group.sequences)
            expect_split_proof(s, {});
    }
    // Between keys nothing of them leaks, and the keys around them stay.
    expect_split_proof(" \x1b[15~\x1b[A\x1b[1;5C\r", {key_space, key_arrow, arrow_up, key_enter});
}

TEST(KeyDecoder, CutSequencesGiveUpTheirBytesToWhatFollows) {
    // A control byte or a new ESC inside a sequence ends it; the byte counts.
    EXPECT_EQ(decode({"\x1b[1\r"}), Codes{key_enter});
    EXPECT_EQ(decode({"\x1b[1;\x1b[B"}), (Codes{key_arrow, arrow_down}));
    EXPECT_EQ(decode({"\x1b]never ends\x1b[C"}), (Codes{key_arrow, arrow_right}));
    // Left unfinished and given up on, nothing of it comes out.
    term_keys k;
    k.feed(reinterpret_cast<const unsigned char *>("\x1b[12"), 4);
    EXPECT_GT(k.wait_ms(), 0);
    k.expire();
    EXPECT_FALSE(k.ready());
    EXPECT_EQ(decode({" "}, &k), Codes{key_space});
}

TEST(KeyDecoder, HighBytesNeverFakeAnArrow) {
    // The UTF-8 of a Chinese character from an input method, and GBK bytes.
    expect_split_proof("中", {0xE4, 0xB8, 0xAD});
    expect_split_proof("\xd3\xce", {0xD3, 0xCE});
    // 0xE0 followed by an arrow's second code would read as that arrow.
    for (int second : {arrow_up, arrow_left, arrow_right, arrow_down})
        expect_split_proof(std::string("\xe0") + (char)second, {second});
    expect_split_proof("\xe0\xa4\x85", {0xA4, 0x85}); // a character led by 0xE0
}

TEST(KeyDecoder, CursorPositionReportsAreNoKeys) {
    term_keys k;
    Codes got = decode({"a\x1b[12;4", "0R\x1b[A\x1b[3;7Rb"}, &k);
    EXPECT_EQ(got, (Codes{'a', key_arrow, arrow_up, 'b'}));
    EXPECT_EQ(k.reports, 2u);
    EXPECT_EQ(k.report_row[0], 12);
    EXPECT_EQ(k.report_col[0], 40);
    EXPECT_EQ(k.report_row[1], 3);
    EXPECT_EQ(k.report_col[1], 7);
    // Escape typed just as a report arrives is still Escape.
    EXPECT_EQ(decode({"\x1b\x1b[5;1R"}), Codes{key_escape});
    // Numbers no screen has, or no numbers at all, make no report.
    for (const char *odd : {"\x1b[99999999999999999999;5R", "\x1b[5;123456R", "\x1b[0;5R",
                            "\x1b[;R", "\x1b[5R", "\x1b[1;2;3R"}) {
        term_keys none;
        EXPECT_EQ(decode({odd}, &none), Codes{}) << odd + 1;
        EXPECT_EQ(none.reports, 0u) << odd + 1;
    }
}

// Mouse reports left on by another program are swallowed whole, whatever
// their bytes: X10's raw button byte of a press is a Space, and its
// coordinates can be ESC, '[' or arrow letters.
TEST(KeyDecoder, MouseReportsAreNoKeys) {
    const char *const reports[] = {
        "\x1b[M   ",          // X10: press at column 0, row 0
        "\x1b[M#!!",          // X10: release
        "\x1b[M\x1b[A",       // X10: coordinates that look like an arrow
        "\x1b[M\xe0\xff\x7f", // X10: high bytes
        "\x1b[<0;12;5M",      // SGR press
        "\x1b[<0;12;5m",      // SGR release
        "\x1b[<64;300;200M",  // SGR wheel, far out
        "\x1b[32;12;5M",      // urxvt
    };
    for (const char *r : reports) {
        SCOPED_TRACE(testing::PrintToString(std::string(r)));
        expect_split_proof(std::string(r) + "q", {'q'});
    }
    // A report cut off after its introducer leaves the keys after the wait.
    term_keys k;
    EXPECT_EQ(decode({"\x1b[M "}, &k), Codes{});
    EXPECT_EQ(decode({" "}, &k), Codes{key_space});
}
