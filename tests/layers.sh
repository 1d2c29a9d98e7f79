#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The layers of src/, checked from the includes: each part of the terminal
# layer includes only the headers of the parts under it, the game reaches
# the layer only through term.h, and no module (a .h with its .cpp) is in a
# circle of includes.
#   bash tests/layers.sh SOURCE_DIR
set -euo pipefail
python3 - "${1:?the source directory}/src" <<'PY'
import os, re, sys

src = sys.argv[1]
include = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)

# What each file of the terminal layer may include, by the part it is in.
ALLOWED = {
    "chars": {"chars.h", "widths.inc"},  # widths.inc: its generated tables
    "paint": set(),
    "keys": {"keys.h"},
    "escapes": set(),
    "screen": {"screen.h", "paint.h", "chars.h"},
    "vt": {"vt.h", "paint.h", "chars.h", "escapes.h"},
    "sys": {"keys.h", "paint.h"},
    # A back end: sys.h and the portable parts it paints and decodes with.
    "sys_": {"sys.h", "keys.h", "paint.h", "chars.h", "vt.h", "escapes.h"},
    "term": {"term.h", "chars.h", "keys.h", "screen.h", "sys.h"},
}
GAME_MAY = lambda inc: "/" not in inc or inc == "files/files.h"

faults = []
graph = {}  # module -> modules it includes


def module(path):
    # term.h is the header of term/term.cpp, sys.h that of the back ends.
    base = os.path.splitext(os.path.relpath(path, src))[0]
    if base == "term":
        return "term/term"
    return "term/sys" if re.match(r"term/sys_", base) else base


for root, _, files in os.walk(src):
    for name in files:
        if not name.endswith((".h", ".cpp")):
            continue
        path = os.path.join(root, name)
        rel = os.path.relpath(path, src)
        incs = include.findall(open(path, encoding="utf-8").read())
        here = os.path.dirname(rel)
        for inc in incs:
            target = os.path.normpath(os.path.join(here, inc))
            if not os.path.exists(os.path.join(src, target)):
                target = os.path.normpath(inc)
            if os.path.exists(os.path.join(src, target)):
                a, b = module(path), module(os.path.join(src, target))
                if a != b:
                    graph.setdefault(a, set()).add(b)
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
            elif not GAME_MAY(inc):
                faults.append("%s (the game) includes %s: only term.h is its terminal" % (rel, inc))


# Circles between modules.
state = {}


def visit(m, trail):
    state[m] = 1
    for n in sorted(graph.get(m, ())):
        if state.get(n) == 1:
            faults.append("a circle: " + " -> ".join(trail[trail.index(n):] + [n]))
        elif n not in state:
            visit(n, trail + [n])
    state[m] = 2


for m in sorted(graph):
    if m not in state:
        visit(m, [m])

for f in faults:
    print("layers: " + f)
sys.exit(1 if faults else 0)
PY
