// SPDX-License-Identifier: MIT
// order_fun_2.cpp -- the well, the columns, matching, clearing and scoring.

#include "order_fun_2.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "help_fun_1.h"
#include "order_b_1.h"
#include "order_fun_1.h"
#include "term.h"

// ---- Looks -----------------------------------------------------------------

static const char *const GLYPH[6] = {"", "①", "②", "③", "④", "⑤"};
static const int BACK[6] = {0, 2, 9, 12, 13, 14}; // background of each colour code
static const char *const WALL_GLYPH = "○";
static const char *const EMPTY_GLYPH = "  ";
static const char *const GUIDE_GLYPH = "┊";
static const int32_t WALL = 10;

static bool is_code(int a) {
    return a >= 1 && a <= 5;
}

// ---- Board access ----------------------------------------------------------
// The board is trusted to be walled, but tiny boards (a height of 2 or 3,
// a width of 3) put the far neighbours of a cell outside the board and even
// outside map. Reads there see an occupied cell that equals no colour, and
// writes there are dropped, so no rule ever looks past the board.

static bool in_board(int x, int y) {
    return x >= 0 && y >= 0 && x < width && y < height && x < MAX && y < MAX;
}

static int32_t cell(int x, int y) {
    return in_board(x, y) ? map[x][y] : -1;
}

static void put(int x, int y, int32_t v) {
    if (in_board(x, y)) map[x][y] = v;
}

static int board_w() {
    return width < MAX ? width : MAX;
}

static int board_h() {
    return height < MAX ? height : MAX;
}

static void draw_blank(int x, int y) {
    set_cocate(x, y);
    term_text(EMPTY_GLYPH);
}

// ---- Playfield and side panel ----------------------------------------------

static void draw_wall(int x, int y) {
    set_cocate(x, y);
    set_color(7, 8);
    term_text(WALL_GLYPH);
}

void display_frame() {
    for (int x = 0; x < board_w(); x++) {
        for (int y = 0; y < board_h(); y++) {
            if (x == 0 || x == width - 1 || y == height - 1) {
                map[x][y] = WALL;
                draw_wall(x, y);
            } else {
                set_color(7, 1);
                map[x][y] = 0;
                draw_blank(x, y);
            }
        }
    }
    set_color(7, 0);
    record_map();
}

void display_one_block(int x, int y, int a) {
    set_cocate(x, y);
    if (!is_code(a)) return;
    set_color(0, BACK[a]);
    term_text(GLYPH[a]);
}

void not_display_one_block(int x, int y) {
    set_color(0, 1);
    draw_blank(x, y);
}

// Panel rows above the top of the screen (a short board) are dropped by the
// terminal layer, since the cursor is then off-screen.
static void panel_text(int row, const char *text) {
    set_cocate(width + 1, row);
    term_text(text);
}

void usr_help() {
    static const char *const lower[10] = {
        "游戏难度随时间增加", "暂停时难度也会增加", " ↑ :方块向上变化",  " ↓ :方块向下变化",
        " ← :方块向左移动",   " → :方块向右移动",   "空格:方块瞬移到底", "回车:暂停",
        "制作：Zelvane 小组", "Zelvane 终端版",
    };
    set_color(12, 0);
    panel_text(0, "Zelvane");
    set_color(7, 0);
    panel_text(6, "下一个方块");
    panel_text(7, " ┌──┐");
    for (int r = 8; r <= 10; r++)
        panel_text(r, " │    │");
    panel_text(11, " └──┘");
    for (int i = 0; i < 10; i++)
        panel_text(height - 10 + i, lower[i]);
}

// ---- Falling column --------------------------------------------------------

static void draw_preview() {
    for (int i = 0; i < 3; i++) {
        set_color(0, block_new[i][3]);
        set_cocate(block_new[i][1], block_new[i][2]);
        if (is_code(block_new[i][0])) term_text(GLYPH[block_new[i][0]]);
    }
    set_color(7, 0);
}

