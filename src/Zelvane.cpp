// Zelvane.cpp -- the loop over games: set-up, play, game-over menu.

#include "Zelvane.h"

#include "order_b_1.h"

int run() {
    while (jixu) {
        head();
        body();
        food();
    }
    return jixu;
}
void head() {}
void body() {}
void food() {
    jixu = 0;
}
