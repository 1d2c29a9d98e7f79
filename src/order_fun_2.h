// SPDX-License-Identifier: MIT
// order_fun_2.h -- the well, the columns, matching, clearing and scoring.
#pragma once

#include <cstdint>

// ---- Playfield and side panel ----
void display_frame();                        // draws the well and resets map
void display_one_block(int x, int y, int a); // one cell in the look of code a
void not_display_one_block(int x, int y);    // one empty cell
void usr_help();                             // side panel texts and preview frame

// ---- Falling column ----
void next_block();        // rolls and draws a new preview
void creat_new_block();   // the preview enters the well, or life becomes 0
void disploay_block();    // draws the falling column (and its guide line)
void clear_block();       // erases the falling column (and its guide line)
void change_block(int a); // 1 up, 2 down, 3 left, 4 right, 5 fall step, 6 drop

// ---- Matching, clearing and scoring ----
void find_line();                    // removes every run's group, cascading
void find_self(int x, int y, int v); // collects the group of v reached from (x, y)
void twinkle_fun(int h);             // flashes the group in code h
void count_mark();                   // scores the group and redraws the score panel
void void_supply();                  // lets floating cells sink

// The score of a group of that many cells: the smaller of 2^(cells - 2) and
// max_f (1 for up to two cells), with no overflow however large the group.
int64_t group_score(int cells);
