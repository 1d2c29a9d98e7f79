// SPDX-License-Identifier: MIT
// help_fun_1.h -- console primitives: colour, cursor, title, clear, pause;
// and four small utilities the game itself does not call.
//
// The utilities stay: the console primitives' module has always offered
// them (a number typed at a prompt, whether a directory or a file exists,
// a file's size), and whoever builds on the module may count on them.
#pragma once

void set_color(int ForeColor, int BackColor); // text from now on: ForeColor on BackColor
void set_cursor(int flg);                     // show (flg != 0) or hide the cursor
void set_cocate(int x, int y);                // cursor to cell (x, y): column 2x, row y
void style();                                 // back to the default colour, 7 on 0
void command(int a);                          // 1: clear the screen; 2: pause for a key
void console();                               // window title "Zelvane"

int input_int(int i, int j);            // prompts until an integer from i to j is entered
int check_dir_access(const char *str);  // 1 when a directory of that path exists
int check_file_access(const char *str); // 1 when anything of that path exists
int get_file_size(const char *str);     // size in bytes, -1 when it cannot be read
