// SPDX-License-Identifier: MIT
// game_run.h -- the real game in a pseudo-terminal, for the whole-game tests.
//
// Every game here has b_type 1, so every column is all code 1 and the game
// is deterministic, and a fall interval so long that no column falls unless
// a test drops it. Keys are written as a terminal sends them.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ptyrun.h"
#include "support.h"

const std::string RIGHT = "\x1b[C", LEFT = "\x1b[D", UP = "\x1b[A", DOWN = "\x1b[B";
const std::string ENTER = "\r", SPACE = " ";
constexpr int WAIT = 20000; // sanitized builds on a shared machine are slow

using Settings = std::vector<std::pair<std::string, int>>;
using Path = const std::string &;

// A quick-start game on an 8 x 22 well (the panel's texts clear of one
// another) with no removal flashing, changed by over.
inline std::string config_text(const Settings &over = {}) {
    Settings s = {{"width", 8},     {"height", 22},         {"b_type", 1},
                  {"b_num", 3},     {"max_f", 1000},        {"first_speed", 1 << 30},
                  {"add_speed", 1}, {"max_speed", 1 << 30}, {"debug", 0},
                  {"help_line", 0}, {"fask_s", 1},          {"s_twi", 0},
                  {"b_drop", 1},    {"twinkle", 1},         {"twi_num", 0}};
    for (const auto &[key, value] : over)
        for (auto &[k, v] : s)
            if (k == key) v = value;
    std::string text;
    for (const auto &[k, v] : s)
        text += k + "=" + std::to_string(v) + "\n";
    return text;
}

// How a game starts: the terminal's size, what runs in the game's directory
// (the game, or a program that starts it) and what is planted there first.
struct Launch {
    int cols = 80, rows = 30;
    std::vector<std::string> argv = {ZELVANE_EXE}, env = {};
    std::function<void(Path dir)> plant = {};
};

// The game's directory, config.conf made of over, made ready for the start.
struct GameDir {
    GameDir(const Settings &over, const Launch &how) {
        dir.write("config.conf", config_text(over));
        if (how.plant) how.plant(dir.path);
    }
    TempDir dir;
};

// The game, running in a directory of its own.
struct Game : GameDir, PtyRun {
    explicit Game(const Settings &over = {}, const Launch &how = {})
        : GameDir(over, how), PtyRun(how.argv, dir.path, how.cols, how.rows, how.env) {}
    // A number the job shell or the game's wrapper wrote (-1: none yet).
    long number(const char *file) {
        long n = -1;
        std::ifstream(dir.path + "/" + file) >> n;
        return n;
    }
    // The game's pid, from game.pid.
    pid_t wait_pid() {
        pid_t game = -1;
        wait_for([&](Screen &) { return (game = (pid_t)number("game.pid")) > 0; }, WAIT);
        return game;
    }
};

inline bool has_glyph(Screen &s, int x, int y, const std::string &glyph) {
    return s.cell(x, y).rfind(glyph, 0) == 0;
}

// The falling column of code-1 cells stands in rows 0 to 2 of column x.
inline bool column_at(Screen &s, int x) {
    for (int y = 0; y < 3; y++)
        if (!has_glyph(s, x, y, "①")) return false;
    return !has_glyph(s, x - 1, 0, "①") && !has_glyph(s, x + 1, 0, "①");
}

// The well of the given size and the panel's fixed texts are on screen.
inline bool board_drawn(Screen &s, int w, int h) {
    return has_glyph(s, 0, 0, "○") && has_glyph(s, w - 1, 0, "○") &&
           has_glyph(s, w - 1, h - 1, "○") && !has_glyph(s, w, 0, "○") &&
           s.line(0, 2 * (w + 1)).rfind("Zelvane", 0) == 0 &&
           s.line(6, 2 * (w + 1)).rfind("下一个方块", 0) == 0;
}

// Where two screens first differ ("" when they show the same). A blank's
// foreground cannot be seen, and empty cells are drawn in two foregrounds.
inline std::string screen_diff(Screen &a, Screen &b) {
    if (a.cols() != b.cols() || a.rows() != b.rows()) return "sizes differ";
    for (int r = 0; r < a.rows(); r++)
        for (int c = 0; c < a.cols(); c++)
            if (std::string ch = a.ch(c, r); ch != b.ch(c, r) || a.bg(c, r) != b.bg(c, r) ||
                                             (ch != " " && a.fg(c, r) != b.fg(c, r)))
                return "column " + std::to_string(c) + ", row " + std::to_string(r) + ": '" + ch +
                       "' " + std::to_string(a.fg(c, r)) + " on " + std::to_string(a.bg(c, r)) +
                       " against '" + b.ch(c, r) + "' " + std::to_string(b.fg(c, r)) + " on " +
                       std::to_string(b.bg(c, r));
    return "";
}

inline bool cooked(PtyRun &p) {
    struct termios t = p.modes();
    return (t.c_lflag & ICANON) && (t.c_lflag & ECHO);
}

