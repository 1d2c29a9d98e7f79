// SPDX-License-Identifier: MIT
// sys_posix.cpp -- the terminal layer on a POSIX terminal: termios, signals,
// select, iconv, and the VT painter's bytes in one write. See sys.h for the
// contract.
//
// Every way out gives the terminal back as it was found: exit and atexit,
// every signal whose default action ends the process, and Ctrl-Z, after
// which SIGCONT takes it again at once. The handlers write prebuilt bytes
// and call tcsetattr, nothing more, and only while the game's process group
// holds the terminal: a game killed in the background leaves the program in
// the foreground alone, and a game resumed in the background stops again
// before it draws or reads. A terminal that is not the process's
// controlling terminal (a launcher's setsid) has no job control to respect:
// it is the game's throughout, and Ctrl-C and Ctrl-\ reach the game as
// keys, which it turns into its own signals. A game left in the background
// of an orphaned process group (its launcher gone, no shell that knows it)
// can never be brought back: it gives the terminal back and ends as on a
// hang-up.

#include "sys.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include "escapes.h"
#include "vt.h"

// How long a wait goes on before the game looks whether it still holds the
// terminal: where nothing is drawn (a menu, a pause) this is how a game
// left in the background finds out.
static const int patrol_ms = 1000;

// Signals are numbered below this: NSIG where the system says it (glibc,
// macOS and the BSDs do, outside strict POSIX), else their own names for
// it, else room for any.
#if defined(NSIG)
#define SIGNALS NSIG
#elif defined(_NSIG)
#define SIGNALS _NSIG
#elif defined(__DARWIN_NSIG)
#define SIGNALS __DARWIN_NSIG
#else
#define SIGNALS 129
#endif

// ---- State -----------------------------------------------------------------
// What the signal handlers may touch is set before they are installed, and
// is either constant from then on or a sig_atomic_t flag.

static volatile sig_atomic_t h_active;        // the terminal is ours to restore
static volatile sig_atomic_t h_raw_on;        // it is in our modes
static volatile sig_atomic_t h_alt_on;        // it shows the alternate screen
static volatile sig_atomic_t h_title_pushed;  // its title stack holds the user's title
static volatile sig_atomic_t h_cursor_hidden; // the game hides the cursor
static volatile sig_atomic_t h_no_jobs;       // not our controlling terminal
static volatile sig_atomic_t h_orphaned;      // in the background for good: give back from there
static volatile sig_atomic_t h_noted;         // a note may wait in the pipe
static volatile sig_atomic_t h_async;         // the terminal signals input (O_ASYNC, SIGIO)
static volatile sig_atomic_t h_input = 1;     // input may have come since the last wait
static void (*volatile h_on_kill)(void);      // the program's last words
static pid_t h_pgrp;                          // our process group, which only we could change
static struct termios h_saved;                // modes as sys_open found them
static struct termios h_raw;                  // our modes
static int h_pipe[2] = {-1, -1};              // handlers note events here
static struct sigaction h_old[SIGNALS];       // dispositions before sys_open
static bool h_installed[SIGNALS];

static const auto t_start = std::chrono::steady_clock::now();

static vt_painter painter;  // the frames as bytes for this terminal
static std::string out_buf; // the bytes of the frame at hand

// ---- Writing ---------------------------------------------------------------

// Writes all of it, through EINTR, partial writes and a non-blocking
// descriptor; gives up on a dead terminal. Async-signal-safe.
static bool write_all(int fd, const char *p, size_t n) {
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w > 0) {
            p += w;
            n -= (size_t)w;
        } else if (w < 0 && errno == EINTR) {
            continue;
        } else if (w < 0 && errno == EAGAIN) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(fd, &set);
            struct timeval tv = {1, 0};
            if (select(fd + 1, nullptr, &set, nullptr, &tv) <= 0) return false;
        } else {
            return false;
        }
    }
    return true;
}

#define WRITE_CONST(s) write_all(STDOUT_FILENO, s, sizeof s - 1)

static bool write_out(const char *bytes, size_t n) {
    return write_all(STDOUT_FILENO, bytes, n);
}

static bool foreground(void);
static void stop_in_background(void);

bool sys_paint(const paint_frame &frame) {
    // Nothing is drawn over another program's screen: the game waits
    // stopped until it is in the foreground again (and is repainted then).
    if (!foreground()) {
        stop_in_background();
        if (!foreground()) return false;
    }
    // A resume gives back the cursor's state at once, before the main flow
    // runs again.
    h_cursor_hidden = !frame.cursor_visible;
    out_buf.clear();
    painter.paint(frame, &out_buf);
    return out_buf.empty() || write_out(out_buf.data(), out_buf.size());
}

