// SPDX-License-Identifier: MIT
// sys.h -- the platform under the terminal layer: the paint seam.
//
// The portable parts of the layer (the screen model, the key decoder, the
// characters) sit on these few calls, and each platform has one file that
// implements all of them: sys_posix.cpp (termios, signals, select, and the
// VT painter for the bytes), sys_windows.cpp (the console API, painting with
// console calls; split by concern into sys_windows_*.cpp). The tests have a
// back end of their own.
//
// Output goes through one call per flush: sys_paint gets the damage as runs
// of cells (paint.h) with the changes of cursor, title and the clear, and
// paints them in its own terms. Text crosses the seam as UTF-8 and colours
// as console attributes; encodings (UTF-8, GBK, UTF-16) and escape
// sequences are the back end's business. Error reasons come back as UTF-8
// Chinese.
#pragma once

#include <string>

#include "keys.h"
#include "paint.h"

// ---- Taking the terminal ---------------------------------------------------

// Takes the terminal: checks that standard input and output are one, saves
// its modes, enters raw mode, the alternate screen (blank) and the saved
// title, and installs whatever restores all of it on every way out
// (signals, console control events, exit). Returns 0, or -1 with *error set.
int sys_open(std::string *error);
// Gives the terminal back as sys_open found it: modes, main screen, title,
// cursor. Safe to call more than once and when sys_open failed.
void sys_close(void);
// fn runs when a signal or a console event ends the program, after the
// terminal is given back (nullptr: nothing). It runs in a signal handler:
// async-signal-safe calls only.
void sys_on_kill(void (*fn)(void));
// When the game's window closes with the game (a console window that it
// opened for itself), says so and waits for a key, so that the game's last
// message stays readable. Elsewhere returns at once.
void sys_hold_window(void);

// ---- Output ----------------------------------------------------------------

// Paints one flush's damage, all of it. False when the terminal took less
// (a hang-up, say).
bool sys_paint(const paint_frame &frame);
// Writes a line of UTF-8 text for the player outside the game screen, to
// stderr (to_stderr) or stdout, in the locale's encoding, in colour attr
// (foreground only; -1 none) when the stream shows colours.
void sys_message(bool to_stderr, int attr, const char *utf8);
// The terminal reads GBK rather than UTF-8.
bool sys_gbk(void);

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
// False only when the platform knows that no key has come since the last
// sys_wait that found none, so that a look (a wait of 0 ms) can be
// skipped without missing a key; a back end that cannot tell says true.
bool sys_keys_may_have_come(void);

enum {
    SYS_RESUMED = 1, // the program ran on after a stop (or the terminal lost
                     // what it showed): modes, alternate screen and title
                     // are taken again already
    SYS_RESIZED = 2, // the window changed size
};
// The events since the last call, as a mask of the values above.
unsigned sys_events(void);

// ---- Size, width, time ----------------------------------------------------

// The window's size in console columns and rows; false when unknown.
bool sys_size(int *cols, int *rows);
// Columns the terminal gives the UTF-8 glyph: 1 or 2, or 0 when the
// terminal does not say within a short time. Keys typed meanwhile go to
// the decoder; nothing of the probe stays on the screen.
int sys_glyph_width(term_keys *keys, const char *utf8);
// Milliseconds of a monotonic clock since the process started.
long long sys_millis(void);
// Sleeps ms milliseconds, to the millisecond, through signals.
void sys_sleep(int ms);
