// SPDX-License-Identifier: MIT
// vt.h -- the VT painter: runs into the escape sequences of a terminal.
//
// Turns a frame of damage (paint.h) into the bytes an xterm-like terminal
// reads, with the cheapest cursor moves and colour changes, in the
// terminal's encoding, for one write. Portable code over no platform: the
// POSIX back end writes its bytes to the terminal, a web terminal reads the
// same, and the tests feed them to libvterm.
#pragma once

#include <cstddef>
#include <string>

#include "escapes.h"
#include "paint.h"

// Converts one UTF-8 character to the terminal's encoding, appended to
// *out; false when the encoding lacks it.
typedef bool (*vt_encoder)(const char *utf8, size_t n, std::string *out);

struct vt_painter {
    // The terminal's encoding: nullptr for UTF-8.
    vt_encoder encode = nullptr;

    // A terminal whose cursor and colours are not known (a new one).
    void reset();
    // Appends the frame's bytes to *out.
    void paint(const paint_frame &frame, std::string *out);
    // A line of text in colour attr (foreground only; -1 none), with its
    // line break, for a stream outside the game screen.
    std::string message(int attr, const char *utf8) const;

  private:
    void text(const std::string &utf8, std::string *out) const;
    void set_pen(int attr, std::string *out);
    void move_to(int x, int y, std::string *out);

    int cols = 0;       // the screen's width
    int x = -1, y = -1; // the terminal's cursor; -1: not known
    int pen = UNKNOWN;  // its colours
    static const int UNKNOWN = -2;
};

// The width probe: how many columns the terminal gives a glyph. The
// terminal is asked where its cursor is before and after the glyph; the
// key decoder records its two answers. A back end writes ask(), hands keys
// to the decoder until both answers came or timeout_ms has passed, writes
// done (the glyph goes again) and takes width() of the answers. The
// console asks its cursor instead, and takes width() alone.
struct vt_probe {
    // How long the terminal may take to answer.
    static const int timeout_ms = 300;
    // Puts the cursor back where ask() found it and erases the glyph.
    static constexpr char done[] = ESC_RESTORE_CURSOR ESC_ERASE_LINE_END;

    // The bytes that ask about the UTF-8 glyph, in the encoding of encode
    // (nullptr: UTF-8); empty when the encoding lacks the glyph.
    static std::string ask(vt_encoder encode, const char *utf8);
    // The glyph's width from the two answers, the cursor's row and column
    // before ([0]) and after it ([1]): 1 or 2, or 0 when they make no sense.
    static int width(const int row[2], const int col[2]);
};
