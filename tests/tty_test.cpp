// SPDX-License-Identifier: MIT
// tty_test.cpp -- the terminal layer in a real pseudo-terminal: raw mode,
// its restoration on every way out, suspend and resize, the width probe
// and the end of input. The program under test is tests/termprobe.cpp.

#include <gtest/gtest.h>

#include <cstdio>

#include <unistd.h>

#include "ptyrun.h"

namespace {

const std::string probe = TERMPROBE_EXE;

// The title saved and given back.
const std::string TITLE_PUSH = "\x1b[22;0t", TITLE_POP = "\x1b[23;0t";

// Every title the program saved it has given back.
bool titles_balanced(Screen &s) {
    return count(s.bytes(), TITLE_PUSH) == count(s.bytes(), TITLE_POP);
}

bool is_raw(const struct termios &t) {
    return !(t.c_lflag & (ECHO | ICANON)) && (t.c_lflag & ISIG) && !(t.c_iflag & ICRNL) &&
           (t.c_oflag & OPOST);
}

// The modes are those of a fresh pseudo-terminal: what the program found.
void expect_modes_as_found(PtyRun &run) {
    struct termios was = fresh_modes(), is = run.modes();
    EXPECT_EQ(is.c_iflag, was.c_iflag);
    EXPECT_EQ(is.c_oflag, was.c_oflag);
    EXPECT_EQ(is.c_lflag, was.c_lflag);
    EXPECT_EQ(is.c_cflag, was.c_cflag);
    for (int i : {VMIN, VTIME, VINTR, VSUSP, VEOF})
        EXPECT_EQ(is.c_cc[i], was.c_cc[i]) << "c_cc " << i;
}

// The screen's line that starts with prefix, or "".
std::string line_with(Screen &s, const std::string &prefix) {
    for (int r = 0; r < s.rows(); r++)
        if (s.line(r).rfind(prefix, 0) == 0) return s.line(r);
    return "";
}

// Key codes the program reported, in order (from all it wrote, since the
// screen it wrote them on is gone once it ends).
std::vector<int> keys_seen(Screen &s) {
    std::vector<int> out;
    const std::string &b = s.bytes();
    for (size_t at = b.find("key "); at != std::string::npos; at = b.find("key ", at + 1)) {
        int c;
        if (sscanf(b.c_str() + at, "key %d", &c) == 1) out.push_back(c);
    }
    return out;
}

// Waits until process pid has stopped: a SIGCONT sent while it is still on
// its way to the stop is spent before the stop, which then lasts.
bool stopped(PtyRun &run, pid_t pid) {
    return run.wait_for([pid](Screen &) { return process_state(pid) == 'T'; });
}

// 'q' ends the program with status 0; the key codes it reported.
std::vector<int> quit(PtyRun &run) {
    run.send("q");
    EXPECT_EQ(run.wait_exit(), 0);
    return keys_seen(run.screen);
}

// Waits until the program is ready, the terminal taken; *pid, when asked
// for, is the pid it reported then.
void start(PtyRun &run, int *pid = nullptr) {
    ASSERT_TRUE(run.wait_text("ready")) << run.screen.dump();
    ASSERT_TRUE(is_raw(run.modes()));
    EXPECT_FALSE(run.screen.cursor_visible());
    EXPECT_TRUE(run.screen.alt_screen());
    EXPECT_EQ(run.screen.title(), "Zelvane");
    if (!pid) return;
    sscanf(line_with(run.screen, "ready").c_str(), "ready narrow=%*d gbk=%*d pid=%d", pid);
    ASSERT_GT(*pid, 0);
}

} // namespace

// ---- Every way out restores the terminal -----------------------------------

struct WayOut {
    const char *name;
    std::function<void(PtyRun &)> act;
    int status; // -1: any non-zero status
};

void PrintTo(const WayOut &w, std::ostream *os) {
    *os << w.name;
}

WayOut signalled(const char *name, int sig) {
    return WayOut{name, [sig](PtyRun &r) { r.kill(sig); }, 128 + sig};
}

class RestoredOnExit : public ::testing::TestWithParam<WayOut> {};

