// SPDX-License-Identifier: MIT
// chars.cpp -- widths, padding, UTF-8 and UTF-16, the palette. See chars.h.

#include "chars.h"

#include <cstring>
#include <iterator>

// ---- UTF-8 -----------------------------------------------------------------

uint32_t utf8_decode(const char *s, size_t n) {
    const auto *u = reinterpret_cast<const unsigned char *>(s);
    if (n == 0) return 0xFFFD;
    if (n == 1) return u[0] < 0x80 ? u[0] : 0xFFFD;
    if (utf8_len(u[0]) != n) return 0xFFFD;
    uint32_t cp = u[0] & (0x7F >> n);
    for (size_t i = 1; i < n; i++) {
        if ((u[i] & 0xC0) != 0x80) return 0xFFFD;
        cp = (cp << 6) | (u[i] & 0x3F);
    }
    return cp;
}

void utf8_append(uint32_t cp, std::string *out) {
    if (cp < 0x80) {
        out->push_back((char)cp);
    } else if (cp < 0x800) {
        out->push_back((char)(0xC0 | (cp >> 6)));
        out->push_back((char)(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back((char)(0xE0 | (cp >> 12)));
        out->push_back((char)(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back((char)(0x80 | (cp & 0x3F)));
    } else {
        out->push_back((char)(0xF0 | (cp >> 18)));
        out->push_back((char)(0x80 | ((cp >> 12) & 0x3F)));
        out->push_back((char)(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back((char)(0x80 | (cp & 0x3F)));
    }
}

std::u16string utf16_from_utf8(const char *s, size_t n) {
    std::u16string out;
    for (size_t i = 0; i < n;) {
        size_t len = utf8_len((unsigned char)s[i]);
        if (len > n - i) len = n - i;
        uint32_t cp = utf8_decode(s + i, len);
        if (cp >= 0x10000) {
            out.push_back((char16_t)(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back((char16_t)(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back((char16_t)cp);
        }
        i += len;
    }
    return out;
}

// ---- Width -----------------------------------------------------------------

#include "widths.inc"

static bool narrow_glyphs; // the terminal shows the ambiguous glyphs one column wide

static bool in_ranges(const uint32_t (*r)[2], size_t count, uint32_t cp) {
    size_t lo = 0, hi = count;
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (cp < r[mid][0])
            hi = mid;
        else if (cp > r[mid][1])
            lo = mid + 1;
        else
            return true;
    }
    return false;
}

// Worked out afresh for a character the cache does not hold. A broken
// character shows as one replacement glyph of one column, as terminals do.
static glyph_look look_up(const char *s, size_t n) {
    glyph_look g = {utf8_pack(s, n), (uint8_t)n, 1, nullptr, 0, 0};
    uint32_t cp = utf8_decode(s, n);
    if (cp == 0xFFFD && memcmp(s, "\xEF\xBF\xBD", n) != 0) return g;
    if (in_ranges(WIDE, std::size(WIDE), cp)) {
        g.columns = 2;
    } else if (in_ranges(AMBIGUOUS, std::size(AMBIGUOUS), cp)) {
        // Where it takes one column, it is completed to two: a line that
        // goes on to the right with one more line, anything else a blank.
        g.columns = narrow_glyphs ? 1 : 2;
        bool arm = cp >= 0x2500 && cp <= 0x257F &&
                   (BOX_RIGHT_ARM[(cp - 0x2500) / 32] >> ((cp - 0x2500) % 32) & 1);
        if (narrow_glyphs) {
            g.pad = arm ? "─" : " ";
            g.pad_len = (uint8_t)strlen(g.pad);
            g.pad_key = utf8_pack(g.pad, g.pad_len);
        }
    }
    return g;
}

glyph_look glyph_cache[GLYPH_CACHE_SIZE];

void chars_set_narrow(bool narrow) {
    narrow_glyphs = narrow;
    for (glyph_look &g : glyph_cache)
        g = glyph_look(); // key 0: no character's
}

bool chars_narrow(void) {
    return narrow_glyphs;
}

const glyph_look &glyph_look_new(const char *s, size_t n) {
    static const glyph_look single = {0, 1, 1, nullptr, 0, 0};
    if (n < 2) return single;
    glyph_look &slot = glyph_cache[glyph_cache_slot(utf8_pack(s, n))];
    slot = look_up(s, n < 4 ? n : 4);
    return slot;
}

const char *glyph_pad(const char *s, size_t n) {
    return glyph_look_of(s, n).pad;
}

int glyph_columns(const char *s, size_t n) {
    return glyph_look_of(s, n).columns;
}

int text_columns(const char *utf8) {
    int cols = 0;
    utf8_each(utf8, [&](const char *s, size_t n) {
        const glyph_look &g = glyph_look_of(s, n);
        cols += g.columns + (g.pad != nullptr);
    });
    return cols;
}

// ---- Palette ---------------------------------------------------------------

int ansi_index(int c) {
    return (c & 8) | ((c & 1) << 2) | (c & 2) | ((c & 4) >> 2);
}
