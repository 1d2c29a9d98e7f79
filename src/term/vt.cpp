// SPDX-License-Identifier: MIT
// vt.cpp -- the VT painter. See vt.h.

#include "vt.h"

#include <cstdio>
#include <cstring>

#include "chars.h"
#include "escapes.h"

void vt_painter::reset() {
    x = y = -1;
    pen = UNKNOWN;
}

// The character in the terminal's encoding; one the encoding lacks (or a
// broken one) becomes "?".
void vt_painter::text(const std::string &utf8, std::string *out) const {
    if (!encode) {
        out->append(utf8);
        return;
    }
    utf8_each(utf8.c_str(), [&](const char *s, size_t n) {
        if (n == 1 && (unsigned char)*s < 0x80)
            out->push_back(*s);
        else if (!encode(s, n, out))
            out->push_back('?');
    });
}

// The SGR number of palette colour c as foreground or background.
static int sgr_color(int c, bool background) {
    return ((c & 8) ? 90 : 30) + (background ? 10 : 0) + (ansi_index(c) & 7);
}

// Changes the terminal's colours to attr, saying only what changes.
void vt_painter::set_pen(int attr, std::string *out) {
    if (attr == pen) return;
    if (attr == PAINT_DEFAULT) {
        *out += ESC_SGR0;
        pen = attr;
        return;
    }
    int fg = sgr_color(attr & 15, false), bg = sgr_color(attr >> 4, true);
    bool known = pen >= 0;
    bool new_fg = !known || (pen & 15) != (attr & 15);
    bool new_bg = !known || (pen >> 4) != (attr >> 4);
    char p[16];
    if (new_fg && new_bg)
        snprintf(p, sizeof p, "%s%d;%d", pen == UNKNOWN ? "0;" : "", fg, bg);
    else
        snprintf(p, sizeof p, "%d", new_fg ? fg : bg);
    char buf[32];
    snprintf(buf, sizeof buf, ESC_SGR, p);
    *out += buf;
    pen = attr;
}

// Appends a relative move of n (> 0) in direction d; returns its length.
static size_t relative(std::string *out, int n, char d) {
    char buf[16];
    int len = n == 1 ? snprintf(buf, sizeof buf, ESC_MOVE_ONE, d)
                     : snprintf(buf, sizeof buf, ESC_MOVE, n, d);
    if (out) out->append(buf, (size_t)len);
    return (size_t)len;
}

// Moves the terminal's cursor to (to_x, to_y) by the shortest sequence: an
// absolute position, or steps from where it is.
void vt_painter::move_to(int to_x, int to_y, std::string *out) {
    if (to_x == x && to_y == y) return;
    char abs[24];
    int abs_len = snprintf(abs, sizeof abs, ESC_GOTO, to_y + 1, to_x + 1);
    int dx = to_x - x, dy = to_y - y;
    if (x >= 0 && y >= 0) {
        size_t rel = (dy ? relative(nullptr, dy > 0 ? dy : -dy, 'B') : 0) +
                     (dx ? relative(nullptr, dx > 0 ? dx : -dx, 'C') : 0);
        if (rel < (size_t)abs_len) {
            if (dy) relative(out, dy > 0 ? dy : -dy, dy > 0 ? 'B' : 'A');
            if (dx) relative(out, dx > 0 ? dx : -dx, dx > 0 ? 'C' : 'D');
            x = to_x;
            y = to_y;
            return;
        }
    }
    out->append(abs, (size_t)abs_len);
    x = to_x;
    y = to_y;
}

void vt_painter::paint(const paint_frame &f, std::string *out) {
    cols = f.cols;
    if (f.clear) {
        *out += ESC_SGR0 ESC_HOME ESC_ERASE_ALL;
        pen = PAINT_DEFAULT;
        x = y = 0;
    }
    if (f.title_changed) {
        *out += ESC_TITLE;
        text(f.title, out);
        *out += ESC_TITLE_END;
    }
    if (f.cursor_changed && !f.cursor_visible) *out += ESC_CURSOR_HIDE;
    for (const paint_run &r : f.runs) {
        move_to(r.col, r.row, out);
        set_pen(r.attr, out);
        text(r.text, out);
        x += r.cols;
        // At the right edge the terminal waits to wrap: the next glyph's
        // place is then anybody's guess, so the next one is positioned again.
        if (x >= cols) x = -1;
    }
    if (f.cursor_visible) {
        move_to(f.cursor_col, f.cursor_row, out);
        if (f.cursor_changed) *out += ESC_CURSOR_SHOW;
    }
}

std::string vt_painter::message(int attr, const char *utf8) const {
    std::string line;
    if (attr >= 0) {
        char buf[16];
        snprintf(buf, sizeof buf, ESC_SGR, std::to_string(sgr_color(attr & 15, false)).c_str());
        line = buf;
    }
    text(utf8, &line);
    if (attr >= 0) line += ESC_SGR0;
    line += "\n";
    return line;
}

// ---- The width probe -------------------------------------------------------

std::string vt_probe::ask(vt_encoder encode, const char *utf8) {
    std::string glyph;
    if (!encode)
        glyph = utf8;
    else if (!encode(utf8, strlen(utf8), &glyph))
        return "";
    return ESC_SAVE_CURSOR ESC_ASK_POSITION + glyph + ESC_ASK_POSITION;
}

int vt_probe::width(const int row[2], const int col[2]) {
    int w = col[1] - col[0];
    return row[0] == row[1] && (w == 1 || w == 2) ? w : 0;
}
