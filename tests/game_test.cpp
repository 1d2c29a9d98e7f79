// SPDX-License-Identifier: MIT
// game_test.cpp -- whole games of the real program in a pseudo-terminal.
//
// Every game here has b_type 1, so every column is all code 1 and the game
// is deterministic, and a fall interval so long that no column falls unless
// a test drops it. Keys are written as a terminal sends them.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "job_shell.h"
#include "ptyrun.h"
#include "support.h"

// Run with ZELVANE_JOB_SHELL set, this test program is a job-control shell
// (job_shell.h) for the suspend tests: it starts the game named there as its
// job, writes the game's pid to game.pid and ends as the game ended. As a
// shell does, it takes the terminal back in its own modes whenever the game
// stops, and counts the stops in game.stops; SIGUSR1 is its `fg`, SIGUSR2
// its `bg`. With ZELVANE_JOB_LAUNCHER set as well, its job is a launcher
// that starts the game in its own process group, as `bash -c 'game &'`
// does, and stands by until SIGTERM ends it: the game's group is then
// orphaned, and the shell, its terminal back, waits until the game is gone.
static pid_t shell_job = -1;
static struct termios shell_modes;

char process_state(pid_t pid);

static void write_file(const char *name, long value) {
    std::string tmp = std::string(name) + ".new";
    if (FILE *f = fopen(tmp.c_str(), "w")) {
        fprintf(f, "%ld\n", value);
        fclose(f);
        rename(tmp.c_str(), name);
    }
}

// The launcher's job: the game beside it, then nothing until it is ended.
static int launch(const char *game) {
    pid_t child = fork();
    if (child == 0) {
        execl(game, game, (char *)nullptr);
        _exit(127);
    }
    write_file("game.pid", child);
    for (;;)
        pause();
}

__attribute__((constructor)) static void job_shell() {
    const char *game = getenv("ZELVANE_JOB_SHELL");
    if (!game) return;
    bool launcher = getenv("ZELVANE_JOB_LAUNCHER") != nullptr;
    tcgetattr(STDIN_FILENO, &shell_modes);
    signal(SIGUSR1, [](int) {
        tcsetpgrp(STDIN_FILENO, shell_job);
        kill(shell_job, SIGCONT);
    });
    signal(SIGUSR2, [](int) { kill(shell_job, SIGCONT); });
    pid_t child = job_start([&] {
        if (launcher) return launch(game);
        execl(game, game, (char *)nullptr);
        return 127;
    });
    shell_job = child;
    if (!launcher) write_file("game.pid", child);
    int st, stops = 0;
    if (child < 0 || !job_wait(child, &st, [&](pid_t) {
            tcsetpgrp(STDIN_FILENO, getpgrp());
            tcsetattr(STDIN_FILENO, TCSADRAIN, &shell_modes);
            write_file("game.stops", ++stops);
        }))
        _exit(1);
    if (launcher) {
        // The terminal back, in the modes the game left (as bash keeps
        // them after a job that exited): the game is on its own now.
        tcsetpgrp(STDIN_FILENO, getpgrp());
        long orphan = -1;
        std::ifstream("game.pid") >> orphan;
        for (int i = 0; i < 3000 && orphan > 0 && kill((pid_t)orphan, 0) == 0 &&
                        process_state((pid_t)orphan) != 'Z';
             i++)
            usleep(10 * 1000);
        _exit(0);
    }
    _exit(WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st));
}

