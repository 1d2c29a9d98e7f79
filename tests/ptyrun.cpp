// SPDX-License-Identifier: MIT
// ptyrun.cpp -- a program in a pseudo-terminal, seen through libvterm.

#include "ptyrun.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#ifdef __APPLE__
#include <util.h> // openpty, forkpty
#else
#include <pty.h>
#endif
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support.h"

PtyRun::PtyRun(const std::vector<std::string> &argv, const std::string &cwd, int cols, int rows,
               const std::vector<std::string> &env)
    : screen(cols, rows, false) {
    struct winsize ws = {(unsigned short)rows, (unsigned short)cols, 0, 0};
    pid = forkpty(&master, nullptr, nullptr, &ws);
    if (pid == 0) {
        if (chdir(cwd.c_str()) != 0) _exit(126);
        setenv("TERM", "xterm-256color", 1);
        setenv("LANG", "C.UTF-8", 1);
        setenv("LC_ALL", "C.UTF-8", 1);
        for (const auto &e : env)
            putenv(strdup(e.c_str()));
        std::vector<char *> args;
        for (const auto &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
}

PtyRun::~PtyRun() {
    if (running()) {
        ::kill(pid, SIGKILL);
        wait_exit(5000);
    }
    if (master >= 0) close(master);
}

void PtyRun::send(const std::string &keys) {
    for (size_t off = 0; off < keys.size();) {
        ssize_t n = write(master, keys.data() + off, keys.size() - off);
        if (n > 0)
            off += (size_t)n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
        else
            pump(5); // the program has yet to read what came before
    }
}

// Reads what is there (waiting up to timeout_ms for the first byte) into the
// screen, and answers the screen's replies. False when nothing came.
bool PtyRun::read_some(int timeout_ms) {
    struct pollfd p = {master, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) return false;
    char buf[8192];
    bool got = false;
    for (;;) {
        ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;
        screen.feed(buf, (size_t)n);
        got = true;
    }
    if (answer) send(screen.take_replies());
    return got;
}

bool PtyRun::wait_for(const std::function<bool(Screen &)> &pred, int timeout_ms) {
    using namespace std::chrono;
    const auto end = steady_clock::now() + milliseconds(timeout_ms);
    for (;;) {
        if (pred(screen)) return true;
        long long left = duration_cast<milliseconds>(end - steady_clock::now()).count();
        if (left <= 0) return false;
        if (!read_some((int)(left < 50 ? left : 50)) && !running()) {
            read_some(0);
            return pred(screen);
        }
    }
}

struct termios fresh_modes() {
    int m, s;
    struct termios t = {};
    if (openpty(&m, &s, nullptr, nullptr, nullptr) == 0) {
        tcgetattr(s, &t);
        close(s);
        close(m);
    }
    return t;
}

bool screen_has(Screen &s, const std::string &text) {
    for (int r = 0; r < s.rows(); r++)
        if (s.line(r).find(text) != std::string::npos) return true;
    return false;
}

size_t count(const std::string &hay, const std::string &needle) {
    size_t n = 0;
    for (size_t at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + 1))
        n++;
    return n;
}

std::vector<std::string> stat_fields(pid_t pid) {
    std::string stat = file_text("/proc/" + std::to_string(pid) + "/stat");
    std::vector<std::string> fields;
    size_t paren = stat.rfind(')');
    if (paren == std::string::npos) return fields;
    std::istringstream rest(stat.substr(paren + 1));
    for (std::string field; rest >> field;)
        fields.push_back(field);
    return fields;
}

char process_state(pid_t pid) {
    std::vector<std::string> f = stat_fields(pid);
    if (!f.empty()) return f[0][0];
    // Without /proc (macOS, the BSDs), ps says it in the same letters.
    std::string cmd = "ps -o stat= -p " + std::to_string(pid) + " 2>/dev/null";
    FILE *ps = popen(cmd.c_str(), "r");
    if (!ps) return '?';
    int c = fgetc(ps);
    pclose(ps);
    return c == EOF ? '?' : (char)c;
}

bool PtyRun::running() {
    if (status_ != -1 || pid <= 0) return false;
    int st;
    if (waitpid(pid, &st, WNOHANG) != pid) return true;
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return false;
}

int PtyRun::wait_exit(int timeout_ms) {
    bool ended = wait_for([&](Screen &) { return !running(); }, timeout_ms);
    read_some(0);
    return ended ? status_ : -1;
}

void PtyRun::resize(int cols, int rows) {
    struct winsize ws = {(unsigned short)rows, (unsigned short)cols, 0, 0};
    screen.resize(cols, rows);
    ioctl(master, TIOCSWINSZ, &ws);
}

struct termios PtyRun::modes() {
    struct termios t = {};
    tcgetattr(master, &t);
    return t;
}
