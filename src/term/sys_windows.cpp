// SPDX-License-Identifier: MIT
// sys_windows.cpp -- the Windows console under the terminal layer: see sys.h.
//
// Output: the portable layer hands over the same escape byte stream it
// writes to a Unix terminal. Here it is played onto the console with the
// console's own calls (cursor position, text attribute, WriteConsoleW), on
// a screen buffer of the game's own that stands in for the alternate
// screen. That works on every Windows console, with or without virtual
// terminal processing, and under wine, whose console renders its own
// buffer rather than the escapes. Text arrives as UTF-8 and goes to the
// console as UTF-16, so the code pages are never touched.
//
// Input: console key records become the same key codes as on a terminal.
// Ctrl-C, Ctrl-Break and closing the window give the console back first.

#include "term/sys.h"

#include "term/encode.h"

#include "term.h"

#include "term/win32.h"
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

std::wstring widen(const char *s, size_t n, UINT cp = CP_UTF8) {
    if (n == 0) return std::wstring();
    int len = MultiByteToWideChar(cp, 0, s, (int)n, nullptr, 0);
    if (len <= 0) return std::wstring(L"?");
    std::wstring w((size_t)len, L'\0');
    MultiByteToWideChar(cp, 0, s, (int)n, w.data(), len);
    return w;
}

// Characters that take two console columns (East Asian wide and
// full-width forms).
bool is_wide(unsigned cp) {
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0x303E) ||
           (cp >= 0x3041 && cp <= 0x33FF) || (cp >= 0x3400 && cp <= 0x4DBF) ||
           (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xA000 && cp <= 0xA4CF) ||
           (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
           (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
           (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
}

// ---- The escape stream on the console ------------------------------------
// The sequences the layer writes: CUP and the relative moves, SGR with the
// 16 colours, ED, EL, ECH, cursor shown or hidden, DECSC/DECRC, and the
// window title (OSC 0 or 2). Anything else is skipped whole.

class Player {
  public:
    // screen: the game's own buffer, positions counted from its top left;
    // otherwise a message stream on the user's console, where only text,
    // line breaks and colours count.
    Player(HANDLE h, bool screen) : h_(h), screen_(screen) {
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (!screen_ && GetConsoleScreenBufferInfo(h_, &info)) base_attr_ = info.wAttributes;
        attr_ = screen_ ? default_attr : base_attr_;
    }
    // The colours as the stream found them (message streams).
    ~Player() {
        if (!screen_) SetConsoleTextAttribute(h_, base_attr_);
    }

    void play(const char *p, size_t n);
    void set_glyph_width(int w) { ambiguous_ = w == 2 ? 2 : 1; }
    // The console forgets where things are (a new size): start afresh.
    void lost() { drift_row_ = -1; }

  private:
    void byte(unsigned char c);
    void control(unsigned char c);
    void csi(unsigned char final_byte);
    void sgr();
    void text_char(const char *s, size_t n);
    void flush();
    void move(int col, int row);
    void fill(int col, int row, DWORD count);
    void reanchor(int row);
    void prime(int col, int row);
    bool size(int *cols, int *rows);
    int param(size_t i, int fallback) const;

    HANDLE h_;
    bool screen_;
    WORD base_attr_ = default_attr, attr_;
    int col_ = 0, row_ = 0; // where the next character goes, as shown
    bool moved_ = true;     // the console's cursor is not there yet
    int saved_col_ = 0, saved_row_ = 0;
    int ambiguous_ = 1;       // columns of the ambiguous glyphs here
    WORD last_attr_ = 0xFFFF; // of the cells last written (0xFFFF: unknown)
    int drift_row_ = -1;      // row where the console miscounts wide text
    bool run_wide_ = false;   // the run holds a wide character
    std::wstring run_;        // text not yet written
    std::string utf8_;        // a character split between two calls
    enum { ground, esc, csi_params, osc, osc_esc } state_ = ground;
    std::string params_;
};

void Player::play(const char *p, size_t n) {
    for (size_t i = 0; i < n; i++)
        byte((unsigned char)p[i]);
    flush();
}

int Player::param(size_t i, int fallback) const {
    size_t start = 0;
    for (size_t k = 0; k < i; k++) {
        start = params_.find(';', start);
        if (start == std::string::npos) return fallback;
        start++;
    }
    int v = 0;
    bool any = false;
    for (size_t k = start; k < params_.size() && params_[k] >= '0' && params_[k] <= '9'; k++) {
        if (v < 100000) v = v * 10 + (params_[k] - '0');
        any = true;
    }
    return any && v > 0 ? v : fallback;
}

bool Player::size(int *cols, int *rows) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(h_, &info)) return false;
    *cols = info.dwSize.X;
    *rows = info.dwSize.Y;
    return *cols > 0 && *rows > 0;
}

