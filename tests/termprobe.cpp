// SPDX-License-Identifier: MIT
// termprobe.cpp -- a small program on the terminal layer, and a shell's job
// control in miniature, for the pseudo-terminal tests.
//
// The probe takes the terminal, hides the cursor, sets the title, says
// "ready narrow=N gbk=N pid=P", and then writes "key C" for every key code
// it reads, until 'q' (exit 0), 'a' (abort) or 's' (a segmentation fault);
// 'w' sleeps 3 s first, as a long flash does. Every repaint writes
// "repaint N size CxR". --ignore-hup ignores SIGHUP from the start, so that
// a hang-up shows as the end of input.
//
// A program alone in a pseudo-terminal's session is an orphaned process
// group, where the kernel ignores Ctrl-Z. With the other options this is a
// shell instead: it starts a job in a process group of its own in the
// foreground, stands by while the job is stopped, and ends as the job ended.
//   --job: the job is the probe.
//   --bg-kill: as --job; once the job stops, another program takes the
//     terminal in raw mode and writes "other program", and the shell ends
//     the job as `kill %1` does (SIGTERM, then SIGCONT).
//   --shell GAME: the job is GAME, its pid in game.pid; whenever it stops,
//     the shell takes the terminal back in its own modes and counts the
//     stops in game.stops. SIGUSR1 is its `fg`, SIGUSR2 its `bg`.
//   --launcher GAME: as --shell, but the job starts GAME in its own process
//     group, as `bash -c 'game &'` does, and waits for SIGTERM, which leaves
//     the game's group orphaned; the shell then stands by until it is ended.

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "help_fun_1.h"
#include "term.h"
#include "term/chars.h"
#include "term/sys.h"

// ---- The probe -------------------------------------------------------------

static int repaints = 0;

static void repaint() {
    int c, r;
    term_size(&c, &r);
    term_printf("repaint %d size %dx%d\n", ++repaints, c, r);
}

static int play() {
    if (term_open() != 0) {
        fprintf(stderr, "termprobe: %s\n", term_error());
        return 2;
    }
    term_on_repaint(repaint);
    console();
    set_cursor(0);
    term_printf("ready narrow=%d gbk=%d pid=%d\n", chars_narrow(), sys_gbk(), (int)getpid());
    for (;;) {
        int c = term_getch();
        term_printf("key %d\n", c);
        if (c == 'q') break;
        if (c == 'a') abort();
        if (c == 's') raise(SIGSEGV);
        if (c == 'w') term_sleep(3000);
    }
    term_close();
    return 0;
}

// ---- The shell -------------------------------------------------------------

static pid_t job = -1;

// name holds value once it is whole, for the tests to read.
static void write_number(const char *name, long value) {
    if (FILE *f = fopen("number.new", "w")) {
        fprintf(f, "%ld\n", value);
        fclose(f);
        rename("number.new", name);
    }
}

static void exec_game(const char *game) {
    execl(game, game, (char *)nullptr);
    _exit(127);
}

// The launcher's job: the game beside it, then nothing until it is ended.
static int launch(const char *game) {
    pid_t child = fork();
    if (child == 0) exec_game(game);
    write_number("game.pid", child);
    for (;;)
        pause();
}

// The terminal back to the shell, in modes, as when its job stops.
static void take_terminal(const struct termios &modes) {
    tcsetpgrp(STDIN_FILENO, getpgrp());
    tcsetattr(STDIN_FILENO, TCSADRAIN, &modes);
}

int main(int argc, char **argv) {
    setlocale(LC_ALL, "");
    const char *opt = argc > 1 ? argv[1] : "", *game = argc > 2 ? argv[2] : nullptr;
    bool bg_kill = strcmp(opt, "--bg-kill") == 0, launcher = strcmp(opt, "--launcher") == 0;
    if (strcmp(opt, "--ignore-hup") == 0) signal(SIGHUP, SIG_IGN);
    if (!bg_kill && !game && strcmp(opt, "--job") != 0) return play();

    struct termios shell_modes;
    tcgetattr(STDIN_FILENO, &shell_modes);
    signal(SIGTTOU, SIG_IGN);
    signal(SIGUSR1, [](int) { // fg
        tcsetpgrp(STDIN_FILENO, job);
        kill(job, SIGCONT);
    });
    signal(SIGUSR2, [](int) { kill(job, SIGCONT); }); // bg
    job = fork();
    if (job == 0) {
        setpgid(0, 0);
        tcsetpgrp(STDIN_FILENO, getpgrp());
        signal(SIGTTOU, SIG_DFL);
        if (launcher) _exit(launch(game));
        if (game) exec_game(game);
        _exit(play());
    }
    if (job < 0) return 1;
    setpgid(job, job);
    tcsetpgrp(STDIN_FILENO, job);
    if (game && !launcher) write_number("game.pid", job);

    int st, stops = 0;
    for (;;) {
        pid_t r = waitpid(job, &st, WUNTRACED);
        if (r < 0 && errno != EINTR) return 1;
        if (r != job) continue;
        if (!WIFSTOPPED(st)) break;
        if (bg_kill) {
            // Another program takes the terminal in raw mode, and `kill %1`.
            struct termios raw = shell_modes;
            raw.c_lflag &= ~(tcflag_t)(ECHO | ICANON);
            take_terminal(raw);
            static const char other[] = "other program\r\n";
            if (write(STDOUT_FILENO, other, sizeof other - 1) < 0) return 1;
            kill(job, SIGTERM);
            kill(job, SIGCONT);
        } else if (game) {
            take_terminal(shell_modes);
            write_number("game.stops", ++stops);
        }
    }
    if (launcher) {
        // The terminal back, in the modes the game left (as bash keeps
        // them after a job that exited): the game is on its own now, and
        // the session stays until the test ends it.
        tcsetpgrp(STDIN_FILENO, getpgrp());
        for (;;)
            pause();
    }
    if (WIFSIGNALED(st)) {
        signal(WTERMSIG(st), SIG_DFL);
        raise(WTERMSIG(st));
    }
    return WIFEXITED(st) ? WEXITSTATUS(st) : 1;
}
