// SPDX-License-Identifier: MIT
// own_console.h -- keeping a failure readable in a console window that the
// game opened for itself (a double-click in Explorer), which closes the
// moment the program ends.
#pragma once

// Whether a console shared by `process_count` programs is the game's own:
// only then does nobody else (a shell) keep the window open after it.
bool console_is_own(unsigned long process_count);

// On Windows, when the console is the game's own, says "按任意键关闭窗口" and
// waits for one key. Elsewhere, and on a console that was already open,
// returns at once. Called after the message that ends the game with an error.
void hold_own_console();