TEST_P(RestoredOnExit, ModesCursorAndTitle) {
    PtyRun run({probe}, ".");
    start(run);
    GetParam().act(run);
    int st = run.wait_exit();
    if (GetParam().status >= 0)
        EXPECT_EQ(st, GetParam().status);
    else
        EXPECT_GT(st, 0);
    expect_modes_as_found(run);
    EXPECT_TRUE(run.screen.cursor_visible());
    EXPECT_FALSE(run.screen.alt_screen());
    const std::string &b = run.screen.bytes();
    size_t push = b.find(TITLE_PUSH), title = b.find("\x1b]2;Zelvane"), pop = b.rfind(TITLE_POP);
    ASSERT_NE(pop, std::string::npos);
    EXPECT_LT(push, title);
    EXPECT_LT(title, pop);
    EXPECT_TRUE(titles_balanced(run.screen));
}

INSTANTIATE_TEST_SUITE_P(
    Tty, RestoredOnExit,
    ::testing::Values(WayOut{"quit", [](PtyRun &r) { r.send("q"); }, 0},
                      WayOut{"ctrl_c", [](PtyRun &r) { r.send("\x03"); }, 128 + SIGINT},
                      WayOut{"abort", [](PtyRun &r) { r.send("a"); }, 128 + SIGABRT},
                      WayOut{"segfault", [](PtyRun &r) { r.send("s"); }, -1},
                      // Every signal whose default action ends a process.
                      signalled("sigterm", SIGTERM), signalled("sighup", SIGHUP),
                      signalled("sigquit", SIGQUIT), signalled("sigalrm", SIGALRM),
                      signalled("sigusr1", SIGUSR1), signalled("sigusr2", SIGUSR2),
                      signalled("sigvtalrm", SIGVTALRM), signalled("sigprof", SIGPROF),
                      signalled("sigxcpu", SIGXCPU), signalled("sigpipe", SIGPIPE),
                      signalled("sigtrap", SIGTRAP), signalled("sigsys", SIGSYS),
                      signalled("sigrtmin", SIGRTMIN)),
    [](const ::testing::TestParamInfo<WayOut> &p) { return std::string(p.param.name); });

// ---- Suspend, resume and resize --------------------------------------------

TEST(Tty, CtrlZRestoresAndResumeTakesTheTerminalAgain) {
    PtyRun run({probe, "--job"}, ".");
    int pid = 0;
    ASSERT_NO_FATAL_FAILURE(start(run, &pid));

    kill(pid, SIGTSTP);
    ASSERT_TRUE(run.wait_for([&](Screen &s) {
        return s.cursor_visible() && !is_raw(run.modes()) && titles_balanced(s);
    }));
    expect_modes_as_found(run);

    ASSERT_TRUE(stopped(run, pid));
    kill(pid, SIGCONT);
    ASSERT_TRUE(run.wait_text("repaint 1")) << run.screen.dump();
    EXPECT_TRUE(is_raw(run.modes()));
    EXPECT_FALSE(run.screen.cursor_visible());
    EXPECT_EQ(run.screen.title(), "Zelvane");

    run.send("\x1b[D");
    ASSERT_TRUE(run.wait_text("key 75"));
    EXPECT_EQ(quit(run), (std::vector<int>{224, 75, 'q'}));
    expect_modes_as_found(run);
}

// `kill %1` on the stopped program, while another program holds the
// terminal in raw mode: that program's modes and screen stay as they are.
TEST(Tty, KilledInTheBackgroundLeavesTheForegroundAlone) {
    PtyRun run({probe, "--bg-kill"}, ".");
    int pid = 0;
    ASSERT_NO_FATAL_FAILURE(start(run, &pid));
    kill(pid, SIGTSTP);
    EXPECT_EQ(run.wait_exit(), 128 + SIGTERM);
    const std::string &b = run.screen.bytes();
    size_t other = b.find("other program");
    ASSERT_NE(other, std::string::npos);
    EXPECT_EQ(b.find('\x1b', other), std::string::npos) << "the killed program wrote escapes";
    EXPECT_FALSE(run.modes().c_lflag & (ECHO | ICANON)) << "the foreground's modes were reset";
}

