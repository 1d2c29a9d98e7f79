// SPDX-License-Identifier: MIT
// board.cpp -- games on a well and text boards for the tests. See board.h.

#include "board.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <iomanip>
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

// The text board's character for each cell code and the two console columns
// that show it; ':' is the guide line, drawn but never stored.
const char CODES[] = ".12345#:";
const char *const GLYPHS[] = {"  ", "① ", "② ", "③ ", "④ ", "⑤ ", "○ ", "┊ "};

int index_of(int v) {
    return v >= 0 && v <= 5 ? v : v == 10 ? 6 : -1;
}

char code_char(int v) {
    return index_of(v) < 0 ? '?' : CODES[index_of(v)];
}

char glyph_char(const std::string &cell) {
    for (int i = 0; i < 8; i++)
        if (cell == GLYPHS[i]) return CODES[i];
    return '?';
}

// The rows of a text board on this well: its characters, blanks skipped, cut
// every width characters.
Rows rows_of(const std::string &board) {
    std::string cells;
    for (char c : board)
        if (!isspace((unsigned char)c)) cells += c;
    Rows rows;
    for (size_t at = 0; at < cells.size(); at += width)
        rows.push_back(cells.substr(at, width));
    if (!rows.empty() && rows.back().size() != (size_t)width) {
        ADD_FAILURE() << "a text board whose rows are not " << width << " wide:\n" << board;
        rows.back().resize(width, '?');
    }
    return rows;
}

// The well as a text board, cell (x, y) written as look(x, y).
template <class Look>
Rows well(Look look) {
    Rows rows(height, std::string(width, ' '));
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            rows[y][x] = look(x, y);
    return rows;
}

} // namespace

const char *glyph(int v) {
    return index_of(v) < 0 ? "?" : GLYPHS[index_of(v)];
}

void draw(int top, const std::string &board) {
    Rows rows = rows_of(board);
    for (size_t r = 0; r < rows.size(); r++)
        for (size_t x = 0; x < rows[r].size(); x++)
            if (rows[r][x] >= '1' && rows[r][x] <= '5')
                place((int)x, top + (int)r, rows[r][x] - '0');
}

testing::AssertionResult board_is(int top, const std::string &board, Screen &screen) {
    Rows given = rows_of(board);
    Rows want = well([&](int x, int y) {
        if (y >= top && y - top < (int)given.size()) return given[y - top][x];
        return x == 0 || x == width - 1 || y == height - 1 ? '#' : '.';
    });
    Rows stored = well([](int x, int y) { return code_char(map[x][y]); });
    Rows shown = well([&](int x, int y) { return glyph_char(screen.cell(x, y)); });
    std::vector<bool> wrong(height);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            wrong[y] = wrong[y] || stored[y][x] != (want[y][x] == ':' ? '.' : want[y][x]) ||
                       shown[y][x] != want[y][x];
    if (std::find(wrong.begin(), wrong.end(), true) == wrong.end())
        return testing::AssertionSuccess();
    auto failure = testing::AssertionFailure();
    failure << "\nrow  expected, map, screen\n";
    for (int y = 0; y < height; y++)
        failure << std::setw(3) << y << "  " << want[y] << "  " << stored[y] << "  " << shown[y]
                << (wrong[y] ? "  <" : "") << "\n";
    return failure;
}
