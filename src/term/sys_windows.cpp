// SPDX-License-Identifier: MIT
// sys_windows.cpp -- the Windows console under the terminal layer: see sys.h.
//
// Output: the runs of each frame are painted with the console's own calls
// (cursor position, text attribute, WriteConsoleW) on a screen buffer of the
// game's own that stands in for the alternate screen; no escape sequence is
// written or read here. That works on every Windows console, with or
// without virtual terminal processing, and under wine, whose console
// renders its own buffer. Text arrives as UTF-8 and goes to the console as
// UTF-16, so the code pages are never touched.
//
// Input: console key records become the same key codes as on a terminal.
// Ctrl-C, Ctrl-Break and closing the window give the console back first.

#include "sys.h"

#include "chars.h"

#include <windows.h>
#include <mmsystem.h>

#include <fcntl.h>
#include <stdlib.h>

#include <csignal>
#include <cstring>
#include <string>

#ifdef _MSC_VER
#pragma comment(lib, "winmm.lib")
#endif

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif
#ifndef ENABLE_EXTENDED_FLAGS
#define ENABLE_EXTENDED_FLAGS 0x0080
#endif
#ifndef ENABLE_QUICK_EDIT_MODE
#define ENABLE_QUICK_EDIT_MODE 0x0040
#endif
#ifndef ENABLE_VIRTUAL_TERMINAL_INPUT
#define ENABLE_VIRTUAL_TERMINAL_INPUT 0x0200
#endif
#ifndef STATUS_CONTROL_C_EXIT
#define STATUS_CONTROL_C_EXIT ((DWORD)0xC000013AL)
#endif

namespace {

// Files the game opens hold the same bytes as on any other system: no line
// ends turned into CR LF, no Ctrl-Z taken for the end of a file.
int binary_mode() {
#ifdef _MSC_VER
    return _set_fmode(_O_BINARY);
#else
    return _fmode = _O_BINARY; // MinGW's msvcrt.dll has no _set_fmode
#endif
}
const int binary_files = binary_mode();

// The console's default colours: light grey on black, as the game's
// palette has them.
const WORD default_attr = 7;

// ---- Text ----------------------------------------------------------------

std::wstring widen(const char *s, size_t n) {
    std::u16string u = utf16_from_utf8(s, n);
    return std::wstring(u.begin(), u.end());
}

// The window's size in columns and rows.
bool window_size(HANDLE h, int *cols, int *rows, CONSOLE_SCREEN_BUFFER_INFO *info_out = nullptr) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(h, &info)) return false;
    *cols = info.srWindow.Right - info.srWindow.Left + 1;
    *rows = info.srWindow.Bottom - info.srWindow.Top + 1;
    if (info_out) *info_out = info;
    return *cols > 0 && *rows > 0;
}

WORD console_attr(int attr) {
    return attr < 0 ? default_attr : (WORD)attr;
}

// ---- Painting --------------------------------------------------------------
// Each run goes where it belongs, by its absolute position: the console's
// own cursor is never relied on across a wide glyph.

class Painter {
  public:
    explicit Painter(HANDLE h) : h_(h) {}
    void paint(const paint_frame &f);
    // The console forgets where things are (a new size): start afresh.
    void lost() { drift_row_ = at_col_ = at_row_ = -1; }

  private:
    void run(const paint_run &r);
    void write(int col, int row, const std::wstring &text, int cols, bool wide);
    void set_attr(WORD attr);
    void reanchor(int row);
    void prime(int col, int row, WORD attr);

    HANDLE h_;
    int screen_cols_ = 0;
    WORD attr_ = 0xFFFF;            // the console's text attribute (0xFFFF: unknown)
    WORD last_attr_ = 0xFFFF;       // of the cells last written (0xFFFF: unknown)
    int drift_row_ = -1;            // row where the console miscounts wide text
    int at_col_ = -1, at_row_ = -1; // the console's cursor; -1: not known
};