void Player::byte(unsigned char c) {
    switch (state_) {
    case ground:
        if (!utf8_.empty() || c >= 0x80) {
            utf8_ += (char)c;
            size_t need = utf8_len((unsigned char)utf8_[0]);
            bool broken = utf8_.size() > 1 && (c & 0xC0) != 0x80;
            if (broken) {
                utf8_.pop_back();
                text_char(utf8_.data(), utf8_.size());
                utf8_.clear();
                byte(c);
            } else if (utf8_.size() >= need) {
                text_char(utf8_.data(), utf8_.size());
                utf8_.clear();
            }
        } else if (c == 0x1b) {
            state_ = esc;
        } else if (c < 0x20 || c == 0x7f) {
            control(c);
        } else {
            char ch = (char)c;
            text_char(&ch, 1);
        }
        return;
    case esc:
        state_ = ground;
        if (c == '[') {
            params_.clear();
            state_ = csi_params;
        } else if (c == ']') {
            params_.clear();
            state_ = osc;
        } else if (c == '7') {
            flush();
            saved_col_ = col_, saved_row_ = row_;
        } else if (c == '8') {
            flush();
            move(saved_col_, saved_row_);
        }
        return;
    case csi_params:
        if (c >= 0x20 && c <= 0x3f) {
            if (params_.size() < 32) params_ += (char)c;
        } else {
            state_ = ground;
            if (c >= 0x40 && c <= 0x7e) csi(c);
        }
        return;
    case osc:
        if (c == 0x07) {
            state_ = ground;
        } else if (c == 0x1b) {
            state_ = osc_esc;
            return;
        } else {
            if (params_.size() < 4096) params_ += (char)c;
            return;
        }
        break;
    case osc_esc:
        state_ = ground;
        if (c != '\\') {
            state_ = esc; // the string was cut off; ESC begins anew
            byte(c);
            return;
        }
        break;
    }
    // A whole OSC string: the title is all of it that matters.
    if (params_.rfind("0;", 0) == 0 || params_.rfind("2;", 0) == 0)
        SetConsoleTitleW(widen(params_.data() + 2, params_.size() - 2).c_str());
}

void Player::control(unsigned char c) {
    if (!screen_) {
        if (c == '\n' || c == '\r' || c == '\t') {
            wchar_t w = c;
            run_ += w;
        }
        return;
    }
    flush();
    int cols, rows;
    switch (c) {
    case '\r': move(0, row_); break;
    case '\b': move(col_ > 0 ? col_ - 1 : 0, row_); break;
    case '\t': move((col_ / 8 + 1) * 8, row_); break;
    case '\n':
        if (!size(&cols, &rows)) return;
        if (row_ + 1 < rows) {
            move(col_, row_ + 1);
        } else {
            // The bottom line: everything moves up one, as on a terminal.
            SMALL_RECT all = {0, 0, (SHORT)(cols - 1), (SHORT)(rows - 1)};
            CHAR_INFO blank;
            blank.Char.UnicodeChar = L' ';
            blank.Attributes = default_attr;
            ScrollConsoleScreenBufferW(h_, &all, &all, COORD{0, -1}, &blank);
            drift_row_ = -1;
            last_attr_ = 0xFFFF;
            move(col_, row_);
        }
        break;
    default: break;
    }
}

