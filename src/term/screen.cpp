// SPDX-License-Identifier: MIT
// screen.cpp -- the screen model and its damage-only output.
//
// Two grids of console cells: want, what the program has drawn, and shown,
// what the terminal shows. Drawing changes only want; term_flush compares
// the rows that changed and writes the cells that differ, moving the cursor
// and changing colours no more than it has to, all in one write. Both grids
// follow the terminal's own rules for wide glyphs, line ends and scrolling,
// so that writing want's cells into shown gives what the terminal shows.

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "encode.h"
#include "escapes.h"
#include "screen.h"
#include "sys.h"
#include "term.h"

// ---- Cells -----------------------------------------------------------------

namespace {

const int16_t DEFAULT = -1;     // the terminal's own colours, as a clear leaves them
const int16_t UNKNOWN_PEN = -2; // colours of the terminal not known yet

struct Cell {
    char bytes[4] = {' '}; // the glyph in the terminal's encoding
    uint8_t len = 1;       // bytes used; 0 for the right half of a wide glyph
    uint8_t width = 1;     // columns the glyph takes; 0 for a right half
    int16_t attr = DEFAULT;
    bool known = false; // drawn (or cleared) by the program

    // A blank's foreground shows nowhere: blanks in the same background
    // look the same.
    bool blank() const { return len == 1 && bytes[0] == ' '; }
    bool same(const Cell &o) const {
        if (known != o.known || len != o.len || width != o.width) return false;
        if (memcmp(bytes, o.bytes, len) != 0) return false;
        if (blank() && attr >= 0 && o.attr >= 0) return (attr >> 4) == (o.attr >> 4);
        return attr == o.attr;
    }
};

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
    void put(int x, int y, const Cell &g, const Cell *orphan = nullptr) {
        auto orphaned = [&](Cell &c) { c = orphan ? *orphan : blank_cell(c.attr); };
        Cell &c = at(x, y);
        if (c.width == 0 && x > 0) orphaned(at(x - 1, y));
        if (c.width == 2 && g.width == 1 && x + 1 < cols) orphaned(at(x + 1, y));
        if (g.width == 2) {
            Cell &next = at(x + 1, y);
            if (next.width == 2 && x + 2 < cols) orphaned(at(x + 2, y));
            next = g;
            next.len = next.width = 0;
        }
        c = g;
        dirty[y] = 1;
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
    std::string title; // the program's title, encoded
    bool cleared;      // term_clear since the last flush: a clear may be cheapest
    bool repaint;      // the terminal lost its contents: clear, write everything

    // What the terminal has, as far as the output so far tells.
    int term_x = -1, term_y = -1; // its cursor; -1: not known
    int16_t term_pen = UNKNOWN_PEN;
    int term_cursor = -1;   // 1 shown, 0 hidden, -1 not known
    std::string term_title; // last title written
    bool term_title_known;

    bool gbk, narrow; // the terminal's encoding and its ambiguous glyphs' width
    std::string out;  // bytes of the flush being built

    // term_save: the drawing put aside while something else is shown.
    Grid saved;
    int saved_cx, saved_cy;
    int16_t saved_pen;
    bool has_saved;
} S;

void screen_reset(int cols, int rows, bool blank) {
    cols = cols < 1 ? 1 : cols;
    rows = rows < 1 ? 1 : rows;
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
    cols = cols < 1 ? 1 : cols;
    rows = rows < 1 ? 1 : rows;
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

// The model takes the terminal's size at its first use.
static void ready(void) {
    if (S.want.cols > 0) return;
    int cols, rows;
    term_size(&cols, &rows);
    screen_reset(cols, rows, false);
}

static void newline(void) {
    S.cx = 0;
    if (S.cy < S.want.rows - 1)
        S.cy++;
    else
        S.want.scroll(S.pen);
}

// One glyph at the cursor, wrapping at the right edge as the terminal does.
static void put_glyph(const char *s, size_t n, int width) {
    if (width > S.want.cols) return;
    if (S.cx + width > S.want.cols) newline();
    Cell g;
    std::string enc;
    encode_char(s, n, S.gbk, &enc);
    if (enc.size() > sizeof g.bytes) enc = "?";
    memcpy(g.bytes, enc.data(), enc.size());
    g.len = (uint8_t)enc.size();
    g.width = (uint8_t)width;
    g.attr = S.pen;
    g.known = true;
    S.want.put(S.cx, S.cy, g);
    S.cx += width;
}

void term_color(int attr) {
    S.pen = (int16_t)(attr & 0xFF);
}

void term_goto(int col, int row) {
    ready();
    S.offscreen = col < 0 || row < 0;
    if (S.offscreen) return;
    S.cx = col < S.want.cols ? col : S.want.cols - 1;
    S.cy = row < S.want.rows ? row : S.want.rows - 1;
}

void term_text(const char *s) {
    ready();
    if (S.offscreen) return;
    while (*s) {
        size_t n = strnlen(s, utf8_len((unsigned char)*s));
        unsigned char c = (unsigned char)*s;
        if (c == '\n') {
            newline();
        } else if (c >= 0x20 && c != 0x7f) {
            put_glyph(s, n, glyph_columns(s, n, S.narrow));
            if (const char *pad = S.narrow ? glyph_pad(s, n) : nullptr)
                put_glyph(pad, strlen(pad), 1);
        }
        s += n;
    }
}

void term_printf(const char *fmt, ...) {
    char buf[1024];
    va_list ap, again;
    va_start(ap, fmt);
    va_copy(again, ap);
    int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n >= (int)sizeof buf) {
        std::string big((size_t)n + 1, '\0');
        vsnprintf(big.data(), big.size(), fmt, again);
        term_text(big.c_str());
    } else if (n > 0) {
        term_text(buf);
    }
    va_end(again);
}

void term_cursor(int visible) {
    S.cursor_visible = visible != 0;
    sys_cursor_hidden(!visible);
}

void term_title(const char *utf8) {
    S.title = encode_text(utf8, S.gbk);
}

void term_clear(void) {
    ready();
    S.want.fill(blank_cell(DEFAULT));
    S.pen = DEFAULT;
    S.cx = S.cy = 0;
    S.offscreen = false;
    S.cleared = true;
}

void term_save(void) {
    ready();
    S.saved = S.want;
    S.saved_cx = S.cx;
    S.saved_cy = S.cy;
    S.saved_pen = S.pen;
    S.has_saved = true;
}

void term_restore(void) {
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

void term_set_gbk(int gbk) {
    S.gbk = gbk != 0;
}
void term_set_narrow(int narrow) {
    S.narrow = narrow != 0;
}
int term_narrow(void) {
    return S.narrow;
}
int term_gbk(void) {
    return S.gbk;
}

// ---- Output ----------------------------------------------------------------

// Console palette: bit 0 blue, bit 1 green, bit 2 red, bit 3 intensity.
// ANSI numbers red as bit 0 and blue as bit 2; intensity picks 90-97/100-107.
static int ansi_color(int c, bool background) {
    int rgb = ((c & 1) << 2) | (c & 2) | ((c & 4) >> 2);
    int base = (c & 8) ? 90 : 30;
    return base + (background ? 10 : 0) + rgb;
}

// Changes the terminal's colours to attr, saying only what changes.
static void set_pen(int16_t attr) {
    if (attr == S.term_pen) return;
    if (attr == DEFAULT) {
        S.out += ESC_SGR0;
        S.term_pen = attr;
        return;
    }
    int fg = ansi_color(attr & 15, false), bg = ansi_color(attr >> 4, true);
    bool known = S.term_pen >= 0;
    bool new_fg = !known || (S.term_pen & 15) != (attr & 15);
    bool new_bg = !known || (S.term_pen >> 4) != (attr >> 4);
    char p[16];
    if (new_fg && new_bg)
        snprintf(p, sizeof p, "%s%d;%d", S.term_pen == UNKNOWN_PEN ? "0;" : "", fg, bg);
    else
        snprintf(p, sizeof p, "%d", new_fg ? fg : bg);
    char buf[32];
    snprintf(buf, sizeof buf, ESC_SGR, p);
    S.out += buf;
    S.term_pen = attr;
}

// Appends a relative move of n (> 0) in direction d; returns its length.
static size_t relative(std::string *out, int n, char d) {
    char buf[16];
    int len = n == 1 ? snprintf(buf, sizeof buf, ESC_MOVE_ONE, d)
                     : snprintf(buf, sizeof buf, ESC_MOVE, n, d);
    if (out) out->append(buf, (size_t)len);
    return (size_t)len;
}

// Moves the terminal's cursor to (x, y) by the shortest sequence: an
// absolute position, or steps from where it is.
static void move_to(int x, int y) {
    if (x == S.term_x && y == S.term_y) return;
    char abs[24];
    int abs_len = snprintf(abs, sizeof abs, ESC_GOTO, y + 1, x + 1);
    int dx = x - S.term_x, dy = y - S.term_y;
    if (S.term_x >= 0 && S.term_y >= 0) {
        size_t rel = (dy ? relative(nullptr, dy > 0 ? dy : -dy, 'B') : 0) +
                     (dx ? relative(nullptr, dx > 0 ? dx : -dx, 'C') : 0);
        if (rel < (size_t)abs_len) {
            if (dy) relative(&S.out, dy > 0 ? dy : -dy, dy > 0 ? 'B' : 'A');
            if (dx) relative(&S.out, dx > 0 ? dx : -dx, dx > 0 ? 'C' : 'D');
            S.term_x = x;
            S.term_y = y;
            return;
        }
    }
    S.out.append(abs, (size_t)abs_len);
    S.term_x = x;
    S.term_y = y;
}

// Writes want's glyph at (x, y) and notes it in shown.
static void emit(int x, int y) {
    Cell g = S.want.at(x, y);
    move_to(x, y);
    // A blank takes its background; its foreground may stay as it is.
    if (g.blank() && g.attr >= 0 && S.term_pen >= 0)
        g.attr = (int16_t)((S.term_pen & 15) | (g.attr & 0xF0));
    set_pen(g.attr);
    S.out.append(g.bytes, g.len);
    static const Cell unknown;
    S.shown.put(x, y, g, &unknown);
    S.term_x += g.width;
    // At the right edge the terminal waits to wrap: the next glyph's place
    // is then anybody's guess, so the next one is positioned again.
    if (S.term_x >= S.want.cols) S.term_x = -1;
}

// Before moving right along the row to x: when the cells in between are
// already right, in the colours in force, writing them again costs fewer
// bytes than the move. Writes them then.
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
    if (bytes >= relative(nullptr, x - from, 'C')) return;
    for (int i = from; i < x; i++)
        emit(i, y);
}

static bool differs(int x, int y) {
    const Cell &w = S.want.at(x, y);
    return w.known && !w.same(S.shown.at(x, y));
}

static void flush_row(int y) {
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

// After term_clear the terminal's own clear may cost less than writing
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

void term_flush(void) {
    ready();
    if (S.repaint || (S.cleared && clear_is_cheaper())) {
        S.out += ESC_SGR0 ESC_HOME ESC_ERASE_ALL;
        S.shown.fill(blank_cell(DEFAULT));
        S.term_pen = DEFAULT;
        S.term_x = S.term_y = 0;
    }
    S.repaint = S.cleared = false;
    if (!S.term_title_known || S.term_title != S.title) {
        if (S.term_title_known || !S.title.empty()) S.out += ESC_TITLE + S.title + ESC_TITLE_END;
        S.term_title = S.title;
        S.term_title_known = true;
    }
    if (!S.cursor_visible && S.term_cursor != 0) {
        S.out += ESC_CURSOR_HIDE;
        S.term_cursor = 0;
    }
    for (int y = 0; y < S.want.rows; y++) {
        if (!S.want.dirty[y] && !S.shown.dirty[y]) continue;
        // A second pass mends what the first one's writes blanked on
        // their left.
        flush_row(y);
        flush_row(y);
        S.want.dirty[y] = S.shown.dirty[y] = 0;
    }
    if (S.cursor_visible) {
        move_to(S.cx < S.want.cols ? S.cx : S.want.cols - 1, S.cy);
        if (S.term_cursor != 1) S.out += ESC_CURSOR_SHOW;
        S.term_cursor = 1;
    }
    if (S.out.empty()) return;
    screen_write(S.out.data(), S.out.size());
    S.out.clear();
}