void Painter::paint(const paint_frame &f) {
    screen_cols_ = f.cols;
    DWORD done;
    if (f.clear) {
        DWORD cells = (DWORD)f.cols * (DWORD)f.rows;
        FillConsoleOutputCharacterW(h_, L' ', cells, COORD{0, 0}, &done);
        FillConsoleOutputAttribute(h_, default_attr, cells, COORD{0, 0}, &done);
        last_attr_ = default_attr;
        lost();
    }
    if (f.title_changed) SetConsoleTitleW(widen(f.title.data(), f.title.size()).c_str());
    CONSOLE_CURSOR_INFO ci;
    if (f.cursor_changed && !f.cursor_visible && GetConsoleCursorInfo(h_, &ci)) {
        ci.bVisible = FALSE;
        SetConsoleCursorInfo(h_, &ci);
    }
    for (const paint_run &r : f.runs)
        run(r);
    if (f.cursor_visible) {
        if (f.cursor_col != at_col_ || f.cursor_row != at_row_)
            SetConsoleCursorPosition(h_, COORD{(SHORT)f.cursor_col, (SHORT)f.cursor_row});
        at_col_ = f.cursor_col;
        at_row_ = f.cursor_row;
        if (f.cursor_changed && GetConsoleCursorInfo(h_, &ci)) {
            ci.bVisible = TRUE;
            SetConsoleCursorInfo(h_, &ci);
        }
    }
}

// A run in pieces: its narrow glyphs together, each wide glyph alone.
void Painter::run(const paint_run &r) {
    set_attr(console_attr(r.attr));
    std::wstring piece;
    int at = r.col, cols = 0;
    auto done = [&](bool wide) {
        if (!piece.empty()) write(at, r.row, piece, cols, wide);
        at += cols;
        piece.clear();
        cols = 0;
    };
    utf8_each(r.text.c_str(), [&](const char *s, size_t n) {
        int w = glyph_columns(s, n);
        if (w == 2) done(false);
        piece += widen(s, n);
        cols += w;
        if (w == 2) done(true);
    });
    done(false);
}

void Painter::set_attr(WORD attr) {
    if (attr == attr_) return;
    SetConsoleTextAttribute(h_, attr);
    attr_ = attr;
}

// Text of cols columns at (col, row). A console that counts a wide glyph
// as one cell (wine's) is caught at it, by where its cursor ends up.
void Painter::write(int col, int row, const std::wstring &text, int cols, bool wide) {
    reanchor(row);
    prime(col, row, attr_);
    if (col != at_col_ || row != at_row_)
        SetConsoleCursorPosition(h_, COORD{(SHORT)col, (SHORT)row});
    DWORD done;
    WriteConsoleW(h_, text.data(), (DWORD)text.size(), &done, nullptr);
    last_attr_ = attr_;
    // After a wide glyph, or at the right edge, the next text is placed anew.
    at_col_ = wide || col + cols >= screen_cols_ ? -1 : col + cols;
    at_row_ = row;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (wide && GetConsoleScreenBufferInfo(h_, &info) && info.dwCursorPosition.X != col + cols &&
        col + cols < info.dwSize.X)
        drift_row_ = row;
}

// A console that counts a wide character as one cell (wine's does, while
// the terminal under it shows two) puts the next text on that row at the
// wrong place on the terminal. Writing one cell of another row again,
// unchanged, makes it start over from an absolute position.
void Painter::reanchor(int row) {
    if (row != drift_row_) return;
    drift_row_ = -1;
    COORD one = {1, 1}, origin = {0, 0};
    SMALL_RECT cell = {0, (SHORT)(row == 0 ? 1 : 0), 0, (SHORT)(row == 0 ? 1 : 0)};
    CHAR_INFO ci;
    if (ReadConsoleOutputW(h_, &ci, one, origin, &cell)) {
        WriteConsoleOutputW(h_, &ci, one, origin, &cell);
        last_attr_ = ci.Attributes;
    }
}

// Wine's console, asked for the default colours (7) right after a light
// grey foreground on another background, changes nothing on the terminal
// under it and leaves that background. A cell written first in another
// foreground, and at once again, makes it reset both.
void Painter::prime(int col, int row, WORD attr) {
    if (attr != default_attr || last_attr_ == default_attr ||
        (last_attr_ != 0xFFFF && (last_attr_ & 0x0F) != (default_attr & 0x0F)))
        return;
    DWORD done;
    FillConsoleOutputAttribute(h_, 8, 1, COORD{(SHORT)col, (SHORT)row}, &done);
    last_attr_ = 8;
}