void Player::sgr() {
    if (params_.empty()) params_ = "0";
    // The console numbers red as bit 2 and blue as bit 0; ANSI the other
    // way round.
    auto console = [](int ansi) { return ((ansi & 1) << 2) | (ansi & 2) | ((ansi & 4) >> 2); };
    size_t start = 0;
    for (;;) {
        size_t end = params_.find(';', start);
        int v = atoi(params_.substr(start, end - start).c_str());
        int fg = attr_ & 0x0F, bg = (attr_ >> 4) & 0x0F;
        if (v == 0) fg = default_attr & 0x0F, bg = (default_attr >> 4) & 0x0F;
        if (!screen_ && v == 0) fg = base_attr_ & 0x0F, bg = (base_attr_ >> 4) & 0x0F;
        if (v >= 30 && v <= 37) fg = console(v - 30);
        if (v >= 90 && v <= 97) fg = 8 | console(v - 90);
        if (v >= 40 && v <= 47) bg = console(v - 40);
        if (v >= 100 && v <= 107) bg = 8 | console(v - 100);
        if (v == 1) fg |= 8;
        if (v == 39) fg = (screen_ ? default_attr : base_attr_) & 0x0F;
        if (v == 49) bg = ((screen_ ? default_attr : base_attr_) >> 4) & 0x0F;
        attr_ = (WORD)((attr_ & 0xFF00) | fg | (bg << 4));
        if (end == std::string::npos) break;
        start = end + 1;
    }
}

void Player::csi(unsigned char f) {
    if (!screen_) {
        if (f == 'm' && params_.find_first_of("<=>?") == std::string::npos) {
            flush();
            sgr();
        }
        return;
    }
    flush();
    if (!params_.empty() && params_[0] == '?') {
        // DEC private modes: only the cursor is the console's business here;
        // the alternate screen is the game's own buffer already.
        if (params_ == "?25" && (f == 'h' || f == 'l')) {
            CONSOLE_CURSOR_INFO ci;
            if (GetConsoleCursorInfo(h_, &ci)) {
                ci.bVisible = f == 'h';
                SetConsoleCursorInfo(h_, &ci);
            }
        }
        return;
    }
    if (params_.find_first_of("<=>?") != std::string::npos) return;
    int cols = 0, rows = 0;
    size(&cols, &rows);
    switch (f) {
    case 'H':
    case 'f': move(param(1, 1) - 1, param(0, 1) - 1); break;
    case 'A': move(col_, row_ - param(0, 1)); break;
    case 'B': move(col_, row_ + param(0, 1)); break;
    case 'C': move(col_ + param(0, 1), row_); break;
    case 'D': move(col_ - param(0, 1), row_); break;
    case 'G': move(param(0, 1) - 1, row_); break;
    case 'd': move(col_, param(0, 1) - 1); break;
    case 'm': sgr(); break;
    case 's': saved_col_ = col_, saved_row_ = row_; break;
    case 'u': move(saved_col_, saved_row_); break;
    case 'X': fill(col_, row_, (DWORD)param(0, 1)); break;
    case 'K': {
        int mode = param(0, 0);
        if (mode == 0) fill(col_, row_, (DWORD)(cols > col_ ? cols - col_ : 0));
        if (mode == 1) fill(0, row_, (DWORD)col_ + 1);
        if (mode == 2) fill(0, row_, (DWORD)cols);
        break;
    }
    case 'J': {
        int mode = param(0, 0);
        if (mode == 0) fill(col_, row_, (DWORD)(cols * rows - (row_ * cols + col_)));
        if (mode == 1) fill(0, 0, (DWORD)(row_ * cols + col_ + 1));
        if (mode == 2 || mode == 3) fill(0, 0, (DWORD)(cols * rows));
        drift_row_ = -1;
        break;
    }
    default: break; // reports, the title stack, scroll regions: nothing here
    }
}

void Player::move(int col, int row) {
    int cols = 0, rows = 0;
    if (screen_ && size(&cols, &rows)) {
        col = col < 0 ? 0 : col >= cols ? cols - 1 : col;
        row = row < 0 ? 0 : row >= rows ? rows - 1 : row;
    }
    col_ = col, row_ = row;
    moved_ = true;
}

// Blanks count cells from (col, row) on, in the current colours, as the
// terminal's erase does.
void Player::fill(int col, int row, DWORD count) {
    if (count == 0) return;
    reanchor(row);
    prime(col, row);
    COORD at = {(SHORT)col, (SHORT)row};
    DWORD done;
    last_attr_ = attr_;
    FillConsoleOutputCharacterW(h_, L' ', count, at, &done);
    FillConsoleOutputAttribute(h_, attr_, count, at, &done);
}

