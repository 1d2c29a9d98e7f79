// SPDX-License-Identifier: MIT
// chars.h -- characters as the terminal layer knows them: the one place for
// their widths, their encodings and the palette.
//
// Text reaches the layer as UTF-8. A terminal shows the glyphs that Unicode
// leaves ambiguous in width (the game's circles, box lines and arrows among
// them) one column wide or two, as its font decides: the width probe at
// start says which (chars_set_narrow), and where they take one column they
// are padded to two, so that a board cell is always two columns. Every other
// part of the layer asks here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// ---- UTF-8 -----------------------------------------------------------------

// Bytes of the UTF-8 character that begins with c (1 for a broken lead byte).
inline size_t utf8_len(unsigned char c) {
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0) return 2;
    if ((c & 0xF0) == 0xE0) return 3;
    if ((c & 0xF8) == 0xF0) return 4;
    return 1;
}
// The code point of the UTF-8 character s[0..n); U+FFFD when it is broken.
uint32_t utf8_decode(const char *s, size_t n);
// Appends the code point as UTF-8.
void utf8_append(uint32_t cp, std::string *out);
// A character's bytes (at most four) as one number, the first byte lowest;
// unused bytes are 0.
inline uint32_t utf8_pack(const char *s, size_t n) {
    uint32_t packed = 0;
    for (size_t i = 0; i < n && i < 4; i++)
        packed |= (uint32_t)(unsigned char)s[i] << (8 * i);
    return packed;
}
// Calls fn(s, n) for each character of the NUL-terminated text.
template <class Fn>
void utf8_each(const char *s, Fn fn) {
    while (*s) {
        size_t n = 1, len = utf8_len((unsigned char)*s);
        while (n < len && s[n])
            n++;
        fn(s, n);
        s += n;
    }
}
// UTF-8 text as UTF-16 (the Windows console's units); a broken character
// becomes U+FFFD.
std::u16string utf16_from_utf8(const char *s, size_t n);

// ---- Width -----------------------------------------------------------------
// From Unicode's East Asian widths (widths.inc): Wide and Fullwidth glyphs
// take two columns; Ambiguous ones take what the probe found, and where
// that is one column they are padded to two.

// The terminal's ambiguous glyphs take one column (narrow) or two; set from
// the probe at start. Two columns until told otherwise.
void chars_set_narrow(bool narrow);
bool chars_narrow(void);

// A character's look on this terminal.
struct glyph_look {
    uint32_t key;    // its bytes, packed (utf8_pack); 0 for a single byte
    uint8_t len;     // and their count
    uint8_t columns; // 1 or 2
    // What completes it to two columns where it takes one: "─" for a line
    // that goes on to the right, else a blank; nullptr when it needs none
    // (on a terminal whose ambiguous glyphs are two columns wide, never).
    const char *pad;
    uint32_t pad_key; // the pad's bytes, packed (utf8_pack)
    uint8_t pad_len;
};
// The looks of the characters met so far: a screen draws the same few over
// and over. Direct-mapped on the packed bytes; emptied when the probe
// changes the answer.
const int GLYPH_CACHE_SIZE = 256;
extern glyph_look glyph_cache[GLYPH_CACHE_SIZE];
inline size_t glyph_cache_slot(uint32_t key) {
    return (key * 2654435761u) >> 24; // the top 8 bits of a Fibonacci hash
}
// Works the look out and keeps it (chars.cpp).
const glyph_look &glyph_look_new(const char *s, size_t n);

// The look of the character s[0..n), n at most 4 (a single byte: one
// column, unpadded, never cached): worked out once, then kept, so that
// drawing the same glyphs again costs no decoding.
inline const glyph_look &glyph_look_of(const char *s, size_t n) {
    if (n >= 2) {
        uint32_t key = utf8_pack(s, n);
        const glyph_look &slot = glyph_cache[glyph_cache_slot(key)];
        if (slot.key == key) return slot;
    }
    return glyph_look_new(s, n);
}
// Its parts, as the painters ask for them.
int glyph_columns(const char *s, size_t n);
const char *glyph_pad(const char *s, size_t n);
// Columns of a whole UTF-8 text, padding included.
int text_columns(const char *utf8);

// ---- Palette ---------------------------------------------------------------
// The game's colours are console attributes: foreground + 16 * background,
// each an index of the 16-colour palette with bit 0 blue, bit 1 green, bit 2
// red and bit 3 intensity.

// The palette index in ANSI order (bit 0 red, bit 2 blue, bit 3 bright).
int ansi_index(int console_index);