// ---- State ---------------------------------------------------------------

struct Saved {
    DWORD in_mode = 0, out_mode = 0;
    CONSOLE_CURSOR_INFO cursor = {25, TRUE};
    std::wstring title;
};

struct State {
    HANDLE in = INVALID_HANDLE_VALUE, out = INVALID_HANDLE_VALUE;
    HANDLE screen = INVALID_HANDLE_VALUE; // the game's buffer
    Painter *painter = nullptr;
    Saved saved;
    volatile LONG open = 0;
    unsigned events = 0;
    int cols = 0, rows = 0; // the window's size last seen
    HANDLE timer = nullptr;
    bool timer_precise = false, period_raised = false;
    WCHAR surrogate = 0; // first half of a key's character
} S;

// Console calls that change what the user gets back happen under this
// lock, so that a control event (another thread) restores the console
// between two of them, never in the middle.
SRWLOCK lock = SRWLOCK_INIT;

struct Hold {
    Hold() { AcquireSRWLockExclusive(&lock); }
    ~Hold() { ReleaseSRWLockExclusive(&lock); }
    Hold(const Hold &) = delete;
    Hold &operator=(const Hold &) = delete;
};

// ---- Time ----------------------------------------------------------------

long long qpc_now() {
    static LARGE_INTEGER freq = {};
    if (freq.QuadPart == 0) QueryPerformanceFrequency(&freq);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (long long)(t.QuadPart / freq.QuadPart * 1000 +
                       t.QuadPart % freq.QuadPart * 1000 / freq.QuadPart);
}

const long long start_ms = qpc_now();

// A timer that fires to the millisecond: a high-resolution one where
// Windows has it, else an ordinary one with the system tick raised to 1 ms
// (given back in sys_close and at exit).
HANDLE precise_timer() {
    if (S.timer) return S.timer;
    S.timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                     TIMER_ALL_ACCESS);
    S.timer_precise = S.timer != nullptr;
    if (!S.timer) S.timer = CreateWaitableTimerW(nullptr, TRUE, nullptr);
    return S.timer;
}

void raise_period() {
    if (S.timer_precise || S.period_raised) return;
    S.period_raised = timeBeginPeriod(1) == TIMERR_NOERROR;
}

void lower_period() {
    if (S.period_raised) timeEndPeriod(1);
    S.period_raised = false;
}

// Arms the timer to fire ms milliseconds from now.
bool arm(HANDLE timer, long long ms) {
    raise_period();
    LARGE_INTEGER due;
    due.QuadPart = -(ms * 10000); // relative, in 100 ns units
    return SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) != 0;
}

// ---- Restoring -----------------------------------------------------------

// Gives the console back: the user's buffer, modes, title and cursor.
// Called with the lock held.
void restore_locked() {
    if (!S.open) return;
    S.open = 0;
    delete S.painter;
    S.painter = nullptr;
    SetConsoleActiveScreenBuffer(S.out);
    CloseHandle(S.screen);
    S.screen = INVALID_HANDLE_VALUE;
    SetConsoleMode(S.in, S.saved.in_mode);
    SetConsoleMode(S.out, S.saved.out_mode);
    SetConsoleCursorInfo(S.out, &S.saved.cursor);
    SetConsoleTitleW(S.saved.title.c_str());
    lower_period();
}

// Ctrl-C, Ctrl-Break, the window closed: the console is given back, then
// the game ends as the system's own handler would end it, with
// STATUS_CONTROL_C_EXIT, and without running anything more of the game.
BOOL WINAPI on_control(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    AcquireSRWLockExclusive(&lock); // held to the end: the game draws no more
    restore_locked();
    TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    return TRUE;
}

// A crash or an abort gives the console back before the process ends.
LPTOP_LEVEL_EXCEPTION_FILTER previous_filter;
LONG WINAPI on_crash(EXCEPTION_POINTERS *info) {
    if (TryAcquireSRWLockExclusive(&lock)) {
        restore_locked();
        ReleaseSRWLockExclusive(&lock);
    }
    return previous_filter ? previous_filter(info) : EXCEPTION_CONTINUE_SEARCH;
}

