// SPDX-License-Identifier: MIT
// term.cpp -- the layer's glue: taking the terminal, waiting for keys and
// events, time, size, and the hooks of the tests. See term.h.

#include "term.h"

#include <cstdlib>
#include <string>

#include "encode.h"
#include "escapes.h"
#include "screen.h"
#include "sys.h"

// Glyph whose width the terminal is asked about at start.
#define PROBE_GLYPH "○"

static struct {
    bool open;                                  // term_open took the terminal
    std::string error;                          // reason of the last failure, UTF-8
    term_keys keys;                             // decoder of what the keyboard sent
    long long last_input;                       // term_millis() when keys last came
    void (*sink)(const char *, size_t, void *); // test hook: output goes here
    void *sink_user;
    void (*on_repaint)(void); // the program's look at the new size
    bool in_hook, hook_again;
    int size_cols, size_rows; // test hook: size to report
} T;

// ---- Output ----------------------------------------------------------------

void screen_write(const char *bytes, size_t n) {
    if (T.sink)
        T.sink(bytes, n, T.sink_user);
    else if (T.open)
        sys_write(bytes, n);
}

void term_message(int to_stderr, int attr, const char *utf8) {
    std::string line;
    bool colors = attr >= 0 && sys_message_colors(to_stderr != 0);
    if (colors) {
        int fg = attr & 15, rgb = ((fg & 1) << 2) | (fg & 2) | ((fg & 4) >> 2);
        line = "\x1b[" + std::to_string(((fg & 8) ? 90 : 30) + rgb) + "m";
    }
    line += encode_text(utf8, sys_gbk());
    if (colors) line += ESC_SGR0;
    line += "\n";
    sys_message(to_stderr != 0, line.data(), line.size());
}

// ---- Lifecycle -------------------------------------------------------------

int term_open(void) {
    if (T.open) return 0;
    if (sys_open(&T.error) != 0) return -1;
    T.open = true;
    term_set_gbk(sys_gbk());
    int cols, rows;
    term_size(&cols, &rows);
    screen_reset(cols, rows, true);
    static bool registered = false;
    if (!registered) registered = atexit(term_close) == 0;
    std::string glyph;
    encode_char(PROBE_GLYPH, sizeof PROBE_GLYPH - 1, sys_gbk(), &glyph);
    term_set_narrow(sys_glyph_width(&T.keys, glyph) != 2);
    T.last_input = term_millis();
    return 0;
}

void term_close(void) {
    term_flush();
    if (!T.open) return;
    sys_close();
    T.open = false;
}

const char *term_error(void) {
    return T.error.c_str();
}

// ---- Waiting ---------------------------------------------------------------

[[noreturn]] static void end_of_input(void) {
    term_close();
    exit(1);
}

// After a resume or a resize: the whole model again at the new size, and
// the program's look at that size (it may put up a message that the window
// is too small, and wait there). True when there was such an event.
static bool take_events(void) {
    unsigned ev = sys_events();
    if (!ev) return false;
    int cols, rows;
    term_size(&cols, &rows);
    screen_resize(cols, rows);
    screen_invalidate();
    if (T.in_hook) {
        T.hook_again = true; // the hook's own wait was cut short: once more after it
    } else if (T.on_repaint) {
        T.in_hook = true;
        do {
            T.hook_again = false;
            T.on_repaint();
        } while (T.hook_again);
        T.in_hook = false;
    }
    term_flush();
    return true;
}

// Reads keys until a key code is ready, timeout_ms has passed (negative:
// no limit) or a repaint was done. Looks at the keyboard at least once.
static void pump(int timeout_ms) {
    long long deadline = timeout_ms < 0 ? -1 : term_millis() + timeout_ms;
    for (bool first = true;; first = false) {
        if (take_events()) return;
        int pending = T.keys.wait_ms();
        long long now = term_millis();
        if (pending > 0 && now - T.last_input >= pending) T.keys.expire();
        if (T.keys.ready()) return;
        long long wait = deadline < 0 ? -1 : deadline - now;
        if (!first && deadline >= 0 && wait <= 0) return;
        if (wait < 0 && deadline >= 0) wait = 0;
        if (int w = T.keys.wait_ms()) {
            long long due = T.last_input + w - now;
            if (due < 0) due = 0;
            if (wait < 0 || due < wait) wait = due;
        }
        if (wait > 1000000) wait = 1000000;
        int got = sys_wait(&T.keys, (int)wait);
        if (got == SYS_INPUT) T.last_input = term_millis();
        if (got == SYS_EOF) end_of_input();
    }
}

int term_kbhit(void) {
    term_flush();
    if (T.open) pump(0);
    return T.keys.ready();
}

int term_getch(void) {
    term_flush();
    if (!T.open) {
        int c = T.keys.pop();
        return c < 0 ? 13 : c;
    }
    while (!T.keys.ready())
        pump(-1);
    return T.keys.pop();
}

int term_wait(int timeout_ms) {
    term_flush();
    if (!T.open) {
        if (!T.keys.ready() && timeout_ms > 0) term_sleep(timeout_ms);
        return T.keys.ready();
    }
    pump(timeout_ms);
    return T.keys.ready();
}

// ---- Time ------------------------------------------------------------------

long long term_millis(void) {
    return sys_millis();
}

void term_sleep(int ms) {
    term_flush();
    if (ms > 0) sys_sleep(ms);
}

// ---- Size and repaint ------------------------------------------------------

void term_size(int *cols, int *rows) {
    *cols = 80;
    *rows = 24;
    if (T.size_cols > 0 && T.size_rows > 0) {
        *cols = T.size_cols;
        *rows = T.size_rows;
        return;
    }
    int c, r;
    if (T.open && sys_size(&c, &r) && c > 0 && r > 0) {
        *cols = c;
        *rows = r;
    }
}

void term_on_repaint(void (*fn)(void)) {
    T.on_repaint = fn;
}

// ---- Test hooks ------------------------------------------------------------

void term_set_sink(void (*fn)(const char *, size_t, void *), void *user) {
    term_flush();
    T.sink = fn;
    T.sink_user = user;
    // A new terminal, whose screen the model knows nothing of; or the real
    // one again, which missed all that went to the sink.
    int cols, rows;
    term_size(&cols, &rows);
    if (!fn && T.open)
        screen_invalidate();
    else
        screen_reset(cols, rows, false);
}
void term_redraw(void) {
    screen_invalidate();
}
void term_push_keys(const char *bytes, size_t n) {
    T.keys.feed(reinterpret_cast<const unsigned char *>(bytes), n);
    T.last_input = term_millis();
    if (!T.open) T.keys.expire();
}
void term_set_size(int cols, int rows) {
    T.size_cols = cols;
    T.size_rows = rows;
    int c, r;
    term_size(&c, &r);
    screen_resize(c, r);
}