// A console that counts a wide character as one cell (wine's does, while
// the terminal under it shows two) puts the next text on that row at the
// wrong place when it gets there by a relative move. Writing one cell of
// another row again, unchanged, makes it start over from an absolute
// position.
void Player::reanchor(int row) {
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
void Player::prime(int col, int row) {
    if (!screen_ || attr_ != default_attr || last_attr_ == default_attr ||
        (last_attr_ != 0xFFFF && (last_attr_ & 0x0F) != (default_attr & 0x0F)))
        return;
    COORD at = {(SHORT)col, (SHORT)row};
    DWORD done;
    FillConsoleOutputAttribute(h_, 8, 1, at, &done);
    last_attr_ = 8;
}

void Player::text_char(const char *s, size_t n) {
    std::wstring w = widen(s, n);
    if (!screen_) {
        run_ += w;
        return;
    }
    unsigned cp = w.empty() ? '?' : (unsigned)w[0];
    if (w.size() == 2 && cp >= 0xD800 && cp < 0xDC00)
        cp = 0x10000 + ((cp - 0xD800) << 10) + ((unsigned)w[1] - 0xDC00);
    bool wide = cp >= 0x80 && is_wide(cp);
    int width = cp < 0x80 ? 1 : wide ? 2 : ambiguous_;
    int cols = 0, rows = 0;
    if (!size(&cols, &rows) || col_ + width > cols) return; // no wrapping: cut off
    if (moved_ || wide) {
        flush();
        reanchor(row_);
        SetConsoleCursorPosition(h_, COORD{(SHORT)col_, (SHORT)row_});
        moved_ = false;
    }
    run_ += w;
    col_ += width;
    if (wide) {
        // Written alone and the next character placed anew: a console that
        // counts it as one cell still keeps every cell where it belongs.
        run_wide_ = true;
        flush();
        moved_ = true;
    }
}

void Player::flush() {
    if (run_.empty()) return;
    if (screen_) {
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (GetConsoleScreenBufferInfo(h_, &info))
            prime(info.dwCursorPosition.X, info.dwCursorPosition.Y);
        last_attr_ = attr_;
    }
    SetConsoleTextAttribute(h_, attr_);
    DWORD done;
    WriteConsoleW(h_, run_.data(), (DWORD)run_.size(), &done, nullptr);
    run_.clear();
    if (!screen_) return;
    if (run_wide_) {
        // Where the console thinks the cursor is tells whether it counted
        // the wide characters as two cells.
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (GetConsoleScreenBufferInfo(h_, &info) && info.dwCursorPosition.X != col_ &&
            col_ < info.dwSize.X)
            drift_row_ = row_;
    }
    run_wide_ = false;
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
    Player *player = nullptr;
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
    delete S.player;
    S.player = nullptr;
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
    char b[4];
    int n = 0;
    if (cp < 0x80) {
        b[n++] = (char)cp;
    } else if (cp < 0x800) {
        b[n++] = (char)(0xC0 | (cp >> 6));
        b[n++] = (char)(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        b[n++] = (char)(0xE0 | (cp >> 12));
        b[n++] = (char)(0x80 | ((cp >> 6) & 0x3F));
        b[n++] = (char)(0x80 | (cp & 0x3F));
    } else {
        b[n++] = (char)(0xF0 | (cp >> 18));
        b[n++] = (char)(0x80 | ((cp >> 12) & 0x3F));
        b[n++] = (char)(0x80 | ((cp >> 6) & 0x3F));
        b[n++] = (char)(0x80 | (cp & 0x3F));
    }
    // As from a terminal: the bytes of the character, but never a 224,
    // which only an arrow gives.
    for (int i = 0; i < n; i++)
        if ((unsigned char)b[i] != 0xE0) keys->put((unsigned char)b[i]);
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
    if (!S.open || !GetConsoleScreenBufferInfo(S.screen, &info)) return;
    int cols = info.srWindow.Right - info.srWindow.Left + 1;
    int rows = info.srWindow.Bottom - info.srWindow.Top + 1;
    if (cols == S.cols && rows == S.rows) return;
    S.cols = cols, S.rows = rows;
    Hold hold;
    if (info.dwSize.X != cols || info.dwSize.Y != rows) {
        SMALL_RECT win = {0, 0, (SHORT)(cols - 1), (SHORT)(rows - 1)};
        SetConsoleScreenBufferSize(S.screen, COORD{(SHORT)cols, (SHORT)rows});
        SetConsoleWindowInfo(S.screen, TRUE, &win);
    }
    if (S.player) S.player->lost();
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

    CONSOLE_SCREEN_BUFFER_INFO info;
    HANDLE screen =
        CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
    if (screen == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(S.out, &info)) {
        *error = "无法创建控制台屏幕缓冲区";
        if (screen != INVALID_HANDLE_VALUE) CloseHandle(screen);
        return -1;
    }
    int cols = info.srWindow.Right - info.srWindow.Left + 1;
    int rows = info.srWindow.Bottom - info.srWindow.Top + 1;

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
    GetConsoleScreenBufferInfo(screen, &info);
    S.cols = info.srWindow.Right - info.srWindow.Left + 1;
    S.rows = info.srWindow.Bottom - info.srWindow.Top + 1;
    DWORD done;
    DWORD cells = (DWORD)info.dwSize.X * (DWORD)info.dwSize.Y;
    FillConsoleOutputCharacterW(screen, L' ', cells, COORD{0, 0}, &done);
    FillConsoleOutputAttribute(screen, default_attr, cells, COORD{0, 0}, &done);
    SetConsoleTextAttribute(screen, default_attr);
    S.player = new Player(screen, true);
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

bool sys_is_open(void) {
    return S.open != 0;
}

// ---- Output ----------------------------------------------------------------

bool sys_write(const char *bytes, size_t n) {
    Hold hold;
    if (!S.open) return false;
    S.player->play(bytes, n);
    return true;
}

void sys_cursor_hidden(bool hidden) {
    Hold hold;
    if (!S.open) return;
    CONSOLE_CURSOR_INFO ci;
    if (GetConsoleCursorInfo(S.screen, &ci)) {
        ci.bVisible = !hidden;
        SetConsoleCursorInfo(S.screen, &ci);
    }
}

bool sys_gbk(void) {
    return false; // UTF-8 in, UTF-16 to the console
}

bool sys_to_gbk(const char *utf8, size_t n, std::string *out) {
    out->clear();
    if (n == 0) return true;
    std::wstring w;
    int len = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, (int)n, nullptr, 0);
    if (len <= 0) return false;
    w.resize((size_t)len);
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, (int)n, w.data(), len);
    BOOL defaulted = FALSE;
    int m = WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, w.data(), len, nullptr, 0, nullptr,
                                &defaulted);
    if (m <= 0 || defaulted) return false;
    out->resize((size_t)m);
    WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, w.data(), len, out->data(), m, nullptr,
                        &defaulted);
    return !defaulted;
}