namespace {

const std::string RIGHT = "\x1b[C", LEFT = "\x1b[D", UP = "\x1b[A", DOWN = "\x1b[B";
const std::string ENTER = "\r", SPACE = " ";
constexpr int WAIT = 20000; // sanitized builds on a shared machine are slow

using Settings = std::vector<std::pair<std::string, int>>;

// A quick-start game on an 8 x 22 well (the panel's texts clear of one
// another) with no removal flashing, changed by over.
std::string config_text(const Settings &over = {}) {
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

// A scratch working directory for one run of the game.
using GameDir = TempDir;

// The game, started in its own directory with config.conf made of over.
struct Game {
    // Unless as_job, the game runs at once; otherwise start_as_job runs it.
    explicit Game(const Settings &over = {}, int cols = 80, int rows = 30, bool as_job = false) {
        dir.write("config.conf", config_text(over));
        if (!as_job) start(cols, rows);
    }
    void start(int cols, int rows, const std::vector<std::string> &argv = {ZELVANE_EXE},
               const std::vector<std::string> &env = {}) {
        pty = std::make_unique<PtyRun>(argv, dir.path, cols, rows, env);
    }
    // Starts the game as a job of job_shell() instead; its pid.
    pid_t start_as_job(int cols, int rows) {
        pty = std::make_unique<PtyRun>(std::vector<std::string>{"/proc/self/exe"}, dir.path, cols,
                                       rows,
                                       std::vector<std::string>{"ZELVANE_JOB_SHELL=" ZELVANE_EXE});
        return wait_pid();
    }
    // The game's pid, from game.pid.
    pid_t wait_pid() {
        pid_t pid = -1;
        pty->wait_for([&](Screen &) { return (pid = (pid_t)number("game.pid")) > 0; }, WAIT);
        return pid;
    }
    Screen &screen() { return pty->screen; }
    // A number the job shell or the game's wrapper wrote (-1: none yet).
    long number(const char *file) {
        long n = -1;
        std::ifstream(dir.path + "/" + file) >> n;
        return n;
    }
    GameDir dir;
    std::unique_ptr<PtyRun> pty;
};

bool has_glyph(Screen &s, int x, int y, const std::string &glyph) {
    return s.cell(x, y).rfind(glyph, 0) == 0;
}

// The falling column of code-1 cells stands in rows 0 to 2 of column x.
bool column_at(Screen &s, int x) {
    for (int y = 0; y < 3; y++)
        if (!has_glyph(s, x, y, "①")) return false;
    return !has_glyph(s, x - 1, 0, "①") && !has_glyph(s, x + 1, 0, "①");
}

// The well of the given size and the panel's fixed texts are on screen.
bool board_drawn(Screen &s, int w, int h) {
    return has_glyph(s, 0, 0, "○") && has_glyph(s, w - 1, 0, "○") &&
           has_glyph(s, w - 1, h - 1, "○") && !has_glyph(s, w, 0, "○") &&
           s.line(0, 2 * (w + 1)).rfind("Zelvane", 0) == 0 &&
           s.line(6, 2 * (w + 1)).rfind("下一个方块", 0) == 0;
}

// Where two screens first differ ("" when they show the same). A blank's
// foreground cannot be seen, and empty cells are drawn in two foregrounds.
std::string screen_diff(Screen &a, Screen &b) {
    if (a.cols() != b.cols() || a.rows() != b.rows()) return "sizes differ";
    for (int r = 0; r < a.rows(); r++)
        for (int c = 0; c < a.cols(); c++)
            if (a.ch(c, r) != b.ch(c, r) || a.bg(c, r) != b.bg(c, r) ||
                (a.ch(c, r) != " " && a.fg(c, r) != b.fg(c, r)))
                return "column " + std::to_string(c) + ", row " + std::to_string(r) + ": '" +
                       a.ch(c, r) + "' " + std::to_string(a.fg(c, r)) + " on " +
                       std::to_string(a.bg(c, r)) + " against '" + b.ch(c, r) + "' " +
                       std::to_string(b.fg(c, r)) + " on " + std::to_string(b.bg(c, r));
    return "";
}

bool cooked(PtyRun &p) {
    struct termios t = p.modes();
    return (t.c_lflag & ICANON) && (t.c_lflag & ECHO);
}

// Makes the test's terminal forget what it shows, as a terminal does that
// was resized or handed to another program meanwhile.
void forget_screen(Screen &s) {
    s.feed("\x1b[0m\x1b[2J");
}

} // namespace

TEST(Game, BoardMovesDropAndScore) {
    Game g;
    PtyRun &p = *g.pty;
    ASSERT_TRUE(
        p.wait_for([](Screen &s) { return board_drawn(s, 8, 22) && column_at(s, 4); }, WAIT))
        << p.screen.dump();
    EXPECT_TRUE(screen_has(p.screen, "总分数：0"));
    EXPECT_TRUE(screen_has(p.screen, "总Zelvane数：0"));
    // The preview frame holds the next column.
    EXPECT_TRUE(has_glyph(p.screen, 11, 8, "①"));

    p.send(RIGHT);
    ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 5); }, WAIT)) << p.screen.dump();
    p.send(LEFT + LEFT);
    ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 3); }, WAIT)) << p.screen.dump();
    // Cycles of one colour look the same; the column must still be whole and
    // still answer the keys after them. Unknown keys do nothing.
    p.send(UP + DOWN + UP + "x\x1b[Z" + LEFT);
    ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 2); }, WAIT)) << p.screen.dump();
    // The left wall stops it.
    p.send(LEFT + LEFT + LEFT);
    p.send(RIGHT + RIGHT);
    ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 3); }, WAIT)) << p.screen.dump();

    // Three of a colour in a column: the drop lands, the group goes, the
    // score panel counts it, and the next column enters in the middle.
    p.send(SPACE);
    ASSERT_TRUE(p.wait_text("总Zelvane数：3", WAIT)) << p.screen.dump();
    ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 4); }, WAIT)) << p.screen.dump();
    EXPECT_TRUE(screen_has(p.screen, "Zelvane：3"));
    for (int y = 3; y < 21; y++)
        EXPECT_EQ(p.screen.cell(3, y), "  ") << "row " << y << "\n" << p.screen.dump();
    EXPECT_TRUE(p.running());
}

TEST(Game, EnterPausesUntilOneWholeKey) {
    Game g;
    PtyRun &p = *g.pty;
    ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 4); }, WAIT)) << p.screen.dump();
    // The Left arrow only ends the pause; the Right after it moves.
    p.send(ENTER + LEFT);
    p.send(RIGHT);
    ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 5); }, WAIT)) << p.screen.dump();
    p.pump(300);
    EXPECT_TRUE(column_at(p.screen, 5)) << p.screen.dump();
    EXPECT_FALSE(screen_has(p.screen, "请按任意键")) << "the pause shows nothing";
    EXPECT_TRUE(g.dir.exists("temp.txt"));
}

// With a short interval the columns fall and land by themselves; each lands
// as three of a kind and is removed.
TEST(Game, ColumnsFallOnTheTimer) {
    Game g({{"first_speed", 20}, {"max_speed", 20}});
    PtyRun &p = *g.pty;
    ASSERT_TRUE(p.wait_text("总Zelvane数：6", WAIT)) << p.screen.dump();
    EXPECT_TRUE(p.running());
}

// Two drops fill the middle column of a well six cells deep; five in a row
// are no run when six are needed, so the next entry is refused.
TEST(Game, FullWellMenuAndFarewell) {
    Game g({{"height", 7}, {"b_num", 6}, {"debug", 1}});
    PtyRun &p = *g.pty;
    ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 4); }, WAIT)) << p.screen.dump();
    p.send(ENTER + SPACE); // a pause, so that temp.txt exists too
    p.send(SPACE);
    ASSERT_TRUE(p.wait_for([](Screen &s) { return has_glyph(s, 4, 5, "①"); }, WAIT))
        << p.screen.dump();
    p.send(SPACE);
    ASSERT_TRUE(p.wait_text("游戏结束", WAIT)) << p.screen.dump();
    Screen &s = p.screen;
    EXPECT_EQ(s.line(0), "游戏结束");
    EXPECT_EQ(s.fg(0, 0), 12);
    EXPECT_EQ(s.line(1), "按上下键选择，按回车键确定");
    EXPECT_EQ(s.fg(0, 1), 7);
    EXPECT_EQ(s.line(2), "--> 重新开始");
    EXPECT_EQ(s.fg(0, 2), 12);
    EXPECT_EQ(s.line(3), "    结束");
    EXPECT_EQ(s.fg(4, 3), 8);
    EXPECT_TRUE(g.dir.exists("data.txt"));
    EXPECT_TRUE(g.dir.exists("temp.txt"));

    p.send(DOWN);
    ASSERT_TRUE(p.wait_for([](Screen &t) { return t.line(3) == "--> 结束"; }, WAIT)) << s.dump();
    EXPECT_EQ(s.line(2), "    重新开始");
    EXPECT_EQ(s.fg(4, 2), 8);
    EXPECT_EQ(s.fg(0, 3), 12);
    p.send(UP);
    ASSERT_TRUE(p.wait_for([](Screen &t) { return t.line(2) == "--> 重新开始"; }, WAIT))
        << s.dump();
    EXPECT_EQ(s.line(3), "    结束");
    // Other keys leave the choice alone.
    p.send(DOWN + LEFT + "q" + SPACE);
    ASSERT_TRUE(p.wait_for([](Screen &t) { return t.line(3) == "--> 结束"; }, WAIT)) << s.dump();
    EXPECT_TRUE(s.alt_screen());
    p.send(ENTER);
    EXPECT_EQ(p.wait_exit(WAIT), 0);
    // The shell's screen is back, with the farewell on it.
    EXPECT_FALSE(s.alt_screen());
    EXPECT_TRUE(screen_has(s, "感谢使用")) << s.dump();
    EXPECT_FALSE(g.dir.exists("data.txt"));
    EXPECT_FALSE(g.dir.exists("temp.txt"));
    EXPECT_TRUE(cooked(p));
}

