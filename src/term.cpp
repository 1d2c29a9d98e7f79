// term.cpp -- the terminal under the game: see term.h for the contract.

#include "term.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <poll.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

// ---- Escape sequences ------------------------------------------------------
// Every sequence the layer writes, named once.

#define ESC_SGR0 "\x1b[0m"
#define ESC_CLEAR "\x1b[0m\x1b[H\x1b[2J"
#define ESC_CURSOR_SHOW "\x1b[?25h"
#define ESC_CURSOR_HIDE "\x1b[?25l"
#define ESC_GOTO "\x1b[%d;%dH"    // row, column, 1-based
#define ESC_COLOR "\x1b[0;%d;%dm" // foreground, background SGR codes
#define ESC_TITLE "\x1b]2;"       // then the title and BEL
#define ESC_TITLE_END "\x07"
#define ESC_TITLE_PUSH "\x1b[22;0t" // xterm's title stack
#define ESC_TITLE_POP "\x1b[23;0t"
#define ESC_ASK_POSITION "\x1b[6n"    // answered by ESC [ row ; col R
#define ESC_SAVE_CURSOR "\x1b\x37"    // DECSC, ESC 7
#define ESC_RESTORE_CURSOR "\x1b\x38" // DECRC, ESC 8
#define ESC_ERASE_LINE_END "\x1b[K"

// What every way out writes: default colours, the cursor back.
#define ESC_RESTORE ESC_SGR0 ESC_CURSOR_SHOW

// Glyph whose width the terminal is asked about at start.
#define PROBE_GLYPH "○"
// How long the terminal may take to answer the probe.
static const int probe_timeout_ms = 300;
// A lone ESC is the Escape key once this long has passed without a byte.
static const int esc_wait_ms = 40;
// A sequence cut off after its introducer waits longer: the rest of a
// sequence sent in one piece may still be on its way.
static const int sequence_wait_ms = 250;

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
    bool open;             // term_open took the terminal
    bool cursor_hidden;    // to hide it again after a resume
    std::string title;     // the whole title sequence last written, for a resume
    term_keys keys;        // decoder of the bytes read from the terminal
    long long last_input;  // term_millis() of the last byte read
    bool in_repaint, repaint_again;
    int size_cols, size_rows; // test hook: size to report
    iconv_t to_gbk;           // opened on first use
    bool to_gbk_tried;
} T;

// What the signal handlers may touch: set before they are installed.
static volatile sig_atomic_t h_active;       // the terminal is ours to restore
static volatile sig_atomic_t h_title_pushed; // the title stack holds the user's title
static struct termios h_saved;               // modes as term_open found them
static struct termios h_raw;                 // our modes
static int h_pipe[2] = {-1, -1};             // handlers note events here
static struct sigaction h_old[NSIG];         // dispositions before term_open
static bool h_installed[NSIG];

static const auto t_start = std::chrono::steady_clock::now();

// ---- Writing ---------------------------------------------------------------

// Writes all of it, through EINTR, partial writes and a non-blocking
// descriptor; gives up on a dead terminal. Async-signal-safe.
static void write_all(int fd, const char *p, size_t n) {
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w > 0) {
            p += w;
            n -= (size_t)w;
        } else if (w < 0 && errno == EINTR) {
            continue;
        } else if (w < 0 && errno == EAGAIN) {
            struct pollfd pf = {fd, POLLOUT, 0};
            if (poll(&pf, 1, 1000) <= 0) return;
        } else {
            return;
        }
    }
}

// ---- Output ----------------------------------------------------------------

static void out_raw(const char *s, size_t n) {
    T.out.append(s, n);
}

