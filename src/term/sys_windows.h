// SPDX-License-Identifier: MIT
// sys_windows.h -- what the files of the Windows console back end share,
// and nothing else includes (but the back end's own tests): the console's
// state, the lock around what the user gets back, and the calls that one
// of its files makes into another.
//
//   sys_windows.cpp        taking the console and giving it back, the
//                          control and crash handlers, messages
//   sys_windows_paint.cpp  the painter, with its workarounds for wine
//   sys_windows_input.cpp  key records, resize events, the wait
//   sys_windows_time.cpp   the clock, timers, sleeping
#pragma once

#include <string>

#include <windows.h>

#include "sys.h"

// The console's default colours: light grey on black, as the game's
// palette has them.
const WORD default_attr = 7;

// ---- The console's state ---------------------------------------------------

struct console_saved {
    DWORD in_mode = 0, out_mode = 0;
    CONSOLE_CURSOR_INFO cursor = {25, TRUE};
    std::wstring title;
};

struct console_state {
    HANDLE in = INVALID_HANDLE_VALUE, out = INVALID_HANDLE_VALUE;
    HANDLE screen = INVALID_HANDLE_VALUE; // the game's buffer
    console_saved saved;
    volatile LONG open = 0;
    unsigned events = 0;    // for sys_events
    int cols = 0, rows = 0; // the window's size last seen
};
extern console_state con;

// Console calls that change what the user gets back happen under this
// lock, so that a control event (another thread) restores the console
// between two of them, never in the middle.
extern SRWLOCK con_lock;

struct console_hold {
    console_hold() { AcquireSRWLockExclusive(&con_lock); }
    ~console_hold() { ReleaseSRWLockExclusive(&con_lock); }
    console_hold(const console_hold &) = delete;
    console_hold &operator=(const console_hold &) = delete;
};

// ---- Taking the console (sys_windows.cpp) ---------------------------------

// Whether a console shared by process_count programs is the game's own
// (opened for it alone, and closed the moment it ends): only then does
// nobody else, a shell say, keep the window open after it. 0: the count
// failed, so there is no console to keep.
bool console_is_own(DWORD process_count);

// ---- Painting (sys_windows_paint.cpp) -------------------------------------

// n bytes of UTF-8 as the console's UTF-16.
std::wstring widen(const char *utf8, size_t n);
// The painter of the game's buffer, made and dropped with it.
void painter_open(HANDLE screen);
void painter_close(void);
// The console forgets where things are (a new size): the painter starts
// afresh.
void painter_lost(void);

// ---- Input (sys_windows_input.cpp) ----------------------------------------

// The window's size in columns and rows, from the console, and what it
// said.
bool window_size(HANDLE h, int *cols, int *rows, CONSOLE_SCREEN_BUFFER_INFO *info_out = nullptr);

// ---- Time (sys_windows_time.cpp) ------------------------------------------

// A timer that fires to the millisecond, or nullptr; made once.
HANDLE precise_timer(void);
// Arms the timer to fire ms milliseconds from now.
bool arm_timer(HANDLE t, long long ms);
// Gives back the 1 ms system tick that an ordinary timer needed.
void lower_period(void);