TEST(Game, RestartReadsTheEditedConfig) {
    Game g({{"height", 7}, {"b_num", 6}});
    PtyRun &p = *g.pty;
    ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 4); }, WAIT)) << p.screen.dump();
    p.send(SPACE);
    ASSERT_TRUE(p.wait_for([](Screen &s) { return has_glyph(s, 4, 5, "①"); }, WAIT));
    p.send(SPACE);
    ASSERT_TRUE(p.wait_text("游戏结束", WAIT)) << p.screen.dump();
    g.dir.write("config.conf", config_text({{"width", 11}, {"b_num", 6}}));
    p.send(ENTER);
    ASSERT_TRUE(
        p.wait_for([](Screen &s) { return board_drawn(s, 11, 22) && column_at(s, 5); }, WAIT))
        << p.screen.dump();
    EXPECT_TRUE(screen_has(p.screen, "总分数：0"));
    EXPECT_FALSE(screen_has(p.screen, "确")) << "the menu is gone\n" << p.screen.dump();
    EXPECT_TRUE(p.running());
}

TEST(Game, StartUpScreensWhenNotQuickStart) {
    Game g({{"fask_s", 0}});
    PtyRun &p = *g.pty;
    ASSERT_TRUE(p.wait_text("由不同颜色的小方块组成的小柱子陆续从屏幕上", WAIT)) << p.screen.dump();
    EXPECT_TRUE(screen_has(p.screen, "########################################"));
    EXPECT_FALSE(board_drawn(p.screen, 8, 22));
    p.send("a");
    ASSERT_TRUE(p.wait_text("当前配置信息", WAIT)) << p.screen.dump();
    EXPECT_TRUE(screen_has(p.screen, "地图宽度=8"));
    EXPECT_TRUE(screen_has(p.screen, "是否开启快速开始模式=0"));
    p.send(RIGHT); // one key, though two codes
    ASSERT_TRUE(
        p.wait_for([](Screen &s) { return board_drawn(s, 8, 22) && column_at(s, 4); }, WAIT))
        << p.screen.dump();
    EXPECT_FALSE(screen_has(p.screen, "当前配置信息"));
}

TEST(Game, UnplayableConfigEndsWithStatus2) {
    Game g({{"b_type", 9}});
    EXPECT_EQ(g.pty->wait_exit(WAIT), 2);
    EXPECT_TRUE(screen_has(g.screen(), "config.conf")) << g.screen().dump();
    EXPECT_TRUE(screen_has(g.screen(), "b_type")) << g.screen().dump();
    EXPECT_TRUE(cooked(*g.pty));
    EXPECT_TRUE(g.screen().cursor_visible());
}

TEST(Game, NoTerminalEndsWithStatus2) {
    GameDir dir;
    dir.write("config.conf", config_text());
    std::string cmd = "cd '" + dir.path + "' && '" ZELVANE_EXE "' </dev/null >out.txt 2>err.txt";
    int st = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 2);
    std::ifstream err(dir.path + "/err.txt");
    std::string text((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("终端"), std::string::npos) << text;
    EXPECT_EQ(std::filesystem::file_size(dir.path + "/out.txt"), 0u);
    EXPECT_FALSE(dir.exists("data.txt"));
}

TEST(Game, TooSmallTerminalWaitsForResize) {
    Game g({}, 30, 10);
    PtyRun &p = *g.pty;
    ASSERT_TRUE(p.wait_text("窗口太小", WAIT)) << p.screen.dump();
    EXPECT_TRUE(screen_has(p.screen, "41 列，22 行")) << p.screen.dump();
    EXPECT_TRUE(screen_has(p.screen, "30 列，10 行")) << p.screen.dump();
    p.send(RIGHT + SPACE); // dropped: nothing to act on yet
    // A resume puts the message up again (this stop is refused: no shell
    // here could resume the game, but it takes the terminal again all the same).
    forget_screen(p.screen);
    p.kill(SIGTSTP);
    ASSERT_TRUE(p.wait_text("窗口太小", WAIT)) << p.screen.dump();
    p.resize(40, 20);
    ASSERT_TRUE(p.wait_text("40 列，20 行", WAIT)) << p.screen.dump();
    p.resize(80, 30);
    ASSERT_TRUE(
        p.wait_for([](Screen &s) { return board_drawn(s, 8, 22) && column_at(s, 4); }, WAIT))
        << p.screen.dump();
    EXPECT_FALSE(screen_has(p.screen, "窗口太小"));
    EXPECT_TRUE(screen_has(p.screen, "总Zelvane数：0"));
}

TEST(Game, CtrlCEndsTheSizeWait) {
    Game g({}, 30, 10);
    PtyRun &p = *g.pty;
    ASSERT_TRUE(p.wait_text("窗口太小", WAIT)) << p.screen.dump();
    p.send("\x03");
    EXPECT_NE(p.wait_exit(WAIT), -1);
    EXPECT_TRUE(cooked(p));
}

// The same keys in a terminal that has always had the final size.
static void play_some(PtyRun &p) {
    ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 4); }, WAIT)) << p.screen.dump();
    p.send(LEFT + SPACE); // removed: the score rows are written
    ASSERT_TRUE(p.wait_text("总Zelvane数：3", WAIT)) << p.screen.dump();
    p.send(RIGHT + RIGHT + SPACE + LEFT); // three at the bottom of column 6
    ASSERT_TRUE(p.wait_text("总Zelvane数：6", WAIT)) << p.screen.dump();
    ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 3); }, WAIT)) << p.screen.dump();
}

