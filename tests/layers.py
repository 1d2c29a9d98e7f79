#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# layers.py -- the layers of src/, checked from the includes: each part of
# the terminal layer includes only the headers of the parts under it, the
# game reaches the layer only through term.h, only the back ends and the
# file rules see the platform (its headers in angle brackets), and no module
# (a .h with its .cpp) is in a circle of includes.
#   python3 tests/layers.py SOURCE_DIR
import os, re, sys

src = os.path.join(sys.argv[1], "src")
include = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
system = re.compile(r'^\s*#\s*include\s*<([^>]+)>', re.M)

# Headers in angle brackets that every platform's C++ has: the C++ library
# (<string>, <cstdio>) and the C library's own. Anything else (<windows.h>,
# <termios.h>, <unistd.h>, <sys/...>, <emscripten...>) is the platform's,
# and belongs to a back end (term/sys_*) or to the file rules (files/).
C_LIBRARY = set("""assert.h ctype.h errno.h fenv.h float.h inttypes.h iso646.h limits.h
    locale.h math.h setjmp.h signal.h stdarg.h stdbool.h stddef.h stdint.h stdio.h
    stdlib.h string.h time.h uchar.h wchar.h wctype.h""".split())
PORTABLE = lambda inc: re.fullmatch(r"[a-z_]+", inc) is not None or inc in C_LIBRARY

# What each file of the terminal layer may include, by the part it is in.
ALLOWED = {
    "chars": {"chars.h", "widths.inc"},  # widths.inc: its generated tables
    "paint": set(),
    "keycodes": set(),
    "keys": {"keys.h", "keycodes.h"},
    "escapes": set(),
    "screen": {"screen.h", "paint.h", "chars.h"},
    "vt": {"vt.h", "paint.h", "chars.h", "escapes.h"},
    "sys": {"keys.h", "paint.h"},
    # A back end: sys.h and the portable parts it paints and decodes with;
    # one in several files shares a private header among them.
    "sys_": {"sys.h", "keys.h", "paint.h", "chars.h", "vt.h", "escapes.h", "sys_windows.h"},
    "term": {"term.h", "chars.h", "keys.h", "screen.h", "sys.h"},
}
GAME_MAY = lambda inc: "/" not in inc or inc == "files/files.h"
# term.h, the layer's contract, hands the game the key codes.
CONTRACT_MAY = {"term/keycodes.h"}

faults = []
graph = {}  # module -> modules it includes


def module(rel):
    # term.h is the header of term/term.cpp, sys.h that of the back ends.
    base = os.path.splitext(os.path.normpath(rel))[0]
    if base == "term":
        return "term/term"
    return "term/sys" if base.startswith("term/sys_") else base


for root, _, files in os.walk(src):
    for name in files:
        if not name.endswith((".h", ".cpp")):
            continue
        rel = os.path.relpath(os.path.join(root, name), src)
        text = open(os.path.join(src, rel), encoding="utf-8").read()
        for inc in system.findall(text):
            if not rel.startswith(("term/sys_", "files/")) and not PORTABLE(inc):
                faults.append("%s includes <%s>: only a back end or the file rules see the platform"
                              % (rel, inc))
        for inc in include.findall(text):
            # Beside the file, or from src/.
            target = next((t for t in (os.path.join(os.path.dirname(rel), inc), inc)
                           if os.path.exists(os.path.join(src, t))), None)
            if target and module(target) != module(rel):
                graph.setdefault(module(rel), set()).add(module(target))
            if rel.startswith("term/"):
                stem = os.path.splitext(name)[0]
                part = "sys_" if stem.startswith("sys_") else stem
                if part not in ALLOWED:
                    faults.append("%s: a file of the terminal layer with no place in its layers" % rel)
                elif inc not in ALLOWED[part]:
                    faults.append("%s includes %s, which is not under it" % (rel, inc))
            elif rel.startswith("files/"):
                if inc != "files.h":
                    faults.append("%s includes %s" % (rel, inc))
            elif not GAME_MAY(inc) and not (rel == "term.h" and inc in CONTRACT_MAY):
                faults.append("%s (the game) includes %s: only term.h is its terminal" % (rel, inc))


# Circles between modules: an include back into the trail that led to it.
done = set()


def visit(m, trail):
    for n in sorted(graph.get(m, ())):
        if n in trail:
            faults.append("a circle: " + " -> ".join(trail[trail.index(n):] + [n]))
        elif n not in done:
            visit(n, trail + [n])
    done.add(m)


for m in sorted(graph):
    if m not in done:
        visit(m, [m])

for f in faults:
    print("layers: " + f)
sys.exit(1 if faults else 0)
