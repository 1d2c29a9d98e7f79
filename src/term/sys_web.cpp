// SPDX-License-Identifier: MIT
// sys_web.cpp -- the terminal layer in a browser: xterm.js on the page, the
// VT painter's bytes to its write, its onData bytes to the key decoder. See
// sys.h for the contract.
//
// The page (web/shell.js) keeps the terminal in Module.zv. Every wait
// yields to the browser through Asyncify: a promise that a key, a resize or
// the timeout resolves, so an idle game costs the page nothing. No signals
// (Ctrl-C is read as a key) and no suspend; one encoding, UTF-8; the title
// is the page's.
//
// The page runs only between the game's yields: keys arrive, the terminal
// paints and the page answers then and at no other time. So a poll with
// nothing queued needs no yield unless the page has waited a while, and a
// game busy with a flood of keys still yields every few milliseconds.

#include "sys.h"

#include <cstdlib>
#include <cstring>

#include <emscripten.h>

#include "escapes.h"
#include "vt.h"

// The longest the game keeps the page from painting and answering, less
// the time one batch of keys takes.
static const double turn_every_ms = 8;
// Key bytes taken from the page at a time: a flood of them is handled in
// batches, with the page's turns between.
static const int keys_per_batch = 256;

static bool w_open;
static vt_painter painter; // the frames as bytes for xterm.js
static std::string out_buf;
static double last_turn; // when the page last had a turn (js_now)

// ---- The page --------------------------------------------------------------

// clang-format off
EM_JS(void, js_write, (const char *p, size_t n), {
    Module.zv.write(HEAPU8.slice(p, p + n));
});
EM_JS(int, js_take_keys, (unsigned char *buf, int cap), {
    return Module.zv.take(HEAPU8, buf, cap);
});
EM_JS(int, js_take_resize, (void), {
    var r = Module.zv.resized; Module.zv.resized = false; return r ? 1 : 0;
});
EM_JS(int, js_cols, (void), { return Module.zv.cols(); });
EM_JS(int, js_rows, (void), { return Module.zv.rows(); });
EM_JS(double, js_now, (void), { return performance.now(); });
// Sleeps until the game's clock (whole milliseconds) has moved on the
// timeout (negative: no limit; 0: just a turn for the page), keys or a
// resize: 0, 1 or 2. Woken as emscripten_sleep wakes, so that an exit() in
// the game after it ends the program rather than throwing into the page
// (cmake/web.cmake names it an Asyncify import).
EM_JS(int, js_wait, (int ms), {
    return Asyncify.handleSleep(function(wakeUp) {
        Module.zv.wait(ms).then(function(why) { callUserCallback(function() { wakeUp(why); }); });
    });
});
// clang-format on

#define WRITE_CONST(s) js_write(s, sizeof s - 1)

// ---- Taking the terminal ---------------------------------------------------

int sys_open(std::string *) {
    if (w_open) return 0;
    w_open = true;
    WRITE_CONST(ESC_ALT_SCREEN_ON);
    painter.reset();
    return 0;
}

void sys_close(void) {
    if (!w_open) return;
    WRITE_CONST(ESC_RESTORE ESC_ALT_SCREEN_OFF);
    w_open = false;
}

// What the game wants done when Ctrl-C ends it (its scratch files).
static void (*on_kill)(void) = nullptr;

void sys_on_kill(void (*fn)(void)) {
    on_kill = fn;
}

// ---- Output ----------------------------------------------------------------

bool sys_paint(const paint_frame &frame) {
    out_buf.clear();
    painter.paint(frame, &out_buf);
    if (!out_buf.empty()) js_write(out_buf.data(), out_buf.size());
    return true;
}

// The page's terminal is the only stream: a message goes there, its line
// break made a terminal's.
void sys_message(bool, int attr, const char *utf8) {
    std::string line = vt_painter().message(attr, utf8);
    if (!line.empty() && line.back() == '\n') line.insert(line.size() - 1, "\r");
    js_write(line.data(), line.size());
}

bool sys_gbk(void) {
    return false;
}

// ---- Input -----------------------------------------------------------------

// Ctrl-C ends the game, as its signal does on a terminal: the terminal is
// given back on the way out (exit runs term_close) and the page offers a
// new game.
static int read_keys(term_keys *keys) {
    unsigned char buf[keys_per_batch];
    int n = js_take_keys(buf, (int)sizeof buf);
    if (n <= 0) return SYS_TIMEOUT;
    if (const void *intr = memchr(buf, 0x03, (size_t)n)) {
        keys->feed(buf, (size_t)((const unsigned char *)intr - buf));
        sys_close();
        if (on_kill) on_kill();
        exit(130);
    }
    keys->feed(buf, (size_t)n);
    return SYS_INPUT;
}

static int wait_page(int timeout_ms) {
    int why = js_wait(timeout_ms);
    last_turn = js_now();
    return why;
}

int sys_wait(term_keys *keys, int timeout_ms) {
    double now = js_now();
    long long until = (long long)now + timeout_ms;
    if (now - last_turn >= turn_every_ms && wait_page(0) == 2) return SYS_EVENT;
    if (read_keys(keys) == SYS_INPUT) return SYS_INPUT;
    // Nothing can have come in since the page's last turn: no time to wait,
    // no turn owed.
    if (timeout_ms == 0) return SYS_TIMEOUT;
    long long left = timeout_ms < 0 ? -1 : until - sys_millis();
    if (timeout_ms >= 0 && left <= 0) return SYS_TIMEOUT;
    if (wait_page((int)left) == 2) return SYS_EVENT;
    return read_keys(keys);
}

// The page's keys are a look at a queue away, which costs nothing.
bool sys_keys_may_have_come(void) {
    return true;
}

unsigned sys_events(void) {
    return js_take_resize() ? SYS_RESIZED : 0;
}

// ---- Size, width, time -----------------------------------------------------

bool sys_size(int *cols, int *rows) {
    *cols = js_cols();
    *rows = js_rows();
    return *cols > 0 && *rows > 0;
}

// The same probe as on a Unix terminal: the cursor report before and after
// the glyph. Keys typed meanwhile stay in the decoder.
int sys_glyph_width(term_keys *keys, const char *utf8) {
    std::string ask = vt_probe::ask(nullptr, utf8);
    js_write(ask.data(), ask.size());
    unsigned base = keys->reports;
    long long deadline = sys_millis() + vt_probe::timeout_ms;
    while (keys->reports < base + 2) {
        long long left = deadline - sys_millis();
        if (left <= 0) break;
        if (read_keys(keys) != SYS_INPUT) js_wait((int)left);
    }
    WRITE_CONST(vt_probe::done);
    return keys->reports < base + 2 ? 0 : vt_probe::width(keys->report_row, keys->report_col);
}

long long sys_millis(void) {
    return (long long)js_now();
}

// To a deadline, so that many short sleeps add up to their total: keys
// and resizes wake the wait, and stay queued for the next read.
void sys_sleep(int ms) {
    long long until = sys_millis() + ms;
    for (long long left = ms; left > 0; left = until - sys_millis())
        wait_page((int)left);
}

// A terminal window is never the game's own: nothing to hold.
void sys_hold_window(void) {}
