// SPDX-License-Identifier: MIT
// keys.cpp -- bytes from the keyboard in, key codes out.

#include <string>

#include "keys.h"

// A lone ESC is the Escape key once this long has passed without a byte.
static const int esc_wait_ms = 40;
// A sequence cut off after its introducer waits longer: the rest of a
// sequence sent in one piece may still be on its way.
static const int sequence_wait_ms = 250;

// The "row;col" of a cursor position report, each 1 to 9999: more digits
// than a screen has rows is no report.
static bool report_numbers(const std::string &p, int *row, int *col) {
    int *n = row;
    int digits = 0;
    *row = *col = 0;
    for (char c : p) {
        if (c == ';' && n == row && digits > 0) {
            n = col;
            digits = 0;
        } else if (c >= '0' && c <= '9' && digits < 4) {
            *n = *n * 10 + (c - '0');
            digits++;
        } else {
            return false;
        }
    }
    return n == col && *row > 0 && *col > 0;
}

void term_keys::emit(int code) {
    codes += (char)(unsigned char)code;
}

int term_keys::pop() {
    if (head >= codes.size()) return -1;
    int c = (unsigned char)codes[head++];
    if (head == codes.size()) {
        codes.clear();
        head = 0;
    }
    return c;
}

void term_keys::feed(const unsigned char *bytes, size_t n) {
    for (size_t i = 0; i < n; i++)
        byte(bytes[i]);
}

int term_keys::wait_ms() const {
    if (state == ground) return 0;
    return state == esc ? esc_wait_ms : sequence_wait_ms;
}

void term_keys::expire() {
    if (state == esc) {
        if (meta) emit(key_escape);
        emit(key_escape);
    }
    state = ground;
    meta = false;
    params.clear();
}

// A byte outside any sequence.
void term_keys::plain(unsigned char c) {
    if (c == key_arrow) return;   // would read as the arrow prefix
    if (c == '\n') c = key_enter; // Ctrl-J, or a terminal that sends LF for Enter
    emit(c);
}

void term_keys::byte(unsigned char c) {
    switch (state) {
    case ground:
        if (c == 0x1b) {
            state = esc;
            meta = false;
        } else {
            plain(c);
        }
        return;
    case esc:
        params.clear();
        if (c == 0x1b) {
            // ESC ESC: the first may be the Escape key, or Alt on what the
            // second begins. Keep one ESC pending as the prefix.
            if (meta) emit(key_escape);
            meta = true;
        } else if (c == '[') {
            state = csi;
        } else if (c == 'O') {
            state = ss3;
        } else if (c == ']' || c == 'P' || c == 'X' || c == '^' || c == '_') {
            state = string; // OSC, DCS, SOS, PM, APC: up to BEL or ST
        } else {
            state = ground; // Alt + key: not a key of the game
            meta = false;
        }
        return;
    case csi:
    case ss3:
        if (state == csi && c == '[' && params.empty()) {
            state = csi_linux; // the Linux console's F1-F5: ESC [ [ A..E
        } else if (c >= 0x20 && c <= 0x3f) {
            if (params.size() < 32)
                params += (char)c;
            else
                params[0] = '!'; // too long to be anything we know
        } else if (c >= 0x40 && c <= 0x7e) {
            finish(c);
        } else {
            // A control or non-ASCII byte cannot be inside a sequence: the
            // sequence was cut off. Drop it and read the byte afresh.
            state = ground;
            meta = false;
            byte(c);
        }
        return;
    case csi_linux:
        state = ground;
        meta = false;
        if (c < 0x20 || c > 0x7e) byte(c);
        return;
    case string:
        if (c == 0x07)
            state = ground;
        else if (c == 0x1b)
            state = string_esc;
        else if (c == 0x18 || c == 0x1a)
            state = ground; // CAN, SUB cancel
        meta = state == ground ? false : meta;
        return;
    case mouse:
        // Button, column and row of an X10 report: any byte, even ESC.
        if (--mouse_left == 0) state = ground;
        return;
    case string_esc:
        if (c == '\\') {
            state = ground; // ST
            meta = false;
        } else {
            // The ESC began something new: the string ended unfinished.
            state = esc;
            meta = false;
            byte(c);
        }
        return;
    }
}

// A complete CSI or SS3 sequence with this final byte.
void term_keys::finish(unsigned char f) {
    bool was_csi = state == csi;
    bool alt = meta;
    state = ground;
    meta = false;
    if (params.empty() && f >= 'A' && f <= 'D') {
        if (alt) return; // Alt+arrow: not one of the game's keys
        static const int arrow[] = {arrow_up, arrow_down, arrow_right, arrow_left};
        emit(key_arrow);
        emit(arrow[f - 'A']);
        return;
    }
    if (was_csi && f == 'M' && params.empty()) {
        // ESC [ M is an X10 mouse report: three raw bytes follow, which
        // must not be read as keys (a button byte of 32 is a Space). The
        // SGR (ESC [ < ... M/m) and urxvt (ESC [ 1;2;3 M) forms end at
        // their final byte and are dropped below with everything else.
        state = mouse;
        mouse_left = 3;
        return;
    }
    int row = 0, col = 0;
    if (was_csi && f == 'R' && report_numbers(params, &row, &col)) {
        // The terminal's answer to ESC [6n. An ESC just before it was
        // the Escape key, typed as the answer came.
        if (alt) emit(key_escape);
        report_row[0] = report_row[1];
        report_col[0] = report_col[1];
        report_row[1] = row;
        report_col[1] = col;
        reports++;
    }
    // Anything else (function keys, Home/End, modified keys) is no key of
    // the game: dropped whole.
}