// ---- Encoding --------------------------------------------------------------

bool sys_gbk(void) {
    const char *cs = nl_langinfo(CODESET);
    if (!cs) return false;
    return strcasecmp(cs, "GBK") == 0 || strcasecmp(cs, "GB2312") == 0 ||
           strcasecmp(cs, "GB18030") == 0;
}

static bool to_gbk(const char *utf8, size_t n, std::string *out) {
    static iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == (iconv_t)-1 || n > 8) return false;
    char in[8], buf[8];
    memcpy(in, utf8, n);
    char *ip = in, *op = buf;
    size_t il = n, ol = sizeof buf;
    if (iconv(cd, &ip, &il, &op, &ol) == (size_t)-1 || il != 0) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        return false;
    }
    out->append(buf, (size_t)(op - buf));
    return true;
}

void sys_message(bool to_stderr, int attr, const char *utf8) {
    int fd = to_stderr ? STDERR_FILENO : STDOUT_FILENO;
    vt_painter vt;
    vt.encode = sys_gbk() ? to_gbk : nullptr;
    std::string line = vt.message(isatty(fd) ? attr : -1, utf8);
    write_all(fd, line.data(), line.size());
}

// ---- Giving back and taking again ------------------------------------------

// The terminal is ours to change only while our process group holds it,
// or when it is not our controlling terminal at all.
static bool foreground(void) {
    return h_no_jobs || tcgetpgrp(STDIN_FILENO) == h_pgrp;
}

// tcgetpgrp says ENOTTY both without a controlling terminal and for a
// terminal that is not the process's own.
static bool no_job_control(void) {
    return tcgetpgrp(STDIN_FILENO) < 0 && errno == ENOTTY;
}

// Input announced by SIGIO (O_ASYNC on the terminal), so that a look at
// the keyboard with nothing come costs no system call. Taken while the
// game holds the terminal in the foreground, given back with the modes:
// the flag belongs to the open file the shell shares. fcntl only, so that
// a signal handler may call it.
static void async_input(bool on) {
#if defined(O_ASYNC) && defined(SIGIO)
    if (on == (h_async != 0) || (on && !h_installed[SIGIO])) return;
    int flags = fcntl(STDIN_FILENO, F_GETFL);
    if (flags == -1) return;
    if (on && (flags & O_ASYNC)) {
        // Someone else's, unless its owner is gone (a game killed outright
        // could not give it back): then it is ours to take.
        pid_t owner = fcntl(STDIN_FILENO, F_GETOWN);
        if (owner > 0 && owner != getpid() && kill(owner, 0) == 0) return;
    }
    if (on && fcntl(STDIN_FILENO, F_SETOWN, getpid()) != 0) return;
    if (fcntl(STDIN_FILENO, F_SETFL, on ? flags | O_ASYNC : flags & ~O_ASYNC) != 0) return;
    h_async = on;
    h_input = 1; // what came meanwhile was not announced
#else
    (void)on;
#endif
}

// Restores the terminal: prebuilt bytes and tcsetattr only, so that a
// signal handler may call it. From the background only for good (orphaned):
// then the kernel lets the modes be set because SIGTTOU is ignored.
static void restore_async(void) {
    if (!h_active) return;
    async_input(false);
    if (!(foreground() || h_orphaned)) return;
    if (h_raw_on) tcsetattr(STDIN_FILENO, TCSANOW, &h_saved);
    h_raw_on = 0;
    WRITE_CONST(ESC_RESTORE);
    if (h_alt_on) WRITE_CONST(ESC_ALT_SCREEN_OFF);
    h_alt_on = 0;
    if (h_title_pushed) WRITE_CONST(ESC_TITLE_POP);
    h_title_pushed = 0;
}

// Takes the terminal again after a stop: modes, screen, title stack and
// cursor, before the main flow runs on. The modes are set whatever the
// flag says: after a stop the game never saw (SIGSTOP) the shell has put
// its own back. Async-signal-safe as well.
static void retake_async(void) {
    if (!h_active || !foreground()) return;
    async_input(true);
    if (tcsetattr(STDIN_FILENO, TCSANOW, &h_raw) == 0) h_raw_on = 1;
    if (!h_title_pushed) h_title_pushed = WRITE_CONST(ESC_TITLE_PUSH);
    if (!h_alt_on) h_alt_on = WRITE_CONST(ESC_ALT_SCREEN_ON);
    if (h_cursor_hidden) WRITE_CONST(ESC_CURSOR_HIDE);
}

// ---- Signals ---------------------------------------------------------------

