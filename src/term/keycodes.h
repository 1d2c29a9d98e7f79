// SPDX-License-Identifier: MIT
// keycodes.h -- the key codes the game reads, named once.
//
// They are the codes of the console runtime the game was written for: one
// code per term_getch(), and an arrow as two, key_arrow and then which
// arrow. term.h hands them to the game; the key decoder, which sits under
// term.h and may not include it, makes them. So they live here, in a
// header of their own that both include.
#pragma once

enum term_keycode {
    key_enter = 13,
    key_escape = 27, // a lone Escape
    key_space = 32,
    key_arrow = 224, // an arrow's first code; its second is one of these four
    arrow_up = 72,
    arrow_down = 80,
    arrow_left = 75,
    arrow_right = 77,
    // An arrow as term_getkey() reads it: both codes in one number.
    key_up = key_arrow << 8 | arrow_up,
    key_down = key_arrow << 8 | arrow_down,
    key_left = key_arrow << 8 | arrow_left,
    key_right = key_arrow << 8 | arrow_right,
};
