// SPDX-License-Identifier: MIT
// encode.h -- characters as the terminal takes them: width and encoding.
//
// Text reaches the layer as UTF-8. The terminal reads UTF-8 or GBK, and
// shows some of the game's glyphs (the circles, the box lines, the arrows)
// one column wide or two, as its font decides: those are padded to two
// columns where they take one, so that a board cell is always two columns.
#pragma once

#include <cstddef>
#include <string>

// Bytes of the UTF-8 character that begins with c (1 for a broken lead byte).
size_t utf8_len(unsigned char c);
// Columns the character takes on a terminal whose ambiguous glyphs are
// narrow (or not): 1 or 2.
int glyph_columns(const char *s, size_t n, bool narrow);
// What completes the character to two columns where it takes one: "─" for
// lines that go on to the right, else a blank; nullptr when it needs none.
const char *glyph_pad(const char *s, size_t n);
// The character in the terminal's encoding, appended to out; a character
// GBK lacks (or a broken one) becomes "?".
void encode_char(const char *s, size_t n, bool gbk, std::string *out);
// A whole text so.
std::string encode_text(const char *utf8, bool gbk);
