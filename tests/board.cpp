// SPDX-License-Identifier: MIT
// board.cpp -- games on a well and text boards for the tests. See board.h.

#include "board.h"

#include <cctype>
#include <cstddef>
#include <cstdio>
#include <vector>

#include "order_b_1.h"
#include "order_fun_2.h"

void board_game(int w, int h) {
    width = w;
    height = h;
    b_type = 5;
    b_num = 3;
    max_f = 1000;
    debug = help_line = s_twi = b_drop = twinkle = twi_num = 0;
    init();
    display_frame();
}

void place(int x, int y, int v) {
    map[x][y] = v;
    display_one_block(x, y, v);
}

void line(int x, int y, int dx, int dy, int n, int v) {
    for (int i = 0; i < n; i++)
        place(x + i * dx, y + i * dy, v);
}

// ---- Text boards -----------------------------------------------------------

namespace {

using Rows = std::vector<std::string>;

// The rows of a text board on this well: its characters, blanks skipped, cut
// every width characters.
Rows rows_of(const std::string &board) {
    std::string cells;
    for (char c : board)
        if (!isspace((unsigned char)c)) cells += c;
    Rows rows;
    for (size_t at = 0; at < cells.size(); at += width)
        rows.push_back(cells.substr(at, width));
    if (!rows.empty() && rows.back().size() != (size_t)width)
        ADD_FAILURE() << "a text board whose rows are not " << width << " wide:\n" << board;
    return rows;
}

// The whole well: the rows from board row top down, every other row empty.
Rows expected_rows(int top, const Rows &rows) {
    Rows all;
    for (int y = 0; y < height; y++) {
        if (y >= top && y - top < (int)rows.size())
            all.push_back(rows[y - top]);
        else if (y == height - 1)
            all.push_back(std::string(width, '#'));
        else
            all.push_back("#" + std::string(width - 2, '.') + "#");
    }
    return all;
}

char code_char(int v) {
    return v == 0 ? '.' : v == 10 ? '#' : v >= 1 && v <= 5 ? (char)('0' + v) : '?';
}

// A board cell's two console columns as the text board writes them.
char glyph_char(const std::string &cell) {
    static const char *const glyph[] = {"  ", "① ", "② ", "③ ", "④ ", "⑤ ", "○ ", "┊ "};
    static const char text[] = ".12345#:";
    for (int i = 0; i < 8; i++)
        if (cell == glyph[i]) return text[i];
    return '?';
}

Rows map_rows() {
    Rows rows(height, std::string(width, ' '));
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            rows[y][x] = code_char(map[x][y]);
    return rows;
}

Rows screen_rows(Screen &s) {
    Rows rows(height, std::string(width, ' '));
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            rows[y][x] = glyph_char(s.cell(x, y));
    return rows;
}

} // namespace

void draw(int top, const std::string &board) {
    Rows rows = rows_of(board);
    for (size_t r = 0; r < rows.size(); r++)
        for (size_t x = 0; x < rows[r].size(); x++)
            if (rows[r][x] >= '1' && rows[r][x] <= '5')
                place((int)x, top + (int)r, rows[r][x] - '0');
}

testing::AssertionResult board_is(int top, const std::string &board, Screen *screen) {
    Rows want = expected_rows(top, rows_of(board)), in_map = map_rows(), shown;
    Rows want_in_map = want; // the guide line is drawn, never stored
    for (std::string &row : want_in_map)
        for (char &c : row)
            c = c == ':' ? '.' : c;
    if (screen) shown = screen_rows(*screen);
    if (in_map == want_in_map && (!screen || shown == want)) return testing::AssertionSuccess();
    // Side by side, the wrong rows marked.
    const size_t wide = width > 8 ? width + 2 : 10;
    auto column = [wide](const std::string &text) {
        return text + std::string(wide > text.size() ? wide - text.size() : 1, ' ');
    };
    auto failure = testing::AssertionFailure();
    failure << "\nrow  " << column("expected") << column("map") << (screen ? "screen" : "") << "\n";
    for (int y = 0; y < height; y++) {
        bool wrong = in_map[y] != want_in_map[y] || (screen && shown[y] != want[y]);
        char label[16];
        snprintf(label, sizeof label, "%3d  ", y);
        failure << label << column(want[y]) << column(in_map[y]) << (screen ? shown[y] : "")
                << (wrong ? "  <" : "") << "\n";
    }
    return failure;
}
