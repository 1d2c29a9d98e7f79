// SPDX-License-Identifier: MIT
// sys_windows_input.cpp -- the Windows console back end's input: console
// key records become the same key codes as a terminal's bytes give, a
// resize event makes the game's buffer follow the window, and the wait
// sleeps on the console input and a timer together.
//
// The window's size is asked only when the console says its buffer
// changed (a WINDOW_BUFFER_SIZE_EVENT record), never at every wait, and a
// wait reads the clock only where no timer keeps its deadline.

#include "sys_windows.h"

#include "chars.h"

#include <string>

namespace {

WCHAR surrogate; // first half of a key's character

void put_utf8(term_keys *keys, unsigned cp) {
    std::string b;
    utf8_append(cp, &b);
    // As from a terminal: the bytes of the character, but never a key_arrow,
    // which only an arrow gives.
    for (char c : b)
        if ((unsigned char)c != key_arrow) keys->put((unsigned char)c);
}

// ---- Keys ------------------------------------------------------------------

// One key record: the codes a terminal's bytes would have given. Returns
// whether any came.
bool take_key(term_keys *keys, const KEY_EVENT_RECORD &k) {
    if (!k.bKeyDown) return false;
    DWORD mods = k.dwControlKeyState;
    bool alt = (mods & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED)) != 0;
    bool ctrl = (mods & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED)) != 0;
    bool shift = (mods & SHIFT_PRESSED) != 0;
    int arrow = 0;
    switch (k.wVirtualKeyCode) {
    case VK_UP: arrow = arrow_up; break;
    case VK_DOWN: arrow = arrow_down; break;
    case VK_LEFT: arrow = arrow_left; break;
    case VK_RIGHT: arrow = arrow_right; break;
    default: break;
    }
    int count = k.wRepeatCount > 0 ? k.wRepeatCount : 1;
    bool any = false;
    for (int i = 0; i < count; i++) {
        if (arrow) {
            if (alt || ctrl || shift) return false; // a modified arrow is no key of the game
            keys->put(key_arrow);
            keys->put(arrow);
            any = true;
            continue;
        }
        if (alt && !ctrl) return false; // Alt + key (AltGr is Ctrl + Alt and types)
        unsigned ch = k.uChar.UnicodeChar;
        if (k.wVirtualKeyCode == VK_RETURN) ch = key_enter;
        if (k.wVirtualKeyCode == VK_ESCAPE) ch = key_escape;
        if (ch == 0) return any; // modifiers, function keys, Home, End...
        if (ch >= 0xD800 && ch < 0xDC00) {
            surrogate = (WCHAR)ch;
            continue;
        }
        if (ch >= 0xDC00 && ch < 0xE000) {
            if (!surrogate) continue;
            ch = 0x10000 + (((unsigned)surrogate - 0xD800) << 10) + (ch - 0xDC00);
            surrogate = 0;
        }
        put_utf8(keys, ch);
        any = true;
    }
    return any;
}

// ---- Size ------------------------------------------------------------------

// A window of a new size: the game's buffer follows it, so that there is
// nothing to scroll, and a repaint is due.
void follow_window() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    int cols, rows;
    if (!con.open || !window_size(con.screen, &cols, &rows, &info)) return;
    if (cols == con.cols && rows == con.rows) return;
    con.cols = cols, con.rows = rows;
    console_hold hold;
    if (info.dwSize.X != cols || info.dwSize.Y != rows) {
        SMALL_RECT win = {0, 0, (SHORT)(cols - 1), (SHORT)(rows - 1)};
        SetConsoleScreenBufferSize(con.screen, COORD{(SHORT)cols, (SHORT)rows});
        SetConsoleWindowInfo(con.screen, TRUE, &win);
    }
    painter_lost();
    con.events |= SYS_RESIZED;
}

// Reads what the console input holds; SYS_INPUT, SYS_EVENT, SYS_TIMEOUT
// (nothing for the game) or SYS_EOF.
int read_console(term_keys *keys) {
    DWORD pending = 0;
    if (!GetNumberOfConsoleInputEvents(con.in, &pending)) return SYS_EOF;
    bool got = false, resized = false;
    while (pending > 0) {
        INPUT_RECORD rec[64];
        DWORD n = 0;
        if (!ReadConsoleInputW(con.in, rec, pending < 64 ? pending : 64, &n)) return SYS_EOF;
        for (DWORD i = 0; i < n; i++) {
            if (rec[i].EventType == KEY_EVENT) got |= take_key(keys, rec[i].Event.KeyEvent);
            // The record's size is the buffer's; what counts is the
            // window's, asked once for all such records.
            if (rec[i].EventType == WINDOW_BUFFER_SIZE_EVENT) resized = true;
        }
        if (n == 0 || !GetNumberOfConsoleInputEvents(con.in, &pending)) break;
    }
    if (resized) follow_window();
    if (got) return SYS_INPUT;
    return con.events ? SYS_EVENT : SYS_TIMEOUT;
}

} // namespace

bool window_size(HANDLE h, int *cols, int *rows, CONSOLE_SCREEN_BUFFER_INFO *info_out) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(h, &info)) return false;
    *cols = info.srWindow.Right - info.srWindow.Left + 1;
    *rows = info.srWindow.Bottom - info.srWindow.Top + 1;
    if (info_out) *info_out = info;
    return *cols > 0 && *rows > 0;
}

// ---- The seam --------------------------------------------------------------

// The timer, armed once, keeps the deadline across records that are
// nothing for the game (key-ups, focus): no clock is read. Without a timer
// the deadline comes from the clock, once.
int sys_wait(term_keys *keys, int timeout_ms) {
    if (!con.open) return SYS_EOF;
    if (con.events) return SYS_EVENT;
    HANDLE handles[2] = {con.in, timeout_ms > 0 ? precise_timer() : nullptr};
    bool timed = handles[1] && arm_timer(handles[1], timeout_ms);
    long long deadline = timeout_ms > 0 && !timed ? sys_millis() + timeout_ms : -1;
    for (long long left = timeout_ms;;) {
        DWORD limit = left < 0 || timed ? INFINITE : (DWORD)left;
        DWORD w = WaitForMultipleObjects(timed ? 2 : 1, handles, FALSE, limit);
        if (w == WAIT_OBJECT_0 + 1 || w == WAIT_TIMEOUT) return SYS_TIMEOUT;
        if (w != WAIT_OBJECT_0) return SYS_EOF;
        int r = read_console(keys);
        if (r != SYS_TIMEOUT) return r;
        if (deadline >= 0) { // key-ups, focus and the like: wait on
            left = deadline - sys_millis();
            if (left < 0) left = 0;
        }
    }
}

// The console says nothing of what came until it is asked.
bool sys_keys_may_have_come(void) {
    return true;
}

unsigned sys_events(void) {
    unsigned e = con.events;
    con.events = 0;
    return e;
}

// The size the last resize event left, kept by follow_window; the console
// is asked only when it is not taken.
bool sys_size(int *cols, int *rows) {
    if (!con.open) return window_size(GetStdHandle(STD_OUTPUT_HANDLE), cols, rows);
    *cols = con.cols;
    *rows = con.rows;
    return *cols > 0 && *rows > 0;
}