static void note_event(char what) {
    int saved = errno;
    if (h_pipe[1] >= 0) {
        h_noted = 1;
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

static bool is_fatal(int sig);
static void on_fatal(int sig);

// No shell can bring the game back to the foreground: its process group is
// orphaned (the launcher that started it is gone, and the shell that holds
// the terminal never knew it). The screen is given back (writing is still
// allowed), the modes too (a background process that ignores SIGTTOU may
// set them), the program's last words run, and it ends as a hang-up would
// end it. Async-signal-safe.
[[noreturn]] static void give_up_orphaned(void) {
    h_orphaned = 1;
    struct sigaction ign = {};
    ign.sa_handler = SIG_IGN;
    sigaction(SIGTTOU, &ign, nullptr);
    on_fatal(SIGHUP);
    _exit(128 + SIGHUP);
}

// Resumed in the background (`bg`), or the terminal handed to another
// process group: stop again at once, as a program that touched the
// terminal would, until `fg`. The kernel decides: setting the modes from
// the background stops the process group where a shell can resume it, and
// fails with EIO where none can (an orphaned group), and then the game
// gives the terminal up. Not while a signal that ends the game waits
// (`kill %1` sends SIGTERM, then SIGCONT): that one goes first.
// Async-signal-safe.
static void stop_in_background(void) {
    if (!h_active || foreground()) return;
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    for (int sig = 1; sig < SIGNALS; sig++)
        if (sigismember(&pending, sig) == 1 && is_fatal(sig)) return;
    struct termios now;
    if (tcgetattr(STDIN_FILENO, &now) != 0) return; // hung up: the read says so
    struct sigaction dfl = {}, old;
    dfl.sa_handler = SIG_DFL;
    sigaction(SIGTTOU, &dfl, &old);
    sigset_t ttou, mask;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    sigprocmask(SIG_UNBLOCK, &ttou, &mask);
    int set = tcsetattr(STDIN_FILENO, TCSANOW, &now); // stops here; SIGCONT goes on from here
    int err = errno;
    sigprocmask(SIG_SETMASK, &mask, nullptr);
    sigaction(SIGTTOU, &old, nullptr);
    if (set != 0 && err == EIO && !foreground()) give_up_orphaned();
}

// A signal that ends the program: restore, then die of the same signal so
// that the exit status tells the truth.
static void on_fatal(int sig) {
    restore_async();
    if (h_on_kill) h_on_kill();
    h_active = 0;
    sigaction(sig, &h_old[sig], nullptr); // the default, or a sanitizer's report
    unblock(sig);
    raise(sig);
    signal(sig, SIG_DFL); // the old disposition let us live: die anyway
    raise(sig);
}

static void install(int sig, void (*fn)(int));

// Ctrl-Z: the shell gets its terminal back as it left it, and SIGCONT takes
// it again.
static void on_stop(int sig) {
    int saved = errno;
    restore_async();
    signal(sig, SIG_DFL);
    unblock(sig);
    raise(sig); // stops here, unless the stop is refused (orphaned group)
    install(sig, on_stop);
    retake_async();
    note_event('C');
    errno = saved;
}

static void on_cont(int) {
    int saved = errno;
    stop_in_background();
    retake_async();
    note_event('C');
    errno = saved;
}

static void on_winch(int) {
    note_event('W');
}

static void on_input(int) {
    h_input = 1;
}

// Every signal whose default action ends the process.
static const int fatal_signals[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,  SIGUSR1,
    SIGSEGV,   SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGVTALRM, SIGPROF, SIGSYS,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGEMT
    SIGEMT,
#endif
#ifdef SIGLOST
    SIGLOST,
#endif
};

static bool is_fatal(int sig) {
    for (int f : fatal_signals)
        if (f == sig) return true;
#ifdef SIGRTMIN
    if (sig >= SIGRTMIN && sig <= SIGRTMAX) return true;
#endif
    return false;
}

static bool is_fault(int sig) {
    return sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE || sig == SIGILL || sig == SIGABRT ||
           sig == SIGTRAP || sig == SIGSYS;
}

static void install(int sig, void (*fn)(int)) {
    if (sig <= 0 || sig >= SIGNALS) return;
    struct sigaction sa = {};
    sa.sa_handler = fn;
    sigfillset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    if (!h_installed[sig]) {
        if (sigaction(sig, nullptr, &h_old[sig]) != 0) return;
        // A signal the user's shell set to be ignored (nohup, a background
        // job without job control) stays ignored; the faults are always ours.
        if (!is_fault(sig) && h_old[sig].sa_handler == SIG_IGN) return;
    }
    if (sigaction(sig, &sa, nullptr) == 0) h_installed[sig] = true;
}

static void install_handlers(void) {
    for (int sig : fatal_signals)
        install(sig, on_fatal);
#ifdef SIGRTMIN
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; sig++)
        install(sig, on_fatal);
#endif
    install(SIGTSTP, on_stop);
    install(SIGCONT, on_cont);
    install(SIGWINCH, on_winch);
#ifdef SIGIO
    install(SIGIO, on_input);
#endif
    // A file-size limit must not end the game: the write fails with EFBIG
    // instead, which the debug log takes as the end of its room.
    install(SIGXFSZ, SIG_IGN);
}

static void uninstall_handlers(void) {
    for (int sig = 1; sig < SIGNALS; sig++) {
        if (h_installed[sig]) sigaction(sig, &h_old[sig], nullptr);
        h_installed[sig] = false;
    }
}

// ---- Taking the terminal ---------------------------------------------------

static int fail(std::string *error, const char *what) {
    *error = std::string(what) + strerror(errno);
    for (int &fd : h_pipe) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    return -1;
}

int sys_open(std::string *error) {
    if (h_active) return 0;
    // An editor's shell buffer and the like say "dumb": they cannot place
    // the cursor, and every screen would arrive as garbage. No TERM at all
    // is still taken to be an xterm-like terminal.
    const char *term = getenv("TERM");
    if (term && strcmp(term, "dumb") == 0) {
        *error = "这个终端（TERM="
                 "dumb）无法移动光标、显示颜色：请在能移动光标并显示颜色的终端里运行本游戏";
        return -1;
    }
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
        *error = "标准输入和标准输出必须是终端：请在终端窗口里直接运行本游戏，不要重定向输入或输出";
        return -1;
    }
    if (tcgetattr(STDIN_FILENO, &h_saved) != 0) return fail(error, "无法读取终端设置：");
    if (pipe(h_pipe) != 0) return fail(error, "无法创建内部管道：");
    for (int fd : h_pipe) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }

    // Raw: keys unechoed, one at a time, CR kept as CR and Ctrl-S/Ctrl-Q as
    // keys; Ctrl-C, Ctrl-\ and Ctrl-Z still signal.
    h_raw = h_saved;
    h_raw.c_iflag &= ~(tcflag_t)(ICRNL | INLCR | IGNCR | IXON | ISTRIP | INPCK | PARMRK);
    h_raw.c_lflag &= ~(tcflag_t)(ECHO | ECHONL | ICANON | IEXTEN);
    h_raw.c_lflag |= ISIG;
    h_raw.c_oflag |= OPOST;
    // Not our controlling terminal: its signals would go to another
    // session's foreground, so the keys come to the game (read_keys).
    h_no_jobs = no_job_control();
    h_pgrp = getpgrp();
    if (h_no_jobs) h_raw.c_lflag &= ~(tcflag_t)ISIG;
    h_raw.c_cc[VMIN] = 1;
    h_raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSADRAIN, &h_raw) != 0) return fail(error, "无法设置终端模式：");

    // Handlers first, then the changes they undo.
    sigset_t all, old;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &old);
    h_raw_on = 1;
    h_active = 1;
    install_handlers();
    h_title_pushed = WRITE_CONST(ESC_TITLE_PUSH);
    h_alt_on = WRITE_CONST(ESC_ALT_SCREEN_ON);
    async_input(true);
    sigprocmask(SIG_SETMASK, &old, nullptr);
    painter.reset();
    painter.encode = sys_gbk() ? to_gbk : nullptr;
    return 0;
}

