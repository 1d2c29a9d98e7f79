// SPDX-License-Identifier: MIT
// find_line_bench.cpp -- the landing's whole cascade on the largest board.
//
// Drawing goes to a sink that drops it, so the figures are the rules' own
// cost plus the building of the terminal output, not the terminal's.
//
// After the benchmarks, one run's figures side by side: a random cascade
// against one pass of the plain scan (the cascade oracle's, over a full
// board with no run), and the same cascades with the drawing replaced by a
// plain store, which gives the drawing's share and its cost per cell.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "../tests/cascade_check.h"
#include "order_b_1.h"
#include "order_fun_2.h"
#include "fake_sys.h"
#include "term.h"

// ---- The drawing, or a plain store in its place -------------------------------
// The game's drawing calls are wrapped at link time (-Wl,--wrap, on their
// mangled names: see CMakeLists.txt): they count the cells drawn and go on
// to the terminal layer, or, while store_only, only store into an array.

#define REAL_GOTO __real__Z9term_gotoii
#define REAL_COLOR __real__Z10term_colori
#define REAL_TEXT __real__Z9term_textPKc
extern "C" {
void REAL_GOTO(int col, int row);
void REAL_COLOR(int attr);
void REAL_TEXT(const char *utf8);
void __wrap__Z9term_gotoii(int col, int row);
void __wrap__Z10term_colori(int attr);
void __wrap__Z9term_textPKc(const char *utf8);
void __wrap__Z11term_printfPKcz(const char *fmt, ...);
}

namespace {

bool store_only;
long drawn; // term_text calls: a board cell, or a piece of a panel row
struct {
    int col, row, attr;
    int16_t cells[MAX + 40][2 * MAX + 40];
} plain;

} // namespace

void __wrap__Z9term_gotoii(int col, int row) {
    if (!store_only) return REAL_GOTO(col, row);
    plain.col = col < 0 ? 0 : col % (2 * MAX + 40);
    plain.row = row < 0 ? 0 : row % (MAX + 40);
}

void __wrap__Z10term_colori(int attr) {
    if (!store_only) return REAL_COLOR(attr);
    plain.attr = attr;
}

void __wrap__Z9term_textPKc(const char *utf8) {
    drawn++;
    if (!store_only) return REAL_TEXT(utf8);
    plain.cells[plain.row][plain.col] = (int16_t)(plain.attr << 8 | (unsigned char)*utf8);
}

void __wrap__Z11term_printfPKcz(const char *fmt, ...) {
    char buf[256];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    __wrap__Z9term_textPKc(buf);
}

