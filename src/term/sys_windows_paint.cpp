// SPDX-License-Identifier: MIT
// sys_windows_paint.cpp -- the Windows console back end's painter: the
// runs of each frame painted with the console's own calls (cursor position,
// text attribute, WriteConsoleW) on the game's buffer, and the width probe.
// No escape sequence is written here. Text arrives as UTF-8 and goes to the
// console as UTF-16, so the code pages are never touched.
//
// Wine's console counts a wide glyph as one cell while the terminal under
// it shows two, and renders some colour changes wrongly: the painter
// catches both and works round them (reanchor, prime).

#include "sys_windows.h"

#include "chars.h"
#include "vt.h"

#include <cstring>
#include <map>
#include <string>

std::wstring widen(const char *utf8, size_t n) {
    std::u16string u = utf16_from_utf8(utf8, n);
    return std::wstring(u.begin(), u.end());
}

namespace {

WORD console_attr(int attr) {
    return attr < 0 ? default_attr : (WORD)attr;
}

// ---- Painting --------------------------------------------------------------
// Each run goes where it belongs, by its absolute position: the console's
// own cursor is never relied on across a wide glyph.

class Painter {
  public:
    explicit Painter(HANDLE h) : h_(h) {}
    void paint(const paint_frame &f);
    // The console forgets where things are (a new size): start afresh.
    void lost() { drift_row_ = at_col_ = at_row_ = -1; }

  private:
    void run(const paint_run &r);
    void write(int col, int row, const std::wstring &text, int cols, bool wide);
    bool counted_right(const std::wstring &glyph) const;
    void set_attr(WORD attr);
    void reanchor(int row);
    void prime(int col, int row, WORD attr);