// Waits until p shows what fresh shows; the difference that is left, if any.
static std::string wait_same(PtyRun &p, Game &fresh) {
    p.wait_for([&](Screen &s) { return screen_diff(s, fresh.screen()).empty(); }, WAIT);
    std::string diff = screen_diff(p.screen, fresh.screen());
    if (diff.empty()) return diff;
    return diff + "\nrepainted:\n" + p.screen.dump() + "\nfresh:\n" + fresh.screen().dump();
}

TEST(Game, ResizeDuringPlayRepaintsTheGame) {
    Settings over = {{"help_line", 1}, {"width", 9}, {"debug", 1}};
    Game fresh(over, 90, 32);
    play_some(*fresh.pty);
    fresh.pty->pump(300);

    Game g(over, 80, 30);
    PtyRun &p = *g.pty;
    play_some(p);
    p.pump(200);
    auto log_size = [&] { return std::filesystem::file_size(g.dir.path + "/data.txt"); };
    const auto logged = log_size();
    forget_screen(p.screen);
    p.resize(90, 32);
    EXPECT_EQ(wait_same(p, fresh), "");

    // Too small: the message, and the game again once it fits.
    p.resize(30, 12);
    ASSERT_TRUE(p.wait_text("窗口太小", WAIT)) << p.screen.dump();
    p.resize(90, 32);
    EXPECT_EQ(wait_same(p, fresh), "");
    EXPECT_EQ(log_size(), logged) << "a repaint appends no board dump";

    // The game goes on where it was.
    p.send(RIGHT);
    fresh.pty->send(RIGHT);
    ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 4); }, WAIT)) << p.screen.dump();
    ASSERT_TRUE(fresh.pty->wait_for([](Screen &s) { return column_at(s, 4); }, WAIT));
    EXPECT_EQ(wait_same(p, fresh), "");
    EXPECT_GT(log_size(), logged);
}

TEST(Game, ResizeRepaintsStartUpScreensPauseAndMenu) {
    Game g({{"height", 7}, {"b_num", 6}, {"fask_s", 0}});
    PtyRun &p = *g.pty;
    ASSERT_TRUE(p.wait_text("由不同颜色的小方块组成的小柱子陆续从屏幕上", WAIT)) << p.screen.dump();
    forget_screen(p.screen);
    p.resize(81, 25);
    ASSERT_TRUE(p.wait_text("由不同颜色的小方块组成的小柱子陆续从屏幕上", WAIT)) << p.screen.dump();
    EXPECT_TRUE(p.wait_text("请按任意键继续", WAIT)) << p.screen.dump();
    p.send("a");
    ASSERT_TRUE(p.wait_text("当前配置信息", WAIT)) << p.screen.dump();
    forget_screen(p.screen);
    p.resize(80, 26);
    ASSERT_TRUE(p.wait_text("当前配置信息", WAIT)) << p.screen.dump();
    EXPECT_TRUE(p.wait_text("消除闪烁次数=0", WAIT)) << p.screen.dump();
    EXPECT_TRUE(p.wait_text("请按任意键继续", WAIT)) << p.screen.dump();
    p.send("a");
    ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 4); }, WAIT)) << p.screen.dump();

    // During a pause: the game screen, and the pause goes on.
    p.send(ENTER);
    p.pump(200);
    forget_screen(p.screen);
    p.resize(81, 26);
    ASSERT_TRUE(
        p.wait_for([](Screen &s) { return column_at(s, 4) && has_glyph(s, 0, 6, "○"); }, WAIT))
        << p.screen.dump();
    p.send(LEFT + RIGHT); // the Left ends the pause
    ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 5); }, WAIT)) << p.screen.dump();
    p.send(LEFT);
    ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 4); }, WAIT)) << p.screen.dump();

    p.send(SPACE);
    ASSERT_TRUE(p.wait_for([](Screen &s) { return has_glyph(s, 4, 5, "①"); }, WAIT));
    p.send(SPACE);
    ASSERT_TRUE(p.wait_text("游戏结束", WAIT)) << p.screen.dump();
    p.send(DOWN);
    ASSERT_TRUE(p.wait_for([](Screen &s) { return s.line(3) == "--> 结束"; }, WAIT))
        << p.screen.dump();
    forget_screen(p.screen);
    p.resize(80, 24);
    ASSERT_TRUE(p.wait_for([](Screen &s) { return s.line(3) == "--> 结束"; }, WAIT))
        << p.screen.dump();
    EXPECT_EQ(p.screen.line(0), "游戏结束");
    EXPECT_EQ(p.screen.line(2), "    重新开始");
    EXPECT_EQ(p.screen.fg(0, 3), 12);
}

// The fields of /proc/PID/stat after the command name, from the state on.
static std::vector<std::string> stat_fields(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::vector<std::string> fields;
    size_t paren = stat.rfind(')');
    if (paren == std::string::npos) return fields;
    std::istringstream rest(stat.substr(paren + 1));
    for (std::string field; rest >> field;)
        fields.push_back(field);
    return fields;
}

// The state letter: 'T' while stopped.
char process_state(pid_t pid) {
    std::vector<std::string> f = stat_fields(pid);
    return f.empty() ? '?' : f[0][0];
}

TEST(Game, SuspendRestoresModesAndResumeRepaints) {
    Game g(Settings{}, 80, 30, true);
    pid_t game = g.start_as_job(80, 30);
    PtyRun &p = *g.pty;
    ASSERT_GT(game, 0);
    ASSERT_TRUE(
        p.wait_for([](Screen &s) { return board_drawn(s, 8, 22) && column_at(s, 4); }, WAIT))
        << p.screen.dump();
    ASSERT_FALSE(cooked(p));
    kill(game, SIGTSTP);
    // Stopped, and the shell has seen it and taken the terminal back: a `fg`
    // before that would be undone by the shell's own handling of the stop.
    ASSERT_TRUE(p.wait_for([&](Screen &) { return g.number("game.stops") == 1; }, WAIT));
    EXPECT_TRUE(cooked(p));
    EXPECT_TRUE(p.wait_for([](Screen &s) { return s.cursor_visible(); }, WAIT));

    forget_screen(p.screen);
    kill(p.pid, SIGUSR1); // fg
    ASSERT_TRUE(
        p.wait_for([](Screen &s) { return board_drawn(s, 8, 22) && column_at(s, 4); }, WAIT))
        << p.screen.dump();
    EXPECT_FALSE(cooked(p));
    EXPECT_FALSE(p.screen.cursor_visible());
    p.send(RIGHT);
    EXPECT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 5); }, WAIT)) << p.screen.dump();
    kill(game, SIGKILL); // the job shell goes with it
    EXPECT_EQ(p.wait_exit(WAIT), 128 + SIGKILL);
}

