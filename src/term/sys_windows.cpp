// SPDX-License-Identifier: MIT
// sys_windows.cpp -- the Windows console under the terminal layer (see
// sys.h): taking the console and giving it back on every way out, and the
// messages outside the game's screen. The game draws on a screen buffer of
// its own that stands in for the alternate screen; the painter
// (sys_windows_paint.cpp), the keys and resizes (sys_windows_input.cpp) and
// the clock (sys_windows_time.cpp) are in files of their own, over the
// state in sys_windows.h. No escape sequence is written or read: that works
// on every Windows console, with or without virtual terminal processing,
// and under wine, whose console renders its own buffer.
//
// Ctrl-C, Ctrl-Break and closing the window give the console back first.

#include "sys_windows.h"

#include <fcntl.h>
#include <stdlib.h>

#include <csignal>
#include <cstring>
#include <string>

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

console_state con;
SRWLOCK con_lock = SRWLOCK_INIT;

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

// ---- Restoring -----------------------------------------------------------

// Gives the console back: the user's buffer, modes, title and cursor.
// Called with the lock held.
void restore_locked() {
    if (!con.open) return;
    con.open = 0;
    painter_close();
    SetConsoleActiveScreenBuffer(con.out);
    CloseHandle(con.screen);
    con.screen = INVALID_HANDLE_VALUE;
    SetConsoleMode(con.in, con.saved.in_mode);
    SetConsoleMode(con.out, con.saved.out_mode);
    SetConsoleCursorInfo(con.out, &con.saved.cursor);
    SetConsoleTitleW(con.saved.title.c_str());
    lower_period();
}

// The program's clean-up when it is ended from outside.
void (*volatile on_kill)(void);

// Ctrl-C, Ctrl-Break, the window closed: the console is given back, then
// the game ends as the system's own handler would end it, with
// STATUS_CONTROL_C_EXIT, and without running anything more of the game.
BOOL WINAPI on_control(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    AcquireSRWLockExclusive(&con_lock); // held to the end: the game draws no more
    restore_locked();
    if (void (*fn)(void) = on_kill) fn();
    TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    return TRUE;
}

// A crash or an abort gives the console back before the process ends.
LPTOP_LEVEL_EXCEPTION_FILTER previous_filter;
LONG WINAPI on_crash(EXCEPTION_POINTERS *info) {
    if (TryAcquireSRWLockExclusive(&con_lock)) {
        restore_locked();
        ReleaseSRWLockExclusive(&con_lock);
    }
    return previous_filter ? previous_filter(info) : EXCEPTION_CONTINUE_SEARCH;
}

void on_abort(int sig) {
    if (TryAcquireSRWLockExclusive(&con_lock)) {
        restore_locked();
        ReleaseSRWLockExclusive(&con_lock);
    }
    signal(sig, SIG_DFL);
    raise(sig);
}

const char *not_a_console =
    "标准输入和标准输出必须是控制台：请在控制台窗口里直接运行本游戏，不要重定向输入或输出";

} // namespace

// ---- Taking the console ----------------------------------------------------

int sys_open(std::string *error) {
    if (con.open) return 0;
    con.in = GetStdHandle(STD_INPUT_HANDLE);
    con.out = GetStdHandle(STD_OUTPUT_HANDLE);
    console_saved saved;
    if (!GetConsoleMode(con.in, &saved.in_mode) || !GetConsoleMode(con.out, &saved.out_mode)) {
        *error = not_a_console;
        return -1;
    }
    GetConsoleCursorInfo(con.out, &saved.cursor);
    wchar_t title[1024];
    SetLastError(0);
    DWORD tn = GetConsoleTitleW(title, 1024);
    saved.title.assign(title, tn < 1024 ? tn : 0);

    HANDLE screen =
        CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
    int cols, rows;
    if (screen == INVALID_HANDLE_VALUE || !window_size(con.out, &cols, &rows)) {
        *error = "无法创建控制台屏幕缓冲区";
        if (screen != INVALID_HANDLE_VALUE) CloseHandle(screen);
        return -1;
    }

    console_hold hold;
    con.saved = saved;
    con.screen = screen;
    // The game's buffer is the window's size: nothing to scroll. No wrap at
    // the end of a line, so that the bottom right cell can be written
    // without the buffer scrolling.
    SetConsoleScreenBufferSize(screen, COORD{(SHORT)cols, (SHORT)rows});
    SetConsoleMode(screen, ENABLE_PROCESSED_OUTPUT);
    DWORD in_mode =
        saved.in_mode & ~(DWORD)(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_MOUSE_INPUT |
                                 ENABLE_QUICK_EDIT_MODE | ENABLE_VIRTUAL_TERMINAL_INPUT);
    in_mode |= ENABLE_PROCESSED_INPUT | ENABLE_WINDOW_INPUT | ENABLE_EXTENDED_FLAGS;
    if (!SetConsoleMode(con.in, in_mode) || !SetConsoleActiveScreenBuffer(screen)) {
        SetConsoleMode(con.in, saved.in_mode);
        CloseHandle(screen);
        con.screen = INVALID_HANDLE_VALUE;
        *error = "无法设置控制台模式";
        return -1;
    }
    CONSOLE_SCREEN_BUFFER_INFO info;
    window_size(screen, &con.cols, &con.rows, &info);
    DWORD done;
    DWORD cells = (DWORD)info.dwSize.X * (DWORD)info.dwSize.Y;
    FillConsoleOutputCharacterW(screen, L' ', cells, COORD{0, 0}, &done);
    FillConsoleOutputAttribute(screen, default_attr, cells, COORD{0, 0}, &done);
    SetConsoleTextAttribute(screen, default_attr);
    painter_open(screen);
    con.events = 0;
    con.open = 1;
    // A console that takes its keys from a terminal (wine's) turns the
    // terminal's echo off once someone looks at the input: look now, so
    // that keys typed before the first wait are not echoed over the game.
    WaitForSingleObject(con.in, 0);

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

void sys_on_kill(void (*fn)(void)) {
    on_kill = fn;
}

void sys_close(void) {
    console_hold hold;
    restore_locked();
}

bool console_is_own(DWORD process_count) {
    return process_count == 1;
}

// A console window that the game opened for itself (a double-click in
// Explorer) closes the moment the game ends: it stays until a key, so that
// the game's last message can be read.
void sys_hold_window(void) {
    DWORD pids[2];
    if (!console_is_own(GetConsoleProcessList(pids, 2))) return;
    sys_message(true, -1, "按任意键关闭窗口");
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    FlushConsoleInputBuffer(in);
    INPUT_RECORD rec;
    DWORD got;
    // One key press; a failing read (input gone) ends the wait as well.
    while (ReadConsoleInputW(in, &rec, 1, &got) && got == 1)
        if (rec.EventType == KEY_EVENT && rec.Event.KeyEvent.bKeyDown) return;
}

// ---- Messages --------------------------------------------------------------

bool sys_gbk(void) {
    return false; // UTF-8 in, UTF-16 to the console
}

void sys_message(bool to_stderr, int attr, const char *utf8) {
    HANDLE h = GetStdHandle(to_stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode, done;
    if (GetConsoleMode(h, &mode)) {
        // On the console as UTF-16, whatever its code page; the colour by
        // attribute, on the console's own background.
        console_hold hold;
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
