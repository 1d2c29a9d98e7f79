// SPDX-License-Identifier: MIT
// order_b_1.cpp -- the game's one shared state.

#include "order_b_1.h"

int32_t width, height, b_type, b_num, max_f, first_speed, add_speed, max_speed;
int32_t debug, help_line, fask_s, s_twi, b_drop, twinkle, twi_num;

int32_t map[MAX][MAX];
int32_t block[3][4];
int32_t block_new[3][4];
int32_t qa[QA_SIZE][2];
int32_t qw;

int64_t mark;
int32_t count_block;
int32_t life;
int32_t jixu = 1;

void init() {
    qw = 0;
    life = 1;
    jixu = 1;
    mark = 0;
    count_block = 0;
    for (int i = 0; i < 3; i++) {
        block[i][0] = block[i][1] = 0;
        block_new[i][0] = block_new[i][1] = 0;
    }
    for (int i = 0; i < QA_SIZE; i++)
        qa[i][0] = qa[i][1] = 0;
}
