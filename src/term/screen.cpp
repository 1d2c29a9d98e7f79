// SPDX-License-Identifier: MIT
// screen.cpp -- the screen model and its damage as runs.
//
// Two grids of console cells: want, what the program has drawn, and shown,
// what the terminal shows. Drawing changes only want; screen_damage
// compares the rows that changed and hands the cells that differ over as
// runs (paint.h), merged and bridged so that a painter moves and changes
// colours no more than it has to. Both grids follow the terminal's own
// rules for wide glyphs, line ends and scrolling, so that writing want's
// cells into shown gives what the terminal shows.
//
// The model knows no terminal: its inputs are the drawing calls and a size,
// its output runs of Unicode text.

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "chars.h"
#include "screen.h"

// ---- Cells -----------------------------------------------------------------

namespace {

const int16_t DEFAULT = PAINT_DEFAULT; // the terminal's own colours, as a clear leaves them
const int16_t UNKNOWN_PEN = -2;        // colours of the terminal not known yet

// Eight bytes: a window of SCREEN_MAX_COLS x SCREEN_MAX_ROWS is 8 MB a grid.
struct Cell {
    uint32_t glyph = ' '; // its UTF-8 bytes, packed (utf8_pack)
    int16_t attr = DEFAULT;
    uint8_t len = 1;       // bytes used; 0 for the right half of a wide glyph
    uint8_t width : 2 = 1; // columns the glyph takes; 0 for a right half
    uint8_t known : 1 = 0; // drawn (or cleared) by the program

    // A blank's foreground shows nowhere: blanks in the same background
    // look the same.
    bool blank() const { return len == 1 && glyph == ' '; }
    bool same(const Cell &o) const {
        if (known != o.known || len != o.len || width != o.width || glyph != o.glyph) return false;
        if (blank() && attr >= 0 && o.attr >= 0) return (attr >> 4) == (o.attr >> 4);
        return attr == o.attr;
    }
};

static_assert(sizeof(Cell) == 8, "a cell stays small: the grids hold up to a million");

Cell blank_cell(int16_t attr) {
    Cell c;
    c.attr = attr;
    c.known = true;
    return c;
}

// A grid of console cells with the terminal's rules for writing into it.
// It is as large as the largest window seen: a window made smaller shows
// less of it, and a window made large again shows all of it once more.
struct Grid {
    int cols = 0, rows = 0;         // the window
    int cap_cols = 0, cap_rows = 0; // the cells kept
    std::vector<Cell> cells;
    std::vector<char> dirty; // a row changed since the last flush

    Cell &at(int x, int y) { return cells[(size_t)y * cap_cols + x]; }

    void resize(int c, int r) {
        if (c > cap_cols || r > cap_rows) {
            int nc = c > cap_cols ? c : cap_cols, nr = r > cap_rows ? r : cap_rows;
            std::vector<Cell> next((size_t)nc * nr);
            for (int y = 0; y < cap_rows; y++)
                for (int x = 0; x < cap_cols; x++)
                    next[(size_t)y * nc + x] = at(x, y);
            cells.swap(next);
            cap_cols = nc;
            cap_rows = nr;
        }
        cols = c;
        rows = r;
        dirty.assign(cap_rows, 1);
    }

    void fill(const Cell &c) {
        cells.assign(cells.size(), c);
        dirty.assign(cap_rows, 1);
    }

    // Writes the glyph at (x, y). A glyph that lands on half of a wide one
    // leaves its other half as orphan: a blank in the program's drawing,
    // and in the terminal's not known (terminals differ there).
    void put(int x, int y, Cell g, const Cell *orphan = nullptr) {
        Cell &c = at(x, y);
        dirty[y] = 1;
        // The common case, a narrow glyph over a narrow one, cuts nothing.
        if (g.width == 1 && c.width == 1) {
            c = g;
            return;
        }
        auto orphaned = [&](Cell &o) { o = orphan ? *orphan : blank_cell(o.attr); };
        if (c.width == 0 && x > 0) orphaned(at(x - 1, y));
        if (c.width == 2 && g.width == 1 && x + 1 < cols) orphaned(at(x + 1, y));
        if (g.width == 2) {
            Cell &next = at(x + 1, y);
            if (next.width == 2 && x + 2 < cols) orphaned(at(x + 2, y));
            next = g;
            next.glyph = 0;
            next.len = 0;
            next.width = 0;
        }
        c = g;
    }

