// SPDX-License-Identifier: MIT
// term_test.cpp -- what the terminal layer and the console primitives show.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#ifdef __APPLE__
#define __fpurge fpurge // macOS has it in <stdio.h>, without the underscores
#else
#include <stdio_ext.h>
#endif
#include <fcntl.h>
#include <unistd.h>

#include "help_fun_1.h"
#include "board.h"
#include "emulator.h"
#include "ptyrun.h"
#include "support.h"
#include "term.h"
#include "term/chars.h"
#include "term/vt.h"

// Text from board position (x, y) on, as the game's screens write it.
static void text_at(int x, int y, const char *text) {
    set_cocate(x, y);
    term_text(text);
}

// The top of a frame and the row below it, as the panel draws them.
static void draw_frame(int x) {
    text_at(x, 0, " ┌──┐");
    text_at(x, 1, " │    │");
}

// The primitives draw on the tests' 80 x 30 terminal.
class ConsolePrimitives : public OnScreen {};

// Every console colour, foreground and background, reaches the screen as
// the same palette entry (red and blue bits swapped, intensity bright).
TEST_F(ConsolePrimitives, AllSixteenColours) {
    for (int c = 0; c < 16; c++) {
        set_color(c, 15 - c);
        text_at(c, 0, "ab");
    }
    for (int c = 0; c < 16; c++) {
        EXPECT_EQ(s.fg(2 * c, 0), c) << "colour " << c;
        EXPECT_EQ(s.bg(2 * c + 1, 0), 15 - c) << "colour " << c;
    }
}

TEST_F(ConsolePrimitives, CellsAreTwoColumnsWide) {
    text_at(5, 3, "①");
    EXPECT_EQ(s.cell(5, 3), "① ");
    draw_frame(0);
    EXPECT_EQ(s.line(0), " ┌─────┐");
    EXPECT_EQ(s.ch(7, 1), "│");
    EXPECT_EQ(s.ch(7, 0), "┐");
}

TEST_F(ConsolePrimitives, AttributesAndPositions) {
    struct {
        int row, fore, back;
    } cases[] = {{0, 8, 1}, {1, 0, 14}, {2, 12, 0}};
    for (auto c : cases) {
        set_color(c.fore, c.back);
        text_at(5, c.row, "x");
        EXPECT_EQ(s.fg(10, c.row), c.fore);
        EXPECT_EQ(s.bg(10, c.row), c.back);
    }
    style();
    term_text("y");
    EXPECT_EQ(s.fg(11, 2), 7);
    EXPECT_EQ(s.bg(11, 2), 0);

    for (auto [x, y] : {std::pair{5, 3}, std::pair{0, 0}}) {
        set_cocate(x, y);
        EXPECT_EQ(s.cursor_col(), 2 * x);
        EXPECT_EQ(s.cursor_row(), y);
    }
}

// Above or left of the screen nothing is drawn, and no broken sequence is
// sent; the next position on the screen draws again.
TEST_F(ConsolePrimitives, OffScreenPositionsDrawNothing) {
    text_at(1, 1, "ab");
    text_at(-1, 1, "zz");
    text_at(2, -3, "zz\nzz");
    text_at(-40000, -40000, "zz");
    s.sync();
    EXPECT_EQ(s.bytes().find("[-"), std::string::npos);
    EXPECT_EQ(s.line(1), "  ab");
    EXPECT_EQ(s.line(0), "");
    text_at(0, 2, "ok");
    EXPECT_EQ(s.line(2), "ok");
}

TEST_F(ConsolePrimitives, ClearCommandAndOtherCommands) {
    set_color(15, 4);
    text_at(3, 3, "text\nmore");
    EXPECT_EQ(s.line(4), "more");
    command(0);
    command(3);
    command(-1);
    EXPECT_EQ(s.line(3), "      text");
    command(1);
    for (int r = 0; r < s.rows(); r++)
        EXPECT_EQ(s.line(r), "") << r;
    EXPECT_EQ(s.bg(5, 5), 0); // cleared in the default colours
    EXPECT_EQ(s.cursor_col(), 0);
    EXPECT_EQ(s.cursor_row(), 0);
    term_text("x");
    EXPECT_EQ(s.fg(0, 0), 7);
}

TEST_F(ConsolePrimitives, CursorAndTitle) {
    for (bool shown : {false, true}) {
        set_cursor(shown);
        s.sync();
        EXPECT_EQ(s.cursor_visible(), shown);
    }
    console();
    s.sync();
    EXPECT_EQ(s.title(), "Zelvane");
}

