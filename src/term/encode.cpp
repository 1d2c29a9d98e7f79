// SPDX-License-Identifier: MIT
// encode.cpp -- character widths, padding and the GBK encoding.

#include "encode.h"

#include <cstdint>
#include <cstring>

#include "sys.h"

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

size_t utf8_len(unsigned char c) {
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0) return 2;
    if ((c & 0xF0) == 0xE0) return 3;
    if ((c & 0xF8) == 0xF0) return 4;
    return 1;
}

static uint32_t code_point(const char *s, size_t n) {
    const auto *u = reinterpret_cast<const unsigned char *>(s);
    if (n == 1) return u[0];
    uint32_t cp = u[0] & (0x7F >> n);
    for (size_t i = 1; i < n; i++)
        cp = (cp << 6) | (u[i] & 0x3F);
    return cp;
}

// East Asian Wide and Fullwidth: the Chinese characters, their punctuation
// and the fullwidth forms.
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

const char *glyph_pad(const char *s, size_t n) {
    if (n < 2) return nullptr;
    for (const auto &a : ambiguous)
        if (strlen(a.glyph) == n && memcmp(a.glyph, s, n) == 0) return a.pad;
    return nullptr;
}

int glyph_columns(const char *s, size_t n, bool narrow) {
    if (n < 2) return 1;
    if (glyph_pad(s, n)) return narrow ? 1 : 2;
    return wide(code_point(s, n)) ? 2 : 1;
}

void encode_char(const char *s, size_t n, bool gbk, std::string *out) {
    if (!gbk || (n == 1 && (unsigned char)*s < 0x80)) {
        out->append(s, n);
        return;
    }
    if (!sys_to_gbk(s, n, out)) out->push_back('?');
}

std::string encode_text(const char *s, bool gbk) {
    std::string out;
    while (*s) {
        size_t n = utf8_len((unsigned char)*s);
        n = strnlen(s, n);
        encode_char(s, n, gbk, &out);
        s += n;
    }
    return out;
}