    // Moves the window's rows up one; the new bottom row is blank in attr.
    void scroll(int16_t attr) {
        auto top = cells.begin();
        std::move(top + cap_cols, top + (ptrdiff_t)rows * cap_cols, top);
        std::fill(top + (ptrdiff_t)(rows - 1) * cap_cols, top + (ptrdiff_t)rows * cap_cols,
                  blank_cell(attr));
        dirty.assign(cap_rows, 1);
    }
};

} // namespace

// ---- State -----------------------------------------------------------------

static struct {
    Grid want;             // what the program has drawn
    Grid shown;            // what the terminal shows
    int cx, cy;            // the program's cursor; cx == cols: past the end of the row
    bool offscreen;        // the cursor was put above or left of the screen: drop text
    int16_t pen = DEFAULT; // colours of the text written next
    bool cursor_visible = true;
    std::string title; // the program's title, UTF-8
    bool cleared;      // screen_clear since the last damage: a clear may be cheapest
    bool repaint;      // the terminal lost its contents: clear, write everything

    // What the painter was told so far, and so what the terminal has.
    int term_x = -1, term_y = -1; // where painting goes on; -1: not known
    int16_t term_pen = UNKNOWN_PEN;
    int term_cursor = -1;   // 1 shown, 0 hidden, -1 not known
    std::string term_title; // last title handed over
    bool term_title_known;

    paint_frame *frame; // the damage being built

    // screen_save: the drawing put aside while something else is shown.
    Grid saved;
    int saved_cx, saved_cy;
    int16_t saved_pen;
    bool has_saved;
} S;

void screen_fit(int *cols, int *rows) {
    *cols = std::clamp(*cols, 1, SCREEN_MAX_COLS);
    *rows = std::clamp(*rows, 1, SCREEN_MAX_ROWS);
}

bool screen_sized(void) {
    return S.want.cols > 0;
}

void screen_reset(int cols, int rows, bool blank) {
    screen_fit(&cols, &rows);
    S.want = Grid();
    S.want.resize(cols, rows);
    S.shown = Grid();
    S.shown.resize(cols, rows);
    if (blank) S.shown.fill(blank_cell(DEFAULT));
    S.cx = S.cy = 0;
    S.offscreen = false;
    S.pen = DEFAULT;
    S.cleared = S.repaint = false;
    S.term_x = S.term_y = -1;
    S.term_pen = UNKNOWN_PEN;
    S.term_cursor = -1;
    S.title.clear();
    S.term_title_known = false;
    S.has_saved = false;
}

void screen_resize(int cols, int rows) {
    screen_fit(&cols, &rows);
    if (cols == S.want.cols && rows == S.want.rows) return;
    S.want.resize(cols, rows);
    S.shown.resize(cols, rows);
    if (S.cx > cols) S.cx = cols;
    if (S.cy >= rows) S.cy = rows - 1;
}

void screen_invalidate(void) {
    S.repaint = true;
    S.term_x = S.term_y = -1;
    S.term_pen = UNKNOWN_PEN;
    S.term_cursor = -1;
    S.term_title_known = false;
}

// ---- Drawing into the model ------------------------------------------------

static void newline(void) {
    S.cx = 0;
    if (S.cy < S.want.rows - 1)
        S.cy++;
    else
        S.want.scroll(S.pen);
}