// Ctrl-Z and `bg`: the game stops again at once and draws nothing; `fg`
// shows it as it was, and it plays on. A SIGSTOP, which the game cannot
// see, leaves the shell's modes on the terminal: `fg` takes raw mode again,
// so that keys act at once and are not echoed.
TEST(Game, BackgroundStopsTheGameAndEveryResumeTakesTheTerminal) {
    Game g(Settings{}, 80, 30, true);
    pid_t game = g.start_as_job(80, 30);
    PtyRun &p = *g.pty;
    ASSERT_GT(game, 0);
    p.send(RIGHT);
    ASSERT_TRUE(
        p.wait_for([](Screen &s) { return board_drawn(s, 8, 22) && column_at(s, 5); }, WAIT))
        << p.screen.dump();
    p.pump(200);
    const std::string board = p.screen.dump();
    auto stopped = [&](long times, int within) {
        return p.wait_for([&](Screen &) { return g.number("game.stops") == times; }, within);
    };

    p.send("\x1a");
    ASSERT_TRUE(stopped(1, WAIT));
    p.pump(200);
    const size_t drawn = p.screen.bytes().size();
    kill(p.pid, SIGUSR2); // bg
    EXPECT_TRUE(stopped(2, 1000)) << "not stopped again in the background";
    p.pump(500);
    EXPECT_EQ(p.screen.bytes().size(), drawn) << "drawn in the background";
    EXPECT_EQ(process_state(game), 'T');

    kill(p.pid, SIGUSR1); // fg
    EXPECT_TRUE(p.wait_for([&](Screen &s) { return s.dump() == board; }, WAIT)) << p.screen.dump();
    p.send(LEFT);
    EXPECT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 4); }, WAIT)) << p.screen.dump();

    kill(game, SIGSTOP);
    ASSERT_TRUE(stopped(3, WAIT));
    EXPECT_TRUE(cooked(p)) << "the shell's modes";
    kill(p.pid, SIGUSR1); // fg
    ASSERT_TRUE(p.wait_for([&](Screen &) { return !cooked(p); }, WAIT));
    p.send(RIGHT);
    EXPECT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 5); }, WAIT)) << p.screen.dump();
    EXPECT_FALSE(screen_has(p.screen, "^[")) << p.screen.dump();
    kill(game, SIGKILL);
    EXPECT_EQ(p.wait_exit(WAIT), 128 + SIGKILL);
}

// The status as setsid -w gives it: the exit status, or the number of the
// signal that ended the program.
static int launcher_status(int st) {
    return WIFEXITED(st) ? WEXITSTATUS(st) : WIFSIGNALED(st) ? WTERMSIG(st) : -1;
}

// Orphans below this test process come to it (PR_SET_CHILD_SUBREAPER), so
// that it learns how a game ended whose launcher is gone. Its parent is
// then outside the terminal's session: the game's group stays orphaned.
struct Subreaper {
    Subreaper() { prctl(PR_SET_CHILD_SUBREAPER, 1); }
    ~Subreaper() { prctl(PR_SET_CHILD_SUBREAPER, 0); }
};

// Started by a launcher that leaves no shell the game could return to:
// one without a controlling terminal (setsid), where there is no job
// control, or one that started the game in the background and ended
// (`bash -c 'game &'`), so that no shell knows the game and its process
// group is orphaned. Every way out gives the terminal back, and the
// scratch file goes.
TEST(Game, LeftByItsLauncherEveryWayOutRestores) {
    const std::vector<std::string> setsid = {"/usr/bin/setsid", "-w", "/bin/sh", "-c",
                                             "echo $$ >game.pid && exec '" ZELVANE_EXE "'"};
    struct Case {
        const char *name;
        bool orphan; // the job shell's launcher, not setsid
        std::function<void(PtyRun &, pid_t)> end;
        int status; // launcher_status of the game
    };
    const Case cases[] = {
        {"the menu's end", false,
         [](PtyRun &p, pid_t) {
             p.send(SPACE);
             ASSERT_TRUE(p.wait_for([](Screen &s) { return has_glyph(s, 4, 5, "①"); }, WAIT));
             p.send(SPACE);
             ASSERT_TRUE(p.wait_text("游戏结束", WAIT)) << p.screen.dump();
             p.send(DOWN + ENTER);
         },
         0},
        {"SIGTERM", false, [](PtyRun &, pid_t game) { kill(game, SIGTERM); }, SIGTERM},
        {"Ctrl-C", false, [](PtyRun &p, pid_t) { p.send("\x03"); }, SIGINT},
        // It ends within a few seconds, no key typed, as on a hang-up.
        {"orphaned", true,
         [](PtyRun &p, pid_t game) {
             pid_t launcher = (pid_t)std::stol(stat_fields(game).at(1));
             kill(launcher, SIGTERM);
             EXPECT_TRUE(p.wait_for([&](Screen &) { return process_state(game) == 'Z'; }, 5000))
                 << "the game lives on unseen";
         },
         SIGHUP},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Subreaper reaper;
        Game g({{"height", 7}, {"b_num", 6}}, 80, 30, true);
        if (c.orphan)
            g.start(80, 30, {"/proc/self/exe"},
                    {"ZELVANE_JOB_SHELL=" ZELVANE_EXE, "ZELVANE_JOB_LAUNCHER=1"});
        else
            g.start(80, 30, setsid);
        PtyRun &p = *g.pty;
        pid_t game = g.wait_pid();
        ASSERT_GT(game, 0);
        ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 4); }, WAIT)) << p.screen.dump();
        p.send(ENTER + LEFT + RIGHT); // a pause writes temp.txt
        ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 5); }, WAIT)) << p.screen.dump();
        p.send(LEFT);
        ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 4); }, WAIT)) << p.screen.dump();
        ASSERT_TRUE(g.dir.exists("temp.txt"));
        c.end(p, game);
        int st = p.wait_exit(WAIT);
        if (c.orphan) {
            int game_st = -1;
            EXPECT_EQ(waitpid(game, &game_st, 0), game);
            st = launcher_status(game_st);
        }
        EXPECT_EQ(st, c.status);
        EXPECT_TRUE(p.wait_for([&](Screen &) { return kill(game, 0) != 0; }, WAIT))
            << "the game lives on";
        EXPECT_TRUE(cooked(p));
        EXPECT_FALSE(p.screen.alt_screen());
        EXPECT_TRUE(p.screen.cursor_visible());
        EXPECT_FALSE(g.dir.exists("temp.txt"));
        if (c.status == 0) {
            EXPECT_EQ(count(p.screen.dump(), "感谢使用"), 1u) << p.screen.dump();
        }
    }
}