void sys_message(bool to_stderr, const char *bytes, size_t n) {
    HANDLE h = GetStdHandle(to_stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode, done;
    if (GetConsoleMode(h, &mode)) {
        // On the console as UTF-16, whatever its code page; colours by
        // attribute.
        Hold hold;
        Player(h, false).play(bytes, n);
        return;
    }
    while (n > 0 && WriteFile(h, bytes, (DWORD)n, &done, nullptr) && done > 0) {
        bytes += done;
        n -= done;
    }
}

bool sys_message_colors(bool to_stderr) {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(to_stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE), &mode) !=
           0;
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
    CONSOLE_SCREEN_BUFFER_INFO info;
    HANDLE h = S.open ? S.screen : GetStdHandle(STD_OUTPUT_HANDLE);
    if (!GetConsoleScreenBufferInfo(h, &info)) return false;
    *cols = info.srWindow.Right - info.srWindow.Left + 1;
    *rows = info.srWindow.Bottom - info.srWindow.Top + 1;
    return *cols > 0 && *rows > 0;
}

int sys_glyph_width(term_keys *, const std::string &glyph) {
    Hold hold;
    if (!S.open) return 0;
    // Written at the top left of the game's blank buffer, measured by the
    // cursor, blanked again.
    std::wstring w = widen(glyph.data(), glyph.size());
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
    if (width != 1 && width != 2) return 0;
    S.player->set_glyph_width(width);
    return width;
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
