#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Measures the game in a pseudo-terminal: the processor time it uses over
# a few seconds of play without keys, and the time from a key (Right arrow)
# to its redraw reaching the terminal; under wine also the calls into
# kernel32 (the console's, the clock's and the waits) that the game makes
# for a move, a drop and a second without keys, by kind (wine's relay
# trace, counted).
#
#   scripts/measure.sh [path/to/zelvane] [seconds]
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
if [ -n "$wine" ]; then
    exe=${exe:-build-measure-win/zelvane.exe}
elif [ -z "$exe" ]; then
    cmake -S . -B build-measure -DCMAKE_BUILD_TYPE=Release -DZELVANE_TESTS=OFF >/dev/null
    cmake --build build-measure -j"$(nproc)" --target zelvane >/dev/null
    exe=build-measure/zelvane
fi
exe=$(realpath "$exe")

python3 - "$exe" "$secs" "$wine" <<'EOF'
import fcntl, os, pty, select, signal, struct, sys, tempfile, termios, time

exe, secs, wine = sys.argv[1], float(sys.argv[2]), sys.argv[3]
argv = [wine, exe] if wine else [exe]
patience = 120 if wine else 20
tick = os.sysconf("SC_CLK_TCK")

BASE = dict(width=12, height=22, b_type=5, b_num=3, max_f=1000, first_speed=800,
            add_speed=10, max_speed=150, debug=0, help_line=1, fask_s=1, s_twi=1,
            b_drop=1, twinkle=25, twi_num=3)


class Game:
    """The game in a pseudo-terminal of 80 x 30, in a scratch directory."""

    def __init__(self, trace=None, **over):
        self.dir = tempfile.TemporaryDirectory(prefix="zelvane-measure-")
        conf = dict(BASE, **over)
        with open(os.path.join(self.dir.name, "config.conf"), "w") as f:
            f.writelines("%s=%d\n" % kv for kv in conf.items())
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            # The size before the game starts: wine's console takes it once.
            fcntl.ioctl(0, termios.TIOCSWINSZ, struct.pack("HHHH", 30, 80, 0, 0))
            os.chdir(self.dir.name)
            os.environ.update(TERM="xterm-256color", LANG="C.UTF-8", LC_ALL="C.UTF-8")
            if trace:
                # Each call into kernel32 leaves a line, with its process.
                os.environ["WINEDEBUG"] = "+pid,+relay"
                os.dup2(os.open(trace, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644), 2)
            os.execv(argv[0], argv)
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

    def wait_for(self, text, timeout=patience):
        end = time.monotonic() + timeout
        while text.encode() not in self.seen:
            if time.monotonic() > end:
                sys.exit("measure: the game did not show %r" % text)
            self.read(0.1)

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
        try:
            total = 0
            for pid in self.pids():
                with open("/proc/%d/schedstat" % pid) as f:
                    total += int(f.read().split()[0])
            return total
        except (OSError, ValueError, IndexError):
            return None

    def close(self):
        os.kill(self.pid, signal.SIGKILL)
        os.waitpid(self.pid, 0)
        os.close(self.fd)
        self.dir.cleanup()


# Processor time over secs seconds of play, the columns falling on their own.
g = Game()
g.wait_for("块")  # of the panel; under wine each wide character comes alone
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

    def calls():
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
            before = calls()
            os.write(g.fd, key)
            g.read(5)
            g.drain(0.5)
            per[name].append(calls() - before)
    g.close()
    for name, counts in per.items():
        show(name, counts, len(counts))

    def play(seconds):  # the columns fall meanwhile: no drain
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            g.read(end - time.monotonic())

    g = Game(trace=log)
    g.wait_for("块")
    play(1.0)  # the rest of the first screen
    before = calls()
    play(secs)
    idle = calls() - before
    g.close()
    os.unlink(log)
    show("second without keys", [idle], secs)
EOF
