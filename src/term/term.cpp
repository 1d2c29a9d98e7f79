// SPDX-License-Identifier: MIT
// term.cpp -- the layer's glue: taking the terminal, drawing into the model
// and flushing its damage to the back end, waiting for keys and events,
// time and size. See term.h.

#include "term.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "chars.h"
#include "keys.h"
#include "screen.h"
#include "sys.h"

// Glyph whose width the terminal is asked about at start.
#define PROBE_GLYPH "○"
// A sleep that starts no later than this after the last one's deadline
// continues from that deadline.
static const long long sleep_chain_ms = 100;

static struct {
    bool open;            // term_open took the terminal
    std::string error;    // reason of the last failure, UTF-8
    term_keys keys;       // decoder of what the keyboard sent
    long long last_input; // term_millis() when keys last came
    long long sleep_due;  // term_millis() when the last sleep was due to end
    bool quiet;           // the last wait found nothing, and the back end knows no key came since
    int cols, rows;       // the window's size, asked again only after an event
    void (*on_repaint)(void); // the program's look at the new size
    void (*on_kill)(void);    // the program's clean-up when it is ended
    bool in_hook, hook_again;
    bool hook_owed;    // a repaint during a sleep has not shown the hook yet
    paint_frame frame; // the damage of the flush at hand, kept for its buffers
} T;

static void ask_size(void);

// ---- Lifecycle -------------------------------------------------------------

int term_open(void) {
    if (T.open) return 0;
    if (sys_open(&T.error) != 0) return -1;
    T.open = true;
    ask_size();
    screen_reset(T.cols, T.rows, true);
    static bool registered = false;
    if (!registered) registered = atexit(term_close) == 0;
    chars_set_narrow(sys_glyph_width(&T.keys, PROBE_GLYPH) != 2);
    T.last_input = term_millis();
    T.quiet = false;
    return 0;
}

void term_close(void) {
    term_flush();
    if (!T.open) return;
    sys_close();
    T.open = false;
}

void term_on_kill(void (*fn)(void)) {
    T.on_kill = fn;
    sys_on_kill(fn);
}

const char *term_error(void) {
    return T.error.c_str();
}

void term_message(int to_stderr, int attr, const char *utf8) {
    sys_message(to_stderr != 0, attr, utf8);
}

void term_hold_window(void) {
    sys_hold_window();
}

// ---- Output ----------------------------------------------------------------

// The model takes the terminal's size at its first use.
static void sized(void) {
    if (screen_sized()) return;
    int cols, rows;
    term_size(&cols, &rows);
    screen_reset(cols, rows, false);
}

void term_color(int attr) {
    screen_color(attr);
}

void term_goto(int col, int row) {
    sized();
    screen_goto(col, row);
}

void term_text(const char *utf8) {
    sized();
    screen_text(utf8);
}

void term_printf(const char *fmt, ...) {
    char buf[1024];
    va_list ap, again;
    va_start(ap, fmt);
    va_copy(again, ap);
    int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n >= (int)sizeof buf) {
        std::string big((size_t)n + 1, '\0');
        vsnprintf(big.data(), big.size(), fmt, again);
        term_text(big.c_str());
    } else if (n > 0) {
        term_text(buf);
    }
    va_end(again);
}

void term_cursor(int visible) {
    screen_cursor(visible != 0);
}

void term_title(const char *utf8) {
    screen_title(utf8);
}

void term_clear(void) {
    sized();
    screen_clear();
}

void term_save(void) {
    sized();
    screen_save();
}

void term_restore(void) {
    screen_restore();
}

int term_columns(const char *utf8) {
    return text_columns(utf8);
}

void term_flush(void) {
    if (!T.open) return;
    sized();
    if (screen_damage(&T.frame)) sys_paint(T.frame);
}

// ---- Waiting ---------------------------------------------------------------

[[noreturn]] static void end_of_input(void) {
    term_close();
    if (T.on_kill) T.on_kill();
    exit(1);
}

// After a resume or a resize: the whole model again at the new size, and,
// when hook, the program's look at that size (it may put up a message that
// the window is too small, and wait there). True when there was such an
// event.
static bool take_events(bool hook) {
    unsigned ev = sys_events();
    if (!ev && !(hook && T.hook_owed)) return false;
    if (ev) {
        ask_size();
        screen_resize(T.cols, T.rows);
        screen_invalidate();
    }
    if (!hook) {
        T.hook_owed = true;
    } else if (T.in_hook) {
        T.hook_again = true; // the hook's own wait was cut short: once more after it
    } else if (T.on_repaint) {
        T.in_hook = true;
        do {
            T.hook_again = false;
            T.on_repaint();
        } while (T.hook_again);
        T.in_hook = false;
    }
    if (hook) T.hook_owed = false;
    term_flush();
    return true;
}

