// SPDX-License-Identifier: MIT
// Zelvane.h -- the loop over games: set-up, play, game-over menu.
#pragma once

int run();   // plays games until the menu's end option; returns jixu (0)
void head(); // set-up before a game
void body(); // one game, until an entry is refused
void food(); // the game-over menu and the clean-up of the scratch files

// Gives the terminal back, says on stderr why the game cannot go on
// (Chinese, UTF-8), holds a console window the game opened for itself
// until a key, and ends the program with status 2.
[[noreturn]] void give_up(const char *why);
