#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Prints what the game writes to its terminal for each kind of action: the
# bytes and the write calls of a move, a cycle, a fall step and a drop,
# with the sample settings (guide line on, no flash) on a 12 x 22 and a
# 100 x 100 board, in a pseudo-terminal, counted by strace.
#
#   scripts/output.sh [path/to/zelvane] [actions of each kind]
#
# Without a path, builds an optimised game in build-measure first.
set -euo pipefail
cd "$(dirname "$0")/.."

command -v strace >/dev/null || { echo "output.sh: needs strace (apt-get install strace)" >&2; exit 1; }
exe=${1:-}
count=${2:-20}
if [ -z "$exe" ]; then
    cmake -S . -B build-measure -DCMAKE_BUILD_TYPE=Release -DZELVANE_TESTS=OFF >/dev/null
    cmake --build build-measure -j"$(nproc)" --target zelvane >/dev/null
    exe=build-measure/zelvane
fi
exe=$(realpath "$exe")

python3 - "$exe" "$count" <<'EOF'
import fcntl, os, pty, re, select, struct, sys, tempfile, termios, time

exe, count = sys.argv[1], int(sys.argv[2])
BASE = dict(width=12, height=22, b_type=5, b_num=3, max_f=1000, first_speed=800,
            add_speed=10, max_speed=150, debug=0, help_line=1, fask_s=1, s_twi=0,
            b_drop=1, twinkle=25, twi_num=3)
WRITE = re.compile(rb"^write\(1, .*\)\s+=\s+(\d+)$")


class Game:
    """The game under strace in a pseudo-terminal that fits the board."""

    def __init__(self, width, height, speed):
        self.tmp = tempfile.TemporaryDirectory(prefix="zelvane-output-")
        self.log = os.path.join(self.tmp.name, "strace.log")
        conf = dict(BASE, width=width, height=height, first_speed=speed, max_speed=speed)
        with open(os.path.join(self.tmp.name, "config.conf"), "w") as f:
            f.writelines("%s=%d\n" % kv for kv in conf.items())
        self.cols, self.rows = max(80, 2 * width + 30), max(30, height + 2)
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.chdir(self.tmp.name)
            os.environ.update(TERM="xterm-256color", LANG="C.UTF-8", LC_ALL="C.UTF-8")
            os.execvp("strace", ["strace", "-qq", "-e", "trace=write", "-e", "signal=none",
                                 "-s", "0", "-o", self.log, exe])
        fcntl.ioctl(self.fd, termios.TIOCSWINSZ, struct.pack("HHHH", self.rows, self.cols, 0, 0))
        time.sleep(0.5)
        self.quiet(0.5)

    def read(self, timeout):
        r, _, _ = select.select([self.fd], [], [], timeout)
        if not r:
            return False
        try:
            data = os.read(self.fd, 1 << 16)
        except OSError:
            return False
        if b"\x1b[6n" in data:
            os.write(self.fd, b"\x1b[1;3R")
        return True

    def quiet(self, t=0.2):
        while self.read(t):
            pass

    def writes(self):
        with open(self.log, "rb") as f:
            return [int(m.group(1)) for m in map(WRITE.match, f.read().splitlines()) if m]

    def action(self, key, settle=0.2):
        """Bytes and write calls of one key (None: of the next fall step)."""
        before = len(self.writes())
        if key is None:
            self.read(5)
        else:
            os.write(self.fd, key)
        self.quiet(settle)
        w = self.writes()[before:]
        return sum(w), len(w)

    def close(self):
        os.close(self.fd)
        os.killpg(self.pid, 9)  # strace and the game
        os.waitpid(self.pid, 0)


LEFT, RIGHT, UP, SPACE = b"\x1b[D", b"\x1b[C", b"\x1b[A", b" "


def run(width, height):
    figures = {}
    g = Game(width, height, 3600000)  # no fall step among the keys
    figures["move"] = [g.action(RIGHT if i % 2 else LEFT) for i in range(count)]
    figures["cycle"] = [g.action(UP) for i in range(count)]
    drops = []
    for i in range(count):
        # Spread the columns over the well, so that it does not fill up.
        for _ in range(i % 4):
            os.write(g.fd, LEFT if i % 8 < 4 else RIGHT)
        g.quiet()
        drops.append(g.action(SPACE))
    figures["drop"] = drops
    g.close()
    g = Game(width, height, 600)
    figures["fall step"] = [g.action(None, 0.1) for i in range(count)]
    g.close()
    print("%d x %d board, terminal %d x %d:" % (width, height, g.cols, g.rows))
    for name in ("move", "cycle", "fall step", "drop"):
        b = [x[0] for x in figures[name]]
        w = [x[1] for x in figures[name]]
        print("  %-9s  bytes mean %6.0f  max %6d   writes mean %.1f  max %d"
              % (name, sum(b) / len(b), max(b), sum(w) / len(w), max(w)))


run(12, 22)
run(100, 100)
EOF
