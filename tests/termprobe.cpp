// SPDX-License-Identifier: MIT
// termprobe.cpp -- a small program on the terminal layer, for the
// pseudo-terminal tests.
//
// It takes the terminal, hides the cursor, sets the title, says
// "ready narrow=N gbk=N pid=P", and then writes "key C" for every key code
// it reads, until 'q' (exit 0), 'a' (abort) or 's' (a segmentation fault);
// 'w' sleeps 3 s first, as a long flash does.
// Every repaint writes "repaint N size CxR".
//
// Options: --job runs the layer in a child process in a process group of
// its own, with this process standing by as a shell would, so that Ctrl-Z
// really stops it (the kernel refuses to stop an orphaned process group,
// and a pseudo-terminal's only session leader is one). --ignore-hup ignores
// SIGHUP from the start, so that a hang-up shows as the end of input.
// --bg-kill is --job whose shell, once the child stops, takes the terminal
// for another program in raw mode, writes "other program", and ends the
// stopped child as `kill %1` does (SIGTERM, then SIGCONT).

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
#include "job_shell.h"
#include "term.h"
#include "term/chars.h"
#include "term/sys.h"

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

// The shell hands the terminal to another program, which takes raw mode,
// and kills the stopped job.
static void kill_in_background(pid_t child) {
    tcsetpgrp(STDIN_FILENO, getpgrp());
    struct termios t;
    tcgetattr(STDIN_FILENO, &t);
    t.c_lflag &= ~(tcflag_t)(ECHO | ICANON);
    tcsetattr(STDIN_FILENO, TCSANOW, &t);
    static const char other[] = "other program\r\n";
    if (write(STDOUT_FILENO, other, sizeof other - 1) < 0) return;
    kill(child, SIGTERM);
    kill(child, SIGCONT);
}

int main(int argc, char **argv) {
    setlocale(LC_ALL, "");
    bool job = false, bg_kill = false;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--job") == 0) job = true;
        if (strcmp(argv[i], "--bg-kill") == 0) job = bg_kill = true;
        if (strcmp(argv[i], "--ignore-hup") == 0) signal(SIGHUP, SIG_IGN);
    }
    if (!job) return play();
    // Stands by while the job plays, as a job-control shell would, and ends
    // as the job ended.
    pid_t child = job_start(play);
    int st;
    if (child < 0 || !job_wait(child, &st, [&](pid_t stopped) {
            if (bg_kill) kill_in_background(stopped);
        }))
        return 1;
    if (WIFSIGNALED(st)) {
        signal(WTERMSIG(st), SIG_DFL);
        raise(WTERMSIG(st));
    }
    return WIFEXITED(st) ? WEXITSTATUS(st) : 1;
}