// One wait of the back end, and what it says of the keyboard; now is
// updated to the clock after it.
static int wait_keys(int timeout_ms, long long *now) {
    int got = sys_wait(&T.keys, timeout_ms);
    // A look that found nothing took no time worth a clock read.
    if (timeout_ms != 0 || got != SYS_TIMEOUT) *now = term_millis();
    T.quiet = got == SYS_TIMEOUT;
    if (got == SYS_INPUT) T.last_input = *now;
    return got;
}

// Reads keys until a key code is ready, timeout_ms has passed (negative:
// no limit) or a repaint was done. Looks at the keyboard at least once,
// except where the last wait found nothing and the back end knows that no
// key has come since: the play loop's polls of one pass then cost no
// system call, and a key typed during the pass is still read in it.
static void pump(int timeout_ms) {
    // A look with no key half-read needs no clock: its deadline is now,
    // whatever now is.
    long long now = timeout_ms == 0 && !T.keys.wait_ms() ? 0 : term_millis();
    long long deadline = timeout_ms < 0 ? -1 : now + timeout_ms;
    for (bool first = true;; first = false) {
        if (take_events(true)) return;
        int pending = T.keys.wait_ms();
        if (pending > 0 && now - T.last_input >= pending) T.keys.expire();
        if (T.keys.ready()) return;
        long long wait = deadline < 0 ? -1 : deadline - now;
        if (!first && deadline >= 0 && wait <= 0) return;
        if (wait < 0 && deadline >= 0) wait = 0;
        if (int w = T.keys.wait_ms()) {
            long long due = T.last_input + w - now;
            if (due < 0) due = 0;
            if (wait < 0 || due < wait) wait = due;
        } else if (wait == 0 && T.quiet && !sys_keys_may_have_come()) {
            return;
        }
        if (wait > 1000000) wait = 1000000;
        if (wait_keys((int)wait, &now) == SYS_EOF) end_of_input();
    }
}

int term_kbhit(void) {
    term_flush();
    if (T.open) pump(0);
    return T.keys.ready();
}

int term_getch(void) {
    term_flush();
    if (!T.open) end_of_input(); // no keyboard at all
    while (!T.keys.ready())
        pump(-1);
    return T.keys.pop();
}

int term_getkey(void) {
    int code = term_getch();
    return code == key_arrow ? key_arrow << 8 | term_getch() : code;
}

int term_wait(int timeout_ms) {
    term_flush();
    if (T.open) pump(timeout_ms);
    return T.keys.ready();
}

// ---- Time ------------------------------------------------------------------

long long term_millis(void) {
    return sys_millis();
}

// A flash's pause is part of the game: no key is read, no hook runs, but
// what the window lost is shown again at once, from the model.
//
// Sleeps that follow one another at once (a flash's pauses) run from one
// deadline to the next, so that they add up to their total even where each
// wakes a little late (a browser paints the flash meanwhile).
void term_sleep(int ms) {
    term_flush();
    if (ms <= 0) return;
    long long now = term_millis();
    bool chained = T.sleep_due > 0 && now >= T.sleep_due && now - T.sleep_due <= sleep_chain_ms;
    long long until = (chained ? T.sleep_due : now) + ms;
    T.sleep_due = until;
    if (!T.open) {
        if (until > now) sys_sleep((int)(until - now));
        return;
    }
    for (long long left = until - now; left > 0; left = until - now) {
        int got = wait_keys((int)left, &now);
        if (got == SYS_EVENT && take_events(false)) now = term_millis(); // after the repaint
        if (got == SYS_EOF) break;                                       // told at the next read
    }
    if (until > now) sys_sleep((int)(until - now));
}

// ---- Size and repaint ------------------------------------------------------

// The window's size from the back end (80 x 24 when it does not know):
// at the start and after each resume or resize, never at every look.
static void ask_size(void) {
    int c, r;
    bool known = sys_size(&c, &r) && c > 0 && r > 0;
    T.cols = known ? c : 80;
    T.rows = known ? r : 24;
    screen_fit(&T.cols, &T.rows); // what the model holds of an absurd size
}

void term_size(int *cols, int *rows) {
    *cols = T.open ? T.cols : 80;
    *rows = T.open ? T.rows : 24;
}

void term_on_repaint(void (*fn)(void)) {
    T.on_repaint = fn;
}