static void out_str(const char *s) {
    out_raw(s, strlen(s));
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
    if (T.sink)
        T.sink(T.out.data(), T.out.size(), T.sink_user);
    else if (T.open)
        write_all(STDOUT_FILENO, T.out.data(), T.out.size());
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

// Appends one UTF-8 character in the terminal's encoding; a character GBK
// lacks (or a broken one) becomes "?".
static void out_char(const char *s, size_t n) {
    if (!T.gbk || (n == 1 && (unsigned char)*s < 0x80)) {
        out_raw(s, n);
        return;
    }
    if (!T.to_gbk_tried) {
        T.to_gbk_tried = true;
        T.to_gbk = iconv_open("GBK", "UTF-8");
    }
    if (T.to_gbk == (iconv_t)-1) {
        out_raw("?", 1);
        return;
    }
    char in[8], buf[8];
    memcpy(in, s, n);
    char *ip = in, *op = buf;
    size_t il = n, ol = sizeof buf;
    if (iconv(T.to_gbk, &ip, &il, &op, &ol) == (size_t)-1 || il != 0) {
        iconv(T.to_gbk, nullptr, nullptr, nullptr, nullptr);
        out_raw("?", 1);
    } else {
        out_raw(buf, (size_t)(op - buf));
    }
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
        if (T.narrow && n > 1) {
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
    T.cursor_hidden = !visible;
    out_str(visible ? ESC_CURSOR_SHOW : ESC_CURSOR_HIDE);
}

void term_title(const char *utf8) {
    // The title goes through the same conversion as text, so that a GBK
    // terminal gets GBK bytes there too.
    std::string save;
    save.swap(T.out);
    bool off = T.offscreen;
    T.offscreen = false;
    term_text(utf8);
    std::string text;
    text.swap(T.out);
    T.out.swap(save);
    T.offscreen = off;
    T.title = ESC_TITLE + text + ESC_TITLE_END;
    T.out += T.title;
}

void term_clear(void) {
    out_str(ESC_CLEAR);
    T.offscreen = false;
}

// ---- Key decoder -----------------------------------------------------------

void term_keys::emit(int code) {
    codes += (char)(unsigned char)code;
}

int term_keys::pop() {
    if (head >= codes.size()) return -1;
    int c = (unsigned char)codes[head++];
    if (head == codes.size()) {
        codes.clear();
        head = 0;
    }
    return c;
}

void term_keys::feed(const unsigned char *bytes, size_t n) {
    for (size_t i = 0; i < n; i++)
        byte(bytes[i]);
}

int term_keys::wait_ms() const {
    if (state == ground) return 0;
    return state == esc ? esc_wait_ms : sequence_wait_ms;
}

void term_keys::expire() {
    if (state == esc) {
        if (meta) emit(27);
        emit(27);
    }
    state = ground;
    meta = false;
    params.clear();
}

// A byte outside any sequence.
void term_keys::plain(unsigned char c) {
    if (c == 0xE0) return; // would read as the arrow prefix
    emit(c == '\n' ? 13 : c);
}

void term_keys::byte(unsigned char c) {
    switch (state) {
    case ground:
        if (c == 0x1b) {
            state = esc;
            meta = false;
        } else {
            plain(c);
        }
        return;
    case esc:
        params.clear();
        if (c == 0x1b) {
            // ESC ESC: the first may be the Escape key, or Alt on what the
            // second begins. Keep one ESC pending as the prefix.
            if (meta) emit(27);
            meta = true;
        } else if (c == '[') {
            state = csi;
        } else if (c == 'O') {
            state = ss3;
        } else if (c == ']' || c == 'P' || c == 'X' || c == '^' || c == '_') {
            state = string; // OSC, DCS, SOS, PM, APC: up to BEL or ST
        } else {
            state = ground; // Alt + key: not a key of the game
            meta = false;
        }
        return;
    case csi:
    case ss3:
        if (state == csi && c == '[' && params.empty()) {
            state = csi_linux; // the Linux console's F1-F5: ESC [ [ A..E
        } else if (c >= 0x20 && c <= 0x3f) {
            if (params.size() < 32)
                params += (char)c;
            else
                params[0] = '!'; // too long to be anything we know
        } else if (c >= 0x40 && c <= 0x7e) {
            finish(c);
        } else {
            // A control or non-ASCII byte cannot be inside a sequence: the
            // sequence was cut off. Drop it and read the byte afresh.
            state = ground;
            meta = false;
            byte(c);
        }
        return;
    case csi_linux:
        state = ground;
        meta = false;
        if (c < 0x20 || c > 0x7e) byte(c);
        return;
    case string:
        if (c == 0x07)
            state = ground;
        else if (c == 0x1b)
            state = string_esc;
        else if (c == 0x18 || c == 0x1a)
            state = ground; // CAN, SUB cancel
        meta = state == ground ? false : meta;
        return;
    case string_esc:
        if (c == '\\') {
            state = ground; // ST
            meta = false;
        } else {
            // The ESC began something new: the string ended unfinished.
            state = esc;
            meta = false;
            byte(c);
        }
        return;
    }
}

// A complete CSI or SS3 sequence with this final byte.
void term_keys::finish(unsigned char f) {
    bool was_csi = state == csi;
    bool alt = meta;
    state = ground;
    meta = false;
    if (params.empty() && f >= 'A' && f <= 'D') {
        if (alt) return; // Alt+arrow: not one of the game's keys
        static const int arrow[] = {72, 80, 77, 75};
        emit(224);
        emit(arrow[f - 'A']);
        return;
    }
    int row = 0, col = 0;
    if (was_csi && f == 'R' && sscanf(params.c_str(), "%d;%d", &row, &col) == 2 && row > 0 &&
        col > 0 && params.find_first_not_of("0123456789;") == std::string::npos) {
        // The terminal's answer to ESC [6n. An ESC just before it was
        // the Escape key, typed as the answer came.
        if (alt) emit(27);
        report_row[0] = report_row[1];
        report_col[0] = report_col[1];
        report_row[1] = row;
        report_col[1] = col;
        reports++;
    }
    // Anything else (function keys, Home/End, modified keys) is no key of
    // the game: dropped whole.
}

// ---- Signals ---------------------------------------------------------------

// Restores the terminal from a signal handler: prebuilt bytes and
// tcsetattr only.
static void restore_async(void) {
    if (!h_active) return;
    static const char restore[] = ESC_RESTORE;
    static const char pop[] = ESC_TITLE_POP;
    write_all(STDOUT_FILENO, restore, sizeof restore - 1);
    if (h_title_pushed) write_all(STDOUT_FILENO, pop, sizeof pop - 1);
    h_title_pushed = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &h_saved);
}

static void note_event(char what) {
    int saved = errno;
    if (h_pipe[1] >= 0) {
        ssize_t n = write(h_pipe[1], &what, 1);
        (void)n; // a full pipe already holds a note
    }
    errno = saved;
}

static void unblock(int sig) {
    sigset_t s;
    sigemptyset(&s);
    sigaddset(&s, sig);
    sigprocmask(SIG_UNBLOCK, &s, nullptr);
}

// A signal that ends the program: restore, then die of the same signal so
// that the exit status tells the truth.
static void on_fatal(int sig) {
    restore_async();
    h_active = 0;
    sigaction(sig, &h_old[sig], nullptr); // the default, or a sanitizer's report
    unblock(sig);
    raise(sig);
    signal(sig, SIG_DFL); // the old disposition let us live: die anyway
    raise(sig);
}

// Ctrl-Z: the shell gets its terminal back as it left it; the main flow
// takes it again when we run on.
static void on_stop(int sig) {
    int saved = errno;
    restore_async();
    signal(sig, SIG_DFL);
    unblock(sig);
    raise(sig); // stops here, unless the stop is refused (orphaned group)
    struct sigaction sa = {};
    sa.sa_handler = on_stop;
    sigfillset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(sig, &sa, nullptr);
    note_event('C');
    errno = saved;
}

static void on_cont(int) {
    note_event('C');
}

static void on_winch(int) {
    note_event('W');
}

static const int fatal_signals[] = {SIGINT,  SIGTERM, SIGHUP, SIGQUIT,
                                    SIGSEGV, SIGBUS,  SIGFPE, SIGABRT};

static void install(int sig, void (*fn)(int)) {
    struct sigaction sa = {};
    sa.sa_handler = fn;
    sigfillset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    if (sigaction(sig, nullptr, &h_old[sig]) != 0) return;
    // A signal the user's shell set to be ignored (nohup, a background job
    // without job control) stays ignored; the faults are always ours.
    bool fault = sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE || sig == SIGABRT;
    if (!fault && h_old[sig].sa_handler == SIG_IGN) return;
    if (sigaction(sig, &sa, nullptr) == 0) h_installed[sig] = true;
}

static void install_handlers(void) {
    for (int sig : fatal_signals)
        install(sig, on_fatal);
    install(SIGTSTP, on_stop);
    install(SIGCONT, on_cont);
    install(SIGWINCH, on_winch);
}

static void uninstall_handlers(void) {
    for (int sig = 1; sig < NSIG; sig++) {
        if (h_installed[sig]) sigaction(sig, &h_old[sig], nullptr);
        h_installed[sig] = false;
    }
}

// ---- Reading ---------------------------------------------------------------

// Reads what the terminal has into the decoder. False at the end of input.
static bool read_input(void) {
    unsigned char buf[4096];
    ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
    if (n > 0) {
        T.keys.feed(buf, (size_t)n);
        T.last_input = term_millis();
        return true;
    }
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    return false;
}

[[noreturn]] static void end_of_input(void) {
    term_close();
    exit(1);
}

// Ends a sequence whose rest is overdue.
static void expire_keys(void) {
    int w = T.keys.wait_ms();
    if (w > 0 && term_millis() - T.last_input >= w) T.keys.expire();
}

// Takes the notes of the signal handlers: after a resume raw mode, the
// title and the hidden cursor again, then the repaint. True when there was
// a note.
static bool take_events(void) {
    if (h_pipe[0] < 0) return false;
    char buf[64];
    bool any = false, resumed = false;
    for (;;) {
        ssize_t n = read(h_pipe[0], buf, sizeof buf);
        if (n <= 0) break;
        any = true;
        for (ssize_t i = 0; i < n; i++)
            resumed |= buf[i] == 'C';
    }
    if (!any) return false;
    if (resumed) {
        tcsetattr(STDIN_FILENO, TCSADRAIN, &h_raw);
        if (!h_title_pushed) {
            out_str(ESC_TITLE_PUSH);
            h_title_pushed = 1;
            T.out += T.title;
        }
        if (T.cursor_hidden) out_str(ESC_CURSOR_HIDE);
    }
    if (T.in_repaint) {
        // The repaint itself is waiting (for a larger window, say): wake
        // it, and run it once more when it is done.
        T.repaint_again = true;
    } else if (T.repaint) {
        T.in_repaint = true;
        do {
            T.repaint_again = false;
            T.repaint();
        } while (T.repaint_again);
        T.in_repaint = false;
    }
    term_flush();
    return true;
}

// Reads keys until a key code is ready, timeout_ms has passed (negative:
// no limit) or a repaint was done. Looks at the terminal at least once.
static void pump(int timeout_ms) {
    long long deadline = timeout_ms < 0 ? -1 : term_millis() + timeout_ms;
    for (bool first = true;; first = false) {
        if (take_events()) return;
        expire_keys();
        if (T.keys.ready()) return;
        long long now = term_millis();
        long long wait = deadline < 0 ? -1 : deadline - now;
        if (!first && deadline >= 0 && wait <= 0) return;
        if (wait < 0 && deadline >= 0) wait = 0;
        if (int w = T.keys.wait_ms()) {
            long long due = T.last_input + w - now;
            if (due < 0) due = 0;
            if (wait < 0 || due < wait) wait = due;
        }
        if (wait > 1000000) wait = 1000000;
        struct pollfd pf[2] = {{STDIN_FILENO, POLLIN, 0}, {h_pipe[0], POLLIN, 0}};
        int n = poll(pf, 2, (int)wait);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (pf[0].revents & POLLIN) {
            if (!read_input()) end_of_input();
        } else if (pf[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            end_of_input();
        }
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

// ---- Lifecycle -------------------------------------------------------------

static bool locale_is_gbk(void) {
    const char *cs = nl_langinfo(CODESET);
    if (!cs) return false;
    return strcasecmp(cs, "GBK") == 0 || strcasecmp(cs, "GB2312") == 0 ||
           strcasecmp(cs, "GB18030") == 0;
}

// Asks the terminal where the cursor is before and after the probe glyph:
// the difference is the glyph's width. Keys typed meanwhile stay in the
// decoder; the glyph is erased again.
static void probe_width(void) {
    out_str(ESC_SAVE_CURSOR ESC_ASK_POSITION);
    out_char(PROBE_GLYPH, strlen(PROBE_GLYPH));
    out_str(ESC_ASK_POSITION);
    term_flush();
    unsigned base = T.keys.reports;
    long long deadline = term_millis() + probe_timeout_ms;
    while (T.keys.reports < base + 2) {
        long long left = deadline - term_millis();
        if (left <= 0) break;
        struct pollfd pf = {STDIN_FILENO, POLLIN, 0};
        int n = poll(&pf, 1, (int)left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || !(pf.revents & POLLIN) || !read_input()) break;
    }
    bool answered = T.keys.reports >= base + 2 && T.keys.report_row[0] == T.keys.report_row[1];
    T.narrow = !(answered && T.keys.report_col[1] - T.keys.report_col[0] == 2);
    out_str(ESC_RESTORE_CURSOR ESC_ERASE_LINE_END);
    term_flush();
}

// The reason of a failure, for main to print on stderr: in GBK where the
// locale reads GBK, since no terminal of ours converts it there.
static void set_error(const std::string &utf8) {
    T.error = utf8;
    if (!locale_is_gbk()) return;
    bool gbk = T.gbk, off = T.offscreen;
    T.gbk = true;
    T.offscreen = false;
    std::string save;
    save.swap(T.out);
    term_text(utf8.c_str());
    T.error.swap(T.out);
    T.out.swap(save);
    T.gbk = gbk;
    T.offscreen = off;
}

int term_open(void) {
    if (T.open) return 0;
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
        T.error =
            "标准输入和标准输出必须是终端：请在终端窗口里直接运行本游戏，不要重定向输入或输出";
        return -1;
    }
    if (tcgetattr(STDIN_FILENO, &h_saved) != 0) {
        set_error(std::string("无法读取终端设置：") + strerror(errno));
        return -1;
    }
    if (pipe(h_pipe) != 0) {
        set_error(std::string("无法创建内部管道：") + strerror(errno));
        return -1;
    }
    for (int fd : h_pipe) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }

    // Raw: keys unechoed, one at a time, CR kept as CR and Ctrl-S/Ctrl-Q as
    // keys; Ctrl-C, Ctrl-\ and Ctrl-Z still signal, output still turns a
    // line feed into CR LF.
    h_raw = h_saved;
    h_raw.c_iflag &= ~(tcflag_t)(ICRNL | INLCR | IGNCR | IXON | ISTRIP | INPCK | PARMRK);
    h_raw.c_lflag &= ~(tcflag_t)(ECHO | ECHONL | ICANON | IEXTEN);
    h_raw.c_lflag |= ISIG;
    h_raw.c_oflag |= OPOST;
    h_raw.c_cc[VMIN] = 1;
    h_raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSADRAIN, &h_raw) != 0) {
        set_error(std::string("无法设置终端模式：") + strerror(errno));
        close(h_pipe[0]);
        close(h_pipe[1]);
        h_pipe[0] = h_pipe[1] = -1;
        return -1;
    }

    T.gbk = locale_is_gbk();
    T.open = true;
    T.cursor_hidden = false;
    T.title.clear();
    h_active = 1;
    h_title_pushed = 1;
    install_handlers();
    static bool registered = false;
    if (!registered) registered = atexit(term_close) == 0;

    out_str(ESC_TITLE_PUSH);
    probe_width();
    return 0;
}