void sys_on_kill(void (*fn)(void)) {
    h_on_kill = fn;
}

void sys_close(void) {
    if (!h_active) return;
    // Hold the signals off while the restoring happens here.
    sigset_t all, old;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &old);
    if (foreground()) tcdrain(STDOUT_FILENO);
    restore_async();
    h_active = 0;
    uninstall_handlers();
    for (int &fd : h_pipe) {
        close(fd);
        fd = -1;
    }
    sigprocmask(SIG_SETMASK, &old, nullptr);
}

// ---- Input -----------------------------------------------------------------

// Without job control the terminal sends its interrupt and quit keys as
// bytes: they end the game as the signals would.
static void signal_keys(const unsigned char *buf, size_t n) {
    if (!h_no_jobs) return;
    const cc_t intr = h_saved.c_cc[VINTR], quit = h_saved.c_cc[VQUIT];
    for (size_t i = 0; i < n; i++) {
        if (intr != _POSIX_VDISABLE && buf[i] == intr) raise(SIGINT);
        if (quit != _POSIX_VDISABLE && buf[i] == quit) raise(SIGQUIT);
    }
}

// Reads what the keyboard has into the decoder. A read from the background
// fails with EIO where no shell can resume the game.
static int read_keys(term_keys *keys) {
    unsigned char buf[4096];
    ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
    if (n > 0) {
        signal_keys(buf, (size_t)n);
        keys->feed(buf, (size_t)n);
        return SYS_INPUT;
    }
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return SYS_TIMEOUT;
    if (n < 0 && errno == EIO) stop_in_background();
    return SYS_EOF;
}

