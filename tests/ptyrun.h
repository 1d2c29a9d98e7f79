// SPDX-License-Identifier: MIT
// ptyrun.h -- runs a program in a pseudo-terminal, for end-to-end tests.
//
// The program's output goes into a Screen (libvterm); the Screen's answers
// to queries (such as the cursor position report) go back to the program,
// as a real terminal's would. Keys are sent as a terminal sends them.
#pragma once

#include <csignal> // the signals that kill() sends
#include <functional>
#include <string>
#include <vector>

#include <sys/types.h>
#include <termios.h>

#include "emulator.h"

bool screen_has(Screen &s, const std::string &text);

class PtyRun {
  public:
    // Starts argv[0] with argv in directory cwd, in a cols x rows terminal,
    // with TERM=xterm-256color, LANG/LC_ALL=C.UTF-8 and the extra
    // NAME=value entries of env.
    PtyRun(const std::vector<std::string> &argv, const std::string &cwd, int cols = 80,
           int rows = 30, const std::vector<std::string> &env = {});
    ~PtyRun();
    PtyRun(const PtyRun &) = delete;
    PtyRun &operator=(const PtyRun &) = delete;

    void send(const std::string &keys);
    // Reads output until pred(screen) holds or timeout_ms passes.
    bool wait_for(const std::function<bool(Screen &)> &pred, int timeout_ms = 10000);
    // Until text stands somewhere on the screen.
    bool wait_text(const std::string &text, int timeout_ms = 10000) {
        return wait_for([&](Screen &s) { return screen_has(s, text); }, timeout_ms);
    }
    // Reads output for ms milliseconds, or until the program ends.
    void pump(int ms) {
        wait_for([](Screen &) { return false; }, ms);
    }
    // Waits for the program to end: its exit status, 128 + signal when a
    // signal ended it, or -1 on time-out.
    int wait_exit(int timeout_ms = 10000);
    bool running();
    void resize(int cols, int rows);
    void kill(int sig) { ::kill(pid, sig); }
    // The terminal's modes as the program left them.
    struct termios modes();

    Screen screen;
    pid_t pid = -1;
    int master = -1;
    // Whether the screen's answers go back to the program; held, they go
    // with the next output read once this is set again.
    bool answer = true;

  private:
    bool read_some(int timeout_ms);
    int status_ = -1;
};

// The modes a fresh pseudo-terminal starts with.
struct termios fresh_modes();
size_t count(const std::string &hay, const std::string &needle);
// The fields of /proc/PID/stat after the command name, from the state on.
std::vector<std::string> stat_fields(pid_t pid);
// The state letter: 'T' while stopped.
char process_state(pid_t pid);
