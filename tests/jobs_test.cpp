// SPDX-License-Identifier: MIT
// jobs_test.cpp -- the game as a job of a shell: Ctrl-Z, `fg` and `bg`, and
// a launcher that leaves it no controlling terminal.

#include "game_run.h"
#include "job_shell.h"

// Run with ZELVANE_JOB_SHELL set, this test program is a job-control shell
// (job_shell.h) for the suspend tests: it starts the game named there as its
// job, writes the game's pid to game.pid and ends as the game ended. As a
// shell does, it takes the terminal back in its own modes whenever the game
// stops, and counts the stops in game.stops; SIGUSR1 is its `fg`, SIGUSR2
// its `bg`.
static pid_t shell_job = -1;
static struct termios shell_modes;

static void write_file(const char *name, long value) {
    std::string tmp = std::string(name) + ".new";
    if (FILE *f = fopen(tmp.c_str(), "w")) {
        fprintf(f, "%ld\n", value);
        fclose(f);
        rename(tmp.c_str(), name);
    }
}

__attribute__((constructor)) static void job_shell() {
    const char *game = getenv("ZELVANE_JOB_SHELL");
    if (!game) return;
    tcgetattr(STDIN_FILENO, &shell_modes);
    signal(SIGUSR1, [](int) {
        tcsetpgrp(STDIN_FILENO, shell_job);
        kill(shell_job, SIGCONT);
    });
    signal(SIGUSR2, [](int) { kill(shell_job, SIGCONT); });
    pid_t child = job_start([&] {
        execl(game, game, (char *)nullptr);
        return 127;
    });
    shell_job = child;
    write_file("game.pid", child);
    int st, stops = 0;
    if (child < 0 || !job_wait(child, &st, [&](pid_t) {
            tcsetpgrp(STDIN_FILENO, getpgrp());
            tcsetattr(STDIN_FILENO, TCSADRAIN, &shell_modes);
            write_file("game.stops", ++stops);
        }))
        _exit(1);
    _exit(WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st));
}

// The job shell has seen the game stop n times.
static Sight stops_seen(Game &g, long n) {
    return [&g, n](Screen &) { return g.number("game.stops") == n; };
}

TEST(Game, SuspendRestoresModesAndResumeRepaints) {
    Game g(Settings{}, 80, 30, true);
    pid_t game = g.start_as_job(80, 30);
    PtyRun &p = *g.pty;
    ASSERT_GT(game, 0);
    ASSERT_TRUE(sees(p, well(8, 22, 4)));
    ASSERT_FALSE(cooked(p));
    kill(game, SIGTSTP);
    // Stopped, and the shell has seen it and taken the terminal back: a `fg`
    // before that would be undone by the shell's own handling of the stop.
    ASSERT_TRUE(sees(p, stops_seen(g, 1)));
    EXPECT_TRUE(cooked(p));
    EXPECT_TRUE(sees(p, [](Screen &s) { return s.cursor_visible(); }));

    forget_screen(p.screen);
    kill(p.pid, SIGUSR1); // fg
    ASSERT_TRUE(sees(p, well(8, 22, 4)));
    EXPECT_FALSE(cooked(p));
    EXPECT_FALSE(p.screen.cursor_visible());
    EXPECT_TRUE(press(p, RIGHT, column(5)));
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
    ASSERT_TRUE(press(p, RIGHT, well(8, 22, 5)));
    p.pump(200);
    const std::string board = p.screen.dump();

    ASSERT_TRUE(press(p, "\x1a", stops_seen(g, 1)));
    p.pump(200);
    const size_t drawn = p.screen.bytes().size();
    kill(p.pid, SIGUSR2); // bg
    EXPECT_TRUE(sees(p, stops_seen(g, 2), 1000)) << "not stopped again in the background";
    p.pump(500);
    EXPECT_EQ(p.screen.bytes().size(), drawn) << "drawn in the background";
    EXPECT_EQ(process_state(game), 'T');

    kill(p.pid, SIGUSR1); // fg
    EXPECT_TRUE(sees(p, [&](Screen &s) { return s.dump() == board; }));
    EXPECT_TRUE(press(p, LEFT, column(4)));

    kill(game, SIGSTOP);
    ASSERT_TRUE(sees(p, stops_seen(g, 3)));
    EXPECT_TRUE(cooked(p)) << "the shell's modes";
    kill(p.pid, SIGUSR1); // fg
    ASSERT_TRUE(sees(p, [&](Screen &) { return !cooked(p); }));
    EXPECT_TRUE(press(p, RIGHT, column(5)));
    EXPECT_FALSE(screen_has(p.screen, "^[")) << p.screen.dump();
    kill(game, SIGKILL);
    EXPECT_EQ(p.wait_exit(WAIT), 128 + SIGKILL);
}

// Started by a launcher without a controlling terminal (setsid): there is
// no job control, and every way out gives the terminal back.
TEST(Game, WithoutAControllingTerminalEveryWayOutRestores) {
    struct Case {
        const char *name;
        std::function<void(PtyRun &, pid_t)> end;
        int status; // of setsid -w: the game's, or the number of the signal that ended it
    };
    const Case cases[] = {
        {"the menu's end",
         [](PtyRun &p, pid_t) {
             ASSERT_TRUE(reach_menu(p));
             p.send(DOWN + ENTER);
         },
         0},
        {"SIGTERM", [](PtyRun &, pid_t game) { kill(game, SIGTERM); }, SIGTERM},
        {"Ctrl-C", [](PtyRun &p, pid_t) { p.send("\x03"); }, SIGINT},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Game g({{"height", 7}, {"b_num", 6}}, 80, 30, true);
        g.start(80, 30,
                {"/usr/bin/setsid", "-w", "/bin/sh", "-c",
                 "echo $$ >game.pid && exec '" ZELVANE_EXE "'"});
        PtyRun &p = *g.pty;
        pid_t game = g.wait_pid();
        ASSERT_GT(game, 0);
        ASSERT_TRUE(sees(p, column(4)));
        c.end(p, game);
        EXPECT_EQ(p.wait_exit(WAIT), c.status);
        EXPECT_TRUE(sees(p, [&](Screen &) { return kill(game, 0) != 0; })) << "the game lives on";
        EXPECT_TRUE(cooked(p));
        EXPECT_FALSE(p.screen.alt_screen());
        EXPECT_TRUE(p.screen.cursor_visible());
        if (c.status == 0) {
            EXPECT_EQ(count(p.screen.dump(), "感谢使用"), 1u) << p.screen.dump();
        }
    }
}
