// SPDX-License-Identifier: MIT
// game_test.cpp -- whole games of the real program in a pseudo-terminal.
//
// The common ground (the keys, config.conf, the game's start and what the
// screen shows) is in game_run.h.

#include <chrono>

#include <sys/ioctl.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/sysmacros.h> // makedev, which is in <sys/types.h> elsewhere
#endif

#include "game_run.h"

TEST(Game, BoardMovesDropAndScore) {
    Game g;
    ASSERT_TRUE(sees(g, well(8, 22, 4)));
    EXPECT_TRUE(screen_has(g.screen, "总分数：0"));
    EXPECT_TRUE(screen_has(g.screen, "总Zelvane数：0"));
    // The preview frame holds the next column.
    EXPECT_TRUE(has_glyph(g.screen, 11, 8, "①"));

    ASSERT_TRUE(press(g, RIGHT, column(5)));
    ASSERT_TRUE(press(g, LEFT + LEFT, column(3)));
    // Cycles of one colour look the same; the column must still be whole and
    // still answer the keys after them. Unknown keys do nothing.
    ASSERT_TRUE(press(g, UP + DOWN + UP + "x\x1b[Z" + LEFT, column(2)));
    // The left wall stops it.
    g.send(LEFT + LEFT + LEFT);
    ASSERT_TRUE(press(g, RIGHT + RIGHT, column(3)));

    // Three of a colour in a column: the drop lands, the group goes, the
    // score panel counts it, and the next column enters in the middle.
    ASSERT_TRUE(press(g, SPACE, "总Zelvane数：3"));
    ASSERT_TRUE(sees(g, column(4)));
    EXPECT_TRUE(screen_has(g.screen, "Zelvane：3"));
    for (int y = 3; y < 21; y++)
        EXPECT_EQ(g.screen.cell(3, y), "  ") << "row " << y << "\n" << g.screen.dump();
    EXPECT_TRUE(g.running());
}

TEST(Game, EnterPausesUntilOneWholeKey) {
    Game g;
    ASSERT_TRUE(sees(g, column(4)));
    // The Left arrow only ends the pause; the Right after it moves.
    g.send(ENTER + LEFT);
    ASSERT_TRUE(press(g, RIGHT, column(5)));
    g.pump(300);
    EXPECT_TRUE(column_at(g.screen, 5)) << g.screen.dump();
    EXPECT_FALSE(screen_has(g.screen, "请按任意键")) << "the pause shows nothing";
    EXPECT_TRUE(g.dir.exists("temp.txt"));
}

// With a short interval the columns fall and land by themselves; each lands
// as three of a kind and is removed.
TEST(Game, ColumnsFallOnTheTimer) {
    Game g({{"first_speed", 20}, {"max_speed", 20}});
    ASSERT_TRUE(sees(g, "总Zelvane数：6"));
    EXPECT_TRUE(g.running());
}

// The game-over menu's four rows, each after the colour of its first
// character that is not blank.
static std::string menu_rows(Screen &s) {
    std::string rows;
    for (int r = 0; r < 4; r++) {
        size_t c = s.line(r).find_first_not_of(' ');
        rows += std::to_string(s.fg(c == std::string::npos ? 0 : c, r)) + " " + s.line(r) + "\n";
    }
    return rows;
}

// The menu with the first choice marked, and with the second.
const std::string MENU_TOP = "12 游戏结束\n7 按上下键选择，按回车键确定\n";
const std::string MENU_RESTART = MENU_TOP + "12 --> 重新开始\n8     结束\n";
const std::string MENU_END = MENU_TOP + "8     重新开始\n12 --> 结束\n";

// Two drops fill the middle column of a well six cells deep; five in a row
// are no run when six are needed, so the next entry is refused.
TEST(Game, FullWellMenuAndFarewell) {
    Game g({{"height", 7}, {"b_num", 6}, {"debug", 1}});
    ASSERT_TRUE(sees(g, column(4)));
    g.send(ENTER + SPACE); // a pause, so that temp.txt exists too
    ASSERT_TRUE(reach_menu(g));
    EXPECT_EQ(menu_rows(g.screen), MENU_RESTART);
    EXPECT_TRUE(g.dir.exists("data.txt"));
    EXPECT_TRUE(g.dir.exists("temp.txt"));

    ASSERT_TRUE(press(g, DOWN, row(3, "--> 结束")));
    EXPECT_EQ(menu_rows(g.screen), MENU_END);
    ASSERT_TRUE(press(g, UP, row(2, "--> 重新开始")));
    EXPECT_EQ(menu_rows(g.screen), MENU_RESTART);
    // Other keys leave the choice alone.
    ASSERT_TRUE(press(g, DOWN + LEFT + "q" + SPACE, row(3, "--> 结束")));
    EXPECT_TRUE(g.screen.alt_screen());
    expect_farewell(g);
}

