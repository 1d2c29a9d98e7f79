// SPDX-License-Identifier: MIT
// sys.h -- the platform under the terminal layer.
//
// The portable parts of the layer (the screen model, the escape writer, the
// encoder and the key decoder) sit on these few calls. Each platform has one
// file that implements all of them: sys_posix.cpp (termios, signals,
// select) and sys_windows.cpp (the console API). Only those files know a
// platform interface; nothing above them changes from one to the other.
//
// Conventions: text and escape sequences reach the back end already
// encoded (see sys_gbk); error reasons come back as UTF-8 Chinese.
#pragma once

#include <cstddef>
#include <string>

struct term_keys;

// ---- Taking the terminal ---------------------------------------------------

// Takes the terminal: checks that standard input and output are one, saves
// its modes, enters raw mode, the alternate screen and the saved title,
// and installs whatever restores all of it on every way out (signals,
// console control events, exit). Returns 0, or -1 with *error set.
int sys_open(std::string *error);
// Gives the terminal back as sys_open found it: modes, main screen, title,
// cursor. Safe to call more than once and when sys_open failed.
void sys_close(void);
// True while sys_open holds the terminal.
bool sys_is_open(void);

// ---- Output ----------------------------------------------------------------

// Writes the bytes to the terminal, all of them. False when the terminal
// took less (a hang-up, say).
bool sys_write(const char *bytes, size_t n);
// The game hides or shows the cursor: a resume gives back this state at
// once, before the main flow runs again.
void sys_cursor_hidden(bool hidden);
// The terminal (or console) reads GBK rather than UTF-8.
bool sys_gbk(void);
// Converts one UTF-8 character to GBK into *out; false when GBK lacks it
// (or it is broken). iconv on POSIX, the code page 936 tables on Windows.
bool sys_to_gbk(const char *utf8, size_t n, std::string *out);
// Writes a line for the player outside the game screen: to stderr
// (to_stderr) or stdout, bytes already in the locale's encoding.
void sys_message(bool to_stderr, const char *bytes, size_t n);
// The stream of sys_message shows colours (it is a terminal or console).
bool sys_message_colors(bool to_stderr);

// ---- Input -----------------------------------------------------------------

enum {
    SYS_TIMEOUT = 0, // nothing came in time
    SYS_INPUT = 1,   // keys were handed to the decoder
    SYS_EVENT = 2,   // a resume or a resize waits in sys_events
    SYS_EOF = -1,    // the keyboard is gone: hang-up, closed input
};
// Waits at most timeout_ms (negative: no limit) for keys or an event, and
// hands whatever keys came to the decoder: bytes through keys->feed on a
// terminal, whole key codes through keys->put on a console. Returns one of
// the values above; never waits when an event is already pending.
int sys_wait(term_keys *keys, int timeout_ms);

enum {
    SYS_RESUMED = 1, // the program ran on after a stop: modes, alternate
                     // screen and title are taken again already
    SYS_RESIZED = 2, // the window changed size
};
// The events since the last call, as a mask of the values above.
unsigned sys_events(void);

// ---- Size, width, time ----------------------------------------------------

// The window's size in console columns and rows; false when unknown.
bool sys_size(int *cols, int *rows);
// Columns the terminal gives the glyph (already encoded): 1 or 2, or 0
// when the terminal does not say within a short time. Keys typed
// meanwhile go to the decoder; nothing of the probe stays on the screen.
int sys_glyph_width(term_keys *keys, const std::string &glyph);
// Milliseconds of a monotonic clock since the process started.
long long sys_millis(void);
// Sleeps ms milliseconds, to the millisecond, through signals.
void sys_sleep(int ms);
