// SPDX-License-Identifier: MIT
// wine_test.cpp -- the Windows build under wine: its unit tests, and the
// game played beside the native one.

#include "game_run.h"

// scripts/test.sh cross-builds the game and its Windows tests into
// ZELVANE_WIN_BUILD and makes a wine prefix there. Without wine or that
// build these tests are skipped, saying which is missing. Wine starts
// slowly: everything waits on the screen, with time to spare.

constexpr int WINE_WAIT = 120000;

struct WindowsBuild : testing::Test {
    std::string wine, game = ZELVANE_WIN_BUILD "/zelvane.exe",
                      tests = ZELVANE_WIN_BUILD "/tests/zelvane_tests.exe";
    std::vector<std::string> env{"WINEPREFIX=" ZELVANE_WIN_BUILD "/wineprefix", "WINEDEBUG=-all"};

    void SetUp() override {
        std::istringstream path(getenv("PATH") ? getenv("PATH") : "");
        for (std::string dir; wine.empty() && std::getline(path, dir, ':');)
            if (access((dir + "/wine").c_str(), X_OK) == 0) wine = dir + "/wine";
        if (wine.empty()) GTEST_SKIP() << "wine is not installed (scripts/test.sh installs it)";
        if (access(game.c_str(), R_OK) != 0 || access(tests.c_str(), R_OK) != 0)
            GTEST_SKIP() << "no cross-built Windows build in " ZELVANE_WIN_BUILD
                            " (scripts/test.sh makes it)";
        if (access(ZELVANE_WIN_BUILD "/wineprefix", R_OK) != 0)
            GTEST_SKIP() << "no wine prefix in " ZELVANE_WIN_BUILD " (scripts/test.sh makes it)";
    }
    // The game under wine, in a directory that plant has made ready.
    Launch launch(const std::function<void(Path dir)> &plant = {}) {
        return {.argv = {wine, game}, .env = env, .plant = plant};
    }
};

// The Windows unit tests need a console, so they run in a pseudo-terminal.
TEST_F(WindowsBuild, UnitTestsPassUnderWine) {
    TempDir dir;
    // The console back end's own tests, and the rest on the tests' back end.
    for (std::string exe : {tests, std::string(ZELVANE_WIN_BUILD "/tests/console_tests.exe")}) {
        SCOPED_TRACE(exe);
        PtyRun p({wine, exe, "--gtest_output=xml:results.xml"}, dir.path, 100, 40, env);
        int status = p.wait_exit(5 * WINE_WAIT);
        std::string results = file_text(dir.path + "/results.xml");
        EXPECT_EQ(status, 0) << results << p.screen.dump();
        EXPECT_NE(results.find("failures=\"0\""), std::string::npos) << results;
        std::remove((dir.path + "/results.xml").c_str());
    }
}

// The game under wine and on the terminal, the same keys to both: the same
// screens, colours included.
TEST_F(WindowsBuild, GameUnderWinePlaysAsOnTheTerminal) {
    Game native, win({}, launch());
    auto both = [&](const std::string &keys, const Sight &done, const char *what) {
        native.send(keys);
        win.send(keys);
        ASSERT_TRUE(sees(native, done)) << what;
        ASSERT_TRUE(sees(win, done, WINE_WAIT)) << what;
        win.pump(100);
        EXPECT_EQ(screen_diff(native.screen, win.screen), "") << what << "\n" << win.screen.dump();
    };
    both("", well(8, 22, 4), "start");
    both(RIGHT, column(5), "a move");
    both(UP + DOWN + UP + LEFT + LEFT, column(3), "cycles");
    both(
        SPACE, [](Screen &s) { return screen_has(s, "总Zelvane数：3") && column_at(s, 4); },
        "a drop that scores");
    both(ENTER + LEFT + RIGHT, column(5), "the pause");
    EXPECT_TRUE(win.dir.exists("temp.txt"));

    // Ctrl-C: the console given back, the end of a Windows program
    // stopped by Ctrl-C (STATUS_CONTROL_C_EXIT, of which wine keeps the
    // low byte).
    win.send("\x03");
    EXPECT_EQ(win.wait_exit(WINE_WAIT), 0x3A);
    EXPECT_TRUE(win.screen.cursor_visible());
    EXPECT_TRUE(cooked(win));
}

// A game over, a restart (quick start: nothing else clears the menu away),
// a second game over, and the end.
TEST_F(WindowsBuild, GameOverUnderWineRestartsAndEndsWithStatus0) {
    Game g({{"height", 7}, {"b_num", 6}, {"debug", 1}}, launch());
    ASSERT_TRUE(sees(g, column(4), WINE_WAIT));
    ASSERT_TRUE(reach_menu(g, ENTER + SPACE + SPACE, WINE_WAIT));
    EXPECT_EQ(g.screen.fg(0, 0), 12);
    EXPECT_TRUE(g.dir.exists("data.txt"));
    EXPECT_TRUE(g.dir.exists("temp.txt"));
    ASSERT_TRUE(press(
        g, ENTER, [](Screen &s) { return has_glyph(s, 0, 0, "○") && column_at(s, 4); }, WINE_WAIT));
    // Between the well and the panel, where the menu's second line reached,
    // nothing is left.
    g.pump(300);
    std::string gap;
    for (int y = 0; y < 30; y++)
        gap += g.screen.ch(16, y) + g.screen.ch(17, y);
    EXPECT_EQ(gap, std::string(60, ' ')) << g.screen.dump();
    ASSERT_TRUE(reach_menu(g, SPACE, WINE_WAIT));
    ASSERT_TRUE(press(g, DOWN, "--> 结束", WINE_WAIT));
    expect_farewell(g, WINE_WAIT);
}

// The read-only attribute under wine (a file without write bits shows it):
// data.txt and temp.txt live through a whole game with the debug log on.
TEST_F(WindowsBuild, ReadOnlyFilesAreLeftAloneUnderWine) {
    Game g({{"height", 7}, {"b_num", 6}, {"debug", 1}},
           launch([](Path d) { both_files(d, plant_read_only); }));
    ASSERT_TRUE(sees(g, column(4), WINE_WAIT));
    ASSERT_NO_FATAL_FAILURE(play_whole_game(g, WINE_WAIT));
    both_files(g.dir.path, expect_read_only_kept);
}
