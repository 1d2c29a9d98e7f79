#!/usr/bin/env bash
# Measures the game in a pseudo-terminal: the processor time it uses over
# a few seconds of play without keys, and the time from a key (Right arrow)
# to its redraw reaching the terminal.
#
#   scripts/measure.sh [path/to/zelvane] [seconds]
#
# Without a path, builds an optimised game in build-measure first.
set -euo pipefail
cd "$(dirname "$0")/.."

exe=${1:-}
secs=${2:-5}
if [ -z "$exe" ]; then
    cmake -S . -B build-measure -DCMAKE_BUILD_TYPE=Release -DZELVANE_TESTS=OFF >/dev/null
    cmake --build build-measure -j"$(nproc)" --target zelvane >/dev/null
    exe=build-measure/zelvane
fi
exe=$(realpath "$exe")

python3 - "$exe" "$secs" <<'EOF'
import fcntl, os, pty, select, signal, struct, sys, tempfile, termios, time

exe, secs = sys.argv[1], float(sys.argv[2])
tick = os.sysconf("SC_CLK_TCK")

BASE = dict(width=12, height=22, b_type=5, b_num=3, max_f=1000, first_speed=800,
            add_speed=10, max_speed=150, debug=0, help_line=1, fask_s=1, s_twi=1,
            b_drop=1, twinkle=25, twi_num=3)


class Game:
    """The game in a pseudo-terminal of 80 x 30, in a scratch directory."""

    def __init__(self, **over):
        self.dir = tempfile.TemporaryDirectory(prefix="zelvane-measure-")
        conf = dict(BASE, **over)
        with open(os.path.join(self.dir.name, "config.conf"), "w") as f:
            f.writelines("%s=%d\n" % kv for kv in conf.items())
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.chdir(self.dir.name)
            os.environ.update(TERM="xterm-256color", LANG="C.UTF-8", LC_ALL="C.UTF-8")
            os.execv(exe, [exe])
        fcntl.ioctl(self.fd, termios.TIOCSWINSZ, struct.pack("HHHH", 30, 80, 0, 0))
        self.seen = b""

    def read(self, timeout):
        """Output that arrives within timeout seconds ('' when none)."""
        r, _, _ = select.select([self.fd], [], [], timeout)
        if not r:
            return b""
        try:
            data = os.read(self.fd, 65536)
        except OSError:
            return b""
        # Answer a cursor position query as a terminal would.
        if b"\x1b[6n" in data:
            os.write(self.fd, b"\x1b[1;3R")
        self.seen += data
        return data

    def drain(self, quiet=0.3):
        while self.read(quiet):
            pass

    def wait_for(self, text, timeout=20):
        end = time.monotonic() + timeout
        while text.encode() not in self.seen:
            if time.monotonic() > end:
                sys.exit("measure: the game did not show %r" % text)
            self.read(0.1)

    def cpu_seconds(self):
        with open("/proc/%d/stat" % self.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / tick

    def cpu_ns(self):
        """Nanoseconds on a processor, finer than the clock ticks of stat."""
        try:
            with open("/proc/%d/schedstat" % self.pid) as f:
                return int(f.read().split()[0])
        except (OSError, ValueError, IndexError):
            return None

    def close(self):
        os.kill(self.pid, signal.SIGKILL)
        os.waitpid(self.pid, 0)
        os.close(self.fd)
        self.dir.cleanup()


# Processor time over secs seconds of play, the columns falling on their own.
g = Game()
g.wait_for("下一个方块")
g.drain()
cpu0, ns0, t0, seen0 = g.cpu_seconds(), g.cpu_ns(), time.monotonic(), len(g.seen)
end = t0 + secs
while time.monotonic() < end:
    g.read(end - time.monotonic())
cpu1, ns1, t1 = g.cpu_seconds(), g.cpu_ns(), time.monotonic()
g.close()
used = cpu1 - cpu0
if ns0 is not None and ns1 is not None:
    print("processor time without keys (schedstat): %.2f ms over %.1f s" % ((ns1 - ns0) / 1e6, t1 - t0))
print("processor time without keys (stat utime+stime): %.3f s over %.1f s of play (%.2f %% of one core);"
      " %d bytes drawn meanwhile by the falling columns"
      % (used, t1 - t0, 100 * used / (t1 - t0), len(g.seen) - seen0))

# Key to redraw: with no fall step due, the only output after a key is its
# redraw. Right and Left in turn keep the column off the walls.
g = Game(first_speed=1 << 30, max_speed=1 << 30, b_type=1)
g.wait_for("下一个方块")
g.drain()
lat = []
for i in range(40):
    key = b"\x1b[C" if i % 2 == 0 else b"\x1b[D"
    t = time.monotonic()
    os.write(g.fd, key)
    if not g.read(5):
        sys.exit("measure: no redraw after a key")
    lat.append((time.monotonic() - t) * 1000)
    g.drain(0.05)
g.close()
lat.sort()
print("key to redraw (Right/Left arrow, %d keys): median %.2f ms, 90th %.2f ms, max %.2f ms"
      % (len(lat), lat[len(lat) // 2], lat[int(len(lat) * 0.9)], lat[-1]))
EOF
