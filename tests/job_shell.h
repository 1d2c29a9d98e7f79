// SPDX-License-Identifier: MIT
// job_shell.h -- a shell's job control in miniature, for the tests of
// Ctrl-Z. A program alone in the session of a pseudo-terminal is an
// orphaned process group, where the kernel ignores Ctrl-Z; as a job of a
// shell it really stops. The shell here starts its job in a process group
// of its own in the foreground and stays in the session while the job is
// stopped.
#pragma once

#include <cerrno>
#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

// Forks the job, which runs job() in the foreground of the terminal and
// ends with its status; returns its pid to the shell (-1 on failure).
template <class Job>
pid_t job_start(Job job) {
    signal(SIGTTOU, SIG_IGN);
    pid_t child = fork();
    if (child == 0) {
        setpgid(0, 0);
        tcsetpgrp(STDIN_FILENO, getpgrp());
        signal(SIGTTOU, SIG_DFL);
        _exit(job());
    }
    if (child > 0) {
        setpgid(child, child);
        tcsetpgrp(STDIN_FILENO, child);
    }
    return child;
}

// Waits for the job to end, calling on_stop(child) whenever it stops;
// *status as waitpid gives it. False when waiting failed.
template <class OnStop>
bool job_wait(pid_t child, int *status, OnStop on_stop) {
    for (;;) {
        pid_t r = waitpid(child, status, WUNTRACED);
        if (r == child && WIFSTOPPED(*status)) {
            on_stop(child);
            continue;
        }
        if (r == child) return true;
        if (r < 0 && errno != EINTR) return false;
    }
}