// The pause prompt takes one whole key: both codes of an arrow, and
// nothing of a function key's sequence.
TEST_F(ConsolePrimitives, PauseTakesOneWholeKey) {
    while (term_kbhit())
        term_getch();
    fake::type("\x1b[A"
               "x");
    command(2);
    EXPECT_EQ(s.line(0), "请按任意键继续. . .");
    EXPECT_EQ(s.cursor_row(), 1);
    EXPECT_EQ(s.cursor_col(), 0);
    ASSERT_TRUE(term_kbhit());
    EXPECT_EQ(term_getch(), 'x');
    fake::type("\x1b[15~"
               "\r");
    command(2);
    EXPECT_FALSE(term_kbhit());
}

// ---- What the layer asks the back end -------------------------------------

// The play loop polls ten times a pass: right after a wait that found
// nothing the polls ask the back end nothing, and a key that comes later is
// seen by the next poll. The window's size is asked after a resize only.
TEST(TermGlue, PollsAndSizesAskOnlyWhenSomethingCanHaveCome) {
    Screen s(80, 30);
    term_wait(5);
    unsigned waits = fake::waits(), sizes = fake::size_asks();
    int c, r;
    for (int i = 0; i < 10; i++) {
        EXPECT_FALSE(term_kbhit());
        term_size(&c, &r);
    }
    EXPECT_EQ(fake::waits(), waits);
    EXPECT_EQ(fake::size_asks(), sizes);

    fake::type("x"); // at once: no time passes
    ASSERT_TRUE(term_kbhit());
    EXPECT_EQ(term_getch(), 'x');
    EXPECT_EQ(fake::waits(), waits + 1);

    s.resize(90, 32);
    term_size(&c, &r);
    EXPECT_EQ(c, 90);
    EXPECT_EQ(r, 32);
    EXPECT_EQ(fake::size_asks(), sizes + 1);
}

// The width probe: the question, and the width from the cursor's place
// before and after the glyph.
TEST(TermGlue, WidthProbeAsksAndReadsTheAnswers) {
    const struct {
        int row[2], col[2];
        int width;
    } cases[] = {
        {{5, 5}, {10, 12}, 2}, {{5, 5}, {10, 11}, 1},
        {{5, 6}, {10, 2}, 0},  // wrapped to the next row
        {{5, 5}, {10, 14}, 0}, // no glyph is four columns wide
        {{5, 5}, {10, 10}, 0}, // nothing written
    };
    for (const auto &c : cases)
        EXPECT_EQ(vt_probe::width(c.row, c.col), c.width) << c.col[0] << " to " << c.col[1];
    EXPECT_EQ(vt_probe::ask(nullptr, "○"), "\x1b"
                                           "7\x1b[6n○\x1b[6n");
    // An encoding without the glyph asks nothing.
    vt_encoder lacks = [](const char *, size_t, std::string *) { return false; };
    EXPECT_EQ(vt_probe::ask(lacks, "○"), "");
}

// ---- GBK -------------------------------------------------------------------

