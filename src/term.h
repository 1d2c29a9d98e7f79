// SPDX-License-Identifier: MIT
// term.h -- the terminal under the game.
//
// Everything the game needs from a text terminal or console, behind a few
// calls with the prefix term_: raw mode and its restoration on every way
// out, a screen model that writes only what changed, with colours and
// positions, keys decoded into the codes of the console runtime the game
// was written for, a millisecond clock, and the repaint after a resume or a
// resize. No other module sees an escape sequence, a termios flag, a
// console handle or an encoding.
//
// The portable parts live in term/ (the screen model, the key decoder, the
// characters, the VT painter, the glue in term.cpp) over one back end per
// platform, behind the paint seam of term/sys.h.
//
// Conventions: calls that can fail return 0 on success and -1 on failure,
// with a reason in term_error(). Text handed to the layer is UTF-8; the
// layer writes it in the terminal's encoding (UTF-8 or GBK) and pads the
// glyphs that the terminal shows one column wide to two columns.
#pragma once

#include <cstddef>
#include <string>

#include "term/keycodes.h"

#if defined(__GNUC__) || defined(__clang__)
#define TERM_PRINTF_LIKE(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TERM_PRINTF_LIKE(fmt, args)
#endif

// ---- Lifecycle -------------------------------------------------------------

// Takes the controlling terminal (stdin and stdout must both be one): saves
// its modes, enters raw mode and the alternate screen, pushes the window
// title, installs the signal handlers and finds out the encoding and the
// width of the ambiguous glyphs. Returns 0, or -1 with term_error() set.
int term_open(void);
// Restores the terminal as term_open found it, the shell's screen included.
// Safe to call more than once.
void term_close(void);
// fn runs when the program is ended from outside (Ctrl-C, a signal, a
// hang-up, a closed console window), after the terminal is restored: the
// program's chance to remove its scratch files. It may run in a signal
// handler, so it may only make async-signal-safe calls (unlink, lstat).
void term_on_kill(void (*fn)(void));
// Why the last failing call failed: Chinese, UTF-8 (see term_message).
const char *term_error(void);
// Writes a line of UTF-8 text for the player outside the game screen, on
// stderr (to_stderr) or stdout, in the locale's encoding; in colour attr
// (foreground only; -1 none) when the stream is a terminal.
void term_message(int to_stderr, int attr, const char *utf8);
// When the window closes with the game (a console window that Windows
// opened for it alone), says "按任意键关闭窗口" and waits for one key, so
// that the message before stays readable; elsewhere returns at once. Called
// after term_close, before the program ends with an error.
void term_hold_window(void);

// ---- Output ----------------------------------------------------------------
// Drawing changes the screen model. term_flush writes what differs from
// what the terminal shows, in one piece; it runs at the latest before the
// program waits for anything: a key, a sleep, its exit.

// Colour of the text written from now on, as a console attribute:
// foreground + 16 * background, each an index of the 16-colour palette.
void term_color(int attr);
// Cursor to console column col, row row (0-based). A position above or left
// of the screen is remembered as off-screen: text written there is dropped.
void term_goto(int col, int row);
// Writes UTF-8 text at the cursor. A line break goes to column 0 of the
// next row.
void term_text(const char *utf8);
void term_printf(const char *fmt, ...) TERM_PRINTF_LIKE(1, 2);
void term_cursor(int visible);
void term_title(const char *utf8);
// Clears the whole screen in the default colours, cursor to the top left.
void term_clear(void);
// Writes what changed since the last flush (nothing while no terminal is
// open).
void term_flush(void);
// Puts the drawing aside (term_save) while something else is shown, and
// brings it back at the present size (term_restore).
void term_save(void);
void term_restore(void);
// Console columns the UTF-8 text takes on this terminal, padding included.
int term_columns(const char *utf8);

// ---- Input -----------------------------------------------------------------
// Key codes as the console runtime gives them, named in term/keycodes.h:
// one code per call, an arrow as key_arrow followed by arrow_up,
// arrow_down, arrow_left or arrow_right.

// Non-zero when a key code is waiting; never waits.
int term_kbhit(void);
// The next key code; waits for one. At the end of input (hang-up, closed
// stdin, no terminal open) the terminal is restored and the program exits
// with status 1.
int term_getch(void);
// One whole key, as term_getch() reads it: an arrow's two codes together,
// as key_up, key_down, key_left or key_right; any other key, its code.
int term_getkey(void);
// Waits until a key code is waiting, timeout_ms passes (negative: no
// limit) or the screen was repainted after a resume or a resize. Returns
// term_kbhit(); with no terminal open, at once.
int term_wait(int timeout_ms);

// ---- Time ------------------------------------------------------------------

// Milliseconds of real time since the process started.
long long term_millis(void);
// Sleeps ms milliseconds (output is flushed first). A resume or a resize
// meanwhile repaints the model at once; keys typed wait for the next read,
// and the program's repaint hook runs at the next wait.
void term_sleep(int ms);

// ---- Size and repaint ------------------------------------------------------

// The terminal's size in console columns and rows (80 x 24 when unknown).
void term_size(int *cols, int *rows);
// After the process was resumed or the terminal resized, the layer clears
// the screen and writes the whole model again, at the new size; before it
// does, it calls fn, from the waiting calls (term_kbhit, term_getch,
// term_wait), never from a signal handler or term_sleep (a repaint there
// owes fn a call at the next wait). fn draws nothing
// that is already drawn: it may only look at the size and put up something
// else meanwhile (see term_save).
void term_on_repaint(void (*fn)(void));