void on_abort(int sig) {
    if (TryAcquireSRWLockExclusive(&lock)) {
        restore_locked();
        ReleaseSRWLockExclusive(&lock);
    }
    signal(sig, SIG_DFL);
    raise(sig);
}

// ---- Keys ----------------------------------------------------------------

void put_utf8(term_keys *keys, unsigned cp) {
    std::string b;
    utf8_append(cp, &b);
    // As from a terminal: the bytes of the character, but never a 224,
    // which only an arrow gives.
    for (char c : b)
        if ((unsigned char)c != 0xE0) keys->put((unsigned char)c);
}

// One key record: the codes a terminal's bytes would have given. Returns
// whether any came.
bool take_key(term_keys *keys, const KEY_EVENT_RECORD &k) {
    if (!k.bKeyDown) return false;
    DWORD mods = k.dwControlKeyState;
    bool alt = (mods & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED)) != 0;
    bool ctrl = (mods & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED)) != 0;
    bool shift = (mods & SHIFT_PRESSED) != 0;
    int arrow = 0;
    switch (k.wVirtualKeyCode) {
    case VK_UP: arrow = 72; break;
    case VK_DOWN: arrow = 80; break;
    case VK_LEFT: arrow = 75; break;
    case VK_RIGHT: arrow = 77; break;
    default: break;
    }
    int count = k.wRepeatCount > 0 ? k.wRepeatCount : 1;
    bool any = false;
    for (int i = 0; i < count; i++) {
        if (arrow) {
            if (alt || ctrl || shift) return false; // a modified arrow is no key of the game
            keys->put(224);
            keys->put(arrow);
            any = true;
            continue;
        }
        if (alt && !ctrl) return false; // Alt + key (AltGr is Ctrl + Alt and types)
        unsigned ch = k.uChar.UnicodeChar;
        if (k.wVirtualKeyCode == VK_RETURN) ch = 13;
        if (k.wVirtualKeyCode == VK_ESCAPE) ch = 27;
        if (ch == 0) return any; // modifiers, function keys, Home, End...
        if (ch >= 0xD800 && ch < 0xDC00) {
            S.surrogate = (WCHAR)ch;
            continue;
        }
        if (ch >= 0xDC00 && ch < 0xE000) {
            if (!S.surrogate) continue;
            ch = 0x10000 + (((unsigned)S.surrogate - 0xD800) << 10) + (ch - 0xDC00);
            S.surrogate = 0;
        }
        put_utf8(keys, ch);
        any = true;
    }
    return any;
}

// A window of a new size: the game's buffer follows it, so that there is
// nothing to scroll, and a repaint is due.
void check_size() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    int cols, rows;
    if (!S.open || !window_size(S.screen, &cols, &rows, &info)) return;
    if (cols == S.cols && rows == S.rows) return;
    S.cols = cols, S.rows = rows;
    Hold hold;
    if (info.dwSize.X != cols || info.dwSize.Y != rows) {
        SMALL_RECT win = {0, 0, (SHORT)(cols - 1), (SHORT)(rows - 1)};
        SetConsoleScreenBufferSize(S.screen, COORD{(SHORT)cols, (SHORT)rows});
        SetConsoleWindowInfo(S.screen, TRUE, &win);
    }
    if (S.painter) S.painter->lost();
    S.events |= SYS_RESIZED;
}

// Reads what the console input holds; SYS_INPUT, SYS_EVENT, SYS_TIMEOUT
// (nothing for the game) or SYS_EOF.
int read_console(term_keys *keys) {
    DWORD pending = 0;
    if (!GetNumberOfConsoleInputEvents(S.in, &pending)) return SYS_EOF;
    bool got = false;
    while (pending > 0) {
        INPUT_RECORD rec[64];
        DWORD n = 0;
        if (!ReadConsoleInputW(S.in, rec, pending < 64 ? pending : 64, &n)) return SYS_EOF;
        for (DWORD i = 0; i < n; i++) {
            if (rec[i].EventType == KEY_EVENT) got |= take_key(keys, rec[i].Event.KeyEvent);
            // A new buffer size shows in check_size, against the window.
        }
        if (n == 0 || !GetNumberOfConsoleInputEvents(S.in, &pending)) break;
    }
    check_size();
    if (got) return SYS_INPUT;
    return S.events ? SYS_EVENT : SYS_TIMEOUT;
}

