// SPDX-License-Identifier: MIT
// cascade_check.h -- a landing's cascade played twice from one board: once by
// find_line, once by the plain search that starts over from the first start
// cell after every removal and settles every column each time, move by move.
// Shared by the cascade test, the cascade fuzzer and the find_line benchmark.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

#include "order_b_1.h"
#include "order_fun_2.h"
#include "fake_sys.h"
#include "rules_check.h"
#include "term.h"

namespace cascade {

// ---- The plain search ------------------------------------------------------

inline bool plain_run_from(int x, int y, int dx, int dy) {
    int32_t c = map[x][y];
    if (c == 0) return false;
    for (int k = 1; k < b_num; k++) {
        int cx = x + k * dx, cy = y + k * dy;
        bool inside = cx < width && cy < height && cx < MAX && cy < MAX;
        if (!inside || map[cx][cy] != c) return false;
    }
    return true;
}

// Horizontal runs before vertical ones, columns left to right, rows top
// down; row 0 never starts a run.
inline bool plain_find_run(int *rx, int *ry) {
    if (b_num < 3 || b_num > 6) return false;
    for (int pass = 0; pass < 2; pass++) {
        int dx = pass == 0 ? 1 : 0, dy = 1 - dx;
        for (int x = 1; x <= width - 2 - 2 * dx && x < MAX; x++)
            for (int y = 1; y <= height - 2 - 2 * dy && y < MAX; y++)
                if (plain_run_from(x, y, dx, dy)) {
                    *rx = x;
                    *ry = y;
                    return true;
                }
    }
    return false;
}

// Settling move by move: columns from the left, rows bottom up, each moved
// cell drawn in its new place before its old place is blanked.
inline void plain_void_supply() {
    if (b_drop == 0) return;
    int w = width < MAX ? width : MAX, h = height < MAX ? height : MAX;
    for (int x = 1; x < w; x++)
        for (int y = h - 2; y >= 0; y--) {
            if (map[x][y] != 0) continue;
            int k = y - 1;
            while (k >= 0 && map[x][k] == 0)
                k--;
            if (k < 0) continue;
            map[x][y] = map[x][k];
            display_one_block(x, y, map[x][y]);
            map[x][k] = 0;
            not_display_one_block(x, k);
        }
}

inline void plain_find_line() {
    int x, y;
    while (plain_find_run(&x, &y)) {
        int32_t c = map[x][y];
        for (int i = 0; i < qw; i++)
            qa[i][0] = qa[i][1] = 0;
        qw = 0;
        find_self(x, y, c);
        twinkle_fun(c);
        count_mark();
        for (int i = 0; i < qw; i++)
            not_display_one_block(qa[i][0], qa[i][1]);
        plain_void_supply();
    }
}

// ---- One board, both searches ----------------------------------------------

struct Board {
    int w, h, types, run, drop;
    bool flash;              // flash every group, so each removal reaches the output
    int32_t cells[MAX][MAX]; // the interior as it stands before the landing
    int land_x, land_c[3];   // the column landing in column land_x, top cell first
};

// Everything a player or a dump can see once the cascade is over: the
// output of every flash and of the end, the board, the counters, the last group.
inline std::string play(const Board &b, bool plain) {
    std::string out;
    well_settings(b.w, b.h, b.types, b.run, b.drop);
    s_twi = b.flash;
    twinkle = twi_num = b.flash ? 1 : 0;
    clear_map();
    // A terminal of the tests' back end that holds the whole well and its
    // panel, cleared before each play: both paint onto the same screen, and
    // what they paint is all they show.
    fake::set_size(2 * MAX + 40, MAX + 1);
    term_open();
    void *was_user;
    fake::listener was = fake::listening(&was_user);
    fake::listen(nullptr, nullptr);
    term_clear();
    fake::lose_screen(); // and painted anew: the layer knows nothing of before
    term_kbhit();
    auto keep = [](const char *data, size_t n, void *to) {
        static_cast<std::string *>(to)->append(data, n);
    };
    fake::listen(keep, &out);
    init();
    display_frame();
    for (int x = 1; x < width - 1; x++)
        for (int y = 0; y < height - 1; y++)
            if (b.cells[x][y] != 0) display_one_block(x, y, map[x][y] = b.cells[x][y]);
    // The column comes to rest on the first occupied cell of its column.
    int y = 0;
    while (y < height - 1 && map[b.land_x][y] == 0)
        y++;
    for (int i = 2; i >= 0 && --y >= 0; i--)
        display_one_block(b.land_x, y, map[b.land_x][y] = b.land_c[i]);
    plain ? plain_find_line() : find_line();
    term_flush();
    fake::listen(was, was_user);
    out += "\nmark " + std::to_string(mark) + " cells " + std::to_string(count_block);
    for (int i = 0; i < qw; i++)
        out += " " + std::to_string(qa[i][0]) + "," + std::to_string(qa[i][1]);
    for (int x = 0; x < MAX; x++)
        for (int yy = 0; yy < MAX; yy++)
            out += char('0' + map[x][yy]);
    return out;
}

// Empty when both searches agree, else where they part.
inline std::string differ(const Board &b) {
    std::string fast = play(b, false), plain = play(b, true);
    if (fast == plain) return "";
    size_t i = 0;
    while (i < fast.size() && i < plain.size() && fast[i] == plain[i])
        i++;
    return "outputs part at byte " + std::to_string(i) + " of " + std::to_string(plain.size());
}

} // namespace cascade
