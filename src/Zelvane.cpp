// SPDX-License-Identifier: MIT
// Zelvane.cpp -- the loop over games: set-up, play, game-over menu.
//
// The play loop polls the keyboard in batches of ten and checks the fall
// timer once per pass, as the game always has; between passes it blocks in
// term_wait until a key arrives or the next fall step is due, so a player who
// thinks costs no processor time. After a resume or a resize the terminal
// layer draws the screen again by itself; check_size() only makes sure the
// window is still large enough for it.

#include "Zelvane.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "help_fun_1.h"
#include "order_b_1.h"
#include "order_fun_1.h"
#include "order_fun_2.h"
#include "term.h"
#include "files/files.h"

// What the screen shows while the program waits, for the size it needs.
enum class Showing { nothing, credits, config, play, menu };
static Showing showing = Showing::nothing;
static int menu_end = 0; // the menu's selection: 0 restart, 1 end

// The prompt of the console's pause. The pause on Enter puts it into the
// scratch file, where the console's pause command would have put it.
static const char *const pause_prompt = "请按任意键继续. . .";

// ---- Terminal size -----------------------------------------------------------

// Room the game screen takes: the well, one empty cell column, and the side
// panel, whose score rows are blanked 23 columns wide; the preview frame
// reaches down to row 11.
static void play_size(int *cols, int *rows) {
    *cols = 2 * width + 25;
    *rows = height > 12 ? height : 12;
}

// The credits and rules screen and the configuration screen (23 lines, a
// 79-column rule, and the pause prompt under them).
static constexpr int intro_cols = 80, intro_rows = 24;

// The game-over menu: its hint line is 26 columns wide, and it has 4 lines.
static constexpr int menu_cols = 26, menu_rows = 4;

static void needed_size(Showing what, int *cols, int *rows) {
    *cols = *rows = 0;
    if (what == Showing::credits || what == Showing::config) {
        *cols = intro_cols;
        *rows = intro_rows;
    } else if (what == Showing::play) {
        play_size(cols, rows);
    } else if (what == Showing::menu) {
        *cols = menu_cols;
        *rows = menu_rows;
    }
}

static bool large_enough(int cols, int rows) {
    int c, r;
    term_size(&c, &r);
    return c >= cols && r >= rows;
}

static void show_size_message(int cols, int rows) {
    int c, r;
    term_size(&c, &r);
    term_clear();
    set_color(12, 0);
    term_text("窗口太小，放不下游戏画面\n");
    style();
    term_printf("需要：%d 列，%d 行\n", cols, rows);
    term_printf("现在：%d 列，%d 行\n", c, r);
    term_text("请把窗口放大（Ctrl-C 退出）\n");
}

// Set while the size message is up, so that a size check called from the wait
// below leaves the message to this loop.
static bool waiting_for_size = false;

// When the terminal is smaller than cols x rows: says so, with the size
// needed and the size there is, and waits until it has been made large
// enough. Keys pressed meanwhile are dropped whole (an arrow's two codes
// together): the player cannot see what they would act on. What was drawn
// before comes back afterwards.
static void wait_for_size(int cols, int rows) {
    if (large_enough(cols, rows)) return;
    waiting_for_size = true;
    term_save();
    int shown_c = -1, shown_r = -1;
    for (;;) {
        int c, r;
        term_size(&c, &r);
        if (c >= cols && r >= rows) break;
        if (c != shown_c || r != shown_r) {
            show_size_message(cols, rows);
            shown_c = c;
            shown_r = r;
        }
        if (term_wait(500)) term_getkey();
    }
    waiting_for_size = false;
    term_restore();
}

// ---- Menu ----------------------------------------------------------------------

static void draw_menu_options() {
    set_cocate(0, 2);
    set_color(menu_end ? 8 : 12, 0);
    term_text(menu_end ? "    重新开始" : "--> 重新开始");
    set_cocate(0, 3);
    set_color(menu_end ? 12 : 8, 0);
    term_text(menu_end ? "--> 结束" : "    结束");
    style();
}

static void draw_menu() {
    set_color(12, 0);
    term_text("游戏结束\n");
    style();
    set_cocate(0, 1);
    term_text("按上下键选择，按回车键确定\n");
    draw_menu_options();
}

// Called by the terminal layer, from a wait, after a resume or a resize,
// before it draws the screen again: a window now too small for what is
// shown gets the size message until it is large enough. Changes no state.
static void check_size() {
    if (waiting_for_size || showing == Showing::nothing) return;
    int cols, rows;
    needed_size(showing, &cols, &rows);
    wait_for_size(cols, rows);
}

// ---- The loop over games ---------------------------------------------------

// The scratch file goes when the game is ended from outside (Ctrl-C is the
// only way out during play); the debug log stays for the player to read.
static void remove_scratch() {
    file_remove("temp.txt");
}