void next_block() {
    // A b_type outside 1 to 5 would roll for ever (0), divide by zero (-1) or
    // roll codes that have no look (above 5): roll only codes that exist.
    int types = b_type < 1 ? 1 : b_type > 5 ? 5 : b_type;
    for (int i = 0; i < 3; i++) {
        block_new[i][0] = 0;
        block_new[i][1] = width + 3;
        block_new[i][2] = i + 8;
        while (block_new[i][0] == 0)
            block_new[i][0] = rand() % (types + 1);
        block_new[i][3] = BACK[block_new[i][0]];
    }
    draw_preview();
}

void creat_new_block() {
    int c = width / 2;
    if (cell(c, 0) != 0 || cell(c, 1) != 0 || cell(c, 2) != 0) {
        life = 0;
        return;
    }
    for (int i = 0; i < 3; i++) {
        block[i][0] = block_new[i][0];
        block[i][1] = c;
        block[i][2] = i;
        block[i][3] = block_new[i][3];
    }
    next_block();
}

// Row of the column's lowest cell.
static int column_bottom() {
    int m = block[0][2];
    for (int i = 1; i < 3; i++)
        if (block[i][2] > m) m = block[i][2];
    return m;
}

// Walks down from under the column over empty cells: draws the guide line,
// or erases it.
static void guide_walk(bool erase) {
    int x = block[0][1];
    for (int r = column_bottom() + 1; cell(x, r) == 0; r++) {
        if (erase) {
            draw_blank(x, r);
        } else {
            set_cocate(x, r);
            term_text(GUIDE_GLYPH);
        }
    }
}

static void draw_guide() {
    if (help_line == 0) return;
    set_color(8, 1);
    guide_walk(false);
}

void disploay_block() {
    for (int i = 0; i < 3; i++) {
        set_color(0, block[i][3]);
        set_cocate(block[i][1], block[i][2]);
        if (is_code(block[i][0])) term_text(GLYPH[block[i][0]]);
        put(block[i][1], block[i][2], block[i][0]);
    }
    draw_guide();
    record_map();
    set_color(7, 0);
}

void clear_block() {
    for (int i = 0; i < 3; i++) {
        set_color(0, 1);
        draw_blank(block[i][1], block[i][2]);
        put(block[i][1], block[i][2], 0);
    }
    if (help_line != 0) {
        set_color(0, 1);
        guide_walk(true);
    }
    record_map();
    set_color(7, 0);
}

static int32_t under_column() {
    return cell(block[0][1], column_bottom() + 1);
}

static void shift_column(int dx, int dy) {
    clear_block();
    for (int i = 0; i < 3; i++) {
        block[i][1] += dx;
        block[i][2] += dy;
    }
    disploay_block();
}

static void land() {
    find_line();
    creat_new_block();
    disploay_block();
}

void change_block(int a) {
    switch (a) {
    case 1: { // every colour one row up, the top one to the bottom
        clear_block();
        int r2 = block[2][2];
        block[2][2] = block[1][2];
        block[1][2] = block[0][2];
        block[0][2] = r2;
        disploay_block();
        break;
    }
    case 2: { // every colour one row down, the bottom one to the top
        clear_block();
        int r0 = block[0][2];
        block[0][2] = block[1][2];
        block[1][2] = block[2][2];
        block[2][2] = r0;
        disploay_block();
        break;
    }
    case 3:
    case 4: {
        int dx = a == 3 ? -1 : 1;
        for (int i = 0; i < 3; i++)
            if (cell(block[i][1] + dx, block[i][2]) != 0) return;
        shift_column(dx, 0);
        break;
    }
    case 5:
        if (under_column() == 0)
            shift_column(0, 1);
        else
            land();
        break;
    case 6:
        for (int i = 0; i < height; i++)
            if (under_column() == 0) shift_column(0, 1);
        land();
        break;
    default: break;
    }
}

// ---- Matching, clearing and scoring ----------------------------------------

// Whether b_num cells from (x, y) in direction (dx, dy), all on the board,
// hold one colour. Nearest cell first, and the first that differs ends the
// look: on a board with few runs, as at most landings, it is nearly always
// the first one.
static bool run_on_board(int x, int y, int dx, int dy) {
    int32_t c = map[x][y];
    if (c == 0) return false;
    for (int k = 1; k < b_num; k++)
        if (map[x + k * dx][y + k * dy] != c) return false;
    return true;
}

