// term.cpp -- the terminal under the game: see term.h for the contract.

#include "term.h"

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include <iconv.h>
#include <poll.h>
#include <unistd.h>

// ---- Escape sequences ------------------------------------------------------
// Every sequence the layer writes, named once.

#define ESC_CLEAR "\x1b[0m\x1b[H\x1b[2J"
#define ESC_CURSOR_SHOW "\x1b[?25h"
#define ESC_CURSOR_HIDE "\x1b[?25l"
#define ESC_GOTO "\x1b[%d;%dH"    // row, column, 1-based
#define ESC_COLOR "\x1b[0;%d;%dm" // foreground, background SGR codes
#define ESC_TITLE "\x1b]2;%s\x07"

// ---- State -----------------------------------------------------------------

static struct {
    std::string out;                            // output not yet written
    bool offscreen;                             // cursor above or left of the screen: drop text
    bool gbk;                                   // the terminal reads GBK, not UTF-8
    bool narrow;                                // ambiguous glyphs take one column there
    std::string error;                          // reason of the last failure
    void (*sink)(const char *, size_t, void *); // test hook: output goes here
    void *sink_user;
    void (*repaint)(void); // redraws the screen after a resume or a resize
} T;

static const auto t_start = std::chrono::steady_clock::now();

// ---- Output ----------------------------------------------------------------

static void out_raw(const char *s, size_t n) {
    T.out.append(s, n);
}

static void out_fmt(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
static void out_fmt(const char *fmt, ...) {
    char buf[64];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n > 0) out_raw(buf, (size_t)n < sizeof buf ? (size_t)n : sizeof buf - 1);
}

void term_flush(void) {
    if (T.out.empty()) return;
    if (T.sink) {
        T.sink(T.out.data(), T.out.size(), T.sink_user);
    }
    T.out.clear();
}

// Console palette: bit 0 blue, bit 1 green, bit 2 red, bit 3 intensity.
// ANSI numbers red as bit 0 and blue as bit 2; intensity picks 90-97/100-107.
static int ansi_color(int c, bool background) {
    int rgb = ((c & 1) << 2) | (c & 2) | ((c & 4) >> 2);
    int base = (c & 8) ? 90 : 30;
    return base + (background ? 10 : 0) + rgb;
}

void term_color(int attr) {
    out_fmt(ESC_COLOR, ansi_color(attr & 15, false), ansi_color((attr >> 4) & 15, true));
}

void term_goto(int col, int row) {
    T.offscreen = col < 0 || row < 0;
    if (!T.offscreen) out_fmt(ESC_GOTO, row + 1, col + 1);
}

// Glyphs that Unicode leaves ambiguous in width. Where the terminal shows
// them one column wide, each is completed to two columns: lines that go on
// to the right with one more line, the rest with a blank.
static const struct {
    const char *glyph;
    const char *pad;
} ambiguous[] = {
    {"─", "─"}, {"┌", "─"}, {"└", "─"}, {"┐", " "}, {"┘", " "}, {"│", " "},
    {"┊", " "}, {"○", " "}, {"①", " "}, {"②", " "}, {"③", " "}, {"④", " "},
    {"⑤", " "}, {"↑", " "}, {"↓", " "}, {"←", " "}, {"→", " "},
};

static size_t utf8_len(unsigned char c) {
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0) return 2;
    if ((c & 0xF0) == 0xE0) return 3;
    if ((c & 0xF8) == 0xF0) return 4;
    return 1;
}

// Appends one UTF-8 character in the terminal's encoding.
static void out_char(const char *s, size_t n) {
    if (!T.gbk || n == 1) {
        out_raw(s, n);
        return;
    }
    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == (iconv_t)-1) {
        out_raw("?", 1);
        return;
    }
    char in[8], buf[8];
    memcpy(in, s, n);
    char *ip = in, *op = buf;
    size_t il = n, ol = sizeof buf;
    if (iconv(cd, &ip, &il, &op, &ol) == (size_t)-1)
        out_raw("?", 1);
    else
        out_raw(buf, (size_t)(op - buf));
    iconv_close(cd);
}

void term_text(const char *s) {
    if (T.offscreen) return;
    while (*s) {
        size_t n = utf8_len((unsigned char)*s);
        if (strnlen(s, n) < n) n = strnlen(s, n);
        if (*s == '\n') {
            out_raw("\r\n", 2);
            s++;
            continue;
        }
        out_char(s, n);
        if (T.narrow) {
            for (const auto &a : ambiguous) {
                if (strlen(a.glyph) == n && memcmp(a.glyph, s, n) == 0) {
                    out_char(a.pad, strlen(a.pad));
                    break;
                }
            }
        }
        s += n;
    }
}

void term_printf(const char *fmt, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    term_text(buf);
}

void term_cursor(int visible) {
    out_raw(visible ? ESC_CURSOR_SHOW : ESC_CURSOR_HIDE,
            strlen(visible ? ESC_CURSOR_SHOW : ESC_CURSOR_HIDE));
}

void term_title(const char *utf8) {
    std::string save;
    save.swap(T.out);
    bool off = T.offscreen;
    T.offscreen = false;
    term_text(utf8);
    std::string title;
    title.swap(T.out);
    T.out.swap(save);
    T.offscreen = off;
    out_fmt("\x1b]2;");
    T.out += title;
    out_raw("\x07", 1);
}

void term_clear(void) {
    out_raw(ESC_CLEAR, strlen(ESC_CLEAR));
    T.offscreen = false;
}

// ---- Lifecycle (to be completed: raw mode, signals, probe) -----------------

int term_open(void) {
    return 0;
}
void term_close(void) {
    term_flush();
}
const char *term_error(void) {
    return T.error.c_str();
}

// ---- Input (to be completed: key decoder) ----------------------------------

int term_kbhit(void) {
    term_flush();
    return 0;
}
int term_getch(void) {
    term_flush();
    return 13;
}
int term_wait(int timeout_ms) {
    term_flush();
    (void)timeout_ms;
    return 0;
}

// ---- Time ------------------------------------------------------------------

long long term_millis(void) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 t_start)
        .count();
}

void term_sleep(int ms) {
    term_flush();
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// ---- Size and repaint ------------------------------------------------------

void term_size(int *cols, int *rows) {
    *cols = 80;
    *rows = 24;
}
void term_on_repaint(void (*fn)(void)) {
    T.repaint = fn;
}

// ---- Test hooks ------------------------------------------------------------

void term_set_sink(void (*fn)(const char *, size_t, void *), void *user) {
    T.sink = fn;
    T.sink_user = user;
}
void term_set_gbk(int gbk) {
    T.gbk = gbk != 0;
}
void term_set_narrow(int narrow) {
    T.narrow = narrow != 0;
}
