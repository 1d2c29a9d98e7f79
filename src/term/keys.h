// SPDX-License-Identifier: MIT
// keys.h -- the key decoder: bytes from the keyboard in, key codes out.
//
// Kept apart from the reading so that the back ends, the tests and the
// fuzzer can drive it with any bytes in any split. The codes are those of
// term.h, named in keycodes.h: the arrows as key_arrow followed by
// arrow_up/arrow_down/arrow_right/arrow_left, Enter key_enter, a lone
// Escape key_escape.
#pragma once

#include <cstddef>
#include <string>

#include "keycodes.h"

// The arrows (ESC [ A..D and ESC O A..D) give key_arrow and the arrow's
// code; CR and LF give key_enter; a lone ESC gives key_escape once no byte
// has followed it for
// wait_ms(); every other escape sequence (function keys, Home/End,
// modified arrows, Alt+key, OSC/DCS strings) is swallowed whole, and the
// terminal's cursor position reports are recorded, never given as keys.
// Other bytes are their own codes, except 0xE0, which is dropped: a
// key_arrow never comes but from an arrow.
struct term_keys {
    void feed(const unsigned char *bytes, size_t n);
    // Milliseconds to wait for the rest of an unfinished sequence before
    // expire(); 0 when nothing is unfinished.
    int wait_ms() const;
    // No more bytes came: a lone ESC becomes key_escape, any other
    // unfinished sequence is dropped.
    void expire();
    bool ready() const { return head < codes.size(); }
    int pop(); // the next key code, or -1
    // A whole key code from a keyboard that gives codes, not bytes (the
    // Windows console): queued as it is.
    void put(int code) { emit(code); }

    // Cursor position reports seen so far, and the last two of them
    // (1-based row and column; [1] is the latest).
    unsigned reports = 0;
    int report_row[2] = {0, 0}, report_col[2] = {0, 0};

  private:
    void byte(unsigned char c);
    void plain(unsigned char c);
    void finish(unsigned char final_byte);
    void emit(int code);
    enum { ground, esc, csi, csi_linux, ss3, string, string_esc, mouse } state = ground;
    bool meta = false;  // ESC ESC: what follows is an Alt-modified key
    int mouse_left = 0; // bytes still to come of an X10 mouse report
    std::string params; // parameter and intermediate bytes of CSI/SS3
    std::string codes;  // decoded key codes, read from head on
    size_t head = 0;
};
