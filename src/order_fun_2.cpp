// order_fun_2.cpp -- the well, the columns, matching, clearing and scoring.

#include "order_fun_2.h"

void display_frame() {}
void display_one_block(int, int, int) {}
void not_display_one_block(int, int) {}
void usr_help() {}
void next_block() {}
void creat_new_block() {}
void disploay_block() {}
void clear_block() {}
void change_block(int) {}
void find_line() {}
void find_self(int, int, int) {}
void twinkle_fun(int) {}
void count_mark() {}
void void_supply() {}