// One glyph at the cursor, its bytes packed, wrapping at the right edge as
// the terminal does. Built in a register and stored whole: a cell is drawn
// at about the cost of a store.
static void put_glyph(uint32_t glyph, size_t len, int width) {
    if (width > S.want.cols) return;
    if (S.cx + width > S.want.cols) newline();
    Cell g;
    g.glyph = glyph;
    g.len = (uint8_t)len;
    g.width = (uint8_t)width & 3;
    g.attr = S.pen;
    g.known = true;
    S.want.put(S.cx, S.cy, g);
    S.cx += width;
}

void screen_color(int attr) {
    S.pen = (int16_t)(attr & 0xFF);
}

void screen_goto(int col, int row) {
    S.offscreen = col < 0 || row < 0;
    if (S.offscreen) return;
    S.cx = col < S.want.cols ? col : S.want.cols - 1;
    S.cy = row < S.want.rows ? row : S.want.rows - 1;
}

void screen_text(const char *utf8) {
    if (S.offscreen) return;
    utf8_each(utf8, [](const char *s, size_t n) {
        unsigned char c = (unsigned char)*s;
        if (n == 1) {
            if (c == '\n')
                newline();
            else if (c >= 0x20 && c != 0x7f)
                put_glyph(c, 1, 1);
            return;
        }
        const glyph_look &g = glyph_look_of(s, n);
        put_glyph(g.key, g.len, g.columns);
        if (g.pad) put_glyph(g.pad_key, g.pad_len, 1);
    });
}

void screen_cursor(bool visible) {
    S.cursor_visible = visible;
}

void screen_title(const char *utf8) {
    S.title = utf8;
}

void screen_clear(void) {
    S.want.fill(blank_cell(DEFAULT));
    S.pen = DEFAULT;
    S.cx = S.cy = 0;
    S.offscreen = false;
    S.cleared = true;
}

void screen_save(void) {
    S.saved = S.want;
    S.saved_cx = S.cx;
    S.saved_cy = S.cy;
    S.saved_pen = S.pen;
    S.has_saved = true;
}

void screen_restore(void) {
    if (!S.has_saved) return;
    int cols = S.want.cols, rows = S.want.rows;
    S.want = S.saved;
    S.want.resize(cols, rows);
    // What was never drawn is blank now: something else was shown there.
    for (Cell &c : S.want.cells)
        if (!c.known) c = blank_cell(DEFAULT);
    S.cx = S.saved_cx < cols ? S.saved_cx : cols;
    S.cy = S.saved_cy < rows ? S.saved_cy : rows - 1;
    S.pen = S.saved_pen;
    S.offscreen = false;
    S.has_saved = false;
}

// ---- Damage ----------------------------------------------------------------

// Hands want's glyph at (x, y) over, as part of the run in progress when it
// goes on from there in the same colours, and notes it in shown.
static void emit(int x, int y) {
    Cell g = S.want.at(x, y);
    // A blank takes its background; its foreground may stay as it is.
    if (g.blank() && g.attr >= 0 && S.term_pen >= 0)
        g.attr = (int16_t)((S.term_pen & 15) | (g.attr & 0xF0));
    std::vector<paint_run> &runs = S.frame->runs;
    if (runs.empty() || runs.back().row != y || runs.back().col + runs.back().cols != x ||
        runs.back().attr != g.attr)
        runs.push_back(paint_run{y, x, 0, g.attr, std::string()});
    for (int i = 0; i < g.len; i++)
        runs.back().text.push_back((char)(g.glyph >> (8 * i)));
    runs.back().cols += g.width;
    S.term_pen = g.attr;
    static const Cell unknown;
    S.shown.put(x, y, g, &unknown);
    S.term_x = x + g.width;
    S.term_y = y;
    // At the right edge a terminal waits to wrap: where the next glyph goes
    // is then anybody's guess, so nothing goes on from there.
    if (S.term_x >= S.want.cols) S.term_x = -1;
}

