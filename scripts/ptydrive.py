# SPDX-License-Identifier: MIT
# ptydrive.py -- runs a program in a pseudo-terminal for the measuring
# scripts (measure.sh, output.sh): starts it at a size, reads what it draws
# and answers its cursor position queries as a terminal would, sends keys,
# and reads the kernel's figures for it (processor time) or strace's log of
# its system calls.
import fcntl
import os
import pty
import re
import select
import signal
import struct
import sys
import tempfile
import termios
import time

RIGHT, LEFT, UP, DOWN = b"\x1b[C", b"\x1b[D", b"\x1b[A", b"\x1b[B"
SPACE, ENTER = b" ", b"\r"
ASK_POSITION = b"\x1b[6n"

# The sample settings, with quick start: no start-up screens to pass.
SAMPLE = dict(width=12, height=22, b_type=5, b_num=3, max_f=1000, first_speed=800,
              add_speed=10, max_speed=150, debug=0, help_line=1, fask_s=1, s_twi=1,
              b_drop=1, twinkle=25, twi_num=3)


def set_size(fd, cols, rows):
    fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", rows, cols, 0, 0))


def scratch_dir(prefix, settings=None):
    """A scratch directory, with a config.conf of settings when given."""
    d = tempfile.TemporaryDirectory(prefix=prefix)
    if settings:
        with open(os.path.join(d.name, "config.conf"), "w") as f:
            f.writelines("%s=%d\n" % kv for kv in settings.items())
    return d


def traced(argv, log, calls=None):
    """argv under strace, every system call (or those of calls) into log,
    each with its time, signals left out."""
    only = ["-e", "trace=" + calls] if calls else []
    return ["strace", "-qq", "-f", "-ttt", "-e", "signal=none", "-s", "0", "-o", log] + only + argv


class Pty:
    """argv in a pseudo-terminal of cols x rows, in directory cwd."""

    def __init__(self, argv, cwd=None, cols=80, rows=30, env=None, before_exec=None):
        self.cols, self.rows = cols, rows
        self.seen = b""
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            try:
                set_size(0, cols, rows)
                if cwd:
                    os.chdir(cwd)
                os.environ.update(TERM="xterm-256color", LANG="C.UTF-8", LC_ALL="C.UTF-8")
                os.environ.update(env or {})
                if before_exec:
                    before_exec()
                os.execvp(argv[0], argv)
            finally:
                os._exit(127)
        set_size(self.fd, cols, rows)

    def read(self, timeout):
        """Output that arrives within timeout seconds (b"" when none)."""
        r, _, _ = select.select([self.fd], [], [], max(timeout, 0))
        if not r:
            return b""
        try:
            data = os.read(self.fd, 1 << 16)
        except OSError:
            return b""
        if ASK_POSITION in data:
            os.write(self.fd, b"\x1b[1;3R")
        self.seen += data
        return data

    def drain(self, quiet=0.3):
        """Reads until nothing has come for quiet seconds."""
        while self.read(quiet):
            pass

    def pump(self, secs):
        """Reads whatever comes for secs seconds."""
        end = time.monotonic() + secs
        while time.monotonic() < end:
            self.read(end - time.monotonic())

    def wait_for(self, text, timeout=20, who="ptydrive"):
        end = time.monotonic() + timeout
        while text not in self.seen:
            if time.monotonic() > end:
                sys.exit("%s: the program did not show %r" % (who, text))
            self.read(0.1)

    def send(self, keys):
        os.write(self.fd, keys)

    def close(self, group=False):
        """Kills the program (its whole process group, with strace, when
        group) and waits for it."""
        try:
            if group:
                os.killpg(self.pid, signal.SIGKILL)
            else:
                os.kill(self.pid, signal.SIGKILL)
        except OSError:
            pass
        os.waitpid(self.pid, 0)
        os.close(self.fd)


def cpu_ns(pids):
    """Nanoseconds the processes have run (schedstat), None when unknown."""
    try:
        total = 0
        for pid in pids:
            with open("/proc/%d/schedstat" % pid) as f:
                total += int(f.read().split()[0])
        return total
    except (OSError, ValueError, IndexError):
        return None


# One line of strace -f -ttt: pid, time, call, and the result at its end.
CALL = re.compile(rb"^(?:\d+\s+)?(\d+\.\d+)\s+(\w+)\((.*?)(?:\)\s+=\s+(-?\d+|\?)(.*))?$")


def calls(log, since=0.0, until=float("inf")):
    """The system calls in strace's log made from since to until (epoch
    seconds): a list of (name, arguments, result), a call cut by another's
    line counted once, where it began."""
    out = []
    with open(log, "rb") as f:
        for line in f:
            if b"resumed>" in line:
                continue
            m = CALL.match(line.rstrip(b"\n"))
            if not m or not since <= float(m.group(1)) < until:
                continue
            out.append((m.group(2).decode(), m.group(3), m.group(4)))
    return out


WRITES = ("write", "writev", "pwrite64", "pwritev")


def summary(found):
    """Counts of a list from calls(): all, writes, and those that failed."""
    writes = sum(1 for name, _, _ in found if name in WRITES)
    failed = sum(1 for _, _, result in found if result == b"-1")
    return len(found), writes, failed
