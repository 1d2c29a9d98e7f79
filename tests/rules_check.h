// SPDX-License-Identifier: MIT
// rules_check.h -- the settings of a quiet game on a well, and the
// invariants of the board and the falling column; shared by the tests'
// boards, the soak test, the cascade check and the fuzzers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "order_b_1.h"
#include "order_fun_2.h"

// The settings of a w x h well with `types` colours, runs of `run` and
// settling on or off; no flash, no log, no guide line.
inline void well_settings(int w, int h, int types, int run, int drop) {
    width = w;
    height = h;
    b_type = types;
    b_num = run;
    b_drop = drop;
    max_f = 1000;
    s_twi = twinkle = twi_num = debug = help_line = 0;
}

// Every cell of map empty, the well and beyond: cells outside the well are
// otherwise left as an earlier, larger game left them.
inline void clear_map() {
    for (auto &column : map)
        for (auto &cell : column)
            cell = 0;
}

// Rolls the preview, enters it as the falling column and draws that, as
// each turn of the game begins.
inline void enter_column() {
    next_block();
    creat_new_block();
    disploay_block();
}

// A game set up as the game sets one up, with the guide line but no flash
// and no log, from a clean slate so that the checks can see any stray write.
inline void rules_setup(int w, int h, int types, int run, int drop) {
    well_settings(w, h, types, run, drop);
    help_line = 1;
    clear_map();
    init();
    count_mark();
    display_frame();
    usr_help();
    enter_column();
}

// Empty when the board and the column are sound, else what is wrong.
inline std::string rules_check() {
    for (int x = 0; x < MAX; x++)
        for (int y = 0; y < MAX; y++) {
            int v = map[x][y];
            bool inside = x < width && y < height;
            bool wall = inside && (x == 0 || x == width - 1 || y == height - 1);
            if (!inside && v != 0) return "cell outside the board changed";
            if (wall && v != 10) return "wall broken";
            if (inside && !wall && !(v == 0 || (v >= 1 && v <= b_type)))
                return "interior cell holds " + std::to_string(v);
        }
    int x = block[0][1], a = block[0][2], b = block[1][2], c = block[2][2];
    for (int i = 0; i < 3; i++) {
        if (block[i][1] != x) return "column cells in different columns";
        if (block[i][0] < 1 || block[i][0] > b_type) return "column cell without a colour";
    }
    // Three different rows, two apart at the most, are three rows in a row.
    if (std::max({a, b, c}) - std::min({a, b, c}) != 2 || a == b || b == c || a == c)
        return "column rows not consecutive";
    if (x < 1 || x > width - 2) return "column outside the well";
    return "";
}
