#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Makes src/term/widths.inc, the terminal layer's tables of character widths,
# from Unicode's own data (Debian's unicode-data package):
#   python3 scripts/widths.py [DIR] > src/term/widths.inc
# DIR holds EastAsianWidth.txt and UnicodeData.txt (default /usr/share/unicode).
# The tables: the East Asian Wide and Fullwidth ranges (two columns on every
# terminal), the Ambiguous ranges (one column or two, as the terminal's font
# decides), and the box-drawing glyphs with an arm to the right (a line that
# a pad goes on with).
import os
import re
import sys


def read_widths(path):
    """The East Asian width of every listed code point, and the version."""
    widths, version = {}, None
    with open(path, encoding="utf-8") as f:
        for line in f:
            if version is None:
                m = re.match(r"#\s*EastAsianWidth-([0-9.]+)\.txt", line)
                if m:
                    version = m.group(1)
            # The header names the blocks whose unassigned code points are Wide.
            for lo, hi in re.findall(r"^#.*U\+([0-9A-F]{4,6})\.\.U\+([0-9A-F]{4,6})", line):
                for cp in range(int(lo, 16), int(hi, 16) + 1):
                    widths.setdefault(cp, "W")
            data = line.split("#", 1)[0].strip()
            if not data:
                continue
            points, value = (s.strip() for s in data.split(";"))
            lo, _, hi = points.partition("..")
            for cp in range(int(lo, 16), int(hi or lo, 16) + 1):
                widths[cp] = value
    return widths, version


def ranges(points):
    """Sorted code points as inclusive ranges, neighbours merged."""
    out = []
    for cp in sorted(points):
        if out and out[-1][1] == cp - 1:
            out[-1][1] = cp
        else:
            out.append([cp, cp])
    return out


def table(name, comment, rs):
    lines = ["// " + comment, "static const uint32_t %s[][2] = {" % name]
    row = ""
    for lo, hi in rs:
        item = "{0x%04X, 0x%04X}," % (lo, hi)
        if len(row) + len(item) + 1 > 96:
            lines.append(row.rstrip())
            row = ""
        row += (" " if row else "    ") + item
    lines.append(row.rstrip())
    lines.append("};")
    return "\n".join(lines)


def right_arms(path):
    """Bits of U+2500..U+257F: set where the box-drawing glyph has an arm to the right."""
    bits = [0, 0, 0, 0]
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.split(";")
            cp, name = int(fields[0], 16), fields[1]
            # A diagonal runs "UPPER RIGHT TO LOWER LEFT": a corner, not an arm.
            if not 0x2500 <= cp <= 0x257F or "DIAGONAL" in name:
                continue
            if re.search(r"\b(RIGHT|HORIZONTAL)\b", name):
                bits[(cp - 0x2500) // 32] |= 1 << ((cp - 0x2500) % 32)
    return bits


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/unicode"
    widths, version = read_widths(os.path.join(folder, "EastAsianWidth.txt"))
    wide = ranges(cp for cp, w in widths.items() if w in ("W", "F"))
    ambiguous = ranges(cp for cp, w in widths.items() if w == "A")
    arms = right_arms(os.path.join(folder, "UnicodeData.txt"))
    print("// SPDX-License-Identifier: MIT")
    print("// widths.inc -- character widths from Unicode %s's EastAsianWidth.txt," % version)
    print("// made by scripts/widths.py: do not edit, run the script again.")
    print()
    print(table("WIDE", "East Asian Wide and Fullwidth: two columns.", wide))
    print()
    print(table("AMBIGUOUS", "East Asian Ambiguous: one column or two, as the terminal's font decides.",
                ambiguous))
    print()
    print("// U+2500..U+257F, one bit each: the box-drawing glyphs with an arm to the right.")
    print("static const uint32_t BOX_RIGHT_ARM[4] = {%s};" % ", ".join("0x%08X" % b for b in arms))


main()