TEST(Game, RestartReadsTheEditedConfig) {
    Game g({{"height", 7}, {"b_num", 6}});
    ASSERT_TRUE(sees(g, column(4)));
    ASSERT_TRUE(reach_menu(g));
    g.dir.write("config.conf", config_text({{"width", 11}, {"b_num", 6}}));
    ASSERT_TRUE(press(g, ENTER, well(11, 22, 5)));
    EXPECT_TRUE(screen_has(g.screen, "总分数：0"));
    EXPECT_FALSE(screen_has(g.screen, "确")) << "the menu is gone\n" << g.screen.dump();
    EXPECT_TRUE(g.running());
}

TEST(Game, StartUpScreensWhenNotQuickStart) {
    Game g({{"fask_s", 0}});
    ASSERT_TRUE(sees(g, "由不同颜色的小方块组成的小柱子陆续从屏幕上"));
    EXPECT_TRUE(screen_has(g.screen, "########################################"));
    EXPECT_FALSE(board_drawn(g.screen, 8, 22));
    ASSERT_TRUE(press(g, "a", "当前配置信息"));
    EXPECT_TRUE(screen_has(g.screen, "地图宽度=8"));
    EXPECT_TRUE(screen_has(g.screen, "是否开启快速开始模式=0"));
    ASSERT_TRUE(press(g, RIGHT, well(8, 22, 4))); // one key, though two codes
    EXPECT_FALSE(screen_has(g.screen, "当前配置信息"));
}

TEST(Game, UnplayableConfigEndsWithStatus2) {
    Game g({{"b_type", 9}});
    EXPECT_EQ(g.wait_exit(WAIT), 2);
    EXPECT_TRUE(screen_has(g.screen, "config.conf")) << g.screen.dump();
    EXPECT_TRUE(screen_has(g.screen, "b_type")) << g.screen.dump();
    EXPECT_TRUE(cooked(g));
    EXPECT_TRUE(g.screen.cursor_visible());
}

// No terminal, or one that cannot move the cursor: a message on stderr,
// status 2, not one escape byte, and no file of the game's touched.
TEST(Game, NoTerminalEndsWithStatus2) {
    const struct {
        const char *env, *input, *says;
    } cases[] = {
        {"", " </dev/null", "终端"},
        {"TERM=dumb ", "", "TERM=dumb"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.says);
        TempDir dir;
        dir.write("config.conf", config_text());
        std::string cmd = "cd '" + dir.path + "' && " + c.env + "'" ZELVANE_EXE "'" + c.input +
                          " >out.txt 2>err.txt";
        int st = std::system(cmd.c_str());
        ASSERT_TRUE(WIFEXITED(st));
        EXPECT_EQ(WEXITSTATUS(st), 2);
        std::string text = file_text(dir.path + "/err.txt");
        EXPECT_NE(text.find(c.says), std::string::npos) << text;
        EXPECT_EQ(text.find('\x1b'), std::string::npos) << "nothing of the terminal's";
        EXPECT_EQ(std::filesystem::file_size(dir.path + "/out.txt"), 0u);
        EXPECT_FALSE(dir.exists("data.txt"));
    }
}

TEST(Game, TooSmallTerminalWaitsForResize) {
    Game g({}, {.cols = 30, .rows = 10});
    ASSERT_TRUE(sees(g, "窗口太小"));
    EXPECT_TRUE(screen_has(g.screen, "41 列，22 行")) << g.screen.dump();
    EXPECT_TRUE(screen_has(g.screen, "30 列，10 行")) << g.screen.dump();
    g.send(RIGHT + SPACE); // dropped: nothing to act on yet
    // A resume puts the message up again (this stop is refused: no shell
    // here could resume the game, but it takes the terminal again all the same).
    forget_screen(g.screen);
    g.kill(SIGTSTP);
    ASSERT_TRUE(sees(g, "窗口太小"));
    g.resize(40, 20);
    ASSERT_TRUE(sees(g, "40 列，20 行"));
    g.resize(80, 30);
    ASSERT_TRUE(sees(g, well(8, 22, 4)));
    EXPECT_FALSE(screen_has(g.screen, "窗口太小"));
    EXPECT_TRUE(screen_has(g.screen, "总Zelvane数：0"));
}