// Waits for the keyboard (and the handlers' notes, when events is true).
static int wait_input(int timeout_ms, bool events, bool *event) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(STDIN_FILENO, &set);
    int top = STDIN_FILENO;
    if (events && h_pipe[0] >= 0) {
        FD_SET(h_pipe[0], &set);
        top = h_pipe[0] > top ? h_pipe[0] : top;
    }
    struct timeval tv, *tp = nullptr;
    if (timeout_ms >= 0) {
        tv.tv_sec = timeout_ms / 1000;
        tv.tv_usec = (timeout_ms % 1000) * 1000;
        tp = &tv;
    }
    int n = select(top + 1, &set, nullptr, nullptr, tp);
    if (n < 0) return errno == EINTR ? SYS_TIMEOUT : SYS_EOF;
    *event = events && h_pipe[0] >= 0 && FD_ISSET(h_pipe[0], &set);
    return n > 0 && FD_ISSET(STDIN_FILENO, &set) ? SYS_INPUT : SYS_TIMEOUT;
}

// A long wait is cut into patrols: after each, a look at who holds the
// terminal (stop_in_background).
int sys_wait(term_keys *keys, int timeout_ms) {
    bool patrol = !h_no_jobs && (timeout_ms < 0 || timeout_ms > patrol_ms);
    bool event = false;
    h_input = 0; // what comes from here on, SIGIO says
    int got = wait_input(patrol ? patrol_ms : timeout_ms, true, &event);
    if (got != SYS_TIMEOUT || event) h_input = 1; // a read may leave some behind
    if (event) return SYS_EVENT;
    if (got == SYS_TIMEOUT && patrol) stop_in_background();
    return got == SYS_INPUT ? read_keys(keys) : got;
}

bool sys_keys_may_have_come(void) {
    return !h_async || h_input;
}

// The pipe is read only when a handler has written to it: an idle game asks
// nothing that fails.
unsigned sys_events(void) {
    if (h_pipe[0] < 0 || !h_noted) return 0;
    h_noted = 0;
    char buf[64];
    unsigned ev = 0;
    for (;;) {
        ssize_t n = read(h_pipe[0], buf, sizeof buf);
        if (n <= 0) break;
        for (ssize_t i = 0; i < n; i++)
            ev |= buf[i] == 'C' ? SYS_RESUMED : SYS_RESIZED;
        if ((size_t)n < sizeof buf) break; // drained
    }
    return ev;
}

// ---- Size, width, time -----------------------------------------------------

bool sys_size(int *cols, int *rows) {
    struct winsize ws = {};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0 || ws.ws_row == 0)
        return false;
    *cols = ws.ws_col;
    *rows = ws.ws_row;
    return true;
}

// The probe's question and answer are the VT painter's (vt_probe); this
// is its wait. Keys typed meanwhile stay in the decoder.
int sys_glyph_width(term_keys *keys, const char *utf8) {
    std::string ask = vt_probe::ask(painter.encode, utf8);
    if (ask.empty() || !write_out(ask.data(), ask.size())) return 0;
    unsigned base = keys->reports;
    long long deadline = sys_millis() + vt_probe::timeout_ms;
    while (keys->reports < base + 2) {
        long long left = deadline - sys_millis();
        bool event;
        if (left <= 0 || wait_input((int)left, false, &event) != SYS_INPUT) break;
        if (read_keys(keys) == SYS_EOF) break;
    }
    write_out(vt_probe::done, sizeof vt_probe::done - 1);
    return keys->reports < base + 2 ? 0 : vt_probe::width(keys->report_row, keys->report_col);
}

long long sys_millis(void) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 t_start)
        .count();
}

void sys_sleep(int ms) {
    // Signals (a resize, say) must not cut the sleep short: sleep again for
    // what is left of it.
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        auto left = until - std::chrono::steady_clock::now();
        if (left <= std::chrono::nanoseconds::zero()) return;
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        struct timespec ts = {(time_t)(ns / 1000000000), (long)(ns % 1000000000)};
        if (nanosleep(&ts, nullptr) == 0) return;
    }
}

// A terminal window is never the game's own: nothing to hold.
void sys_hold_window(void) {}