// The same without a branch on each cell: on a well-mixed board, as in a
// cascade, any branch on a colour goes either way.
static bool run_on_mixed_board(int x, int y, int dx, int dy) {
    int32_t c = map[x][y];
    bool run = c != 0;
    for (int k = 1; k < b_num; k++)
        run &= map[x + k * dx][y + k * dy] == c;
    return run;
}

// Whether b_num cells from (x, y) in direction (dx, dy) hold one colour. A
// run that would reach past the board reads there through cell(), which
// sees something that matches nothing.
static bool run_from(int x, int y, int dx, int dy) {
    int32_t c = map[x][y];
    if (c == 0) return false;
    for (int k = 1; k < b_num; k++)
        if (cell(x + k * dx, y + k * dy) != c) return false;
    return true;
}

// The start cells of the pass of direction (dx, dy): x and y from 1 to
// last_x and last_y. Row 0 never starts a run, and a start stays two cells
// short of the far wall.
struct starts {
    int dx, dy, last_x, last_y;
};

static starts pass_starts(int pass) {
    int dx = pass == 0 ? 1 : 0, dy = 1 - dx;
    int last_x = width - 2 - 2 * dx, last_y = height - 2 - 2 * dy;
    return {dx, dy, last_x < MAX ? last_x : MAX - 1, last_y < MAX ? last_y : MAX - 1};
}

// The last row of start column x whose run ends on the board, so that its
// cells are read directly: all rows but a few near the far walls when runs
// are longer than three.
static int last_on_board(const starts &p, int x) {
    int reach = b_num - 1;
    if (p.dy) return board_h() - 1 - reach;
    return x + reach < board_w() ? p.last_y : 0;
}

// The start cell of the first run of a pass: every horizontal run before
// every vertical one, each scan column by column, top down.
static bool find_run(int *rx, int *ry) {
    if (b_num < 3 || b_num > 6) return false;
    for (int pass = 0; pass < 2; pass++) {
        starts p = pass_starts(pass);
        for (int x = 1; x <= p.last_x; x++) {
            int direct = last_on_board(p, x);
            for (int y = 1; y <= p.last_y; y++) {
                if (y <= direct ? run_on_board(x, y, p.dx, p.dy) : run_from(x, y, p.dx, p.dy)) {
                    *rx = x;
                    *ry = y;
                    return true;
                }
            }
        }
    }
    return false;
}

// ---- The runs of a cascade ---------------------------------------------------
// A run reads only its own b_num cells, so after a removal and its settling a
// run none of whose cells changed is still a run, and every new run passes
// through a changed cell. A cascade therefore keeps the set of all runs and
// looks again only at the start cells whose runs cover a changed cell.

static bool run_at[2][MAX][MAX]; // [pass][x][y]: a run starts here; pass 0 horizontal
static int run_count[2][MAX];    // runs recorded per pass and column
static int changed_lo[MAX];      // per column, the changed rows since the last look;
static int changed_hi[MAX];      // lo > hi when none changed
static int changed_left = 0, changed_right = MAX - 1; // columns that may have changed

static void note_change(int x, int y) {
    if (x < 0 || y < 0 || x >= MAX || y >= MAX) return;
    if (y < changed_lo[x]) changed_lo[x] = y;
    if (y > changed_hi[x]) changed_hi[x] = y;
    if (x < changed_left) changed_left = x;
    if (x > changed_right) changed_right = x;
}

static void forget_changes() {
    for (int x = changed_left; x <= changed_right; x++) {
        changed_lo[x] = MAX;
        changed_hi[x] = -1;
    }
    changed_left = MAX;
    changed_right = -1;
}

// Looks at the start cells of column x, rows lo to hi, of one pass.
static void look_at(int pass, const starts &p, int x, int lo, int hi) {
    if (x < 1 || x > p.last_x) return;
    if (lo < 1) lo = 1;
    if (hi > p.last_y) hi = p.last_y;
    int direct = last_on_board(p, x);
    bool *at = run_at[pass][x];
    int count = run_count[pass][x];
    for (int y = lo; y <= hi; y++) {
        bool run = y <= direct ? run_on_mixed_board(x, y, p.dx, p.dy) : run_from(x, y, p.dx, p.dy);
        count += (int)run - (int)at[y];
        at[y] = run;
    }
    run_count[pass][x] = count;
}