// Makes the test's terminal forget what it shows, as a terminal does that
// was resized or handed to another program meanwhile.
inline void forget_screen(Screen &s) {
    s.feed("\x1b[0m\x1b[2J");
}

// Resizes the terminal, which forgets what it showed.
inline void resize_forgetting(PtyRun &p, int cols, int rows) {
    forget_screen(p.screen);
    p.resize(cols, rows);
}

// ---- Waiting for what the screen shows ------------------------------------

// Something the screen shows, waited for.
using Sight = std::function<bool(Screen &)>;

// The falling column stands at x.
inline Sight column(int x) {
    return [x](Screen &s) { return column_at(s, x); };
}

// The w x h well and the panel are drawn, the falling column at x.
inline Sight well(int w, int h, int x) {
    return [=](Screen &s) { return board_drawn(s, w, h) && column_at(s, x); };
}

inline Sight row(int r, const std::string &text) {
    return [=](Screen &s) { return s.line(r) == text; };
}

// In a well six cells deep, the first drop in the middle has landed.
inline bool first_drop_landed(Screen &s) {
    return has_glyph(s, 4, 5, "①");
}

// Reads the program's output until sight holds; a failure carries the
// screen as it was.
inline testing::AssertionResult sees(PtyRun &p, const Sight &sight, int within = WAIT) {
    if (p.wait_for(sight, within)) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "not seen within " << within << " ms:\n"
                                       << p.screen.dump();
}

// Until text stands somewhere on the screen.
inline testing::AssertionResult sees(PtyRun &p, const std::string &text, int within = WAIT) {
    return sees(
        p, [&](Screen &s) { return screen_has(s, text); }, within);
}

// Types keys, then waits as sees() does.
template <class What>
testing::AssertionResult press(PtyRun &p, const std::string &keys, const What &what,
                               int within = WAIT) {
    p.send(keys);
    return sees(p, what, within);
}

// The game-over menu, the first choice marked.
inline bool menu_shown(Screen &s) {
    return screen_has(s, "游戏结束") && screen_has(s, "--> 重新开始");
}

// From a game just begun in a well six cells deep where nothing is ever
// removed (b_num 6): keys, then a Space, drop two columns in the middle,
// which fill it, and the game-over menu comes up.
inline testing::AssertionResult reach_menu(PtyRun &p, const std::string &keys = SPACE,
                                           int within = WAIT) {
    if (testing::AssertionResult landed = press(p, keys, first_drop_landed, within); !landed)
        return landed;
    return press(p, SPACE, menu_shown, within);
}

// Without a config.conf it can use, the game plays with the built-in
// settings: the start-up screens, then a 12 x 22 well.
inline void reach_builtin_well(PtyRun &p) {
    ASSERT_TRUE(sees(p, "由不同颜色的小方块组成的小柱子陆续从屏幕上"));
    ASSERT_TRUE(press(p, "a", "地图宽度=12"));
    ASSERT_TRUE(press(p, "a", [](Screen &s) { return board_drawn(s, 12, 22); }));
}

// Hands make data.txt and temp.txt in the game's directory dir, each with
// a name of its own beside it (target-data, target-temp).
inline void both_files(Path dir, const std::function<void(Path file, Path beside)> &make) {
    for (std::string kind : {"data", "temp"})
        make(dir + "/" + kind + ".txt", dir + "/target-" + kind);
}

// A file holding "keep\n" with no write bit for anyone: on Windows (and
// under wine) that is the read-only attribute.
inline void plant_read_only(Path file, Path) {
    std::ofstream(file) << "keep\n";
    chmod(file.c_str(), 0444);
}

inline void expect_read_only_kept(Path file, Path) {
    EXPECT_EQ(file_text(file), "keep\n") << file;
    struct stat st;
    EXPECT_TRUE(stat(file.c_str(), &st) == 0 && (st.st_mode & 0777) == 0444) << file;
}

// Enter on the menu's end: status 0, the shell's screen back with the
// farewell on it, the game's files gone and the terminal's modes cooked.
inline void expect_farewell(Game &g, int within = WAIT) {
    g.send(ENTER);
    EXPECT_EQ(g.wait_exit(within), 0) << g.screen.dump();
    EXPECT_FALSE(g.screen.alt_screen());
    EXPECT_TRUE(screen_has(g.screen, "感谢使用")) << g.screen.dump();
    EXPECT_FALSE(g.dir.exists("data.txt"));
    EXPECT_FALSE(g.dir.exists("temp.txt"));
    EXPECT_TRUE(cooked(g));
}

// A whole game in an 8 x 7 well where b_num 6 clears nothing, its first
// column shown: a pause (which writes temp.txt) ended by a Right, two drops
// that fill the entry, and the menu's end option.
inline void play_whole_game(PtyRun &p, int within = WAIT) {
    p.send(ENTER + RIGHT);
    ASSERT_TRUE(press(p, RIGHT, column(5), within));
    ASSERT_TRUE(reach_menu(p, LEFT + SPACE, within));
    p.send(DOWN + ENTER);
    EXPECT_EQ(p.wait_exit(within), 0);
}
