// SPDX-License-Identifier: MIT
// escapes.h -- every escape sequence the terminal layer writes, named once.
//
// xterm's dialect, which every terminal the game meets understands: the
// portable writer and the back ends (whose signal handlers write the
// restoring ones as they stand) take them from here.
#pragma once

#define ESC_SGR0 "\x1b[0m"
#define ESC_SGR "\x1b[%sm" // parameters joined with ';'
#define ESC_HOME "\x1b[H"
#define ESC_ERASE_ALL "\x1b[2J"
#define ESC_ERASE_LINE_END "\x1b[K"
#define ESC_GOTO "\x1b[%d;%dH" // row, column, 1-based
#define ESC_MOVE "\x1b[%d%c"   // n rows or columns in direction A up, B down, C right, D left
#define ESC_MOVE_ONE "\x1b[%c" // the same for one
#define ESC_CURSOR_SHOW "\x1b[?25h"
#define ESC_CURSOR_HIDE "\x1b[?25l"
#define ESC_ALT_SCREEN_ON "\x1b[?1049h" // saves the cursor, clears the alternate screen
#define ESC_ALT_SCREEN_OFF "\x1b[?1049l"
#define ESC_TITLE "\x1b]2;" // then the title and BEL
#define ESC_TITLE_END "\x07"
#define ESC_TITLE_PUSH "\x1b[22;0t" // xterm's title stack
#define ESC_TITLE_POP "\x1b[23;0t"
#define ESC_ASK_POSITION "\x1b[6n"    // answered by ESC [ row ; col R
#define ESC_SAVE_CURSOR "\x1b\x37"    // DECSC, ESC 7
#define ESC_RESTORE_CURSOR "\x1b\x38" // DECRC, ESC 8

// What leaving the game writes before the shell's screen comes back:
// default colours, the cursor back.
#define ESC_RESTORE ESC_SGR0 ESC_CURSOR_SHOW