TEST(Game, CtrlCEndsTheSizeWait) {
    Game g({}, {.cols = 30, .rows = 10});
    ASSERT_TRUE(sees(g, "窗口太小"));
    g.send("\x03");
    EXPECT_NE(g.wait_exit(WAIT), -1);
    EXPECT_TRUE(cooked(g));
}

// The same keys in a terminal that has always had the final size.
static void play_some(PtyRun &p) {
    ASSERT_TRUE(sees(p, column(4)));
    ASSERT_TRUE(press(p, LEFT + SPACE, "总Zelvane数：3")); // removed: the score rows are written
    // Three at the bottom of column 6.
    ASSERT_TRUE(press(p, RIGHT + RIGHT + SPACE + LEFT, "总Zelvane数：6"));
    ASSERT_TRUE(sees(p, column(3)));
}

// Waits until p shows what fresh shows; the difference that is left, if any.
static std::string wait_same(PtyRun &p, PtyRun &fresh) {
    p.wait_for([&](Screen &s) { return screen_diff(s, fresh.screen).empty(); }, WAIT);
    std::string diff = screen_diff(p.screen, fresh.screen);
    if (diff.empty()) return diff;
    return diff + "\nrepainted:\n" + p.screen.dump() + "\nfresh:\n" + fresh.screen.dump();
}

TEST(Game, ResizeDuringPlayRepaintsTheGame) {
    Settings over = {{"help_line", 1}, {"width", 9}, {"debug", 1}};
    Game fresh(over, {.cols = 90, .rows = 32});
    play_some(fresh);
    fresh.pump(300);

    Game g(over);
    play_some(g);
    g.pump(200);
    auto log_size = [&] { return std::filesystem::file_size(g.dir.path + "/data.txt"); };
    const auto logged = log_size();
    resize_forgetting(g, 90, 32);
    EXPECT_EQ(wait_same(g, fresh), "");

    // Too small: the message, and the game again once it fits.
    g.resize(30, 12);
    ASSERT_TRUE(sees(g, "窗口太小"));
    g.resize(90, 32);
    EXPECT_EQ(wait_same(g, fresh), "");

    // An absurd size, as a broken terminal reports it (the test's own
    // screen keeps its size): the game lives on, and is whole again at a
    // sane size.
    struct winsize absurd = {65535, 65535, 0, 0};
    ioctl(g.master, TIOCSWINSZ, &absurd);
    g.pump(300);
    ASSERT_TRUE(g.running()) << g.screen.dump();
    g.resize(90, 32);
    EXPECT_EQ(wait_same(g, fresh), "");
    EXPECT_EQ(log_size(), logged) << "a repaint appends no board dump";

    // The game goes on where it was.
    ASSERT_TRUE(press(g, RIGHT, column(4)));
    ASSERT_TRUE(press(fresh, RIGHT, column(4)));
    EXPECT_EQ(wait_same(g, fresh), "");
    EXPECT_GT(log_size(), logged);
}

TEST(Game, ResizeRepaintsStartUpScreensPauseAndMenu) {
    Game g({{"height", 7}, {"b_num", 6}, {"fask_s", 0}});
    ASSERT_TRUE(sees(g, "由不同颜色的小方块组成的小柱子陆续从屏幕上"));
    resize_forgetting(g, 81, 25);
    ASSERT_TRUE(sees(g, "由不同颜色的小方块组成的小柱子陆续从屏幕上"));
    EXPECT_TRUE(sees(g, "请按任意键继续"));
    ASSERT_TRUE(press(g, "a", "当前配置信息"));
    resize_forgetting(g, 80, 26);
    ASSERT_TRUE(sees(g, "当前配置信息"));
    EXPECT_TRUE(sees(g, "消除闪烁次数=0"));
    EXPECT_TRUE(sees(g, "请按任意键继续"));
    ASSERT_TRUE(press(g, "a", column(4)));

    // During a pause: the game screen, and the pause goes on.
    g.send(ENTER);
    g.pump(200);
    resize_forgetting(g, 81, 26);
    ASSERT_TRUE(sees(g, [](Screen &s) { return column_at(s, 4) && has_glyph(s, 0, 6, "○"); }));
    ASSERT_TRUE(press(g, LEFT + RIGHT, column(5))); // the Left ends the pause
    ASSERT_TRUE(press(g, LEFT, column(4)));

    ASSERT_TRUE(reach_menu(g));
    ASSERT_TRUE(press(g, DOWN, row(3, "--> 结束")));
    resize_forgetting(g, 80, 24);
    ASSERT_TRUE(sees(g, row(3, "--> 结束")));
    EXPECT_EQ(menu_rows(g.screen), MENU_END);
}

