// SPDX-License-Identifier: MIT
#include "own_console.h"

#include "term.h"

#ifdef _WIN32
#include <windows.h>
#endif

bool console_is_own(unsigned long process_count) {
    // 0 means the call failed (no console at all): nothing to keep open.
    return process_count == 1;
}

void hold_own_console() {
#ifdef _WIN32
    DWORD pids[2];
    if (!console_is_own(GetConsoleProcessList(pids, 2))) return;
    term_message(1, -1, "按任意键关闭窗口");
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    FlushConsoleInputBuffer(in);
    INPUT_RECORD rec;
    DWORD got;
    // One key press; a failing read (input gone) ends the wait as well.
    while (ReadConsoleInputW(in, &rec, 1, &got) && got == 1)
        if (rec.EventType == KEY_EVENT && rec.Event.KeyEvent.bKeyDown) return;
#endif
}
