#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Measures the game in a pseudo-terminal: the processor time it uses over
# a few seconds of play without keys, and the time from a key (Right arrow)
# to its redraw reaching the terminal; natively also its system calls,
# writes and processor time idle and per key, beside two falling-block
# games of Debian's (bastet, vitetris: apt-get install them) over a few
# alternated runs; under wine the calls into kernel32 (the console's, the
# clock's and the waits) that the game makes for a move, a drop and a
# second without keys, by kind (wine's relay trace, counted).
#
#   scripts/measure.sh [path/to/zelvane] [seconds] [runs]
#   scripts/measure.sh --wine [path/to/zelvane.exe] [seconds]
#
# Without a path, builds an optimised game in build-measure first (with
# --wine, the Windows game in build-measure-win, run under wine with a
# prefix of its own there; the processor time then counts the game, its
# console and the wine server together).
set -euo pipefail
cd "$(dirname "$0")/.."

wine=
if [ "${1:-}" = --wine ]; then
    wine=$(command -v wine)
    shift
    exe=${1:-}
    if [ -z "$exe" ]; then
        cmake -S . -B build-measure-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
            -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELVANE_TESTS=OFF >/dev/null
        cmake --build build-measure-win -j"$(nproc)" --target zelvane >/dev/null
        exe=build-measure-win/zelvane.exe
    fi
    export WINEPREFIX=$PWD/build-measure-win/wineprefix WINEDEBUG=-all
    mkdir -p build-measure-win
    [ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
    # The relay trace of this prefix: kernel32's functions only.
    wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ \
        /d 'kernel32.*;kernelbase.*' /f >/dev/null 2>&1
fi
exe=${1:-}
secs=${2:-5}
runs=${3:-3}
if [ -n "$wine" ]; then
    exe=${exe:-build-measure-win/zelvane.exe}
elif [ -z "$exe" ]; then
    cmake -S . -B build-measure -DCMAKE_BUILD_TYPE=Release -DZELVANE_TESTS=OFF >/dev/null
    cmake --build build-measure -j"$(nproc)" --target zelvane >/dev/null
    exe=build-measure/zelvane
fi
exe=$(realpath "$exe")

PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$PWD/scripts" python3 - "$exe" "$secs" "$wine" "$runs" <<'EOF'
import os, signal, struct, sys, tempfile, time
from ptydrive import LEFT, RIGHT, SAMPLE, Pty, calls, cpu_ns, scratch_dir, summary, traced

exe, secs, wine, runs = sys.argv[1], float(sys.argv[2]), sys.argv[3], int(sys.argv[4])
argv = [wine, exe] if wine else [exe]
patience = 120 if wine else 20
tick = os.sysconf("SC_CLK_TCK")

BASE = dict(SAMPLE, s_twi=1)


class Game(Pty):
    """The game in a pseudo-terminal of 80 x 30, in a scratch directory."""

    def __init__(self, trace=None, **over):
        self.dir = scratch_dir("zelvane-measure-", dict(BASE, **over))

        def before_exec():
            if trace:
                # Each call into kernel32 leaves a line, with its process.
                os.environ["WINEDEBUG"] = "+pid,+relay"
                os.dup2(os.open(trace, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644), 2)

        # The size before the game starts: wine's console takes it once.
        Pty.__init__(self, argv, self.dir.name, 80, 30, before_exec=before_exec)

    def wait_for(self, text, timeout=patience):
        Pty.wait_for(self, text.encode(), timeout, "measure")

    def pids(self):
        """The game; under wine also its descendants (the console) and the
        wine server."""
        if not wine:
            return [self.pid]
        parent, found = {}, [self.pid]
        for p in os.listdir("/proc"):
            if not p.isdigit():
                continue
            try:
                with open("/proc/%s/stat" % p) as f:
                    parent[int(p)] = int(f.read().rsplit(")", 1)[1].split()[1])
                if os.path.basename(os.readlink("/proc/%s/exe" % p)).startswith("wineserver"):
                    found.append(int(p))
            except (OSError, ValueError, IndexError):
                pass
        grew = True
        while grew:
            grew = False
            for p, pp in parent.items():
                if pp in found and p not in found:
                    found.append(p)
                    grew = True
        return found

    def cpu_seconds(self):
        total = 0
        for pid in self.pids():
            try:
                with open("/proc/%d/stat" % pid) as f:
                    fields = f.read().rsplit(")", 1)[1].split()
                total += int(fields[11]) + int(fields[12])
            except (OSError, IndexError):
                pass
        return total / tick

    def cpu_ns(self):
        """Nanoseconds on a processor, finer than the clock ticks of stat."""
        return cpu_ns(self.pids())

    def close(self):
        Pty.close(self)
        self.dir.cleanup()


# Processor time over secs seconds of play, the columns falling on their own.
g = Game()
g.wait_for("块")  # of the panel; under wine each wide character comes alone
g.drain()
cpu0, ns0, t0, seen0 = g.cpu_seconds(), g.cpu_ns(), time.monotonic(), len(g.seen)
g.pump(secs)
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
g.wait_for("块")  # of the panel; under wine each wide character comes alone
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

# Side by side with two falling-block games of Debian's, run as black boxes
# (bastet and vitetris, when installed), natively, in a 100 x 40 terminal:
# system calls (and those that failed), writes and processor time over secs
# seconds with no key, then per key at one key every 100 ms (Right and Left
# in turn), over alternated runs. System calls are strace's count, in a run
# of their own; processor time comes from a run without strace.
def zelvane_start(p):
    p.wait_for(b"\xe5\x9d\x97", patience, "measure")  # of the panel


def keys_start(first, then):
    def start(p):
        p.wait_for(first, patience, "measure")
        for key in then:
            p.pump(0.5)
            p.send(key)
    return start


PEERS = [("Zelvane", [exe], zelvane_start)]
for name, path, first, then in (("bastet", "/usr/games/bastet", b"Play!", [b"\r"]),
                                ("vitetris", "/usr/games/vitetris", b"1-Player", [b"\r"] * 3)):
    if os.access(path, os.X_OK):
        PEERS.append((name, [path], keys_start(first, then)))


def one_run(program, start, strace):
    """Figures of one run: idle (secs without keys), then keys (one every
    100 ms for secs): system calls, writes and failed calls from strace's
    log, or processor time."""
    tmp = scratch_dir("zelvane-peers-", SAMPLE)
    log = os.path.join(tmp.name, "strace.log")
    p = Pty(traced(program, log) if strace else program, tmp.name, 100, 40, env={"HOME": tmp.name})
    start(p)
    p.pump(1.0)
    figures = {}
    t0, ns0 = time.time(), cpu_ns([p.pid])
    p.pump(secs)
    t1, ns1 = time.time(), cpu_ns([p.pid])
    keys = 0
    while time.time() < t1 + secs:
        p.send(RIGHT if keys % 2 == 0 else LEFT)
        keys += 1
        p.pump(0.1)
    t2, ns2 = time.time(), cpu_ns([p.pid])
    p.close(group=True)
    if strace:
        figures["idle"] = summary(calls(log, t0, t1))
        figures["keys"] = [x / keys for x in summary(calls(log, t1, t2))]
    else:
        figures["idle"] = ((ns1 - ns0) / 1e6,)
        figures["keys"] = ((ns2 - ns1) / 1e6 / keys,)
    tmp.cleanup()
    return figures


if not wine:
    rows = [("idle %g s: system calls" % secs, "idle", 0), ("  of them failed", "idle", 2),
            ("  writes", "idle", 1), ("  processor time, ms", "idle", 3),
            ("per key: system calls", "keys", 0), ("  of them failed", "keys", 2),
            ("  writes", "keys", 1), ("  processor time, ms", "keys", 3)]
    seen = {name: {r[1:]: [] for r in rows} for name, _, _ in PEERS}
    for run in range(runs):
        for name, program, start in PEERS:
            for strace in (True, False):
                f = one_run(program, start, strace)
                for label, phase, i in rows:
                    if strace == (i < 3):
                        seen[name][phase, i].append(f[phase][i if strace else 0])

    def cell(values):
        values = sorted(values)
        return "%.4g / %.4g" % (values[0], values[len(values) // 2])

    print("side by side, 100 x 40 terminal, min / median of %d alternated runs:" % runs)
    print("  %-26s" % "" + "".join("%18s" % name for name, _, _ in PEERS))
    for label, phase, i in rows:
        print("  %-26s" % label +
              "".join("%18s" % cell(seen[name][phase, i]) for name, _, _ in PEERS))

# Calls per action, under wine: the calls into kernel32 that the game's own
# code makes (those that return into the executable, in the game's
# process), by kind, after each key, and per second without keys with the
# columns falling. A size query (GetConsoleScreenBufferInfo) should come
# only after a resize, and the clock (QueryPerformanceCounter) a few times.
if wine:
    import collections, re
    with open(exe, "rb") as f:
        pe = f.read(4096)
    opt = struct.unpack_from("<I", pe, 0x3C)[0] + 24  # the PE32+ optional header
    base = struct.unpack_from("<Q", pe, opt + 24)[0]
    image = range(base, base + struct.unpack_from("<I", pe, opt + 56)[0])
    call = re.compile(rb"^([0-9a-f]+):[0-9a-f]+:Call KERNEL(?:32|BASE)\.(\w+)\(.*\) ret=([0-9a-f]+)$",
                      re.M)
    log = os.path.join(tempfile.gettempdir(), "zelvane-measure-trace-%d.log" % os.getpid())

    def kernel32_calls():
        with open(log, "rb") as f:
            found = call.findall(f.read())
        # The game's process: the one that sized its screen buffer.
        game = next((p for p, name, _ in found if name == b"SetConsoleScreenBufferSize"), None)
        return collections.Counter(name.decode() for p, name, ret in found
                                   if p == game and int(ret, 16) in image)

    def show(what, counts, n):
        total = collections.Counter()
        for c in counts:
            total += c
        kinds = ", ".join("%s %.1f" % (k, v / n) for k, v in total.most_common())
        print("kernel32 calls per %s (%d): %.1f (%s)" % (what, n, sum(total.values()) / n, kinds))

    g = Game(trace=log, first_speed=1 << 30, max_speed=1 << 30)
    g.wait_for("块")
    g.drain(1.0)
    per = {"move": [], "drop": []}
    for i in range(10):
        for name, key in (("move", b"\x1b[C" if i % 2 == 0 else b"\x1b[D"), ("drop", b" ")):
            before = kernel32_calls()
            os.write(g.fd, key)
            g.read(5)
            g.drain(0.5)
            per[name].append(kernel32_calls() - before)
    g.close()
    for name, counts in per.items():
        show(name, counts, len(counts))

    g = Game(trace=log)
    g.wait_for("块")
    g.pump(1.0)  # the rest of the first screen; the columns fall meanwhile: no drain
    before = kernel32_calls()
    g.pump(secs)
    idle = kernel32_calls() - before
    g.close()
    os.unlink(log)
    show("second without keys", [idle], secs)
EOF