    HANDLE h_;
    int screen_cols_ = 0;
    WORD attr_ = 0xFFFF;            // the console's text attribute (0xFFFF: unknown)
    WORD last_attr_ = 0xFFFF;       // of the cells last written (0xFFFF: unknown)
    int drift_row_ = -1;            // row where the console miscounts wide text
    int at_col_ = -1, at_row_ = -1; // the console's cursor; -1: not known
    // Wide glyphs seen so far, and whether the console moved its cursor two
    // cells for each: a few glyphs, asked about once each.
    std::map<std::wstring, bool> wide_seen_;
};

bool Painter::counted_right(const std::wstring &glyph) const {
    auto it = wide_seen_.find(glyph);
    return it != wide_seen_.end() && it->second;
}

void Painter::paint(const paint_frame &f) {
    screen_cols_ = f.cols;
    DWORD done;
    if (f.clear) {
        DWORD cells = (DWORD)f.cols * (DWORD)f.rows;
        FillConsoleOutputCharacterW(h_, L' ', cells, COORD{0, 0}, &done);
        FillConsoleOutputAttribute(h_, default_attr, cells, COORD{0, 0}, &done);
        last_attr_ = default_attr;
        lost();
    }
    if (f.title_changed) SetConsoleTitleW(widen(f.title.data(), f.title.size()).c_str());
    CONSOLE_CURSOR_INFO ci;
    if (f.cursor_changed && !f.cursor_visible && GetConsoleCursorInfo(h_, &ci)) {
        ci.bVisible = FALSE;
        SetConsoleCursorInfo(h_, &ci);
    }
    for (const paint_run &r : f.runs)
        run(r);
    if (f.cursor_visible) {
        if (f.cursor_col != at_col_ || f.cursor_row != at_row_)
            SetConsoleCursorPosition(h_, COORD{(SHORT)f.cursor_col, (SHORT)f.cursor_row});
        at_col_ = f.cursor_col;
        at_row_ = f.cursor_row;
        if (f.cursor_changed && GetConsoleCursorInfo(h_, &ci)) {
            ci.bVisible = TRUE;
            SetConsoleCursorInfo(h_, &ci);
        }
    }
}

// A run in pieces: its narrow glyphs and the wide ones the console is known
// to count right together, each other wide glyph alone.
void Painter::run(const paint_run &r) {
    set_attr(console_attr(r.attr));
    std::wstring piece;
    int at = r.col, cols = 0;
    auto done = [&](bool wide) {
        if (!piece.empty()) write(at, r.row, piece, cols, wide);
        at += cols;
        piece.clear();
        cols = 0;
    };
    utf8_each(r.text.c_str(), [&](const char *s, size_t n) {
        std::wstring glyph = widen(s, n);
        int w = glyph_columns(s, n);
        bool alone = w == 2 && !counted_right(glyph);
        if (alone) done(false);
        piece += glyph;
        cols += w;
        if (alone) done(true);
    });
    done(false);
}

void Painter::set_attr(WORD attr) {
    if (attr == attr_) return;
    SetConsoleTextAttribute(h_, attr);
    attr_ = attr;
}

// Text of cols columns at (col, row). A console that counts a wide glyph
// as one cell (wine's) is caught at it, by where its cursor ends up.
void Painter::write(int col, int row, const std::wstring &text, int cols, bool wide) {
    reanchor(row);
    prime(col, row, attr_);
    if (col != at_col_ || row != at_row_)
        SetConsoleCursorPosition(h_, COORD{(SHORT)col, (SHORT)row});
    DWORD done;
    WriteConsoleW(h_, text.data(), (DWORD)text.size(), &done, nullptr);
    last_attr_ = attr_;
    // After a doubtful wide glyph, or at the right edge, the next text is
    // placed anew.
    at_col_ = wide || col + cols >= screen_cols_ ? -1 : col + cols;
    at_row_ = row;
    if (!wide || col + cols >= screen_cols_) return;
    auto seen = wide_seen_.find(text);
    if (seen == wide_seen_.end()) {
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (!GetConsoleScreenBufferInfo(h_, &info)) return;
        seen = wide_seen_.emplace(text, info.dwCursorPosition.X == col + cols).first;
    }
    if (!seen->second) drift_row_ = row;
}

// A console that counts a wide character as one cell (wine's does, while
// the terminal under it shows two) puts the next text on that row at the
// wrong place on the terminal. Writing one cell of another row again,
// unchanged, makes it start over from an absolute position.
void Painter::reanchor(int row) {
    if (row != drift_row_) return;
    drift_row_ = -1;
    COORD one = {1, 1}, origin = {0, 0};
    SMALL_RECT cell = {0, (SHORT)(row == 0 ? 1 : 0), 0, (SHORT)(row == 0 ? 1 : 0)};
    CHAR_INFO ci;
    if (ReadConsoleOutputW(h_, &ci, one, origin, &cell)) {
        WriteConsoleOutputW(h_, &ci, one, origin, &cell);
        last_attr_ = ci.Attributes;
    }
}

// Wine's console, asked for the default colours (7) right after a light
// grey foreground on another background, changes nothing on the terminal
// under it and leaves that background. A cell written first in another
// foreground, and at once again, makes it reset both. It is written as a
// blank: recoloured, a wide glyph still there (the menu's, under the next
// game's panel) would be drawn on the terminal once more, and wine would
// place what follows on that row a column off, leaving half of the glyph.
void Painter::prime(int col, int row, WORD attr) {
    if (attr != default_attr || last_attr_ == default_attr ||
        (last_attr_ != 0xFFFF && (last_attr_ & 0x0F) != (default_attr & 0x0F)))
        return;
    CHAR_INFO blank = {};
    blank.Char.UnicodeChar = L' ';
    blank.Attributes = 8;
    SMALL_RECT cell = {(SHORT)col, (SHORT)row, (SHORT)col, (SHORT)row};
    WriteConsoleOutputW(h_, &blank, COORD{1, 1}, COORD{0, 0}, &cell);
    last_attr_ = 8;
}

// The painter of the game's buffer while the console is taken.
Painter *painter;

} // namespace

void painter_open(HANDLE screen) {
    painter = new Painter(screen);
}

void painter_close(void) {
    delete painter;
    painter = nullptr;
}

void painter_lost(void) {
    if (painter) painter->lost();
}

// ---- The seam --------------------------------------------------------------

bool sys_paint(const paint_frame &frame) {
    console_hold hold;
    if (!con.open) return false;
    painter->paint(frame);
    return true;
}

int sys_glyph_width(term_keys *, const char *glyph) {
    console_hold hold;
    if (!con.open) return 0;
    // Written at the top left of the game's blank buffer, measured by the
    // cursor, blanked again: the cursor before it is the origin.
    std::wstring w = widen(glyph, strlen(glyph));
    CONSOLE_SCREEN_BUFFER_INFO after;
    COORD origin = {0, 0};
    DWORD done;
    SetConsoleCursorPosition(con.screen, origin);
    if (!WriteConsoleW(con.screen, w.data(), (DWORD)w.size(), &done, nullptr) ||
        !GetConsoleScreenBufferInfo(con.screen, &after))
        return 0;
    FillConsoleOutputCharacterW(con.screen, L' ', 2, origin, &done);
    FillConsoleOutputAttribute(con.screen, default_attr, 2, origin, &done);
    SetConsoleCursorPosition(con.screen, origin);
    const int row[2] = {origin.Y, after.dwCursorPosition.Y};
    const int col[2] = {origin.X, after.dwCursorPosition.X};
    return vt_probe::width(row, col);
}
