// SPDX-License-Identifier: MIT
// find_line_bench.cpp -- the landing's whole cascade on the largest board.
//
// Drawing goes to a sink that drops it, so the figures are the rules' own
// cost plus the building of the terminal output, not the terminal's.

#include <benchmark/benchmark.h>

#include <cstdlib>

#include "order_b_1.h"
#include "order_fun_2.h"
#include "fake_sys.h"
#include "term.h"

namespace {

// A 100 x 100 well with settling on and the flash off.
void big_board(int runs) {
    // A terminal of the tests' back end that shows nothing, and holds the
    // whole well and its panel: on a smaller one every write past the last
    // row scrolls, and the scrolling is all one measures.
    static bool open = (fake::set_size(2 * MAX + 40, MAX + 1), term_open() == 0);
    (void)open;
    width = height = MAX;
    b_type = 3;
    b_num = runs;
    max_f = 1000;
    debug = help_line = s_twi = twinkle = twi_num = 0;
    b_drop = 1;
    init();
    display_frame();
}

// The whole interior in one colour: one group of 9702 cells.
void OneColour(benchmark::State &state) {
    big_board(3);
    for (auto _ : state) {
        state.PauseTiming();
        for (int x = 1; x < MAX - 1; x++)
            for (int y = 0; y < MAX - 1; y++)
                map[x][y] = 1;
        state.ResumeTiming();
        find_line();
        term_flush();
    }
    state.counters["cells"] = qw;
}

// Times the cascade of boards that fill makes anew before each landing, and
// counts the cells it removes.
template <class Fill>
void cascades(benchmark::State &state, Fill fill) {
    big_board(3);
    long removed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fill();
        int32_t before = count_block;
        state.ResumeTiming();
        find_line();
        term_flush();
        state.PauseTiming();
        removed += count_block - before;
        state.ResumeTiming();
    }
    state.counters["cells_removed"] =
        benchmark::Counter((double)removed, benchmark::Counter::kAvgIterations);
}

// Random cells of three colours: many groups, settling, cascades.
void RandomThreeColours(benchmark::State &state) {
    srand(1);
    cascades(state, [] {
        for (int x = 1; x < MAX - 1; x++)
            for (int y = 0; y < MAX - 1; y++)
                map[x][y] = 1 + rand() % 3;
    });
}

// Nothing to remove: one pass over a full board (the cost of every landing
// that makes no run).
void NoRun(benchmark::State &state) {
    big_board(3);
    for (int x = 1; x < MAX - 1; x++)
        for (int y = 0; y < MAX - 1; y++)
            map[x][y] = 1 + (x + 2 * y) % 3; // no two neighbours alike in a line of three
    for (auto _ : state)
        find_line();
}

// Many small groups whose settling keeps making new runs: vertical bands
// two cells wide of two colours, shifted by one row per band pair, so every
// removal of a row triple lets the band above sink into a new run.
void SettlingMakesRuns(benchmark::State &state) {
    cascades(state, [] {
        for (int x = 1; x < MAX - 1; x++)
            for (int y = 0; y < MAX - 1; y++)
                map[x][y] = 1 + (x / 2 + y) % 2;
        for (int y = MAX - 4; y < MAX - 1; y++)
            map[MAX / 2][y] = 3;
    });
}

} // namespace

BENCHMARK(OneColour)->Unit(benchmark::kMillisecond);
BENCHMARK(RandomThreeColours)->Unit(benchmark::kMillisecond);
BENCHMARK(NoRun)->Unit(benchmark::kMicrosecond);
BENCHMARK(SettlingMakesRuns)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
