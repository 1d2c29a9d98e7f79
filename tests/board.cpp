// SPDX-License-Identifier: MIT
// board.cpp -- games on a well and text boards for the tests. See board.h.

#include "board.h"

#include <algorithm>
#include <cctype>
#include <cstddef>

void board_game(int w, int h, int top, const std::string &board) {
    well_settings(w, h, 5, 3, 0);
    init();
    display_frame();
    draw(top, board);
}

void place(int x, int y, int v) {
    map[x][y] = v;
    display_one_block(x, y, v);
}

void line(int x, int y, int dx, int dy, int n, int v) {
    for (int i = 0; i < n; i++)
        place(x + i * dx, y + i * dy, v);
}

std::vector<int32_t> whole_map() {
    return std::vector<int32_t>(&map[0][0], &map[0][0] + MAX * MAX);
}

// ---- Text boards -----------------------------------------------------------

namespace {

// Each cell code, its character on a text board and the two console columns
// that show it; ':' is the guide line, drawn but never stored.
const int CODES[] = {0, 1, 2, 3, 4, 5, 10, -1};
const char CHARS[] = ".12345#:";
const char *const GLYPHS[] = {"  ", "① ", "② ", "③ ", "④ ", "⑤ ", "○ ", "┊ "};

char char_of_glyph(const std::string &cell) {
    for (int i = 0; i < 8; i++)
        if (cell == GLYPHS[i]) return CHARS[i];
    return '?';
}

// A text board's cells, blanks skipped: the rows one after another.
std::string cells_of(const std::string &board) {
    std::string cells;
    for (char c : board)
        if (!isspace((unsigned char)c)) cells += c;
    if (cells.size() % width != 0) {
        ADD_FAILURE() << "a text board whose rows are not " << width << " wide:\n" << board;
        cells.resize(cells.size() + width - cells.size() % width, '?');
    }
    return cells;
}

} // namespace

const char *glyph(int v) {
    for (int i = 0; i < 7; i++)
        if (CODES[i] == v) return GLYPHS[i];
    return "?";
}

void draw(int top, const std::string &board) {
    std::string cells = cells_of(board);
    for (size_t i = 0; i < cells.size(); i++)
        if (cells[i] >= '1' && cells[i] <= '5')
            place((int)(i % width), top + (int)(i / width), cells[i] - '0');
}

testing::AssertionResult OnScreen::shows(int top, const std::string &board) {
    std::string given = cells_of(board);
    auto failure = testing::AssertionFailure() << "\nrow  expected, map, screen\n";
    bool right = true;
    for (int y = 0; y < height; y++) {
        std::string want, stored, shown;
        for (int x = 0; x < width; x++) {
            size_t at = (size_t)(y - top) * width + x;
            bool wall = x == 0 || x == width - 1 || y == height - 1;
            want += y >= top && at < given.size() ? given[at] : wall ? '#' : '.';
            stored += char_of_glyph(glyph(map[x][y]));
            shown += char_of_glyph(s.cell(x, y));
        }
        std::string want_stored = want; // the guide line is drawn, never stored
        std::replace(want_stored.begin(), want_stored.end(), ':', '.');
        bool wrong = stored != want_stored || shown != want;
        right = right && !wrong;
        std::string row = std::to_string(y);
        failure << std::string(3 - row.size(), ' ') << row << "  " << want << "  " << stored << "  "
                << shown << (wrong ? "  <" : "") << "\n";
    }
    return right ? testing::AssertionSuccess() : failure;
}