// Before going on along the row to x: when the cells in between are
// already right, in the colours of the run in progress, painting them
// again costs less than skipping them (a cursor move of some four bytes).
// Hands them over then.
static void bridge(int x, int y) {
    int from = S.term_x;
    if (y != S.term_y || from < 0 || from >= x || x - from > 8) return;
    size_t bytes = 0;
    for (int i = from; i < x; i++) {
        const Cell &c = S.want.at(i, y);
        if (!c.known || c.width != 1 || !c.same(S.shown.at(i, y))) return;
        if (c.attr != S.term_pen &&
            !(c.blank() && c.attr >= 0 && S.term_pen >= 0 && (c.attr >> 4) == (S.term_pen >> 4)))
            return;
        bytes += c.len;
    }
    if (bytes >= (x - from == 1 ? 3u : 4u)) return;
    for (int i = from; i < x; i++)
        emit(i, y);
}

static bool differs(int x, int y) {
    const Cell &w = S.want.at(x, y);
    return w.known && !w.same(S.shown.at(x, y));
}

static void damage_row(int y) {
    for (int x = 0; x < S.want.cols;) {
        if (!differs(x, y)) {
            x++;
            continue;
        }
        // A right half is written with its glyph; and writing over the right
        // half of a glyph the terminal shows blanks its left half there.
        int at = x;
        if (x > 0 && (S.want.at(x, y).width == 0 || S.shown.at(x, y).width == 0) &&
            S.want.at(x - 1, y).known)
            at = x - 1;
        // A half without its glyph, or a wide glyph that the window's right
        // edge cuts in two: nothing to write.
        int w = S.want.at(at, y).width;
        if (w == 0 || at + w > S.want.cols) {
            x++;
            continue;
        }
        bridge(at, y);
        emit(at, y);
        x = at + w;
    }
}

// After screen_clear the terminal's own clear may cost less than writing
// over every cell that changed.
static bool clear_is_cheaper(void) {
    long changed = 0, drawn = 0;
    const Cell blank = blank_cell(DEFAULT);
    for (int y = 0; y < S.want.rows; y++) {
        for (int x = 0; x < S.want.cols; x++) {
            changed += differs(x, y);
            drawn += !S.want.at(x, y).same(blank);
        }
    }
    return drawn + 8 < changed;
}

bool screen_damage(paint_frame *f) {
    *f = paint_frame();
    S.frame = f;
    f->cols = S.want.cols;
    f->rows = S.want.rows;
    if (S.repaint || (S.cleared && clear_is_cheaper())) {
        f->clear = true;
        S.shown.fill(blank_cell(DEFAULT));
        S.term_pen = DEFAULT;
        S.term_x = S.term_y = 0;
    }
    S.repaint = S.cleared = false;
    if (!S.term_title_known || S.term_title != S.title) {
        f->title_changed = S.term_title_known || !S.title.empty();
        f->title = S.title;
        S.term_title = S.title;
        S.term_title_known = true;
    }
    f->cursor_visible = S.cursor_visible;
    f->cursor_changed = S.term_cursor != (S.cursor_visible ? 1 : 0);
    S.term_cursor = S.cursor_visible ? 1 : 0;
    for (int y = 0; y < S.want.rows; y++) {
        if (!S.want.dirty[y] && !S.shown.dirty[y]) continue;
        // A second pass mends what the first one's writes blanked on
        // their left.
        damage_row(y);
        damage_row(y);
        S.want.dirty[y] = S.shown.dirty[y] = 0;
    }
    bool moved = false;
    if (S.cursor_visible) {
        f->cursor_col = S.cx < S.want.cols ? S.cx : S.want.cols - 1;
        f->cursor_row = S.cy;
        moved = f->cursor_col != S.term_x || f->cursor_row != S.term_y;
        S.term_x = f->cursor_col;
        S.term_y = f->cursor_row;
    }
    S.frame = nullptr;
    return f->clear || f->title_changed || f->cursor_changed || moved || !f->runs.empty();
}
