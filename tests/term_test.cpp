// term_test.cpp -- what the terminal layer and the console primitives show.

#include <gtest/gtest.h>

#include "help_fun_1.h"
#include "screen.h"
#include "term.h"

// Every console colour, foreground and background, reaches the screen as
// the same palette entry (red and blue bits swapped, intensity bright).
TEST(ConsolePrimitives, AllSixteenColours) {
    Screen s(80, 24);
    term_set_narrow(1);
    for (int c = 0; c < 16; c++) {
        set_color(c, 15 - c);
        set_cocate(c, 0);
        term_text("ab");
    }
    for (int c = 0; c < 16; c++) {
        EXPECT_EQ(s.fg(2 * c, 0), c) << "colour " << c;
        EXPECT_EQ(s.bg(2 * c + 1, 0), 15 - c) << "colour " << c;
    }
}

TEST(ConsolePrimitives, CellsAreTwoColumnsWide) {
    Screen s(80, 24);
    term_set_narrow(1);
    set_cocate(5, 3);
    term_text("①");
    EXPECT_EQ(s.cell(5, 3), "① ");
    set_cocate(0, 0);
    term_text(" ┌──┐");
    set_cocate(0, 1);
    term_text(" │    │");
    EXPECT_EQ(s.line(0), " ┌─────┐");
    EXPECT_EQ(s.ch(7, 1), "│");
    EXPECT_EQ(s.ch(7, 0), "┐");
}
