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

PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$PWD/scripts" python3 - "$exe" "$count" <<'EOF'
import os, sys, time
from ptydrive import LEFT, RIGHT, SAMPLE, SPACE, UP, Pty, calls, scratch_dir, traced

exe, count = sys.argv[1], int(sys.argv[2])
BASE = dict(SAMPLE, s_twi=0)


class Game(Pty):
    """The game under strace in a pseudo-terminal that fits the board."""

    def __init__(self, width, height, speed):
        self.tmp = scratch_dir("zelvane-output-", dict(BASE, width=width, height=height,
                                                       first_speed=speed, max_speed=speed))
        self.log = os.path.join(self.tmp.name, "strace.log")
        Pty.__init__(self, traced([exe], self.log, "write"), self.tmp.name,
                     max(80, 2 * width + 30), max(30, height + 2))
        time.sleep(0.5)
        self.quiet(0.5)

    def quiet(self, t=0.2):
        self.drain(t)

    def writes(self):
        return [int(result) for name, args, result in calls(self.log)
                if name == "write" and args.startswith(b"1,") and result]

    def action(self, key, settle=0.2):
        """Bytes and write calls of one key (None: of the next fall step)."""
        before = len(self.writes())
        if key is None:
            self.read(5)
        else:
            self.send(key)
        self.quiet(settle)
        w = self.writes()[before:]
        return sum(w), len(w)

    def close(self):
        Pty.close(self, group=True)  # strace and the game




def run(width, height):
    figures = {}
    g = Game(width, height, 3600000)  # no fall step among the keys
    figures["move"] = [g.action(RIGHT if i % 2 else LEFT) for i in range(count)]
    figures["cycle"] = [g.action(UP) for i in range(count)]
    drops = []
    for i in range(count):
        # Spread the columns over the well, so that it does not fill up.
        for _ in range(i % 4):
            g.send(LEFT if i % 8 < 4 else RIGHT)
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
