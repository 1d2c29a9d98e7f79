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
    PtyRun &p = *g.pty;
    ASSERT_TRUE(sees(p, well(8, 22, 4)));
    EXPECT_TRUE(screen_has(p.screen, "总分数：0"));
    EXPECT_TRUE(screen_has(p.screen, "总Zelvane数：0"));
    // The preview frame holds the next column.
    EXPECT_TRUE(has_glyph(p.screen, 11, 8, "①"));

    ASSERT_TRUE(press(p, RIGHT, column(5)));
    ASSERT_TRUE(press(p, LEFT + LEFT, column(3)));
    // Cycles of one colour look the same; the column must still be whole and
    // still answer the keys after them. Unknown keys do nothing.
    ASSERT_TRUE(press(p, UP + DOWN + UP + "x\x1b[Z" + LEFT, column(2)));
    // The left wall stops it.
    p.send(LEFT + LEFT + LEFT);
    ASSERT_TRUE(press(p, RIGHT + RIGHT, column(3)));

    // Three of a colour in a column: the drop lands, the group goes, the
    // score panel counts it, and the next column enters in the middle.
    ASSERT_TRUE(press(p, SPACE, "总Zelvane数：3"));
    ASSERT_TRUE(sees(p, column(4)));
    EXPECT_TRUE(screen_has(p.screen, "Zelvane：3"));
    for (int y = 3; y < 21; y++)
        EXPECT_EQ(p.screen.cell(3, y), "  ") << "row " << y << "\n" << p.screen.dump();
    EXPECT_TRUE(p.running());
}

TEST(Game, EnterPausesUntilOneWholeKey) {
    Game g;
    PtyRun &p = *g.pty;
    ASSERT_TRUE(sees(p, column(4)));
    // The Left arrow only ends the pause; the Right after it moves.
    p.send(ENTER + LEFT);
    ASSERT_TRUE(press(p, RIGHT, column(5)));
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
    ASSERT_TRUE(sees(p, "总Zelvane数：6"));
    EXPECT_TRUE(p.running());
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
    PtyRun &p = *g.pty;
    ASSERT_TRUE(sees(p, column(4)));
    p.send(ENTER + SPACE); // a pause, so that temp.txt exists too
    ASSERT_TRUE(reach_menu(p));
    Screen &s = p.screen;
    EXPECT_EQ(menu_rows(s), MENU_RESTART);
    EXPECT_TRUE(g.dir.exists("data.txt"));
    EXPECT_TRUE(g.dir.exists("temp.txt"));

    ASSERT_TRUE(press(p, DOWN, row(3, "--> 结束")));
    EXPECT_EQ(menu_rows(s), MENU_END);
    ASSERT_TRUE(press(p, UP, row(2, "--> 重新开始")));
    EXPECT_EQ(menu_rows(s), MENU_RESTART);
    // Other keys leave the choice alone.
    ASSERT_TRUE(press(p, DOWN + LEFT + "q" + SPACE, row(3, "--> 结束")));
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
    ASSERT_TRUE(sees(p, column(4)));
    ASSERT_TRUE(reach_menu(p));
    g.dir.write("config.conf", config_text({{"width", 11}, {"b_num", 6}}));
    ASSERT_TRUE(press(p, ENTER, well(11, 22, 5)));
    EXPECT_TRUE(screen_has(p.screen, "总分数：0"));
    EXPECT_FALSE(screen_has(p.screen, "确")) << "the menu is gone\n" << p.screen.dump();
    EXPECT_TRUE(p.running());
}

TEST(Game, StartUpScreensWhenNotQuickStart) {
    Game g({{"fask_s", 0}});
    PtyRun &p = *g.pty;
    ASSERT_TRUE(sees(p, "由不同颜色的小方块组成的小柱子陆续从屏幕上"));
    EXPECT_TRUE(screen_has(p.screen, "########################################"));
    EXPECT_FALSE(board_drawn(p.screen, 8, 22));
    ASSERT_TRUE(press(p, "a", "当前配置信息"));
    EXPECT_TRUE(screen_has(p.screen, "地图宽度=8"));
    EXPECT_TRUE(screen_has(p.screen, "是否开启快速开始模式=0"));
    ASSERT_TRUE(press(p, RIGHT, well(8, 22, 4))); // one key, though two codes
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
    Game g({}, 30, 10);
    PtyRun &p = *g.pty;
    ASSERT_TRUE(sees(p, "窗口太小"));
    EXPECT_TRUE(screen_has(p.screen, "41 列，22 行")) << p.screen.dump();
    EXPECT_TRUE(screen_has(p.screen, "30 列，10 行")) << p.screen.dump();
    p.send(RIGHT + SPACE); // dropped: nothing to act on yet
    // A resume puts the message up again (this stop is refused: no shell
    // here could resume the game, but it takes the terminal again all the same).
    forget_screen(p.screen);
    p.kill(SIGTSTP);
    ASSERT_TRUE(sees(p, "窗口太小"));
    p.resize(40, 20);
    ASSERT_TRUE(sees(p, "40 列，20 行"));
    p.resize(80, 30);
    ASSERT_TRUE(sees(p, well(8, 22, 4)));
    EXPECT_FALSE(screen_has(p.screen, "窗口太小"));
    EXPECT_TRUE(screen_has(p.screen, "总Zelvane数：0"));
}