// A flash whose pauses last 3 s: a resize in the first one repaints the
// game at once, while the flash goes on.
TEST(Game, ResizeDuringAFlashPauseRepaintsAtOnce) {
    Game g({{"s_twi", 1}, {"twinkle", 1500}, {"twi_num", 1}});
    PtyRun &p = *g.pty;
    ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 4); }, WAIT)) << p.screen.dump();
    p.send(SPACE);
    // The landed group dark, the score not yet counted: the first pause.
    ASSERT_TRUE(p.wait_for(
        [](Screen &s) { return !has_glyph(s, 4, 0, "①") && !has_glyph(s, 4, 20, "①"); }, WAIT))
        << p.screen.dump();
    auto t0 = std::chrono::steady_clock::now();
    forget_screen(p.screen);
    p.resize(90, 32);
    ASSERT_TRUE(p.wait_for([](Screen &s) { return board_drawn(s, 8, 22); }, WAIT))
        << p.screen.dump();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(2500));
    EXPECT_TRUE(screen_has(p.screen, "总Zelvane数：0")) << "the flash was cut short";
    EXPECT_TRUE(p.wait_text("总Zelvane数：3", WAIT)) << p.screen.dump();
}

// A mouse left reporting by another program: clicks and the wheel in all
// three report forms do nothing (an X10 press's button byte is a Space).
TEST(Game, MouseReportsLeaveTheBoardAlone) {
    Game g;
    PtyRun &p = *g.pty;
    ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 4); }, WAIT)) << p.screen.dump();
    p.send("\x1b[M !!\x1b[M#!!"         // X10 press and release
           "\x1b[<0;5;3M\x1b[<64;5;3M"  // SGR press and wheel
           "\x1b[32;5;3M\x1b[35;5;3M"); // urxvt press and release
    p.pump(300);
    p.send(RIGHT);
    ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 5); }, WAIT)) << p.screen.dump();
    EXPECT_TRUE(screen_has(p.screen, "总Zelvane数：0"));
    for (int y = 3; y < 21; y++)
        EXPECT_EQ(p.screen.cell(5, y), "  ") << "row " << y << "\n" << p.screen.dump();
}

// Ended from outside during play: the scratch file goes, the debug log
// stays for the player to read.
TEST(Game, KilledInPlayRemovesTheScratchFileAndKeepsTheLog) {
    const std::pair<const char *, int> ways[] = {{"\x03", SIGINT}, {"", SIGTERM}};
    for (const auto &[keys, sig] : ways) {
        SCOPED_TRACE(sig);
        Game g({{"debug", 1}});
        PtyRun &p = *g.pty;
        ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 4); }, WAIT)) << p.screen.dump();
        p.send(ENTER + LEFT + RIGHT); // a pause writes temp.txt
        ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 5); }, WAIT)) << p.screen.dump();
        ASSERT_TRUE(g.dir.exists("temp.txt"));
        if (*keys)
            p.send(keys);
        else
            p.kill(sig);
        EXPECT_EQ(p.wait_exit(WAIT), 128 + sig);
        EXPECT_FALSE(g.dir.exists("temp.txt"));
        ASSERT_TRUE(g.dir.exists("data.txt"));
        EXPECT_GT(std::filesystem::file_size(g.dir.path + "/data.txt"), 0u);
    }
}

// A file-size limit with SIGXFSZ at its default: the debug log stops at the
// limit, the game plays on and says so once it is over.
TEST(Game, FileSizeLimitStopsOnlyTheLog) {
    Game g({{"height", 7}, {"b_num", 6}, {"debug", 1}}, 80, 30, true);
    // sh counts the limit in blocks of 512 bytes; the well's dump is 297.
    g.start(80, 30, {"/bin/sh", "-c", "ulimit -f 1 && exec '" ZELVANE_EXE "'"});
    PtyRun &p = *g.pty;
    ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 4); }, WAIT)) << p.screen.dump();
    p.send(SPACE);
    ASSERT_TRUE(p.wait_for([](Screen &s) { return has_glyph(s, 4, 5, "①"); }, WAIT))
        << p.screen.dump();
    EXPECT_EQ(std::filesystem::file_size(g.dir.path + "/data.txt"), 512u);
    p.send(SPACE);
    ASSERT_TRUE(p.wait_text("游戏结束", WAIT)) << p.screen.dump();
    p.send(DOWN + ENTER);
    EXPECT_EQ(p.wait_exit(WAIT), 0);
    EXPECT_TRUE(screen_has(p.screen, "data.txt 写不下了")) << p.screen.dump();
}

// ---- Files in the working directory, and the installed game ----------------

// Processor time the process has used so far, in milliseconds.
static long long cpu_ms(pid_t pid) {
    std::vector<std::string> f = stat_fields(pid);
    if (f.size() < 13) return -1;
    return (std::stoll(f[11]) + std::stoll(f[12])) * 1000 / sysconf(_SC_CLK_TCK);
}

// The game does not spin while nobody types.
static void expect_idle(PtyRun &p) {
    long long before = cpu_ms(p.pid);
    p.pump(1000);
    EXPECT_LT(cpu_ms(p.pid) - before, 500) << "the game is busy while nobody types";
}

// Without a config.conf it can use, the game plays with the built-in
// settings: the start-up screens, then a 12 x 22 well.
static void reach_builtin_well(PtyRun &p) {
    ASSERT_TRUE(p.wait_text("由不同颜色的小方块组成的小柱子陆续从屏幕上", WAIT)) << p.screen.dump();
    p.send("a");
    ASSERT_TRUE(p.wait_text("地图宽度=12", WAIT)) << p.screen.dump();
    p.send("a");
    ASSERT_TRUE(p.wait_for([](Screen &s) { return board_drawn(s, 12, 22); }, WAIT))
        << p.screen.dump();
}