const char *not_a_console =
    "标准输入和标准输出必须是控制台：请在控制台窗口里直接运行本游戏，不要重定向输入或输出";

} // namespace

// ---- Taking the console ----------------------------------------------------

int sys_open(std::string *error) {
    if (S.open) return 0;
    S.in = GetStdHandle(STD_INPUT_HANDLE);
    S.out = GetStdHandle(STD_OUTPUT_HANDLE);
    Saved saved;
    if (!GetConsoleMode(S.in, &saved.in_mode) || !GetConsoleMode(S.out, &saved.out_mode)) {
        *error = not_a_console;
        return -1;
    }
    GetConsoleCursorInfo(S.out, &saved.cursor);
    wchar_t title[1024];
    SetLastError(0);
    DWORD tn = GetConsoleTitleW(title, 1024);
    saved.title.assign(title, tn < 1024 ? tn : 0);

    HANDLE screen =
        CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
    int cols, rows;
    if (screen == INVALID_HANDLE_VALUE || !window_size(S.out, &cols, &rows)) {
        *error = "无法创建控制台屏幕缓冲区";
        if (screen != INVALID_HANDLE_VALUE) CloseHandle(screen);
        return -1;
    }

    Hold hold;
    S.saved = saved;
    S.screen = screen;
    // The game's buffer is the window's size: nothing to scroll. No wrap at
    // the end of a line, so that the bottom right cell can be written
    // without the buffer scrolling.
    SetConsoleScreenBufferSize(screen, COORD{(SHORT)cols, (SHORT)rows});
    SetConsoleMode(screen, ENABLE_PROCESSED_OUTPUT);
    DWORD in_mode =
        saved.in_mode & ~(DWORD)(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_MOUSE_INPUT |
                                 ENABLE_QUICK_EDIT_MODE | ENABLE_VIRTUAL_TERMINAL_INPUT);
    in_mode |= ENABLE_PROCESSED_INPUT | ENABLE_WINDOW_INPUT | ENABLE_EXTENDED_FLAGS;
    if (!SetConsoleMode(S.in, in_mode) || !SetConsoleActiveScreenBuffer(screen)) {
        SetConsoleMode(S.in, saved.in_mode);
        CloseHandle(screen);
        S.screen = INVALID_HANDLE_VALUE;
        *error = "无法设置控制台模式";
        return -1;
    }
    CONSOLE_SCREEN_BUFFER_INFO info;
    window_size(screen, &S.cols, &S.rows, &info);
    DWORD done;
    DWORD cells = (DWORD)info.dwSize.X * (DWORD)info.dwSize.Y;
    FillConsoleOutputCharacterW(screen, L' ', cells, COORD{0, 0}, &done);
    FillConsoleOutputAttribute(screen, default_attr, cells, COORD{0, 0}, &done);
    SetConsoleTextAttribute(screen, default_attr);
    S.painter = new Painter(screen);
    S.events = 0;
    S.open = 1;
    // A console that takes its keys from a terminal (wine's) turns the
    // terminal's echo off once someone looks at the input: look now, so
    // that keys typed before the first wait are not echoed over the game.
    WaitForSingleObject(S.in, 0);

    static bool installed = false;
    if (!installed) {
        installed = true;
        SetConsoleCtrlHandler(on_control, TRUE);
        previous_filter = SetUnhandledExceptionFilter(on_crash);
        signal(SIGABRT, on_abort);
        atexit(lower_period);
    }
    return 0;
}

void sys_close(void) {
    Hold hold;
    restore_locked();
}

// ---- Output ----------------------------------------------------------------

bool sys_paint(const paint_frame &frame) {
    Hold hold;
    if (!S.open) return false;
    S.painter->paint(frame);
    return true;
}

bool sys_gbk(void) {
    return false; // UTF-8 in, UTF-16 to the console
}