// A flash whose pauses last 3 s: a resize in the first one repaints the
// game at once, while the flash goes on.
TEST(Game, ResizeDuringAFlashPauseRepaintsAtOnce) {
    Game g({{"s_twi", 1}, {"twinkle", 1500}, {"twi_num", 1}});
    ASSERT_TRUE(sees(g, column(4)));
    g.send(SPACE);
    // The landed group dark, the score not yet counted: the first pause.
    ASSERT_TRUE(
        sees(g, [](Screen &s) { return !has_glyph(s, 4, 0, "①") && !has_glyph(s, 4, 20, "①"); }));
    auto t0 = std::chrono::steady_clock::now();
    resize_forgetting(g, 90, 32);
    ASSERT_TRUE(sees(g, [](Screen &s) { return board_drawn(s, 8, 22); }));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(2500));
    EXPECT_TRUE(screen_has(g.screen, "总Zelvane数：0")) << "the flash was cut short";
    EXPECT_TRUE(sees(g, "总Zelvane数：3"));
}

// A mouse left reporting by another program: clicks and the wheel in all
// three report forms do nothing (an X10 press's button byte is a Space).
TEST(Game, MouseReportsLeaveTheBoardAlone) {
    Game g;
    ASSERT_TRUE(sees(g, column(4)));
    g.send("\x1b[M !!\x1b[M#!!"         // X10 press and release
           "\x1b[<0;5;3M\x1b[<64;5;3M"  // SGR press and wheel
           "\x1b[32;5;3M\x1b[35;5;3M"); // urxvt press and release
    g.pump(300);
    ASSERT_TRUE(press(g, RIGHT, column(5)));
    EXPECT_TRUE(screen_has(g.screen, "总Zelvane数：0"));
    for (int y = 3; y < 21; y++)
        EXPECT_EQ(g.screen.cell(5, y), "  ") << "row " << y << "\n" << g.screen.dump();
}

// Ended from outside during play: the scratch file goes, the debug log
// stays for the player to read.
// Under a umask without write bits too: the files the game makes are its own.
TEST(Game, KilledInPlayRemovesTheScratchFileAndKeepsTheLog) {
    const struct {
        const char *keys;
        int sig;
        std::string umask;
    } ways[] = {{"\x03", SIGINT, "022"}, {"", SIGTERM, "022"}, {"\x03", SIGINT, "0277"}};
    for (const auto &[keys, sig, umask] : ways) {
        SCOPED_TRACE(sig);
        SCOPED_TRACE("umask " + umask);
        Game g({{"debug", 1}},
               {.argv = {"/bin/sh", "-c", "umask " + umask + " && exec '" ZELVANE_EXE "'"}});
        ASSERT_TRUE(sees(g, column(4)));
        ASSERT_TRUE(press(g, ENTER + LEFT + RIGHT, column(5))); // a pause writes temp.txt
        ASSERT_TRUE(g.dir.exists("temp.txt"));
        *keys ? g.send(keys) : g.kill(sig);
        EXPECT_EQ(g.wait_exit(WAIT), 128 + sig);
        EXPECT_FALSE(g.dir.exists("temp.txt"));
        ASSERT_TRUE(g.dir.exists("data.txt"));
        EXPECT_GT(std::filesystem::file_size(g.dir.path + "/data.txt"), 0u);
    }
}