void term_close(void) {
    if (!T.open) {
        term_flush();
        return;
    }
    // Hold the signals off while the restoring happens here.
    sigset_t all, old;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &old);
    out_str(ESC_RESTORE);
    if (h_title_pushed) out_str(ESC_TITLE_POP);
    term_flush();
    h_title_pushed = 0;
    tcsetattr(STDIN_FILENO, TCSADRAIN, &h_saved);
    h_active = 0;
    uninstall_handlers();
    T.open = false;
    for (int &fd : h_pipe) {
        close(fd);
        fd = -1;
    }
    sigprocmask(SIG_SETMASK, &old, nullptr);
}

const char *term_error(void) {
    return T.error.c_str();
}

// ---- Time ------------------------------------------------------------------

long long term_millis(void) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 t_start)
        .count();
}

void term_sleep(int ms) {
    term_flush();
    if (ms <= 0) return;
    // Signals (a resize, say) must not cut the sleep short.
    struct timespec until;
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += ms / 1000;
    until.tv_nsec += (long)(ms % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec++;
        until.tv_nsec -= 1000000000L;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
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
    struct winsize ws = {};
    if (T.open && ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0) {
        *cols = ws.ws_col;
        *rows = ws.ws_row;
    }
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
int term_narrow(void) {
    return T.narrow;
}
int term_gbk(void) {
    return T.gbk;
}
void term_push_keys(const char *bytes, size_t n) {
    T.keys.feed(reinterpret_cast<const unsigned char *>(bytes), n);
    T.last_input = term_millis();
    if (!T.open) T.keys.expire();
}
void term_set_size(int cols, int rows) {
    T.size_cols = cols;
    T.size_rows = rows;
}