void sys_message(bool to_stderr, int attr, const char *utf8) {
    HANDLE h = GetStdHandle(to_stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode, done;
    if (GetConsoleMode(h, &mode)) {
        // On the console as UTF-16, whatever its code page; the colour by
        // attribute, on the console's own background.
        Hold hold;
        CONSOLE_SCREEN_BUFFER_INFO info;
        WORD base = GetConsoleScreenBufferInfo(h, &info) ? info.wAttributes : default_attr;
        std::wstring text = widen(utf8, strlen(utf8));
        if (attr >= 0) SetConsoleTextAttribute(h, (WORD)((base & 0xFFF0) | (attr & 15)));
        WriteConsoleW(h, text.data(), (DWORD)text.size(), &done, nullptr);
        SetConsoleTextAttribute(h, base);
        WriteConsoleW(h, L"\n", 1, &done, nullptr);
        return;
    }
    std::string line = std::string(utf8) + "\n";
    const char *bytes = line.data();
    size_t n = line.size();
    while (n > 0 && WriteFile(h, bytes, (DWORD)n, &done, nullptr) && done > 0) {
        bytes += done;
        n -= done;
    }
}

// ---- Input -----------------------------------------------------------------

int sys_wait(term_keys *keys, int timeout_ms) {
    if (!S.open) return SYS_EOF;
    check_size();
    if (S.events) return SYS_EVENT;
    long long deadline = timeout_ms < 0 ? -1 : sys_millis() + timeout_ms;
    HANDLE timer = timeout_ms < 0 ? nullptr : precise_timer();
    for (;;) {
        long long left = deadline < 0 ? -1 : deadline - sys_millis();
        if (deadline >= 0 && left < 0) left = 0;
        HANDLE handles[2] = {S.in, timer};
        DWORD count = 1;
        if (left > 0 && timer && arm(timer, left)) count = 2;
        DWORD limit = left < 0 ? INFINITE : count == 2 ? INFINITE : (DWORD)left;
        DWORD w = WaitForMultipleObjects(count, handles, FALSE, limit);
        if (w == WAIT_OBJECT_0) {
            int r = read_console(keys);
            if (r != SYS_TIMEOUT) return r;
            continue; // key-ups, focus and the like: wait on
        }
        if (w == WAIT_OBJECT_0 + 1 || w == WAIT_TIMEOUT) {
            check_size();
            return S.events ? SYS_EVENT : SYS_TIMEOUT;
        }
        return SYS_EOF;
    }
}

unsigned sys_events(void) {
    unsigned e = S.events;
    S.events = 0;
    return e;
}

// ---- Size, width, time ----------------------------------------------------

bool sys_size(int *cols, int *rows) {
    return window_size(S.open ? S.screen : GetStdHandle(STD_OUTPUT_HANDLE), cols, rows);
}

int sys_glyph_width(term_keys *, const char *glyph) {
    Hold hold;
    if (!S.open) return 0;
    // Written at the top left of the game's blank buffer, measured by the
    // cursor, blanked again.
    std::wstring w = widen(glyph, strlen(glyph));
    CONSOLE_SCREEN_BUFFER_INFO before, after;
    COORD origin = {0, 0};
    DWORD done;
    SetConsoleCursorPosition(S.screen, origin);
    if (!WriteConsoleW(S.screen, w.data(), (DWORD)w.size(), &done, nullptr) ||
        !GetConsoleScreenBufferInfo(S.screen, &after))
        return 0;
    before.dwCursorPosition = origin;
    FillConsoleOutputCharacterW(S.screen, L' ', 2, origin, &done);
    FillConsoleOutputAttribute(S.screen, default_attr, 2, origin, &done);
    SetConsoleCursorPosition(S.screen, origin);
    int width = after.dwCursorPosition.Y == before.dwCursorPosition.Y
                    ? after.dwCursorPosition.X - before.dwCursorPosition.X
                    : 0;
    return width == 1 || width == 2 ? width : 0;
}

long long sys_millis(void) {
    return qpc_now() - start_ms;
}

void sys_sleep(int ms) {
    if (ms <= 0) return;
    long long until = sys_millis() + ms;
    HANDLE timer = precise_timer();
    for (long long left = ms; left > 0; left = until - sys_millis()) {
        if (timer && arm(timer, left))
            WaitForSingleObject(timer, INFINITE);
        else
            Sleep((DWORD)left);
    }
}