// The one scan of a landing that sees a run: every run on the board.
static void record_runs() {
    for (int pass = 0; pass < 2; pass++) {
        starts p = pass_starts(pass);
        for (int x = 0; x < MAX; x++) {
            run_count[pass][x] = 0;
            for (bool &at : run_at[pass][x])
                at = false;
            look_at(pass, p, x, 0, MAX - 1);
        }
    }
    forget_changes();
}

// Every start cell whose run covers a changed cell: a horizontal run from
// x covers columns x to x + b_num - 1, a vertical one rows y to y + b_num - 1.
static void look_again() {
    starts across = pass_starts(0), down = pass_starts(1);
    int from = changed_left - b_num + 1 > 0 ? changed_left - b_num + 1 : 0;
    for (int x = from; x <= changed_right; x++) {
        int lo = MAX, hi = -1;
        for (int k = 0; k < b_num && x + k < MAX; k++) {
            if (changed_lo[x + k] < lo) lo = changed_lo[x + k];
            if (changed_hi[x + k] > hi) hi = changed_hi[x + k];
        }
        look_at(0, across, x, lo, hi);
        if (changed_lo[x] <= changed_hi[x])
            look_at(1, down, x, changed_lo[x] - b_num + 1, changed_hi[x]);
    }
    forget_changes();
}

// The recorded run that the scan order of find_run meets first.
static bool first_run(int *rx, int *ry) {
    for (int pass = 0; pass < 2; pass++) {
        for (int x = 0; x < MAX; x++) {
            if (run_count[pass][x] == 0) continue;
            for (int y = 0; y < MAX; y++) {
                if (run_at[pass][x][y]) {
                    *rx = x;
                    *ry = y;
                    return true;
                }
            }
        }
    }
    return false;
}

// ---- Removal and settling ----------------------------------------------------

static void settle_column(int x, int from);

// The first settling of a cascade walks every column, as a board written
// directly may float anywhere; it leaves every column packed, so the later
// ones need walk only the columns that just lost cells, from the lowest
// cell lost.
static void remove_group(int x, int y, bool first) {
    int32_t c = map[x][y];
    for (int i = 0; i < qw; i++)
        qa[i][0] = qa[i][1] = 0;
    qw = 0;
    find_self(x, y, c);
    twinkle_fun(c);
    count_mark();
    for (int i = 0; i < qw; i++)
        not_display_one_block(qa[i][0], qa[i][1]);
    if (first) {
        void_supply();
    } else if (b_drop != 0) {
        int right = changed_right < board_w() - 1 ? changed_right : board_w() - 1;
        for (int sx = changed_left > 1 ? changed_left : 1; sx <= right; sx++)
            if (changed_lo[sx] <= changed_hi[sx])
                settle_column(sx, std::min(changed_hi[sx], board_h() - 2));
    }
}

void find_line() {
    int x, y;
    if (!find_run(&x, &y)) return; // the common landing: one scan, nothing kept
    record_runs();
    for (bool first = true; first_run(&x, &y); first = false) {
        remove_group(x, y, first);
        look_again();
    }
}

// The depth-first search of the group runs on its own stack: a group can
// fill a 100 x 100 board, far deeper than recursion should go. One frame per
// collected cell still being explored: its entry in qa and the next
// direction to try (left, right, up, down).
static int32_t stack_entry[QA_SIZE];
static int8_t stack_dir[QA_SIZE];
static const int STEP_X[4] = {-1, 1, 0, 0};
static const int STEP_Y[4] = {0, 0, -1, 1};

static bool collect(int x, int y) {
    if (qw < 0 || qw >= QA_SIZE || !in_board(x, y)) return false;
    qa[qw][0] = x;
    qa[qw][1] = y;
    qw++;
    map[x][y] = 0;
    note_change(x, y);
    return true;
}