// fg in the middle of a long sleep (a flash, say): raw mode comes back at
// once, so that keys typed then are not echoed.
TEST(Tty, ResumeDuringASleepEchoesNothing) {
    PtyRun run({probe, "--job"}, ".");
    int pid = 0;
    ASSERT_NO_FATAL_FAILURE(start(run, &pid));
    run.send("w");
    ASSERT_TRUE(run.wait_text("key 119"));
    kill(pid, SIGTSTP);
    ASSERT_TRUE(run.wait_for([](Screen &s) { return s.cursor_visible(); }));
    ASSERT_TRUE(stopped(run, pid));
    kill(pid, SIGCONT);
    ASSERT_TRUE(
        run.wait_for([&](Screen &s) { return !s.cursor_visible() && is_raw(run.modes()); }));
    run.send("xyz");
    ASSERT_TRUE(run.wait_text("key 122")) << run.screen.dump();
    EXPECT_FALSE(screen_has(run.screen, "xyz")) << "echoed:\n" << run.screen.dump();
    quit(run);
}

// Where no shell can resume it (an orphaned process group) the stop is
// refused: the program must not stay in the shell's modes.
TEST(Tty, RefusedStopLeavesRawMode) {
    PtyRun run({probe}, ".");
    start(run);
    run.kill(SIGTSTP);
    ASSERT_TRUE(run.wait_text("repaint 1")) << run.screen.dump();
    EXPECT_TRUE(is_raw(run.modes()));
    EXPECT_FALSE(run.screen.cursor_visible());
    run.send(" q");
    EXPECT_EQ(run.wait_exit(), 0);
    EXPECT_EQ(keys_seen(run.screen), (std::vector<int>{32, 'q'}));
}

TEST(Tty, ResizeRepaintsWithTheNewSize) {
    PtyRun run({probe}, ".", 80, 30);
    start(run);
    run.resize(100, 40);
    ASSERT_TRUE(run.wait_text("repaint 1 size 100x40")) << run.screen.dump();
    run.resize(60, 20);
    ASSERT_TRUE(run.wait_text("repaint 2 size 60x20")) << run.screen.dump();
    quit(run);
}

// ---- The width probe -------------------------------------------------------

TEST(Tty, ProbeAnsweredNarrowLeavesNoTrace) {
    PtyRun run({probe}, ".");
    start(run);
    EXPECT_EQ(line_with(run.screen, "ready").rfind("ready narrow=1 gbk=0", 0), 0u);
    EXPECT_FALSE(screen_has(run.screen, "○"));
    EXPECT_EQ(quit(run), std::vector<int>{'q'});
}

// A terminal that shows the glyph two columns wide; a key typed while the
// answer is on its way is kept, and the late answers of the screen are no
// keys.
TEST(Tty, ProbeAnsweredWideKeepsKeysTypedMeanwhile) {
    PtyRun run({probe}, ".");
    run.answer = false; // the test answers the question, and the screen late
    ASSERT_TRUE(run.wait_for([](Screen &s) {
        return s.bytes().find("\x1b[6n\xe2\x97\x8b\x1b[6n") != std::string::npos;
    }));
    run.answer = true;
    run.send("\x1b[5;10R"
             "x"
             "\x1b[5;12R");
    ASSERT_TRUE(run.wait_text("ready")) << run.screen.dump();
    EXPECT_EQ(line_with(run.screen, "ready").rfind("ready narrow=0", 0), 0u);
    ASSERT_TRUE(run.wait_text("key 120"));
    EXPECT_EQ(quit(run), (std::vector<int>{'x', 'q'}));
}

TEST(Tty, ProbeUnansweredMeansNarrow) {
    PtyRun run({probe}, ".");
    usleep(1500 * 1000); // the question waits unread: no answer in time
    start(run);
    EXPECT_EQ(line_with(run.screen, "ready").rfind("ready narrow=1", 0), 0u);
    run.send("\x1b[B");
    ASSERT_TRUE(run.wait_text("key 80"));
    EXPECT_EQ(quit(run), (std::vector<int>{224, 80, 'q'}));
}

// ---- The end of input ------------------------------------------------------

// Where SIGHUP is ignored, read gives the end of input, and the program
// ends with status 1.
TEST(Tty, HangUpEndsTheProgram) {
    const std::pair<std::vector<std::string>, int> ways[] = {{{probe}, 128 + SIGHUP},
                                                             {{probe, "--ignore-hup"}, 1}};
    for (const auto &[argv, status] : ways) {
        SCOPED_TRACE(argv.back());
        PtyRun run(argv, ".");
        start(run);
        close(run.master);
        run.master = -1;
        EXPECT_EQ(run.wait_exit(), status);
    }
}
