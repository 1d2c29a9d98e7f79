// SPDX-License-Identifier: MIT
// jobs_test.cpp -- the game as a job of a shell: Ctrl-Z, `fg` and `bg`, and
// launchers that leave it no controlling terminal or no shell. (Ctrl-Z and
// `fg` alone are the terminal layer's, tested with the probe in tty_test.)

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "game_run.h"
#include "job_shell.h"

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

// The job shell has seen the game stop n times.
static Sight stops_seen(Game &g, long n) {
    return [&g, n](Screen &) { return g.number("game.stops") == n; };
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
    const std::vector<std::string> setsid = {"/usr/bin/setsid", "-w", "/bin/sh", "-c",
                                             "echo $$ >game.pid && exec '" ZELVANE_EXE "'"};
    struct Case {
        const char *name;
        bool orphan; // the job shell's launcher, not setsid
        std::function<void(PtyRun &, pid_t)> end;
        int status; // as setsid -w gives it: the exit status, or the signal's number
    };
    const Case cases[] = {
        {"the menu's end", false,
         [](PtyRun &p, pid_t) {
             ASSERT_TRUE(reach_menu(p));
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
             EXPECT_TRUE(sees(
                 p, [&](Screen &) { return process_state(game) == 'Z'; }, 5000))
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
        ASSERT_TRUE(sees(p, column(4)));
        p.send(ENTER + LEFT); // a pause writes temp.txt
        ASSERT_TRUE(press(p, RIGHT, column(5)));
        ASSERT_TRUE(press(p, LEFT, column(4)));
        ASSERT_TRUE(g.dir.exists("temp.txt"));
        c.end(p, game);
        int st = p.wait_exit(WAIT);
        if (c.orphan) {
            int s = -1;
            EXPECT_EQ(waitpid(game, &s, 0), game);
            st = WIFEXITED(s) ? WEXITSTATUS(s) : WIFSIGNALED(s) ? WTERMSIG(s) : -1;
        }
        EXPECT_EQ(st, c.status);
        EXPECT_TRUE(sees(p, [&](Screen &) { return kill(game, 0) != 0; })) << "the game lives on";
        EXPECT_TRUE(cooked(p));
        EXPECT_FALSE(p.screen.alt_screen());
        EXPECT_TRUE(p.screen.cursor_visible());
        EXPECT_FALSE(g.dir.exists("temp.txt"));
        if (c.status == 0) {
            EXPECT_EQ(count(p.screen.dump(), "感谢使用"), 1u) << p.screen.dump();
        }
    }
}