TEST(Game, CtrlCEndsTheSizeWait) {
    Game g({}, 30, 10);
    PtyRun &p = *g.pty;
    ASSERT_TRUE(sees(p, "窗口太小"));
    p.send("\x03");
    EXPECT_NE(p.wait_exit(WAIT), -1);
    EXPECT_TRUE(cooked(p));
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
    resize_forgetting(p, 90, 32);
    EXPECT_EQ(wait_same(p, fresh), "");

    // Too small: the message, and the game again once it fits.
    p.resize(30, 12);
    ASSERT_TRUE(sees(p, "窗口太小"));
    p.resize(90, 32);
    EXPECT_EQ(wait_same(p, fresh), "");

    // An absurd size, as a broken terminal reports it (the test's own
    // screen keeps its size): the game lives on, and is whole again at a
    // sane size.
    struct winsize absurd = {65535, 65535, 0, 0};
    ioctl(p.master, TIOCSWINSZ, &absurd);
    p.pump(300);
    ASSERT_TRUE(p.running()) << p.screen.dump();
    p.resize(90, 32);
    EXPECT_EQ(wait_same(p, fresh), "");
    EXPECT_EQ(log_size(), logged) << "a repaint appends no board dump";

    // The game goes on where it was.
    ASSERT_TRUE(press(p, RIGHT, column(4)));
    ASSERT_TRUE(press(*fresh.pty, RIGHT, column(4)));
    EXPECT_EQ(wait_same(p, fresh), "");
    EXPECT_GT(log_size(), logged);
}

TEST(Game, ResizeRepaintsStartUpScreensPauseAndMenu) {
    Game g({{"height", 7}, {"b_num", 6}, {"fask_s", 0}});
    PtyRun &p = *g.pty;
    ASSERT_TRUE(sees(p, "由不同颜色的小方块组成的小柱子陆续从屏幕上"));
    resize_forgetting(p, 81, 25);
    ASSERT_TRUE(sees(p, "由不同颜色的小方块组成的小柱子陆续从屏幕上"));
    EXPECT_TRUE(sees(p, "请按任意键继续"));
    ASSERT_TRUE(press(p, "a", "当前配置信息"));
    resize_forgetting(p, 80, 26);
    ASSERT_TRUE(sees(p, "当前配置信息"));
    EXPECT_TRUE(sees(p, "消除闪烁次数=0"));
    EXPECT_TRUE(sees(p, "请按任意键继续"));
    ASSERT_TRUE(press(p, "a", column(4)));

    // During a pause: the game screen, and the pause goes on.
    p.send(ENTER);
    p.pump(200);
    resize_forgetting(p, 81, 26);
    ASSERT_TRUE(sees(p, [](Screen &s) { return column_at(s, 4) && has_glyph(s, 0, 6, "○"); }));
    ASSERT_TRUE(press(p, LEFT + RIGHT, column(5))); // the Left ends the pause
    ASSERT_TRUE(press(p, LEFT, column(4)));

    ASSERT_TRUE(reach_menu(p));
    ASSERT_TRUE(press(p, DOWN, row(3, "--> 结束")));
    resize_forgetting(p, 80, 24);
    ASSERT_TRUE(sees(p, row(3, "--> 结束")));
    EXPECT_EQ(menu_rows(p.screen), MENU_END);
}

// A flash whose pauses last 3 s: a resize in the first one repaints the
// game at once, while the flash goes on.
TEST(Game, ResizeDuringAFlashPauseRepaintsAtOnce) {
    Game g({{"s_twi", 1}, {"twinkle", 1500}, {"twi_num", 1}});
    PtyRun &p = *g.pty;
    ASSERT_TRUE(sees(p, column(4)));
    p.send(SPACE);
    // The landed group dark, the score not yet counted: the first pause.
    ASSERT_TRUE(
        sees(p, [](Screen &s) { return !has_glyph(s, 4, 0, "①") && !has_glyph(s, 4, 20, "①"); }));
    auto t0 = std::chrono::steady_clock::now();
    resize_forgetting(p, 90, 32);
    ASSERT_TRUE(sees(p, [](Screen &s) { return board_drawn(s, 8, 22); }));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(2500));
    EXPECT_TRUE(screen_has(p.screen, "总Zelvane数：0")) << "the flash was cut short";
    EXPECT_TRUE(sees(p, "总Zelvane数：3"));
}