// A file-size limit with SIGXFSZ at its default: the debug log stops at the
// limit, the game plays on and says so once it is over.
TEST(Game, FileSizeLimitStopsOnlyTheLog) {
    // sh counts the limit in blocks of 512 bytes; the well's dump is 297.
    Game g({{"height", 7}, {"b_num", 6}, {"debug", 1}},
           {.argv = {"/bin/sh", "-c", "ulimit -f 1 && exec '" ZELVANE_EXE "'"}});
    ASSERT_TRUE(sees(g, column(4)));
    ASSERT_TRUE(press(g, SPACE, first_drop_landed));
    EXPECT_EQ(std::filesystem::file_size(g.dir.path + "/data.txt"), 512u);
    ASSERT_TRUE(press(g, SPACE, "游戏结束"));
    g.send(DOWN + ENTER);
    EXPECT_EQ(g.wait_exit(WAIT), 0);
    EXPECT_TRUE(screen_has(g.screen, "data.txt 写不下了")) << g.screen.dump();
}

// ---- Files in the working directory ----------------------------------------

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

// Links, FIFOs, devices, directories and read-only files planted where the
// game keeps its files: the game starts at once, never writes through a
// link, never blocks, never removes a directory, and leaves a read-only
// file as it was (root included). With data.txt and temp.txt planted, a
// whole game is played with debug on and a pause; with config.conf
// planted, the built-in settings apply.
TEST(Game, UnsafeFilesAreLeftAlone) {
    namespace fs = std::filesystem;
    // Writes "keep" into f, and gives f back.
    auto keep = [](Path f) -> Path {
        std::ofstream(f) << "keep\n";
        return f;
    };
    auto kept = [](Path f) { EXPECT_EQ(file_text(f), "keep\n") << f; };
    auto link = [](Path f, Path to) { fs::create_symlink(fs::path(to).filename(), f); };
    auto fifo = [](Path f, Path) { mkfifo(f.c_str(), 0600); };
    struct Case {
        const char *name;
        // Each planted as data.txt and temp.txt (both_files), or else as
        // config.conf, and checked after a whole game.
        std::function<void(Path file, Path beside)> plant, check = [](Path, Path) {};
        bool config = false;
    };
    const Case cases[] = {
        {"links to files", [&](Path f, Path to) { link(f, keep(to)); },
         [&](Path f, Path to) {
             kept(to);
             EXPECT_FALSE(fs::is_symlink(f)) << "a link is removed as a link";
         }},
        {"links to nothing", link, [](Path, Path to) { EXPECT_FALSE(fs::exists(to)); }},
        {"FIFOs", fifo, [](Path f, Path) { EXPECT_TRUE(fs::is_fifo(f)) << f; }},
        // A copy of /dev/null needs root; without it a FIFO stands in.
        {"device nodes",
         [&](Path f, Path to) {
             if (mknod(f.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) fifo(f, to);
         },
         [](Path f, Path) { EXPECT_TRUE(fs::exists(f)) << f; }},
        {"hard links", [&](Path f, Path to) { fs::create_hard_link(keep(to), f); },
         [&](Path f, Path to) {
             kept(to);
             kept(f);
         }},
        // data.txt a link to /dev/null, temp.txt one to /dev/zero.
        {"devices",
         [](Path f, Path to) {
             fs::create_symlink(to.ends_with("data") ? "/dev/null" : "/dev/zero", f);
         }},
        {"directories", [](Path f, Path) { fs::create_directory(f); },
         [](Path f, Path) { EXPECT_TRUE(fs::is_directory(f)) << f; }},
        {"read-only files", plant_read_only, expect_read_only_kept},
        {"config.conf a FIFO", fifo, {}, true},
        {"config.conf a link to /dev/zero",
         [](Path f, Path) { fs::create_symlink("/dev/zero", f); },
         {},
         true},
    };
    // One case; its ASSERTs end only that case.
    auto play = [](const Case &c) {
        Game g({{"height", 7}, {"b_num", 6}, {"debug", 1}}, {.plant = [&](Path d) {
                   if (!c.config) return both_files(d, c.plant);
                   fs::remove(d + "/config.conf");
                   c.plant(d + "/config.conf", "");
               }});
        if (c.config) {
            reach_builtin_well(g);
            expect_idle(g);
            g.send("\x03");
            EXPECT_NE(g.wait_exit(WAIT), -1);
            return;
        }
        ASSERT_TRUE(sees(g, column(4)));
        expect_idle(g);
        ASSERT_NO_FATAL_FAILURE(play_whole_game(g));
        both_files(g.dir.path, c.check);
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        play(c);
    }
}