// Links, FIFOs, devices and directories planted where the game keeps its
// files: the game starts at once, never writes through a link, never blocks
// and never removes a directory. With data.txt and temp.txt planted, a whole
// game is played with debug on and a pause; with config.conf planted, the
// built-in settings apply.
TEST(Game, UnsafeFilesAreLeftAlone) {
    namespace fs = std::filesystem;
    using Dir = const std::string &;
    auto keeps = [](Dir d, const char *target) {
        std::ifstream f(d + "/" + target);
        std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text, "keep\n") << target;
    };
    auto both = [](Dir d, const std::function<void(const std::string &)> &make) {
        make(d + "/data.txt");
        make(d + "/temp.txt");
    };
    struct Case {
        const char *name;
        bool config; // planted as config.conf, rather than as data.txt and temp.txt
        std::function<void(Dir)> plant, check;
    };
    const Case cases[] = {
        {"links to files", false,
         [](Dir d) {
             std::ofstream(d + "/target-data") << "keep\n";
             std::ofstream(d + "/target-temp") << "keep\n";
             fs::create_symlink("target-data", d + "/data.txt");
             fs::create_symlink("target-temp", d + "/temp.txt");
         },
         [&](Dir d) {
             keeps(d, "target-data");
             keeps(d, "target-temp");
             EXPECT_FALSE(fs::is_symlink(d + "/data.txt")) << "a link is removed as a link";
             EXPECT_FALSE(fs::is_symlink(d + "/temp.txt")) << "a link is removed as a link";
         }},
        {"links to nothing", false,
         [](Dir d) {
             fs::create_symlink("missing-data", d + "/data.txt");
             fs::create_symlink("missing-temp", d + "/temp.txt");
         },
         [](Dir d) {
             EXPECT_FALSE(fs::exists(d + "/missing-data"));
             EXPECT_FALSE(fs::exists(d + "/missing-temp"));
         }},
        {"FIFOs", false,
         [&](Dir d) { both(d, [](const std::string &f) { mkfifo(f.c_str(), 0600); }); },
         [&](Dir d) { both(d, [](const std::string &f) { EXPECT_TRUE(fs::is_fifo(f)) << f; }); }},
        {"device nodes", false,
         [&](Dir d) {
             // A copy of /dev/null needs root; without it a FIFO stands in.
             both(d, [](const std::string &f) {
                 if (mknod(f.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) mkfifo(f.c_str(), 0600);
             });
         },
         [&](Dir d) { both(d, [](const std::string &f) { EXPECT_TRUE(fs::exists(f)) << f; }); }},
        {"hard links", false,
         [](Dir d) {
             std::ofstream(d + "/target-data") << "keep\n";
             std::ofstream(d + "/target-temp") << "keep\n";
             fs::create_hard_link(d + "/target-data", d + "/data.txt");
             fs::create_hard_link(d + "/target-temp", d + "/temp.txt");
         },
         [&](Dir d) {
             keeps(d, "target-data");
             keeps(d, "target-temp");
             keeps(d, "data.txt");
             keeps(d, "temp.txt");
         }},
        {"devices", false,
         [](Dir d) {
             fs::create_symlink("/dev/null", d + "/data.txt");
             fs::create_symlink("/dev/zero", d + "/temp.txt");
         },
         [](Dir) {}},
        {"directories", false,
         [&](Dir d) { both(d, [](const std::string &f) { fs::create_directory(f); }); },
         [](Dir d) {
             EXPECT_TRUE(fs::is_directory(d + "/data.txt"));
             EXPECT_TRUE(fs::is_directory(d + "/temp.txt"));
         }},
        {"config.conf a FIFO", true, [](Dir d) { mkfifo((d + "/config.conf").c_str(), 0600); },
         [](Dir) {}},
        {"config.conf a link to /dev/zero", true,
         [](Dir d) { fs::create_symlink("/dev/zero", d + "/config.conf"); }, [](Dir) {}},
    };
    // One case; its ASSERTs end only that case.
    auto play = [](const Case &c) {
        Game g({{"height", 7}, {"b_num", 6}, {"debug", 1}}, 80, 30, true);
        if (c.config) fs::remove(g.dir.path + "/config.conf");
        c.plant(g.dir.path);
        g.start(80, 30);
        PtyRun &p = *g.pty;
        if (c.config) {
            reach_builtin_well(p);
            expect_idle(p);
            p.send("\x03");
            EXPECT_NE(p.wait_exit(WAIT), -1);
            return;
        }
        ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 4); }, WAIT)) << p.screen.dump();
        expect_idle(p);
        p.send(ENTER + RIGHT); // a pause, ended by the Right
        p.send(RIGHT);
        ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 5); }, WAIT)) << p.screen.dump();
        p.send(LEFT + SPACE);
        ASSERT_TRUE(p.wait_for([](Screen &s) { return has_glyph(s, 4, 5, "①"); }, WAIT))
            << p.screen.dump();
        p.send(SPACE);
        ASSERT_TRUE(p.wait_text("游戏结束", WAIT)) << p.screen.dump();
        p.send(DOWN + ENTER);
        EXPECT_EQ(p.wait_exit(WAIT), 0);
        c.check(g.dir.path);
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        play(c);
    }
}

// `cmake --install` into a DESTDIR; the installed game, started in another
// directory, finds no config.conf there and plays with its built-in settings.
TEST(Game, InstalledGameRunsFromAnotherDirectory) {
    GameDir dest, elsewhere;
    std::string cmd = "DESTDIR='" + dest.path +
                      "' '" CMAKE_COMMAND "' --install '" ZELVANE_BINARY_DIR "' --prefix /usr >'" +
                      dest.path + "/install.log' 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    for (const char *file : {"bin/zelvane", "share/zelvane/config.conf",
                             "share/man/man6/zelvane.6.gz", "share/doc/zelvane/README.md"})
        EXPECT_TRUE(std::filesystem::is_regular_file(dest.path + "/usr/" + file)) << file;
    PtyRun p({dest.path + "/usr/bin/zelvane"}, elsewhere.path);
    reach_builtin_well(p);
    p.send("\x03");
    EXPECT_NE(p.wait_exit(WAIT), -1);
    EXPECT_TRUE(cooked(p));
}

// ---- The Windows build under wine ------------------------------------------
// scripts/test.sh cross-builds the game and its Windows tests into
// ZELVANE_WIN_BUILD and makes a wine prefix there. Without wine or that
// build these tests are skipped, saying which is missing. Wine starts
// slowly: everything waits on the screen, with time to spare.

