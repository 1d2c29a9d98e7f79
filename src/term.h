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
// The portable parts live in term/ (screen.cpp, escapes.h, encode.cpp,
// keys.cpp, term.cpp) over one back end per platform (term/sys.h).
//
// Conventions: calls that can fail return 0 on success and -1 on failure,
// with a reason in term_error(). Text handed to the layer is UTF-8; the
// layer writes it in the terminal's encoding (UTF-8 or GBK) and pads the
// glyphs that the terminal shows one column wide to two columns.
#pragma once

#include <cstddef>
#include <string>

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
// Why the last failing call failed: Chinese, UTF-8 (see term_message).
const char *term_error(void);
// Writes a line of UTF-8 text for the player outside the game screen, on
// stderr (to_stderr) or stdout, in the locale's encoding; in colour attr
// (foreground only; -1 none) when the stream is a terminal.
void term_message(int to_stderr, int attr, const char *utf8);

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
void term_flush(void);
// Puts the drawing aside (term_save) while something else is shown, and
// brings it back at the present size (term_restore).
void term_save(void);
void term_restore(void);

// ---- Input -----------------------------------------------------------------
// Key codes as the console runtime gives them: one code per call, the
// arrows as 224 followed by 72 (up), 80 (down), 75 (left) or 77 (right),
// Enter 13, Space 32, a lone Escape 27.

// Non-zero when a key code is waiting; never waits.
int term_kbhit(void);
// The next key code; waits for one. At the end of input (hang-up, closed
// stdin) the terminal is restored and the program exits with status 1.
int term_getch(void);
// Waits until a key code is waiting, timeout_ms passes (negative: no
// limit) or the screen was repainted after a resume or a resize. Returns
// term_kbhit().
int term_wait(int timeout_ms);

// ---- Key decoder -----------------------------------------------------------
// Bytes from the keyboard in, key codes out. Kept apart from the reading so
// that tests and the fuzzer can drive it with any bytes in any split.
//
// The arrows (ESC [ A..D and ESC O A..D) give 224 and 72/80/77/75; CR and
// LF give 13; a lone ESC gives 27 once no byte has followed it for
// wait_ms(); every other escape sequence (function keys, Home/End,
// modified arrows, Alt+key, OSC/DCS strings) is swallowed whole, and the
// terminal's cursor position reports are recorded, never given as keys.
// Other bytes are their own codes, except 0xE0, which is dropped: a 224
// never comes but from an arrow.
struct term_keys {
    void feed(const unsigned char *bytes, size_t n);
    // Milliseconds to wait for the rest of an unfinished sequence before
    // expire(); 0 when nothing is unfinished.
    int wait_ms() const;
    // No more bytes came: a lone ESC becomes 27, any other unfinished
    // sequence is dropped.
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

// ---- Time ------------------------------------------------------------------

// Milliseconds of real time since the process started.
long long term_millis(void);
// Sleeps ms milliseconds (output is flushed first).
void term_sleep(int ms);

// ---- Size and repaint ------------------------------------------------------

// The terminal's size in console columns and rows (80 x 24 when unknown).
void term_size(int *cols, int *rows);
// After the process was resumed or the terminal resized, the layer clears
// the screen and writes the whole model again, at the new size; before it
// does, it calls fn, from the waiting calls (term_kbhit, term_getch,
// term_wait), never from a signal handler or term_sleep. fn draws nothing
// that is already drawn: it may only look at the size and put up something
// else meanwhile (see term_save).
void term_on_repaint(void (*fn)(void));

// ---- Test hooks ------------------------------------------------------------

// Sends output to fn instead of the terminal (fn == nullptr: back to the
// terminal, or nowhere when none is open).
void term_set_sink(void (*fn)(const char *data, size_t len, void *user), void *user);
// Writes GBK (gbk != 0) or UTF-8.
void term_set_gbk(int gbk);
// The ambiguous-width glyphs take one column on this terminal (narrow != 0)
// and are padded to two, or take two already.
void term_set_narrow(int narrow);
int term_narrow(void);
int term_gbk(void);
// Bytes handed to the key decoder as if typed. With no terminal open an
// unfinished sequence ends at once, and term_getch gives 13 once they are
// used up, so that code under test never waits for a key.
void term_push_keys(const char *bytes, size_t n);
// The terminal lost what it showed: the next flush clears it and writes
// the whole model, as after a resume.
void term_redraw(void);
// term_size reports cols x rows (0, 0: the terminal's own size again).
void term_set_size(int cols, int rows);
