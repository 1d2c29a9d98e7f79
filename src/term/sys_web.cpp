// sys_web.cpp -- the terminal layer's back end in a browser.
//
// The terminal is xterm.js on the page (web/shell.js keeps it in
// Module.zv): output goes to its write, its onData bytes queue up for the
// key decoder, its size is the fitted one. Every wait yields to the browser
// through Asyncify: a promise that a key, a resize or the timeout resolves.
// No signals, no suspend; one encoding, UTF-8.

#include "sys.h"

#include <emscripten.h>

#include "escapes.h"
#include "term.h"

// How long the terminal may take to answer the width probe.
static const int probe_timeout_ms = 300;

static bool w_open;

#define WRITE_CONST(s) sys_write(s, sizeof(s) - 1)

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
EM_ASYNC_JS(int, js_wait, (int ms), {
    return await Module.zv.wait(ms);
});
// clang-format on

int sys_open(std::string *) {
    if (w_open) return 0;
    w_open = true;
    WRITE_CONST(ESC_ALT_SCREEN_ON);
    return 0;
}

bool sys_is_open(void) {
    return w_open;
}

void sys_close(void) {
    if (!w_open) return;
    WRITE_CONST(ESC_RESTORE ESC_ALT_SCREEN_OFF);
    w_open = false;
}

bool sys_write(const char *bytes, size_t n) {
    if (n) js_write(bytes, n);
    return true;
}

void sys_message(bool, const char *bytes, size_t n) {
    sys_write(bytes, n);
    WRITE_CONST("\r\n");
}

bool sys_message_colors(bool) {
    return true;
}

void sys_cursor_hidden(bool) {}

bool sys_gbk(void) {
    return false;
}

bool sys_to_gbk(const char *, size_t, std::string *) {
    return false;
}

static int read_keys(term_keys *keys) {
    unsigned char buf[4096];
    int n = js_take_keys(buf, (int)sizeof buf);
    if (n <= 0) return SYS_TIMEOUT;
    keys->feed(buf, (size_t)n);
    return SYS_INPUT;
}

int sys_wait(term_keys *keys, int timeout_ms) {
    if (read_keys(keys) == SYS_INPUT) return SYS_INPUT;
    int why = js_wait(timeout_ms); // 0 timeout, 1 keys, 2 resize
    if (why == 2) return SYS_EVENT;
    return read_keys(keys);
}

unsigned sys_events(void) {
    return js_take_resize() ? SYS_RESIZED : 0;
}

bool sys_size(int *cols, int *rows) {
    *cols = js_cols();
    *rows = js_rows();
    return *cols > 0 && *rows > 0;
}

// The same probe as on a Unix terminal: xterm.js answers the cursor report.
int sys_glyph_width(term_keys *keys, const std::string &glyph) {
    std::string ask = ESC_SAVE_CURSOR ESC_ASK_POSITION + glyph + ESC_ASK_POSITION;
    sys_write(ask.data(), ask.size());
    unsigned base = keys->reports;
    long long deadline = sys_millis() + probe_timeout_ms;
    while (keys->reports < base + 2) {
        long long left = deadline - sys_millis();
        if (left <= 0) break;
        if (read_keys(keys) == SYS_INPUT) continue;
        js_wait((int)left);
    }
    WRITE_CONST(ESC_RESTORE_CURSOR ESC_ERASE_LINE_END);
    if (keys->reports < base + 2 || keys->report_row[0] != keys->report_row[1]) return 0;
    int w = keys->report_col[1] - keys->report_col[0];
    return w == 1 || w == 2 ? w : 0;
}

long long sys_millis(void) {
    return (long long)js_now();
}

void sys_sleep(int ms) {
    emscripten_sleep((unsigned)(ms > 0 ? ms : 0));
}
