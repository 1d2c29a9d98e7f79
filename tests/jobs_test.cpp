// SPDX-License-Identifier: MIT
// jobs_test.cpp -- the game as a job of a shell: Ctrl-Z, `fg` and `bg`, and
// launchers that leave it no controlling terminal or no shell. (Ctrl-Z and
// `fg` alone are the terminal layer's, tested with the probe in tty_test.)

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "game_run.h"

// The job shell (termprobe --shell) has seen the game stop n times.
static Sight stops_seen(Game &g, long n) {
    return [&g, n](Screen &) { return g.number("game.stops") == n; };
}

// Ctrl-Z and `bg`: the game stops again at once and draws nothing; `fg`
// shows it as it was, and it plays on. A SIGSTOP, which the game cannot
// see, leaves the shell's modes on the terminal: `fg` takes raw mode again,
// so that keys act at once and are not echoed.
TEST(Game, BackgroundStopsTheGameAndEveryResumeTakesTheTerminal) {
    Game g({}, {.argv = {TERMPROBE_EXE, "--shell", ZELVANE_EXE}});
    pid_t game = g.wait_pid();
    ASSERT_GT(game, 0);
    ASSERT_TRUE(press(g, RIGHT, well(8, 22, 5)));
    g.pump(200);
    const std::string board = g.screen.dump();

    ASSERT_TRUE(press(g, "\x1a", stops_seen(g, 1)));
    g.pump(200);
    const size_t drawn = g.screen.bytes().size();
    kill(g.pid, SIGUSR2); // bg
    EXPECT_TRUE(sees(g, stops_seen(g, 2), 1000)) << "not stopped again in the background";
    g.pump(500);
    EXPECT_EQ(g.screen.bytes().size(), drawn) << "drawn in the background";
    EXPECT_EQ(process_state(game), 'T');

    kill(g.pid, SIGUSR1); // fg
    EXPECT_TRUE(sees(g, [&](Screen &s) { return s.dump() == board; }));
    EXPECT_TRUE(press(g, LEFT, column(4)));

    kill(game, SIGSTOP);
    ASSERT_TRUE(sees(g, stops_seen(g, 3)));
    EXPECT_TRUE(cooked(g)) << "the shell's modes";
    kill(g.pid, SIGUSR1); // fg
    ASSERT_TRUE(sees(g, [&](Screen &) { return !cooked(g); }));
    EXPECT_TRUE(press(g, RIGHT, column(5)));
    EXPECT_FALSE(screen_has(g.screen, "^[")) << g.screen.dump();
    kill(game, SIGKILL);
    EXPECT_EQ(g.wait_exit(WAIT), 128 + SIGKILL);
}

#ifdef __linux__
// Orphans below this test process come to it (PR_SET_CHILD_SUBREAPER), so
// that it learns how a game ended whose launcher is gone. Its parent is
// then outside the terminal's session: the game's group stays orphaned.
struct Subreaper {
    Subreaper() { prctl(PR_SET_CHILD_SUBREAPER, 1); }
    ~Subreaper() { prctl(PR_SET_CHILD_SUBREAPER, 0); }
};
#else
struct Subreaper {};
#endif

// Started by a launcher that leaves no shell the game could return to:
// one without a controlling terminal (setsid), where there is no job
// control, or one that started the game in the background and ended
// (`bash -c 'game &'`), so that no shell knows the game and its process
// group is orphaned. Every way out gives the terminal back, and the
// scratch file goes.
TEST(Game, LeftByItsLauncherEveryWayOutRestores) {
    const std::vector<std::string> job_launcher = {TERMPROBE_EXE, "--launcher", ZELVANE_EXE},
                                   setsid = {"/usr/bin/setsid", "-w", "/bin/sh", "-c",
                                             "echo $$ >game.pid && exec '" ZELVANE_EXE "'"};
    struct Case {
        const char *name;
        bool orphan; // the job shell's launcher, not setsid
        std::function<void(Game &, pid_t)> end;
        int status; // as setsid -w gives it: the exit status, or the signal's number
    };
    const Case cases[] = {
        {"the menu's end", false,
         [](Game &g, pid_t) {
             ASSERT_TRUE(reach_menu(g));
             g.send(DOWN + ENTER);
         },
         0},
        {"SIGTERM", false, [](Game &, pid_t game) { kill(game, SIGTERM); }, SIGTERM},
        {"Ctrl-C", false, [](Game &g, pid_t) { g.send("\x03"); }, SIGINT},
        // It ends within a few seconds, no key typed, as on a hang-up.
        {"orphaned", true,
         [](Game &g, pid_t game) {
             pid_t launcher = (pid_t)std::stol(stat_fields(game).at(1));
             kill(launcher, SIGTERM);
             EXPECT_TRUE(sees(
                 g, [&](Screen &) { return process_state(game) == 'Z'; }, 5000))
                 << "the game lives on unseen";
             g.kill(SIGTERM); // the shell, which kept the session
         },
         SIGHUP},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Subreaper reaper;
        Game g({{"height", 7}, {"b_num", 6}}, {.argv = c.orphan ? job_launcher : setsid});
        pid_t game = g.wait_pid();
        ASSERT_GT(game, 0);
        ASSERT_TRUE(sees(g, column(4)));
        g.send(ENTER + LEFT); // a pause writes temp.txt
        ASSERT_TRUE(press(g, RIGHT, column(5)));
        ASSERT_TRUE(press(g, LEFT, column(4)));
        ASSERT_TRUE(g.dir.exists("temp.txt"));
        c.end(g, game);
        int st = g.wait_exit(WAIT);
        if (c.orphan) {
            int s = -1;
            EXPECT_EQ(waitpid(game, &s, 0), game);
            st = WIFEXITED(s) ? WEXITSTATUS(s) : WIFSIGNALED(s) ? WTERMSIG(s) : -1;
        }
        EXPECT_EQ(st, c.status);
        EXPECT_TRUE(sees(g, [&](Screen &) { return kill(game, 0) != 0; })) << "the game lives on";
        EXPECT_TRUE(cooked(g));
        EXPECT_FALSE(g.screen.alt_screen());
        EXPECT_TRUE(g.screen.cursor_visible());
        EXPECT_FALSE(g.dir.exists("temp.txt"));
        if (c.status == 0) {
            EXPECT_EQ(count(g.screen.dump(), "感谢使用"), 1u) << g.screen.dump();
        }
    }
}