void give_up(const char *why) {
    term_close();
    term_message(1, -1, (std::string("zelvane: ") + why).c_str());
    term_hold_window();
    exit(2);
}

int run() {
    term_on_repaint(check_size);
    term_on_kill(remove_scratch);
    while (jixu) {
        head();
        body();
        food();
    }
    term_on_repaint(nullptr);
    term_on_kill(nullptr);
    return jixu;
}

void head() {
    showing = Showing::nothing;
    console();
    set_cursor(0);
    read_config();
    if (const char *problem = config_problem()) give_up(problem);

    // Say at once when the terminal cannot show this game's screens, before
    // the first of them is drawn.
    int cols, rows;
    play_size(&cols, &rows);
    if (!fask_s) {
        cols = cols > intro_cols ? cols : intro_cols;
        rows = rows > intro_rows ? rows : intro_rows;
    }
    wait_for_size(cols, rows);

    if (!fask_s) {
        showing = Showing::credits;
        copyright();
        use_recomment();
        command(2);
        command(1);
        showing = Showing::config;
        show_config_info();
        showing = Showing::nothing;
        // The terminal may have shrunk while the screens were up.
        play_size(&cols, &rows);
        wait_for_size(cols, rows);
    }
    clear_data();
    init();
    count_mark();
    srand((unsigned)time(nullptr));
}

// The pause on Enter: one whole key ends it and is consumed. Nothing is
// shown; the prompt goes to the scratch file, where the console's pause
// command would have put it.
static void pause_game() {
    if (FILE *f = file_write_regular("temp.txt", false)) {
        fprintf(f, "%s\n", pause_prompt);
        fclose(f);
    }
    term_getkey();
}

static void handle_key(int key) {
    switch (key) {
    case key_space: change_block(6); break;
    case key_enter: pause_game(); break;
    case key_up: change_block(1); break;
    case key_down: change_block(2); break;
    case key_left: change_block(3); break;
    case key_right: change_block(4); break;
    default: break;
    }
}

// The fall interval after elapsed ms of play: it shrinks by 1 ms for every
// 60 * add_speed ms, down to max_speed.
static long long fall_interval(long long elapsed) {
    long long interval = first_speed - (elapsed / 60) / add_speed;
    return interval < max_speed ? max_speed : interval;
}

// How long the play loop may sleep before a pass can find a fall step due:
// until the first millisecond at which now - last exceeds the interval of
// that moment, so that a step comes at the same millisecond as if the loop
// had never slept. The interval shrinks by 1 every 60 * add_speed ms of
// play, until it reaches max_speed. When the interval grows (a negative
// add_speed), the pass at the old deadline finds nothing due and sleeps
// again.
static long long until_fall_step(long long start, long long last, long long now) {
    for (long long t = now;;) {
        long long interval = fall_interval(t - start);
        long long due = last + interval + 1;
        if (add_speed <= 0 || interval <= max_speed) return due - now;
        long long period = 60LL * add_speed;
        long long shrinks = start + ((t - start) / period + 1) * period;
        if (due <= shrinks) return due - now;
        // Each period brings the deadline 1 ms nearer and the next shrink
        // a period further: on to the first shrink that can reach it.
        t = shrinks + (due - shrinks - 1) / (period + 1) * period;
    }
}

void body() {
    display_frame();
    usr_help();
    next_block();
    creat_new_block();
    disploay_block();
    showing = Showing::play;

    long long start = term_millis();
    long long last = 0;
    while (life) {
        for (int i = 0; i < 10; i++)
            if (term_kbhit()) handle_key(term_getkey());
        long long now = term_millis();
        long long interval = fall_interval(now - start);
        if (now - last > interval) {
            change_block(5);
            last = term_millis();
        }
        if (!life) break;
        long long wait = until_fall_step(start, last, term_millis());
        if (wait > 0 && !term_kbhit()) term_wait(wait > INT_MAX ? INT_MAX : (int)wait);
    }
    showing = Showing::nothing;
}

void food() {
    for (int i = 0; i < 50; i++)
        term_sleep(2);
    command(1);
    menu_end = 0;
    draw_menu();
    showing = Showing::menu;
    for (;;) {
        int key = term_getkey();
        if (key == key_up || key == key_down) {
            menu_end = key == key_down;
            draw_menu_options();
        } else if (key == key_enter) {
            break;
        }
    }
    showing = Showing::nothing;
    if (menu_end) {
        jixu = 0;
        command(1);
        set_color(12, 0);
        term_text("感谢使用\n");
        style();
        for (int i = 0; i < 50; i++)
            term_sleep(2);
    } else {
        // The next game draws only its well and panel: the menu goes first.
        command(1);
        jixu = 1;
    }
    // The debug log and the scratch file live for one game.
    file_remove("data.txt");
    file_remove("temp.txt");
}