// A mouse left reporting by another program: clicks and the wheel in all
// three report forms do nothing (an X10 press's button byte is a Space).
TEST(Game, MouseReportsLeaveTheBoardAlone) {
    Game g;
    PtyRun &p = *g.pty;
    ASSERT_TRUE(sees(p, column(4)));
    p.send("\x1b[M !!\x1b[M#!!"         // X10 press and release
           "\x1b[<0;5;3M\x1b[<64;5;3M"  // SGR press and wheel
           "\x1b[32;5;3M\x1b[35;5;3M"); // urxvt press and release
    p.pump(300);
    ASSERT_TRUE(press(p, RIGHT, column(5)));
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
        ASSERT_TRUE(sees(p, column(4)));
        ASSERT_TRUE(press(p, ENTER + LEFT + RIGHT, column(5))); // a pause writes temp.txt
        ASSERT_TRUE(g.dir.exists("temp.txt"));
        *keys ? p.send(keys) : p.kill(sig);
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
    ASSERT_TRUE(sees(p, column(4)));
    ASSERT_TRUE(press(p, SPACE, first_drop_landed));
    EXPECT_EQ(std::filesystem::file_size(g.dir.path + "/data.txt"), 512u);
    ASSERT_TRUE(press(p, SPACE, "游戏结束"));
    p.send(DOWN + ENTER);
    EXPECT_EQ(p.wait_exit(WAIT), 0);
    EXPECT_TRUE(screen_has(p.screen, "data.txt 写不下了")) << p.screen.dump();
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
    using Dir = const std::string &;
    using Path = const std::string &;
    // make(file, beside) for data.txt and temp.txt, each with a name of its
    // own beside it (target-data, target-temp).
    auto both = [](Dir d, const std::function<void(Path, Path)> &make) {
        for (std::string kind : {"data", "temp"})
            make(d + "/" + kind + ".txt", d + "/target-" + kind);
    };
    auto keep = [](Path f) { std::ofstream(f) << "keep\n"; };
    auto kept = [](Path f) { EXPECT_EQ(file_text(f), "keep\n") << f; };
    auto link = [](Path f, Path to) { fs::create_symlink(fs::path(to).filename(), f); };
    struct Case {
        const char *name;
        bool config; // planted as config.conf, rather than as data.txt and temp.txt
        std::function<void(Dir)> plant, check;
    };
    const Case cases[] = {
        {"links to files", false,
         [&](Dir d) {
             both(d, [&](Path f, Path to) {
                 keep(to);
                 link(f, to);
             });
         },
         [&](Dir d) {
             both(d, [&](Path f, Path to) {
                 kept(to);
                 EXPECT_FALSE(fs::is_symlink(f)) << "a link is removed as a link";
             });
         }},
        {"links to nothing", false, [&](Dir d) { both(d, link); },
         [&](Dir d) { both(d, [](Path, Path to) { EXPECT_FALSE(fs::exists(to)); }); }},
        {"FIFOs", false, [&](Dir d) { both(d, [](Path f, Path) { mkfifo(f.c_str(), 0600); }); },
         [&](Dir d) { both(d, [](Path f, Path) { EXPECT_TRUE(fs::is_fifo(f)) << f; }); }},
        {"device nodes", false,
         [&](Dir d) {
             // A copy of /dev/null needs root; without it a FIFO stands in.
             both(d, [](Path f, Path) {
                 if (mknod(f.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) mkfifo(f.c_str(), 0600);
             });
         },
         [&](Dir d) { both(d, [](Path f, Path) { EXPECT_TRUE(fs::exists(f)) << f; }); }},
        {"hard links", false,
         [&](Dir d) {
             both(d, [&](Path f, Path to) {
                 keep(to);
                 fs::create_hard_link(to, f);
             });
         },
         [&](Dir d) {
             both(d, [&](Path f, Path to) {
                 kept(to);
                 kept(f);
             });
         }},
        {"devices", false,
         [](Dir d) {
             fs::create_symlink("/dev/null", d + "/data.txt");
             fs::create_symlink("/dev/zero", d + "/temp.txt");
         },
         [](Dir) {}},
        {"directories", false,
         [&](Dir d) { both(d, [](Path f, Path) { fs::create_directory(f); }); },
         [&](Dir d) { both(d, [](Path f, Path) { EXPECT_TRUE(fs::is_directory(f)) << f; }); }},
        {"read-only files", false, plant_read_only, expect_read_only_kept},
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
        ASSERT_TRUE(sees(p, column(4)));
        expect_idle(p);
        ASSERT_NO_FATAL_FAILURE(play_whole_game(p));
        c.check(g.dir.path);
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        play(c);
    }
}
