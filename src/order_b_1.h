// SPDX-License-Identifier: MIT
// order_b_1.h -- the game's one shared state, and its reset before a game.
#pragma once

#include <cstdint>

// Capacity of the board in both directions.
constexpr int MAX = 100;

// ---- Settings, read from config.conf before every game ----
extern int32_t width;       // board width in cells, both side walls included
extern int32_t height;      // board height in cells, the bottom wall included
extern int32_t b_type;      // number of cell colours in play, 1 to 5
extern int32_t b_num;       // length of an equal-colour run that starts a removal
extern int32_t max_f;       // highest score one group can earn
extern int32_t first_speed; // fall interval at the start of a game, ms
extern int32_t add_speed;   // the interval shrinks 1 ms per 60 * add_speed ms of play
extern int32_t max_speed;   // smallest fall interval, ms
extern int32_t debug;       // non-zero: append a board dump to data.txt after redraws
extern int32_t help_line;   // non-zero: draw the guide line under the falling column
extern int32_t fask_s;      // non-zero: quick start, no start-up screens
extern int32_t s_twi;       // non-zero: flash a group before it is removed
extern int32_t b_drop;      // non-zero: cells that lost their support sink
extern int32_t twinkle;     // length of each flash pause, in sleeps of 2 ms
extern int32_t twi_num;     // number of flash cycles

// ---- Board and pieces ----
// map[x][y]: 0 empty, 1-5 a colour code, 10 wall. Always equals the screen.
extern int32_t map[MAX][MAX];
// The falling column: per cell colour code, column x, row y, background.
extern int32_t block[3][4];
// The preview column, same layout; x and y are panel positions.
extern int32_t block_new[3][4];

// ---- Group being removed ----
// Room for every cell of the largest board, so no group is ever cut short.
constexpr int QA_SIZE = MAX * MAX;
extern int32_t qa[QA_SIZE][2]; // cells of the group, x then y, in order of collection
extern int32_t qw;             // number of entries of qa in use

// ---- Score and flags ----
extern int64_t mark;        // score accumulator; the total shown is mark - 1
extern int32_t count_block; // cells removed in this game
extern int32_t life;        // 1 while the game is played, 0 once an entry is refused
extern int32_t jixu;        // 1 while another game is to be played

// Resets the per-game state (not the settings, not map).
void init();