namespace {

// The text the layer sends for text on a GBK terminal, escape sequences
// (ESC, a byte, and all up to a final byte from @ to ~) left out.
std::string layer_gbk(const std::string &text) {
    Screen s(80, 24, true, true);
    chars_set_narrow(0);
    term_text(text.c_str());
    s.sync();
    static const std::regex escape(R"(\x1b[\s\S][^@-~]*[@-~]?)");
    return std::regex_replace(s.bytes(), escape, "");
}

// Every text the game shows, taken from the string literals of its sources
// (the game's modules and the terminal layer's messages) that hold more
// than ASCII.
std::vector<std::string> game_texts() {
    // A string literal, its text in group 1 (one left open ends with its line),
    // or the character literal '"'.
    static const std::regex literal(R"re('"'|"((?:\\[\s\S]|[^"\\\n])*)"?)re");
    std::vector<std::string> texts;
    namespace fs = std::filesystem;
    for (const auto &entry :
         fs::recursive_directory_iterator(fs::path(ZELVANE_SOURCE_DIR) / "src")) {
        if (entry.path().extension() != ".cpp") continue;
        const std::string code = file_text(entry.path().string());
        for (std::sregex_iterator m(code.begin(), code.end(), literal), end; m != end; ++m) {
            const std::string quoted = (*m)[1];
            std::string text;
            for (size_t i = 0; i < quoted.size(); i++) {
                if (quoted[i] != '\\')
                    text += quoted[i];
                else
                    text += quoted[++i] == 'n' ? '\n' : quoted[i]; // an escape
            }
            if (std::any_of(text.begin(), text.end(),
                            [](char c) { return (unsigned char)c >= 0x80; }))
                texts.push_back(text);
        }
    }
    return texts;
}

} // namespace

TEST(Gbk, KnownTextGivesKnownBytes) {
    EXPECT_EQ(layer_gbk("游戏结束"), "\xD3\xCE\xCF\xB7\xBD\xE1\xCA\xF8");
    EXPECT_EQ(layer_gbk("Zelvane：1\n"), "Zelvane\xA3\xBA"
                                         "1");
}

TEST(Gbk, EveryGameTextSurvivesTheRoundTrip) {
    std::vector<std::string> texts = game_texts();
    ASSERT_GT(texts.size(), 60u) << "the game's texts were not found in " ZELVANE_SOURCE_DIR;
    for (const std::string &text : texts) {
        std::string gbk = layer_gbk(text), want;
        EXPECT_EQ(gbk.find('?'), std::string::npos) << text;
        EXPECT_TRUE(gbk_encode(text.data(), text.size(), &want)) << text;
        // Blanks over the blank screen are not sent: only the glyphs count.
        std::erase(gbk, ' ');
        std::erase_if(want, [](char c) { return c == ' ' || c == '\n'; });
        EXPECT_EQ(gbk, want) << text;
    }
}

// A GBK terminal shows the panel as a UTF-8 one does, padding included.
TEST(Gbk, TerminalShowsTheLayersGbk) {
    Screen s(80, 24, true, true);
    draw_frame(1);
    set_color(14, 0);
    text_at(1, 2, "⑤");
    style();
    text_at(0, 3, "总分数：12");
    EXPECT_EQ(s.line(0), "   ┌─────┐");
    EXPECT_EQ(s.ch(9, 1), "│");
    EXPECT_EQ(s.cell(1, 2), "⑤ ");
    EXPECT_EQ(s.fg(3, 2), 14);
    EXPECT_EQ(s.line(3), "总分数：12");
    EXPECT_EQ(s.width(0, 3), 2);
}

TEST(Gbk, CharactersWithoutGbkBecomeQuestionMarks) {
    EXPECT_EQ(layer_gbk("a😀b\xff"), "a?b?");
    EXPECT_EQ(layer_gbk("ok"), "ok");
}

// ---- Utilities -------------------------------------------------------------

namespace {

// Runs input_int(lo, hi) with input as standard input; gives the result,
// and the screen's lines in lines.
int input_int_with(const std::string &input, int lo, int hi, std::vector<std::string> *lines) {
    TempDir d;
    d.write("input", input);
    int fd = open((d.path + "/input").c_str(), O_RDONLY);
    EXPECT_GE(fd, 0);
    fflush(stdin);
    int saved = dup(STDIN_FILENO);
    dup2(fd, STDIN_FILENO);
    close(fd);
    clearerr(stdin);
    Screen s(100, 24);
    int v = input_int(lo, hi);
    __fpurge(stdin);
    dup2(saved, STDIN_FILENO);
    close(saved);
    clearerr(stdin);
    lines->clear();
    for (int r = 0; r < s.rows() && !s.line(r).empty(); r++)
        lines->push_back(s.line(r));
    return v;
}

} // namespace

TEST(Utilities, InputIntRepeatsUntilInRange) {
    std::vector<std::string> lines;
    EXPECT_EQ(input_int_with("9\n0\n3\n4\n", 1, 5, &lines), 3);
    const std::string prompt = "请输入 1~5 的数值,并按回车确定;";
    const std::string error = "输入错误，请重新输入 1~5 的数值,并按回车确定;";
    EXPECT_EQ(lines, (std::vector<std::string>{prompt, error, error}));

    // Lines that are no integer are refused like values out of range.
    std::string junk = "abc\n\n2x\n" + std::string(600, '7') + "\n99999999999\n  -2  \n";
    EXPECT_EQ(input_int_with(junk, -5, 5, &lines), -2);
    EXPECT_EQ(lines.size(), 6u);

    // The end of input ends the prompting with the lower bound.
    EXPECT_EQ(input_int_with("8\n", 1, 5, &lines), 1);
    EXPECT_EQ(input_int_with("", 4, 4, &lines), 4);
    EXPECT_EQ(input_int_with("5", 1, 5, &lines), 5);
    EXPECT_EQ(lines.size(), 1u);
}

TEST(Utilities, PathTestsAndSizesWithoutAShell) {
    TempDir d;
    d.write("f.txt", "12345");
    d.write("empty", "");
    // A path that a shell would run is only a path here.
    const std::string marker = d.path + "/ran";
    const struct {
        std::string path;
        int dir, file, size;
    } cases[] = {
        {d.path, 1, 1, -1},
        {d.path + "/f.txt", 0, 1, 5},
        {d.path + "/empty", 0, 1, 0},
        {d.path + "/missing", 0, 0, -1},
        {d.path + " & touch " + marker + " & echo", 0, 0, -1},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(check_dir_access(c.path.c_str()), c.dir) << c.path;
        EXPECT_EQ(check_file_access(c.path.c_str()), c.file) << c.path;
        EXPECT_EQ(get_file_size(c.path.c_str()), c.size) << c.path;
    }
    EXPECT_EQ(check_file_access(marker.c_str()), 0);
}