void find_self(int x, int y, int v) {
    if (!collect(x, y)) return;
    int depth = 0;
    stack_entry[depth] = qw - 1;
    stack_dir[depth] = 0;
    depth++;
    while (depth > 0) {
        int top = depth - 1;
        if (stack_dir[top] == 4) {
            depth--;
            continue;
        }
        int d = stack_dir[top]++;
        int nx = qa[stack_entry[top]][0] + STEP_X[d];
        int ny = qa[stack_entry[top]][1] + STEP_Y[d];
        if (cell(nx, ny) == v && collect(nx, ny)) {
            stack_entry[depth] = qw - 1;
            stack_dir[depth] = 0;
            depth++;
        }
    }
}

static void flash_pause() {
    for (int k = 0; k < twinkle; k++)
        term_sleep(2); // flushes first, so each phase is on screen for its pause
}

void twinkle_fun(int h) {
    if (s_twi == 0) return;
    if (twinkle <= 0) {
        // No pause: no phase is ever seen, so only the last cycle's end is
        // drawn. Running every cycle would hang on a huge twi_num.
        if (twi_num > 0)
            for (int i = 0; i < qw; i++)
                display_one_block(qa[i][0], qa[i][1], h);
        return;
    }
    for (int n = 0; n < twi_num; n++) {
        for (int i = 0; i < qw; i++)
            not_display_one_block(qa[i][0], qa[i][1]);
        flash_pause();
        for (int i = 0; i < qw; i++)
            display_one_block(qa[i][0], qa[i][1], h);
        flash_pause();
    }
}

int64_t group_score(int cells) {
    // 2^31 is above every max_f, so from 33 cells on the cap always holds and
    // the power, which a 64-bit doubling overflows at 65 cells, is never needed.
    int64_t power = cells <= 2 ? 1 : cells - 2 >= 31 ? INT64_MAX : int64_t{1} << (cells - 2);
    return power > max_f ? int64_t{max_f} : power;
}

// Writes text and then n in decimal, as term_printf with "%d" would: the
// panel is redrawn after every removed group, and a cascade removes
// hundreds, so the format is not parsed each time.
static void text_and_number(const char *text, int64_t n) {
    char buf[96];
    size_t len = strlen(text);
    if (len > sizeof buf - 24) len = sizeof buf - 24;
    memcpy(buf, text, len);
    *std::to_chars(buf + len, buf + sizeof buf - 1, n).ptr = '\0';
    term_text(buf);
}

// Rows 2 and 3 stay as they were while mark is exactly 1, which is the
// state of a fresh game whose max_f is at least 1.
static void draw_score_panel(int64_t score) {
    set_color(7, 0);
    if (mark != 1) {
        panel_text(2, "                       ");
        set_cocate(width + 1, 2);
        text_and_number("Zelvane：", qw);
        panel_text(3, "                       ");
        set_cocate(width + 1, 3);
        text_and_number("得数：", score);
    }
    set_color(12, 0);
    set_cocate(width + 1, 4);
    text_and_number("总分数：", mark - 1);
    set_cocate(width + 1, 5);
    text_and_number("总Zelvane数：", count_block);
    set_color(7, 0);
}

void count_mark() {
    count_block += qw;
    int64_t score = group_score(qw);
    mark += score;
    draw_score_panel(score);
}

// Packs column x downward from row from, below which it is packed already.
// Rows between a moved cell's old place and the row being filled are empty,
// so the upward search goes on from where the last one ended. The column is
// drawn once it is packed, bottom up, ending on its top blank as the moves
// one by one would: no flush comes between, so the screen shows the same,
// for about half the drawing.
static void settle_column(int x, int from) {
    int k = board_h(), top = MAX, bottom = -1;
    for (int y = from; y >= 0; y--) {
        if (map[x][y] != 0) continue;
        if (k > y - 1) k = y - 1;
        while (k >= 0 && map[x][k] == 0)
            k--;
        if (k < 0) break; // nothing above: this column is packed
        map[x][y] = map[x][k];
        map[x][k] = 0;
        if (bottom < 0) bottom = y;
        top = k;
    }
    if (bottom < 0) return;
    note_change(x, top);
    note_change(x, bottom);
    for (int y = bottom; y >= top; y--) {
        if (map[x][y] != 0)
            display_one_block(x, y, map[x][y]);
        else
            not_display_one_block(x, y);
    }
}

void void_supply() {
    if (b_drop == 0) return;
    for (int x = 1; x < board_w(); x++)
        settle_column(x, board_h() - 2);
}
