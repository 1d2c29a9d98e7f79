// SPDX-License-Identifier: MIT
// fake_sys.cpp -- the tests' back end. See fake_sys.h.

#include "fake_sys.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "term/chars.h"
#include "term/sys.h"

namespace {

struct {
    bool open;
    fake::listener sink;
    void *sink_user;
    int cols = 80, rows = 24;
    vt_painter painter;
    std::string out;   // the bytes of the frame at hand, kept for its buffer
    std::string typed; // keys not read yet
    unsigned events;
    long long clock;
    unsigned waits, size_asks;
    std::vector<fake::cell> grid; // grid_cols x grid_rows, as the runs painted it
    int grid_cols, grid_rows;     // the size of the last frame painted
} F;

// The grid is as large as what the layer paints, which may be less than
// the size the test set (an absurd size is held at the model's limit).
void blank_grid(int cols, int rows) {
    F.grid_cols = cols;
    F.grid_rows = rows;
    F.grid.assign((size_t)cols * rows, fake::cell());
}

void paint_grid(const paint_frame &f) {
    if (f.clear || f.cols != F.grid_cols || f.rows != F.grid_rows) blank_grid(f.cols, f.rows);
    for (const paint_run &r : f.runs) {
        int x = r.col;
        utf8_each(r.text.c_str(), [&](const char *s, size_t n) {
            int w = glyph_columns(s, n);
            if (x + w > F.grid_cols || r.row >= F.grid_rows) return;
            F.grid[(size_t)r.row * F.grid_cols + x] = {std::string(s, n), r.attr};
            if (w == 2) F.grid[(size_t)r.row * F.grid_cols + x + 1] = {"", r.attr};
            x += w;
        });
    }
}

} // namespace

namespace fake {

void listen(listener fn, void *user) {
    F.sink = fn;
    F.sink_user = user;
}
listener listening(void **user) {
    *user = F.sink_user;
    return F.sink;
}
void set_size(int cols, int rows) {
    F.cols = cols;
    F.rows = rows;
    if (F.open) F.events |= SYS_RESIZED;
}
void set_encoder(vt_encoder encode) {
    F.painter.encode = encode;
}
void type(const std::string &bytes) {
    F.typed += bytes;
}
void lose_screen() {
    if (F.open) F.events |= SYS_RESUMED;
}
unsigned waits() {
    return F.waits;
}
unsigned size_asks() {
    return F.size_asks;
}
cell cell_at(int col, int row) {
    if (col < 0 || row < 0 || col >= F.grid_cols || row >= F.grid_rows) return cell();
    return F.grid[(size_t)row * F.grid_cols + col];
}

} // namespace fake

int sys_open(std::string *) {
    F.open = true;
    F.events = 0;
    F.waits = F.size_asks = 0;
    F.painter.reset();
    blank_grid(0, 0);
    return 0;
}

void sys_close(void) {
    F.open = false;
}

void sys_on_kill(void (*)(void)) {}

bool sys_paint(const paint_frame &frame) {
    F.out.clear();
    F.painter.paint(frame, &F.out);
    paint_grid(frame);
    if (F.sink && !F.out.empty()) F.sink(F.out.data(), F.out.size(), F.sink_user);
    return true;
}

// Plain lines on the test program's own streams.
void sys_message(bool to_stderr, int, const char *utf8) {
    std::string line = vt_painter().message(-1, utf8);
    fwrite(line.data(), 1, line.size(), to_stderr ? stderr : stdout);
}

bool sys_gbk(void) {
    return F.painter.encode != nullptr;
}

int sys_wait(term_keys *keys, int timeout_ms) {
    F.waits++;
    if (F.events) return SYS_EVENT;
    if (F.typed.empty() && timeout_ms >= 0) {
        F.clock += timeout_ms;
        return SYS_TIMEOUT;
    }
    // With nothing queued, a wait without limit gets an Enter, so that code
    // under test that waits for a key goes on.
    std::string bytes = F.typed.empty() ? "\r" : std::exchange(F.typed, "");
    keys->feed(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
    return SYS_INPUT;
}

// Typed keys wait in the queue until a wait takes them.
bool sys_keys_may_have_come(void) {
    return !F.typed.empty();
}

unsigned sys_events(void) {
    return std::exchange(F.events, 0u);
}

bool sys_size(int *cols, int *rows) {
    F.size_asks++;
    *cols = F.cols;
    *rows = F.rows;
    return true;
}

// The probe finds the ambiguous glyphs one column wide, as libvterm shows them.
int sys_glyph_width(term_keys *, const char *) {
    return 1;
}

long long sys_millis(void) {
    return F.clock;
}

void sys_sleep(int ms) {
    F.clock += ms;
}

void sys_hold_window(void) {}
