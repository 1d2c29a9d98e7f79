// SPDX-License-Identifier: MIT
// chars.cpp -- widths, padding, UTF-8 and UTF-16, the palette. See chars.h.

#include "chars.h"

#include <cstring>

// ---- UTF-8 -----------------------------------------------------------------

size_t utf8_len(unsigned char c) {
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0) return 2;
    if ((c & 0xF0) == 0xE0) return 3;
    if ((c & 0xF8) == 0xF0) return 4;
    return 1;
}

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

static bool narrow_glyphs; // the terminal shows the ambiguous glyphs one column wide

// Glyphs that Unicode leaves ambiguous in width. Where the terminal shows
// them one column wide, each is completed to two columns: lines that go on
// to the right with one more line, the rest with a blank.
static const struct {
    const char *glyph;
    const char *pad;
} ambiguous[] = {
    {"─", "─"}, {"┌", "─"}, {"└", "─"}, {"┐", " "}, {"┘", " "}, {"│", " "},
    {"┊", " "}, {"○", " "}, {"①", " "}, {"②", " "}, {"③", " "}, {"④", " "},
    {"⑤", " "}, {"↑", " "}, {"↓", " "}, {"←", " "}, {"→", " "},
};

// East Asian Wide and Fullwidth: the Chinese characters, their punctuation,
// the fullwidth forms and the emoji.
static bool wide(uint32_t cp) {
    static const uint32_t ranges[][2] = {
        {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF}, {0x3400, 0x4DBF},
        {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xAC00, 0xD7A3}, {0xF900, 0xFAFF},
        {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F},
        {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
    };
    for (const auto &r : ranges)
        if (cp >= r[0] && cp <= r[1]) return true;
    return false;
}

void chars_set_narrow(bool narrow) {
    narrow_glyphs = narrow;
}

bool chars_narrow(void) {
    return narrow_glyphs;
}

static const char *ambiguous_pad(const char *s, size_t n) {
    if (n < 2) return nullptr;
    for (const auto &a : ambiguous)
        if (strlen(a.glyph) == n && memcmp(a.glyph, s, n) == 0) return a.pad;
    return nullptr;
}

const char *glyph_pad(const char *s, size_t n) {
    return narrow_glyphs ? ambiguous_pad(s, n) : nullptr;
}

int glyph_columns(const char *s, size_t n) {
    if (n < 2) return 1;
    if (ambiguous_pad(s, n)) return narrow_glyphs ? 1 : 2;
    return wide(utf8_decode(s, n)) ? 2 : 1;
}

int text_columns(const char *utf8) {
    int cols = 0;
    utf8_each(utf8, [&](const char *s, size_t n) {
        cols += glyph_columns(s, n);
        if (glyph_pad(s, n)) cols++;
    });
    return cols;
}

// ---- Palette ---------------------------------------------------------------

int ansi_index(int c) {
    return (c & 8) | ((c & 1) << 2) | (c & 2) | ((c & 4) >> 2);
}