namespace {

constexpr int WINE_WAIT = 120000;

struct Wine {
    std::string wine, game, tests, why_not;
    std::vector<std::string> env{"WINEPREFIX=" ZELVANE_WIN_BUILD "/wineprefix", "WINEDEBUG=-all"};
};

Wine find_wine() {
    Wine w;
    w.game = ZELVANE_WIN_BUILD "/zelvane.exe";
    w.tests = ZELVANE_WIN_BUILD "/tests/zelvane_tests.exe";
    std::string path = getenv("PATH") ? getenv("PATH") : "";
    for (size_t at = 0; w.wine.empty() && at <= path.size();) {
        size_t end = path.find(':', at);
        if (end == std::string::npos) end = path.size();
        std::string candidate = path.substr(at, end - at) + "/wine";
        if (access(candidate.c_str(), X_OK) == 0) w.wine = candidate;
        at = end + 1;
    }
    if (w.wine.empty())
        w.why_not = "wine is not installed (scripts/test.sh installs it)";
    else if (access(w.game.c_str(), R_OK) != 0 || access(w.tests.c_str(), R_OK) != 0)
        w.why_not =
            "no cross-built Windows build in " ZELVANE_WIN_BUILD " (scripts/test.sh makes it)";
    else if (access(ZELVANE_WIN_BUILD "/wineprefix", R_OK) != 0)
        w.why_not = "no wine prefix in " ZELVANE_WIN_BUILD " (scripts/test.sh makes it)";
    return w;
}

} // namespace

// The Windows unit tests need a console, so they run in a pseudo-terminal.
TEST(WindowsBuild, UnitTestsPassUnderWine) {
    Wine w = find_wine();
    if (!w.why_not.empty()) GTEST_SKIP() << w.why_not;
    GameDir dir;
    // The console back end's own tests, and the rest on the tests' back end.
    for (std::string exe : {w.tests, std::string(ZELVANE_WIN_BUILD "/tests/console_tests.exe")}) {
        SCOPED_TRACE(exe);
        PtyRun p({w.wine, exe, "--gtest_output=xml:results.xml"}, dir.path, 100, 40, w.env);
        int status = p.wait_exit(5 * WINE_WAIT);
        std::ifstream in(dir.path + "/results.xml");
        std::string results((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(status, 0) << results << p.screen.dump();
        EXPECT_NE(results.find("failures=\"0\""), std::string::npos) << results;
        std::remove((dir.path + "/results.xml").c_str());
    }
}

// The game under wine and on the terminal, the same keys to both: the same
// screens, colours included.
TEST(WindowsBuild, GameUnderWinePlaysAsOnTheTerminal) {
    Wine w = find_wine();
    if (!w.why_not.empty()) GTEST_SKIP() << w.why_not;
    Game native, win({}, 80, 30, true);
    win.start(80, 30, {w.wine, w.game}, w.env);
    auto both = [&](const std::string &keys, const std::function<bool(Screen &)> &done,
                    const char *what) {
        native.pty->send(keys);
        win.pty->send(keys);
        ASSERT_TRUE(native.pty->wait_for(done, WAIT)) << what << "\n" << native.screen().dump();
        ASSERT_TRUE(win.pty->wait_for(done, WINE_WAIT)) << what << "\n" << win.screen().dump();
        win.pty->pump(100);
        EXPECT_EQ(screen_diff(native.screen(), win.screen()), "") << what << "\n"
                                                                  << win.screen().dump();
    };
    both(
        "", [](Screen &s) { return board_drawn(s, 8, 22) && column_at(s, 4); }, "start");
    both(
        RIGHT, [](Screen &s) { return column_at(s, 5); }, "a move");
    both(
        UP + DOWN + UP + LEFT + LEFT, [](Screen &s) { return column_at(s, 3); }, "cycles");
    both(
        SPACE, [](Screen &s) { return screen_has(s, "总Zelvane数：3") && column_at(s, 4); },
        "a drop that scores");
    both(
        ENTER + LEFT + RIGHT, [](Screen &s) { return column_at(s, 5); }, "the pause");
    EXPECT_TRUE(win.dir.exists("temp.txt"));

    // Ctrl-C: the console given back, the end of a Windows program
    // stopped by Ctrl-C (STATUS_CONTROL_C_EXIT, of which wine keeps the
    // low byte).
    win.pty->send("\x03");
    EXPECT_EQ(win.pty->wait_exit(WINE_WAIT), 0x3A);
    EXPECT_TRUE(win.screen().cursor_visible());
    EXPECT_TRUE(cooked(*win.pty));
}

TEST(WindowsBuild, GameOverUnderWineEndsWithStatus0) {
    Wine w = find_wine();
    if (!w.why_not.empty()) GTEST_SKIP() << w.why_not;
    Game g({{"height", 7}, {"b_num", 6}, {"debug", 1}}, 80, 30, true);
    g.start(80, 30, {w.wine, w.game}, w.env);
    PtyRun &p = *g.pty;
    ASSERT_TRUE(p.wait_for([](Screen &s) { return column_at(s, 4); }, WINE_WAIT))
        << p.screen.dump();
    p.send(ENTER + SPACE + SPACE);
    ASSERT_TRUE(p.wait_for([](Screen &s) { return has_glyph(s, 4, 5, "①"); }, WINE_WAIT))
        << p.screen.dump();
    p.send(SPACE);
    ASSERT_TRUE(p.wait_text("--> 重新开始", WINE_WAIT)) << p.screen.dump();
    EXPECT_EQ(p.screen.fg(0, 0), 12);
    EXPECT_TRUE(g.dir.exists("data.txt"));
    EXPECT_TRUE(g.dir.exists("temp.txt"));
    p.send(DOWN);
    ASSERT_TRUE(p.wait_text("--> 结束", WINE_WAIT)) << p.screen.dump();
    p.send(ENTER);
    EXPECT_EQ(p.wait_exit(WINE_WAIT), 0) << p.screen.dump();
    EXPECT_TRUE(screen_has(p.screen, "感谢使用")) << p.screen.dump();
    EXPECT_FALSE(g.dir.exists("data.txt"));
    EXPECT_FALSE(g.dir.exists("temp.txt"));
    EXPECT_TRUE(cooked(p));
}