namespace {

// A 100 x 100 well with settling on and the flash off.
void big_board(int runs) {
    // A terminal of the tests' back end that shows nothing, and holds the
    // whole well and its panel: on a smaller one every write past the last
    // row scrolls, and the scrolling is all one measures.
    static bool open = (fake::set_size(2 * MAX + 40, MAX + 1), term_open() == 0);
    (void)open;
    well_settings(MAX, MAX, 3, runs, 1);
    init();
    display_frame();
}

// Random cells of three colours over the whole interior.
void fill_random() {
    for (int x = 1; x < MAX - 1; x++)
        for (int y = 0; y < MAX - 1; y++)
            map[x][y] = 1 + rand() % 3;
}

// Three colours over the whole interior with no two neighbours alike in a
// line of three: nothing to remove.
void fill_no_run() {
    for (int x = 1; x < MAX - 1; x++)
        for (int y = 0; y < MAX - 1; y++)
            map[x][y] = 1 + (x + 2 * y) % 3;
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
    cascades(state, fill_random);
}

// Nothing to remove: one pass over a full board (the cost of every landing
// that makes no run).
void NoRun(benchmark::State &state) {
    big_board(3);
    fill_no_run();
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

// ---- One run's figures ----------------------------------------------------------

// The thread's processor time: other programs on the machine do not count.
struct Clock {
    static double now() {
        timespec ts;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return (double)ts.tv_sec + ts.tv_nsec * 1e-9;
    }
};

double seconds_since(double t0) {
    return Clock::now() - t0;
}

// The least time of a few tries: the machine's noise only ever adds.
template <class Fn>
double least(int tries, Fn fn) {
    double best = 1e9;
    for (int i = 0; i < tries; i++)
        best = std::min(best, fn());
    return best;
}

// The same boards' cascades, each timed with its flush; their total time,
// and in *flush the flushes' part.
const int BOARDS = 20;
double random_cascades(bool store, double *flush = nullptr) {
    store_only = store;
    srand(1);
    double total = 0, flushes = 0;
    for (int i = 0; i < BOARDS; i++) {
        fill_random();
        double t0 = Clock::now();
        find_line();
        double t1 = Clock::now();
        if (!store) term_flush();
        total += seconds_since(t0);
        flushes += seconds_since(t1);
    }
    store_only = false;
    if (flush) *flush = flushes;
    return total;
}

// One pass of the plain scan over a full board with no run.
double plain_pass() {
    fill_no_run();
    const int PASSES = 200;
    return least(4,
                 [] {
                     int x, y;
                     double t0 = Clock::now();
                     for (int i = 0; i < PASSES; i++)
                         benchmark::DoNotOptimize(cascade::plain_find_run(&x, &y));
                     return seconds_since(t0);
                 }) /
           PASSES;
}

void figures() {
    big_board(3);
    const int PASSES = 200;
    // A plain store per cell: a board's worth of cells written into an array.
    double store = least(20,
                         [] {
                             auto t0 = Clock::now();
                             for (int i = 0; i < PASSES; i++) {
                                 for (int x = 0; x < MAX; x++)
                                     for (int y = 0; y < MAX; y++)
                                         plain.cells[y][2 * x] = (int16_t)(i + x);
                                 benchmark::ClobberMemory();
                             }
                             return seconds_since(t0);
                         }) /
                   PASSES / (MAX * MAX);
    drawn = 0;
    static struct {
        long bytes;
        uint64_t hash = 14695981039346656037u; // FNV-1a: one number for all the output
    } painted;
    fake::listen(
        [](const char *b, size_t n, void *) {
            painted.bytes += (long)n;
            for (size_t i = 0; i < n; i++)
                painted.hash = (painted.hash ^ (unsigned char)b[i]) * 1099511628211u;
        },
        nullptr);
    random_cascades(false);
    fake::listen(nullptr, nullptr);
    double cells = (double)drawn / BOARDS;
    // Alternated, so that all three see the machine alike.
    double pass = 1e9, draw = 1e9, bare = 1e9, flush = 0;
    for (int i = 0; i < 5; i++) {
        pass = std::min(pass, plain_pass());
        double f, t = random_cascades(false, &f) / BOARDS;
        if (t < draw) draw = t, flush = f / BOARDS;
        bare = std::min(bare, random_cascades(true) / BOARDS);
    }
    printf("\nOne run's figures (processor time, least of several tries):\n");
    printf("  plain pass (the plain scan over a full board, no run) %9.2f us\n", pass * 1e6);
    printf(
        "  random 100 x 100 cascade                              %9.3f ms = %5.0f plain passes\n",
        draw * 1e3, draw / pass);
    printf(
        "  the same with a plain store for the drawing           %9.3f ms = %5.0f plain passes\n",
        bare * 1e3, bare / pass);
    printf("  drawing's share                                       %9.0f %%\n",
           100 * (draw - bare) / draw);
    printf("  of which the flush at its end                         %9.3f ms\n", flush * 1e3);
    printf("  cells drawn per cascade                               %9.0f\n", cells);
    printf("  time per drawn cell, the flush left out               %9.2f ns\n",
           (draw - flush - bare) / cells * 1e9);
    printf("  a plain store per cell                                %9.2f ns\n", store * 1e9);
    printf("  output of the %d cascades: %ld bytes, FNV-1a %016llx\n", BOARDS, painted.bytes,
           (unsigned long long)painted.hash);
}

} // namespace

BENCHMARK(OneColour)->Unit(benchmark::kMillisecond);
BENCHMARK(RandomThreeColours)->Unit(benchmark::kMillisecond);
BENCHMARK(NoRun)->Unit(benchmark::kMicrosecond);
BENCHMARK(SettlingMakesRuns)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    figures();
    return 0;
}
